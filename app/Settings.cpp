#include "Settings.h"

#include "DigitBar.h"
#include "EncodingControls.h"
#include "FolderBrowseEdit.h"
#include "Guard.h"
#include "IniFile.h"
#include "MCCBox.h"
#include "VisiblePosition.h"

#include <QCheckBox>
#include <QSlider>
#include <QWidget>

namespace {
const QString SectionWindow = QStringLiteral("SET");
const QString SectionControls = QStringLiteral("SET1");
const QString SectionOutput = QStringLiteral("SET2");
} // namespace

QString Settings::FilePath(const QString &appDir)
{
    return AppFiles::Portable(appDir).SettingsFile;
}

void Settings::Load(QWidget *window, const EncodingControls &c, const AppFiles &files)
{
    const TIniFile ini(files.SettingsFile);

    // A position left by a monitor that is gone comes back onto a screen.
    const int left = ini.ReadInteger(SectionWindow, QStringLiteral("M_LEFT"), window->x());
    const int top = ini.ReadInteger(SectionWindow, QStringLiteral("M_TOP"), window->y());
    window->move(VisiblePosition(QPoint(left, top), window->size(), AvailableScreenAreas()));

    c.C2_00->SetItemIndex(
        ini.ReadInteger(SectionControls, QStringLiteral("C0"), c.C2_00->ItemIndex()));
    c.C2_00Change();

    // The defaults are what the preset has just set.
    c.DigitBar1->SetPosition(
        ini.ReadInteger(SectionControls, QStringLiteral("C1"), c.DigitBar1->Position()));
    c.DigitBar2->SetPosition(
        ini.ReadInteger(SectionControls, QStringLiteral("C2"), c.DigitBar2->Position()));
    c.TrackBar1->setValue(
        ini.ReadInteger(SectionControls, QStringLiteral("C3"), c.TrackBar1->value()));
    c.DigitBar3->SetPosition(
        ini.ReadInteger(SectionControls, QStringLiteral("C4"), c.DigitBar3->Position()));
    c.TrackBar2->setValue(
        ini.ReadInteger(SectionControls, QStringLiteral("C5"), c.TrackBar2->value()));

    c.C1_03->SetPath(ini.ReadString(SectionOutput, QStringLiteral("C11"), c.C1_03->Path()));
    if (c.C1_03->Path().isEmpty())
        c.C1_03->SetPath(files.DefaultOutputFolder());

    c.CheckBox1->setChecked(ini.ReadInteger(SectionOutput, QStringLiteral("C12"),
                                            c.CheckBox1->isChecked() ? 1 : 0) != 0);
    c.CheckBox2->setChecked(ini.ReadInteger(SectionOutput, QStringLiteral("C13"),
                                            c.CheckBox2->isChecked() ? 1 : 0) != 0);
}

void Settings::Save(const QWidget *window, const EncodingControls &c, const AppFiles &files)
{
    TIniFile ini(files.SettingsFileForWriting());
    ini.WriteInteger(SectionWindow, QStringLiteral("M_LEFT"), window->x());
    ini.WriteInteger(SectionWindow, QStringLiteral("M_TOP"), window->y());
    ini.WriteInteger(SectionControls, QStringLiteral("C0"), c.C2_00->ItemIndex());
    ini.WriteInteger(SectionControls, QStringLiteral("C1"), c.DigitBar1->Position());
    ini.WriteInteger(SectionControls, QStringLiteral("C2"), c.DigitBar2->Position());
    ini.WriteInteger(SectionControls, QStringLiteral("C3"), c.TrackBar1->value());
    ini.WriteInteger(SectionControls, QStringLiteral("C4"), c.DigitBar3->Position());
    ini.WriteInteger(SectionControls, QStringLiteral("C5"), c.TrackBar2->value());
    ini.WriteString(SectionOutput, QStringLiteral("C11"), c.C1_03->Path());
    ini.WriteInteger(SectionOutput, QStringLiteral("C12"), c.CheckBox1->isChecked() ? 1 : 0);
    ini.WriteInteger(SectionOutput, QStringLiteral("C13"), c.CheckBox2->isChecked() ? 1 : 0);
    ini.UpdateFile();
}

bool Settings::SaveForClose(const QWidget *window, const EncodingControls &c, const AppFiles &files)
{
    bool saved = false;
    RunGuarded([&] {
        Save(window, c, files);
        saved = true;
    });
    return saved;
}
