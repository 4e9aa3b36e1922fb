#include "TrackBar.h"

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

TTrackBar::TTrackBar(QWidget *parent) : QSlider(parent) {}

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

QString TTrackBar::ValueText() const
{
    const QString text = m_valueTexts.value(value() - minimum());
    return text.isEmpty() ? QString::number(value()) : text;
}

QRect TTrackBar::ThumbRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}
