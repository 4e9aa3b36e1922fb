#include "AccessibleNames.h"

#include "AccessibleControl.h"
#include "ui_MainWindow1.h"

#include <QToolButton>

void NameForScreenReaders(Ui::TMainForm1 &f)
{
    // Each column's title and unit name the control above them; the labels
    // before the chooser, the folder field and the size slider name those.
    const std::pair<TShadowLabel *, QWidget *> names[] = {
        {f.L2_03_01, f.DigitBar1},
        {f.ShadowLabel2, f.DigitBar1},
        {f.ShadowLabel4, f.DigitBar2},
        {f.ShadowLabel7, f.DigitBar2},
        {f.ShadowLabel5, f.TrackBar1},
        {f.ShadowLabel8, f.TrackBar1},
        {f.ShadowLabel6, f.DigitBar3},
        {f.ShadowLabel9, f.DigitBar3},
        {f.ShadowLabel3, f.TrackBar2},
        {f.L1_00, f.C2_00},
        {f.L1_01, f.C1_03},
    };
    for (const auto &[label, control] : names)
        label->SetFocusControl(control);
    // The folder field's hint becomes the path it holds: its description
    // stays what the hint was, or the path would be read twice.
    f.C1_03->setAccessibleDescription(TAccessibleControl::HintText(f.C1_03->toolTip()));
    f.C1_03->BrowseButton()->setAccessibleName(QStringLiteral("参照"));
    // The list has no label: its hint names it.
    f.ListBox1->setAccessibleName(TAccessibleControl::HintText(f.ListBox1->toolTip()));
    // The scale marks beside each slider, position by position.
    f.TrackBar1->SetValueTexts(
        {f.Label2->text(), f.Label3->text(), f.Label4->text(), f.Label6->text(), f.Label5->text()});
    f.TrackBar2->SetValueTexts({f.Label7->text(), f.Label8->text(), f.Label16->text()});
}
