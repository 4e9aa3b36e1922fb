#pragma once

#include "Colors.h"

#include <QPixmap>
#include <QRect>
#include <QWidget>

// A self-painting progress bar: plain colour, plain blocks, a colour gradient,
// gradient blocks or tiles of a picture, left to right or bottom to top, with
// optional bevels and the percentage or position written over it. A position
// change repaints only the strip between the old and the new end of the bar.
// The background is the widget's window colour, which follows the parent.
class TdxfProgressBar : public QWidget
{
    Q_OBJECT

public:
    enum TdxfPBStyle { sSolid, sRectangles, sExSolid, sExRectangles, sPictures };
    Q_ENUM(TdxfPBStyle)
    enum TdxfPBOrientation { orVertical, orHorizontal };
    Q_ENUM(TdxfPBOrientation)
    enum TdxfShowTextStyle { stsPercent, stsPosition };
    Q_ENUM(TdxfShowTextStyle)
    enum TdxfBevelOuter { bvNone, bvLowered, bvRaised };
    Q_ENUM(TdxfBevelOuter)

private:
    Q_PROPERTY(TdxfBevelOuter BarBevelOuter READ BarBevelOuter WRITE SetBarBevelOuter)
    Q_PROPERTY(TColor BeginColor READ BeginColor WRITE SetBeginColor)
    Q_PROPERTY(TdxfBevelOuter BevelOuter READ BevelOuter WRITE SetBevelOuter)
    Q_PROPERTY(TColor EndColor READ EndColor WRITE SetEndColor)
    Q_PROPERTY(QPixmap Glyph READ Glyph WRITE SetGlyph)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(TdxfPBOrientation Orientation READ Orientation WRITE SetOrientation)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(bool ShowText READ ShowText WRITE SetShowText)
    Q_PROPERTY(TdxfShowTextStyle ShowTextStyle READ ShowTextStyle WRITE SetShowTextStyle)
    Q_PROPERTY(int Step READ Step WRITE SetStep)
    Q_PROPERTY(TdxfPBStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(bool TransparentGlyph READ TransparentGlyph WRITE SetTransparentGlyph)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)

public:
    explicit TdxfProgressBar(QWidget *parent = nullptr);

    TdxfBevelOuter BarBevelOuter() const { return m_barBevelOuter; }
    void SetBarBevelOuter(TdxfBevelOuter value);
    TColor BeginColor() const { return m_beginColor; }
    void SetBeginColor(TColor value);
    TdxfBevelOuter BevelOuter() const { return m_bevelOuter; }
    void SetBevelOuter(TdxfBevelOuter value);
    TColor EndColor() const { return m_endColor; }
    void SetEndColor(TColor value);
    QPixmap Glyph() const { return m_glyph; }
    void SetGlyph(const QPixmap &value);
    int Max() const { return m_max; }
    void SetMax(int value);
    int Min() const { return m_min; }
    void SetMin(int value);
    TdxfPBOrientation Orientation() const { return m_orientation; }
    void SetOrientation(TdxfPBOrientation value);
    int Position() const { return m_position; }
    void SetPosition(int value);
    bool ShowText() const { return m_showText; }
    void SetShowText(bool value);
    TdxfShowTextStyle ShowTextStyle() const { return m_showTextStyle; }
    void SetShowTextStyle(TdxfShowTextStyle value);
    int Step() const { return m_step; }
    void SetStep(int value) { m_step = value; }
    TdxfPBStyle Style() const { return m_style; }
    void SetStyle(TdxfPBStyle value);
    bool TransparentGlyph() const { return m_transparentGlyph; }
    void SetTransparentGlyph(bool value);
    // The colour of the text (the font colour of the forms).
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor value);

    void StepIt();
    void StepBy(int n);
    // Called once the owner has configured the bar: repaints it whole.
    void Loaded();
    // Repaints the strip between the bar's end at oldPosition and at Position, at once.
    void InvalidatePosition(int oldPosition);
    // Marks the area of the widest text for repainting.
    void InvalidateText();

    // Geometry, in pixels of the widget.
    // The area inside the outer bevel: 2 pixels in on every side for any bevel.
    static QRect InnerRect(QSize size, TdxfBevelOuter bevel);
    // Trunc((position - min) * length / (max - min)); with max equal to min a
    // position above it gives the whole length and one below it none.
    static qint64 BarLength(qint64 position, qint64 min, qint64 max, qint64 length);
    // The bar inside the inner area; empty when the position is at or below Min.
    static QRect BarRect(const QRect &inner, int position, int min, int max,
                         TdxfPBOrientation orientation);
    QRect BarRect() const;
    // The colour at offset of a gradient from begin (offset 0) to end (offset span).
    static TColor GradientColor(TColor begin, TColor end, int offset, int span);
    // "33 %": position * 100 / (max - min), halves to the even neighbour.
    static QString PercentText(int position, int min, int max);
    // The text shown over the bar.
    QString Text() const;
    // What InvalidatePosition repaints.
    QRect PositionStrip(int oldPosition) const;
    // What InvalidateText marks.
    QRect TextRect() const;
    // The font the vertical text is rotated in: a non-scalable face becomes Arial.
    static QFont RotatedTextFont(const QFont &font);
    // The platform's one-pixel edges: sunken (shadow left and top, highlight
    // right and bottom) or raised, drawn left and top first, then right and bottom.
    static void DrawEdge(QPainter &p, const QRect &r, TdxfBevelOuter kind);

    // The bar's picture as it is drawn now.
    QPixmap Draw() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void DrawBar(QPainter &p, const QRect &r, const QRect &b) const;
    void DrawBlocks(QPainter &p, const QRect &r, const QRect &b, bool gradient) const;
    void DrawPictures(QPainter &p, const QRect &b) const;
    QPixmap GlyphToDraw() const;
    void FillLTRB(QPainter &p, int left, int top, int right, int bottom, TColor color) const;
    bool Horizontal() const { return m_orientation == orHorizontal; }

    TdxfBevelOuter m_barBevelOuter = bvNone;
    TColor m_beginColor = clNavy;
    TdxfBevelOuter m_bevelOuter = bvLowered;
    TColor m_endColor = clWhite;
    QPixmap m_glyph;
    int m_max = 100;
    int m_min = 0;
    TdxfPBOrientation m_orientation = orVertical;
    int m_position = 0;
    bool m_showText = false;
    TdxfShowTextStyle m_showTextStyle = stsPercent;
    int m_step = 10;
    TdxfPBStyle m_style = sRectangles;
    bool m_transparentGlyph = true;
    TColor m_fontColor = clWindowText;
};
