#pragma once

#include "Colors.h"

#include <QFont>
#include <QMetaType>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QRegion>
#include <QVector>
#include <QWidget>

class QPainter;

// Shape and painting of the program's hints; stored as one byte.
enum THintStyle : quint8 {
    hsFukidashi = 0,  // speech balloon with a tail at its top-left corner
    hsRoundRect = 1,  // rounded rectangle
    hsLineString = 2, // no box: haloed text with a leader line
    hsOwnerDraw = 3,  // painted by TAppHint::OnPaint
};

// What the application knows about a hint about to be shown; OnShowHint may
// change any of it.
struct THintInfo
{
    QWidget *HintControl = nullptr; // the control the hint belongs to
    QPoint CursorPos;               // pointer, in the control's coordinates
    QRect CursorRect;               // the control's area, in its coordinates
    QPoint HintPos;                 // top-left corner of the hint, screen coordinates
    int HintMaxWidth = 0;           // text wraps at this width
    TColor HintColor = clInfoBk;    // the hint window's own colour
    int HideTimeout = 0;            // ms the hint stays; negative: until the pointer leaves
};

Q_DECLARE_METATYPE(THintStyle)

class TAppHint;

// The hint window of the whole application. It takes its shape, colours and
// font from the active TAppHint at every showing and painting.
class THintEx : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(TColor Color READ Color WRITE setColor)

public:
    // The pointer's image reaches this far below its hot spot; hints start
    // beneath it.
    static constexpr int CursorHeightMargin = 20;

    THintEx();
    ~THintEx() override;

    // The hint window's own colour (the application's hint colour), the
    // background the filled styles paint over.
    TColor Color() const { return m_color; }
    void setColor(TColor value);

    // Size of the hint for a text: the text's extent, word-wrapped at
    // maxWidth, measured with this window's font, plus 6 × 2 pixels.
    QRect CalcHintRect(int maxWidth, const QString &hint) const;
    // Shows the hint for the rectangle from CalcHintRect (moved to its screen
    // place): adjusts it for the style, sets the window's region, then shows
    // the window 4 pixels higher than the rectangle, kept on the desktop.
    void ActivateHint(QRect rect, const QString &hint);

    QString Caption() const { return m_caption; }
    // The rectangle of the last activation, as adjusted for the style.
    QRect ActivationRect() const { return m_rect; }
    // The balloon outline of the last activation.
    QPolygon OutlinePoints() const { return m_outline; }
    // The region set by the last activation; empty when there is none.
    QRegion Region() const { return m_region; }

    // The hint as painted: the off-screen picture paintEvent copies.
    QPixmap Render() const;

    // Geometry, in window coordinates. W and H are the adjusted rectangle's
    // width and height; the window itself is W × (H + 4).
    static QRect TextExtent(const QFont &font, int maxWidth, const QString &text);
    static QRect AdjustRect(THintStyle style, const QRect &rect);
    static QRegion HintRegion(THintStyle style, int w, int h);
    static QPolygon BalloonRegionPolygon(int w, int h);
    static QPolygon BalloonOutline(int w, int h);
    // A rounded-rectangle region from (x1, y1) to (x2, y2) exclusive as the
    // platform's region call makes it: one pixel short on the right and at
    // the bottom, so that (0, 0, W + 1, H + 1) covers exactly the outline
    // drawn by RoundRectOutline for (0, 0, W, H).
    static QRegion RoundRectRgn(int x1, int y1, int x2, int y2, int ew, int eh);
    // The outline of a rounded rectangle drawn from (x1, y1) to (x2, y2), the
    // right and bottom edges excluded, as the points of a closed polygon.
    static QPolygon RoundRectOutline(int x1, int y1, int x2, int y2, int ew, int eh);
    // Inset of each row of a corner of a w × h corner ellipse, row 0 first.
    static QVector<int> CornerInsets(int ew, int eh);
    // Where the text lies (the first entry) and its shadows or halo.
    static QPoint TextOffset(THintStyle style);
    static QVector<QPoint> ShadowOffsets(THintStyle style);
    // The window's rectangle for an activation rectangle, kept on the desktop.
    static QRect WindowRect(const QRect &rect, const QRect &desktop);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void Draw(QPainter &p) const;
    void DrawText(QPainter &p, QPoint offset, TColor color) const;

    TColor m_color = clInfoBk;
    QString m_caption;
    QRect m_rect;
    QRegion m_region;
    QPolygon m_outline;
};

// The application's hint component: installs THintEx as the application's
// hint window (Qt's own tooltips stay away while it is active), passes the
// hint timing through and holds the hints' appearance.
class TAppHint : public QObject
{
    Q_OBJECT
    Q_PROPERTY(TColor BGColor READ BGColor WRITE setBGColor)
    Q_PROPERTY(TColor BrushColor READ BrushColor WRITE setBrushColor)
    Q_PROPERTY(Qt::BrushStyle BrushStyle READ BrushStyle WRITE setBrushStyle)
    Q_PROPERTY(QFont Font READ Font WRITE setFont)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE setFontColor)
    Q_PROPERTY(int HintPause READ HintPause WRITE setHintPause STORED false)
    Q_PROPERTY(int HintHidePause READ HintHidePause WRITE setHintHidePause STORED false)
    Q_PROPERTY(int HintShortPause READ HintShortPause WRITE setHintShortPause STORED false)
    Q_PROPERTY(THintStyle HintStyle READ HintStyle WRITE setHintStyle)
    Q_PROPERTY(TColor PenColor READ PenColor WRITE setPenColor)
    Q_PROPERTY(int PenWidth READ PenWidth WRITE setPenWidth)
    Q_PROPERTY(Qt::PenStyle PenStyle READ PenStyle WRITE setPenStyle)
    Q_PROPERTY(TColor ShadowColor READ ShadowColor WRITE setShadowColor)
    Q_PROPERTY(bool ShadowVisible READ ShadowVisible WRITE setShadowVisible)

public:
    // The framework's show-hint handler raises the hint this much.
    static constexpr int HintLift = 8;

    explicit TAppHint(QObject *owner = nullptr);
    ~TAppHint() override;

    // The component whose appearance the hint window uses: the newest one,
    // none once that one is destroyed.
    static TAppHint *Active();
    // The application's hint window (created at the first showing, recreated
    // after a font or style change) and the control of the current hint.
    static THintEx *HintWindow();
    static QWidget *HintControl();
    // The hint text of the control under the pointer.
    static QString CurrentHint();

    TColor BGColor() const { return m_bgColor; }
    void setBGColor(TColor value) { m_bgColor = value; }
    TColor BrushColor() const { return m_brushColor; }
    void setBrushColor(TColor value) { m_brushColor = value; }
    Qt::BrushStyle BrushStyle() const { return m_brushStyle; }
    void setBrushStyle(Qt::BrushStyle value) { m_brushStyle = value; }
    QFont Font() const { return m_font; }
    void setFont(const QFont &value);
    TColor FontColor() const { return m_fontColor; }
    void setFontColor(TColor value) { m_fontColor = value; }
    int HintPause() const;
    void setHintPause(int ms);
    int HintHidePause() const;
    void setHintHidePause(int ms);
    int HintShortPause() const;
    void setHintShortPause(int ms);
    THintStyle HintStyle() const { return m_hintStyle; }
    void setHintStyle(THintStyle value);
    TColor PenColor() const { return m_penColor; }
    void setPenColor(TColor value) { m_penColor = value; }
    int PenWidth() const { return m_penWidth; }
    void setPenWidth(int value) { m_penWidth = value; }
    Qt::PenStyle PenStyle() const { return m_penStyle; }
    void setPenStyle(Qt::PenStyle value) { m_penStyle = value; }
    TColor ShadowColor() const { return m_shadowColor; }
    void setShadowColor(TColor value) { m_shadowColor = value; }
    bool ShadowVisible() const { return m_shadowVisible; }
    void setShadowVisible(bool value) { m_shadowVisible = value; }

    // The application's hooks: the hint text changed; a hint is about to show
    // (raises it by HintLift, then OnShowHint).
    void DoHint();
    void DoShowHint(QString &hintStr, bool &canShow, THintInfo &hintInfo);
    // Paints an hsOwnerDraw hint through OnPaint, when it is connected.
    void DoPaint(const QString &hintStr, QPainter *canvas, int width, int height);

signals:
    // Sender: the application.
    void OnHint(QObject *Sender);
    // Paints the hint in style hsOwnerDraw; Width and Height are the window's.
    void OnPaint(const QString &HintStr, QPainter *Canvas, int Width, int Height);
    // Just before a hint shows, after the lift; every argument may be changed.
    void OnShowHint(QString &HintStr, bool &CanShow, THintInfo &HintInfo);

private:
    TColor m_bgColor = clBlack;
    TColor m_brushColor = clNavy;
    Qt::BrushStyle m_brushStyle = Qt::SolidPattern;
    QFont m_font;
    TColor m_fontColor = clLime;
    THintStyle m_hintStyle = hsFukidashi;
    TColor m_penColor = clBlack;
    int m_penWidth = 1;
    Qt::PenStyle m_penStyle = Qt::SolidLine;
    TColor m_shadowColor = clBlue;
    bool m_shadowVisible = true;
};
