#pragma once

#include "Colors.h"

#include <QWidget>

// A panel: a child window with an outer and an inner 3-D bevel, a face colour
// and an optional centred caption.
class TPanel : public QWidget
{
    Q_OBJECT
public:
    enum TPanelBevel { bvNone, bvLowered, bvRaised };
    Q_ENUM(TPanelBevel)

private:
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TPanelBevel BevelOuter READ BevelOuter WRITE SetBevelOuter)
    Q_PROPERTY(TPanelBevel BevelInner READ BevelInner WRITE SetBevelInner)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)

public:
    explicit TPanel(QWidget *parent = nullptr);

    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    TPanelBevel BevelOuter() const { return m_bevelOuter; }
    void SetBevelOuter(TPanelBevel bevel);
    TPanelBevel BevelInner() const { return m_bevelInner; }
    void SetBevelInner(TPanelBevel bevel);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString &caption);
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor color);

    // Top and left edges in `top`, bottom and right in `bottom`, `width`
    // rings; the rectangle is inset by the width afterwards.
    static void Frame3D(QPainter &painter, QRect &rect, TColor top, TColor bottom, int width);
    // The rectangle left for the face once both bevels are drawn.
    QRect FaceRect() const;
    // Where a panel that has the focus shows it: a one-pixel frame this far
    // inside the face.
    static constexpr int FocusInset = 2;
    QRect FocusRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    // A panel is a child window: a press on it is its own, never the window's drag.
    void mousePressEvent(QMouseEvent *event) override;

private:
    void draw(QPainter &painter) const;

    TColor m_color = clBtnFace;
    TPanelBevel m_bevelOuter = bvRaised;
    TPanelBevel m_bevelInner = bvNone;
    QString m_caption;
    TColor m_fontColor = clWindowText;
};
