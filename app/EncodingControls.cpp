#include "EncodingControls.h"

#include "DigitBar.h"
#include "FolderBrowseEdit.h"
#include "MCCBox.h"
#include "PresetFile.h"
#include "StrConv.h"

#include <QCheckBox>
#include <QSlider>

namespace {
// Puts the chooser's target column back to the name when the application
// ends, also by an error, so the closed chooser keeps showing the name.
class TargetColumnReset
{
public:
    explicit TargetColumnReset(TMultiColComboBox *chooser) : m_chooser(chooser) {}
    ~TargetColumnReset() { m_chooser->SetTargetColumn(0); }
    TargetColumnReset(const TargetColumnReset &) = delete;
    TargetColumnReset &operator=(const TargetColumnReset &) = delete;

private:
    TMultiColComboBox *m_chooser;
};

QString column(TMultiColComboBox *chooser, quint8 index)
{
    chooser->SetTargetColumn(index);
    return chooser->GetSelectedText();
}

void setTrackBar(QSlider *slider, int min, int max, int position, Qt::Orientation orientation)
{
    slider->setOrientation(orientation);
    slider->setRange(min, max);
    slider->setValue(position);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    slider->setTickInterval(1);
    // Ticks on the left of the vertical bar, above the horizontal one.
    slider->setTickPosition(QSlider::TicksAbove);
    if (orientation == Qt::Vertical) {
        // The first position at the top, as the rate labels beside it read.
        slider->setInvertedAppearance(true);
        slider->setInvertedControls(true);
    }
}

void setDigitBar(TDigitBar *bar, int min, int max, int position)
{
    // Widen first, so that neither end clips the other on the way.
    bar->SetMin(qMin(min, bar->Min()));
    bar->SetMax(qMax(max, bar->Max()));
    bar->SetMin(min);
    bar->SetMax(max);
    bar->SetPosition(position);
}
} // namespace

QString OutputFolderHint()
{
    return QStringLiteral(" 保存先のﾌｫﾙﾀﾞ");
}

int SizeIndex(const QString &field)
{
    static const QStringList sizes = {QStringLiteral("176x144"), QStringLiteral("320x240"),
                                      QStringLiteral("640x480")};
    return int(sizes.indexOf(field));
}

int CodecIndex(const QString &field, const QStringList &items)
{
    if (field.isEmpty())
        return 0;
    for (int i = 0; i < items.size(); ++i)
        if (items.at(i).contains(field, Qt::CaseSensitive))
            return i;
    return 0;
}

int NumberBeforeUnit(const QString &field, const QString &unit)
{
    const qsizetype at = field.indexOf(unit, 0, Qt::CaseSensitive);
    return StrToInt(at > 0 ? field.left(at) : QString());
}

int SampleRateIndex(int hertz)
{
    switch (hertz) {
    case 8000:
        return 4;
    case 16000:
        return 3;
    case 24000:
        return 2;
    case 44100:
        return 1;
    case 48000:
        return 0;
    default:
        return -1;
    }
}

QString WithoutTrailingSeparator(const QString &path)
{
    // Dropping the root's separator would leave no folder at all.
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        return path.chopped(1);
    return path;
}

void EncodingControls::SetDesignValues() const
{
    setDigitBar(DigitBar1, 1, 60, 15);
    setDigitBar(DigitBar2, 8, 768, 384);
    setDigitBar(DigitBar3, 8, 320, 64);
    setTrackBar(TrackBar1, 0, 4, 3, Qt::Vertical);
    setTrackBar(TrackBar2, 0, 2, 1, Qt::Horizontal);
    C2_00->SetCanEdit(false);
    C2_04->SetCanEdit(false);
    C2_04->setVisible(false);
    CheckBox1->setChecked(false);
    CheckBox2->setChecked(false);
    C1_03->SetStartWithLast(true);
    C1_03->SetCaretBlinkRate(200);
    C1_03->setToolTip(OutputFolderHint());
    OutputExt->clear();
}

void EncodingControls::C2_00Change() const
{
    TargetColumnReset reset(C2_00);

    if (C2_00->ItemIndex() < 1)
        C2_00->SetItemIndex(1);

    *OutputExt = QLatin1Char('.') + column(C2_00, 1);

    const int size = SizeIndex(column(C2_00, 2));
    if (size >= 0)
        TrackBar2->setValue(size);

    const QString codec = column(C2_00, 3);
    C2_04->SetItemIndex(0);
    QStringList codecs;
    for (int i = 0; i < C2_04->Count(); ++i)
        codecs << C2_04->Item(i);
    C2_04->SetItemIndex(CodecIndex(codec, codecs));

    DigitBar1->SetPosition(NumberBeforeUnit(column(C2_00, 4), QStringLiteral("fps")));
    DigitBar2->SetPosition(NumberBeforeUnit(column(C2_00, 5), QStringLiteral("kbps")));
    // Column 6, the audio codec, is shown only.
    const int rate = SampleRateIndex(NumberBeforeUnit(column(C2_00, 7), QStringLiteral("Hz")));
    if (rate >= 0)
        TrackBar1->setValue(rate);
    DigitBar3->SetPosition(NumberBeforeUnit(column(C2_00, 8), QStringLiteral("kbps")));
}

void EncodingControls::C1_03Change() const
{
    // Writing the shorter path fires the change again, nested, so each level
    // removes one separator; an unchanged write fires nothing and ends it.
    // A path being typed keeps its separators until the typing is finished
    // (the field then fires again).
    if (!C1_03->Typing())
        C1_03->SetPath(WithoutTrailingSeparator(C1_03->Path()));
    QString hint = C1_03->Path();
    while (WithoutTrailingSeparator(hint) != hint)
        hint = WithoutTrailingSeparator(hint);
    C1_03->setToolTip(hint);
}
