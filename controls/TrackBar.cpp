#include "TrackBar.h"

#include "Colors.h"
#include "FocusCues.h"
#include "ScreenReaderNotice.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionSlider>

namespace {
// The application's style with the thumb of the given length; the track and
// the tick marks make room for it as the style lays them out. The style asks
// for the thumb's size without naming the widget, so each bar has its own.
class TThumbLengthStyle : public QProxyStyle
{
public:
    explicit TThumbLengthStyle(int length) : m_length(length) {}

    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_SliderThickness || metric == PM_SliderControlThickness)
            return m_length;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

private:
    int m_length;
};
} // namespace

TTrackBar::TTrackBar(QWidget *parent) : QSlider(parent)
{
    TFocusCues::Watch();
}

TTrackBar::~TTrackBar()
{
    // The widget lets go of a style it does not own before the style goes.
    setStyle(nullptr);
}

void TTrackBar::SetThumbLength(int value)
{
    if (value == m_thumbLength)
        return;
    m_thumbLength = value;
    std::unique_ptr<QStyle> old = std::move(m_thumbStyle);
    if (value > 0)
        m_thumbStyle = std::make_unique<TThumbLengthStyle>(value);
    setStyle(m_thumbStyle.get());
}

QString TTrackBar::ValueTextAt(int position) const
{
    const QString text = m_valueTexts.value(position - minimum());
    return text.isEmpty() ? QString::number(position) : text;
}

void TTrackBar::sliderChange(SliderChange change)
{
    QSlider::sliderChange(change);
    // The screen reader says the number itself; the text it stands for is
    // said after it, while the user moves the thumb.
    if (change == SliderValueChange && hasFocus())
        TScreenReaderNotice::Say(window(), ValueText());
}

QRect TTrackBar::ThumbRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

void TTrackBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    if (tickPosition() != NoTicks)
        option.subControls |= QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &p, this);
    // Once keys are in use the thumb is outlined in the focus colour, set
    // off by white on both sides from the groove and the thumb's own face.
    if (TFocusCues::Visible(this)) {
        const QRect thumb = ThumbRect();
        p.setBrush(Qt::NoBrush);
        p.setPen(ToQColor(clWhite));
        p.drawRect(thumb.adjusted(-1, -1, 0, 0));
        p.drawRect(thumb.adjusted(1, 1, -2, -2));
        p.setPen(ToQColor(clFocusFrame));
        p.drawRect(thumb.adjusted(0, 0, -1, -1));
    }
}
