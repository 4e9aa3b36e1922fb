#pragma once

#include "Colors.h"

#include <QWidget>

// A filled rectangle with an outline, part of its parent's surface: it takes
// no mouse input, so a press on it reaches the window beneath.
class TShape : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(TColor BrushColor READ BrushColor WRITE SetBrushColor)
    Q_PROPERTY(TColor PenColor READ PenColor WRITE SetPenColor)
    Q_PROPERTY(int PenWidth READ PenWidth WRITE SetPenWidth)

public:
    explicit TShape(QWidget *parent = nullptr);

    TColor BrushColor() const { return m_brushColor; }
    void SetBrushColor(TColor color);
    TColor PenColor() const { return m_penColor; }
    void SetPenColor(TColor color);
    int PenWidth() const { return m_penWidth; }
    void SetPenWidth(int width);

    // Draws the shape of the given size: an outline PenWidth pixels wide
    // inside the bounds, the fill within it.
    static void Draw(QPainter &painter, const QSize &size, TColor brush, TColor pen, int penWidth);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TColor m_brushColor = clWhite;
    TColor m_penColor = clBlack;
    int m_penWidth = 1;
};
