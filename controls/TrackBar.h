#pragma once

#include <QRect>
#include <QSlider>
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

public:
    explicit TTrackBar(QWidget *parent = nullptr);
    ~TTrackBar() override;

    int ThumbLength() const { return m_thumbLength; }
    void SetThumbLength(int value);

    // The thumb as the style places and draws it.
    QRect ThumbRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_thumbLength = 0;
    std::unique_ptr<QStyle> m_thumbStyle; // in use while the length is the bar's own
};
