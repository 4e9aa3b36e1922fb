#pragma once

#include "DigitBar.h"
#include "EncodingControls.h"
#include "FolderBrowseEdit.h"
#include "MCCBox.h"
#include "PresetFile.h"

#include <QCheckBox>
#include <QSlider>
#include <QWidget>

// The encoding controls on a window of their own, at their design values,
// with the codec names and the given preset rows loaded and the output
// folder's handler wired as the main window wires it.
class EncodingFixture
{
public:
    explicit EncodingFixture(const QStringList &presetRows = {})
    {
        window.setObjectName("MainForm1");
        window.move(21, 21);
        c.C2_00 = new TMultiColComboBox(&window);
        c.C2_04 = new TMultiColComboBox(&window);
        c.DigitBar1 = new TDigitBar(&window);
        c.DigitBar2 = new TDigitBar(&window);
        c.DigitBar3 = new TDigitBar(&window);
        c.TrackBar1 = new QSlider(&window);
        c.TrackBar2 = new QSlider(&window);
        c.CheckBox1 = new QCheckBox(&window);
        c.CheckBox2 = new QCheckBox(&window);
        c.C1_03 = new TFolderBrowseEdit(&window);
        c.OutputExt = &outputExt;
        c.SetDesignValues();
        FillPresetChooser(c.C2_00, presetRows);
        FillCodecChooser(c.C2_04);
        QObject::connect(c.C1_03, &TFolderBrowseEdit::OnChange, c.C1_03,
                         [this](QObject *) { c.C1_03Change(); });
    }

    QWidget window{nullptr, Qt::Window | Qt::FramelessWindowHint};
    QString outputExt;
    EncodingControls c;
};
