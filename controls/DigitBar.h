#pragma once

#include "Colors.h"

#include <QImage>
#include <QRect>
#include <QWidget>

class QPainter;
class QTimer;

// A tall numeric input: an up button on top, a down button at the bottom and
// between them a bar in which a sunken box shows the value as digits. The box
// climbs the bar as the value grows. The value changes by the buttons (with
// auto-repeat), by pressing or dragging in the bar and by the keys: Up/Down
// step, Page Up/Page Down step ten times as far, Home/End go to Min/Max.
class TDigitBar : public QWidget
{
    Q_OBJECT

public:
    // Bit n is the mode of ordinal n, so that the set fits in one byte.
    enum TDigitBarMode {
        dbmAllowTimer = 0x01,
        dbmArrowKeys = 0x02,
        dbmArrowWrap = 0x04,
        dbmEnterNext = 0x08,
        dbmPosClick = 0x10,
        dbmPosMove = 0x20,
        dbmThousands = 0x40,
    };
    Q_DECLARE_FLAGS(TDigitBarModes, TDigitBarMode)
    Q_FLAG(TDigitBarModes)

    enum TBarClickState { bcsNone, bcsUp, bcsDown };
    Q_ENUM(TBarClickState)
    enum TBarClickType { bctUp, bctDown, bctPosition, bctMove };
    Q_ENUM(TBarClickType)
    enum TPositionToStr { ptsPosition, ptsMaxStr };
    Q_ENUM(TPositionToStr)

    static constexpr TDigitBarModes DefaultModes()
    {
        return TDigitBarModes{dbmAllowTimer, dbmArrowKeys, dbmPosMove};
    }

    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(int BtnHeight READ BtnHeight WRITE SetBtnHeight)
    Q_PROPERTY(TColor FocusColor READ FocusColor WRITE SetFocusColor)
    Q_PROPERTY(int Increment READ Increment WRITE SetIncrement)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(TDigitBarModes Modes READ Modes WRITE SetModes)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(TColor BarColor READ BarColor WRITE SetBarColor)
    Q_PROPERTY(int BevelWidth READ BevelWidth WRITE SetBevelWidth)
    Q_PROPERTY(int Spacing READ Spacing WRITE SetSpacing)

    explicit TDigitBar(QWidget *parent = nullptr);
    ~TDigitBar() override;

    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool value);
    int BtnHeight() const { return m_btnHeight; }
    void SetBtnHeight(int value);
    TColor FocusColor() const { return m_focusColor; }
    void SetFocusColor(TColor value) { m_focusColor = value; }
    int Increment() const { return m_increment; }
    void SetIncrement(int value) { m_increment = value; }
    int Max() const { return m_max; }
    void SetMax(int value);
    int Min() const { return m_min; }
    void SetMin(int value);
    TDigitBarModes Modes() const { return m_modes; }
    void SetModes(TDigitBarModes value);
    int Position() const { return m_position; }
    void SetPosition(int value);
    // Fill of the value box while the control has no focus.
    TColor Color() const { return m_color; }
    void SetColor(TColor value);
    // Colour of the digits.
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor value);
    TColor BarColor() const { return m_barColor; }
    void SetBarColor(TColor value);
    int BevelWidth() const { return m_bevelWidth; }
    void SetBevelWidth(int value);
    int Spacing() const { return m_spacing; }
    void SetSpacing(int value);

    TBarClickState ClickState() const { return m_clickState; }

    // A form that sets up several properties in a row brackets them with
    // BeginLoad() and Loaded(): meanwhile size changes only repaint, and
    // Loaded() sizes the control once.
    void BeginLoad() { m_loading = true; }
    void Loaded();
    bool Loading() const { return m_loading; }

    // Recomputes the size when AutoSize is on, else repaints.
    virtual void AdjustBounds();
    // Called after every change of Position; fires OnChange.
    virtual void Change();
    // One step up or down.
    virtual void UpClick();
    virtual void DownClick();
    // Sets Position from a height: Y at or below BottomY gives Min, at or above
    // TopY gives Max, in between proportionally, rounded half away from zero.
    virtual void ClickToPosition(int Y, int TopY, int BottomY);
    // The offset of Position within Extent, or -1 when Max <= Min.
    virtual int PositionToClick(int Extent) const;
    virtual QString PositionToStr(TPositionToStr kind) const;

    // The step or bar click followed by OnClick.
    void DoUpClick();
    void DoDownClick();
    void DoPositionClick(int X, int Y, TBarClickType ClickType);

    // The auto-repeat tick.
    void TimerExpired();
    // The auto-repeat timer; null until the first press that needs it.
    QTimer *RepeatTimer() const { return m_timer; }

    // Geometry of the current size (right and bottom of a QRect inclusive).
    QRect UpButtonRect() const;
    QRect BarRect() const;
    QRect DownButtonRect() const;
    // Height of the digits' text in the control's font.
    int TextHeight() const;
    // Distance from the bar's ends to the centre of the value box at Max or Min.
    int ClickMargin() const;
    // The value box including its frame.
    QRect ValueBoxRect() const;
    // Where a glyph goes in a button.
    static QPoint GlyphPos(const QRect &button, const QSize &glyph);
    // The size AdjustBounds gives the control when AutoSize is on.
    QSize AutoSizeExtent() const;

    // Frame colours of the buttons and the groove.
    TColor HighlightColor() const;
    TColor ShadowColor() const;
    static TColor Lighten(TColor color, int amount);
    static TColor Darken(TColor color, int amount);

    const QImage &UpGlyph() const { return m_upGlyph; }
    const QImage &DownGlyph() const { return m_downGlyph; }

    // The whole control as it paints itself.
    QImage Render() const;
    void Draw(QPainter &p) const;
    // A 3-D frame of `width` rings on rect (right and bottom exclusive as given
    // by L, T, R, B); pressed frames recolour the innermost ring, raised ones
    // get a dark outer edge on the right and bottom. Returns rect inset by width.
    static QRect DrawBevel(QPainter &p, const QRect &rect, TColor topColor, TColor bottomColor,
                           int width, bool pressed);
    // The box's frame while it shows the keyboard focus, in place of its
    // bevel: an outer ring in the focus colour, white inside. Returns rect
    // inset by width.
    static QRect DrawFocusFrame(QPainter &p, const QRect &rect, int width);

signals:
    void OnChange(QObject *Sender);
    void OnClick(QObject *Sender, TDigitBar::TBarClickType ClickType);

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void changeEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void SetClickState(TBarClickState state);
    void StopRepeat();
    void PostFocusMove(bool next);
    bool HandleArrowKey(QKeyEvent *e);
    bool HandlePageKey(QKeyEvent *e);
    QString NumberToStr(int n) const;

    bool m_autoSize = true;
    int m_btnHeight = 10;
    TColor m_focusColor = RgbColor(0, 255, 255);
    int m_increment = 1;
    int m_max = 100;
    int m_min = 0;
    TDigitBarModes m_modes = DefaultModes();
    int m_position = 0;
    TColor m_color = clWindow;
    TColor m_fontColor = clWindowText;
    TColor m_barColor = clBtnFace;
    int m_bevelWidth = 2;
    int m_spacing = 1;

    TBarClickState m_clickState = bcsNone;
    bool m_loading = false;
    bool m_captured = false; // a button went down on the control and is not yet released
    bool m_inTick = false;   // a repeated step is running
    bool m_outside = false;  // the pointer left the control while a button was held
    QTimer *m_timer = nullptr;
    QImage m_upGlyph;
    QImage m_downGlyph;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TDigitBar::TDigitBarModes)

// The digit bar's types under their plain names.
using TDigitBarMode = TDigitBar::TDigitBarMode;
using TDigitBarModes = TDigitBar::TDigitBarModes;
using TBarClickState = TDigitBar::TBarClickState;
using TBarClickType = TDigitBar::TBarClickType;
using TPositionToStr = TDigitBar::TPositionToStr;
constexpr TDigitBarMode dbmAllowTimer = TDigitBar::dbmAllowTimer;
constexpr TDigitBarMode dbmArrowKeys = TDigitBar::dbmArrowKeys;
constexpr TDigitBarMode dbmArrowWrap = TDigitBar::dbmArrowWrap;
constexpr TDigitBarMode dbmEnterNext = TDigitBar::dbmEnterNext;
constexpr TDigitBarMode dbmPosClick = TDigitBar::dbmPosClick;
constexpr TDigitBarMode dbmPosMove = TDigitBar::dbmPosMove;
constexpr TDigitBarMode dbmThousands = TDigitBar::dbmThousands;
constexpr TBarClickState bcsNone = TDigitBar::bcsNone;
constexpr TBarClickState bcsUp = TDigitBar::bcsUp;
constexpr TBarClickState bcsDown = TDigitBar::bcsDown;
constexpr TBarClickType bctUp = TDigitBar::bctUp;
constexpr TBarClickType bctDown = TDigitBar::bctDown;
constexpr TBarClickType bctPosition = TDigitBar::bctPosition;
constexpr TBarClickType bctMove = TDigitBar::bctMove;
constexpr TPositionToStr ptsPosition = TDigitBar::ptsPosition;
constexpr TPositionToStr ptsMaxStr = TDigitBar::ptsMaxStr;
