#pragma once

#include <QRect>
#include <QSlider>
#include <QStyle>

#include <memory>

// A slider whose thumb length, its size across the track, the form can set;
// 0 keeps the style's own.
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

private:
    int m_thumbLength = 0;
    std::unique_ptr<QStyle> m_thumbStyle; // in use while the length is the bar's own
};
