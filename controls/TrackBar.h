#pragma once

#include <QRect>
#include <QSlider>
#include <QStringList>
#include <QStyle>

#include <memory>

// A slider whose thumb length, its size across the track, the form can set;
// 0 keeps the style's own. Focused, it looks as it does unfocused (the
// style's focused look is paler, as if disabled); once keys are in use (see
// TFocusCues) the thumb is outlined in the focus colour, with white on
// either side.
class TTrackBar : public QSlider
{
    Q_OBJECT
    Q_PROPERTY(int ThumbLength READ ThumbLength WRITE SetThumbLength)
    Q_PROPERTY(QStringList ValueTexts READ ValueTexts WRITE SetValueTexts)

public:
    explicit TTrackBar(QWidget *parent = nullptr);
    ~TTrackBar() override;

    int ThumbLength() const { return m_thumbLength; }
    void SetThumbLength(int value);

    // What the form shows for each position from Min on (its scale marks);
    // ValueTextAt() is the one for a position, or the number where none is
    // given; ValueText() the one for the thumb's position.
    QStringList ValueTexts() const { return m_valueTexts; }
    void SetValueTexts(const QStringList &texts) { m_valueTexts = texts; }
    QString ValueTextAt(int position) const;
    QString ValueText() const { return ValueTextAt(value()); }

    // The thumb as the style places and draws it.
    QRect ThumbRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    // A move by the user also tells a screen reader the text now shown
    // beside the thumb.
    void sliderChange(SliderChange change) override;

private:
    int m_thumbLength = 0;
    QStringList m_valueTexts;
    std::unique_ptr<QStyle> m_thumbStyle; // in use while the length is the bar's own
};
