#pragma once

#include "Colors.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>

class QPainter;

// One offset copy of a label's text in a colour of its own: a drop shadow or
// a highlight. Every change is announced through OnChange.
class TShadow : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Visible READ Visible WRITE SetShadowVisible)
    Q_PROPERTY(TColor Color READ Color WRITE SetShadowColor)
    Q_PROPERTY(int OffsetLeft READ OffsetLeft WRITE SetShadowLeft)
    Q_PROPERTY(int OffsetTop READ OffsetTop WRITE SetShadowTop)

public:
    explicit TShadow(QObject *parent = nullptr);

    bool Visible() const { return m_visible; }
    void SetShadowVisible(bool value);
    TColor Color() const { return m_color; }
    void SetShadowColor(TColor value);
    int OffsetLeft() const { return m_offsetLeft; }
    void SetShadowLeft(int value);
    int OffsetTop() const { return m_offsetTop; }
    void SetShadowTop(int value);

    // Copies all four values and announces the change once.
    void Assign(const TShadow &source);

signals:
    void OnChange();

private:
    bool m_visible = true;
    TColor m_color = clSilver;
    int m_offsetLeft = 1;
    int m_offsetTop = 1;
};

// A text label that can draw a drop shadow and a highlight behind its text,
// fill its background with a two-colour gradient and colour its text
// character by character along a two- or three-colour gradient.
class TShadowLabel : public QWidget
{
    Q_OBJECT

public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)
    enum TTextLayout { tlTop, tlCenter, tlBottom };
    Q_ENUM(TTextLayout)
    enum TEllipsis { elNone, elEnd, elPath };
    Q_ENUM(TEllipsis)
    enum TTextGradation { tgNone, tg2Colors, tg3Colors };
    Q_ENUM(TTextGradation)

private:
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(TTextLayout Layout READ Layout WRITE SetLayout)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool ShowAccelChar READ ShowAccelChar WRITE SetShowAccelChar)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(TEllipsis Ellipsis READ Ellipsis WRITE SetEllipsis)
    Q_PROPERTY(bool Flickerless READ Flickerless WRITE SetFlickerless)
    Q_PROPERTY(bool GradateVert READ GradateVert WRITE SetGradateVert)
    Q_PROPERTY(bool Gradation READ Gradation WRITE SetGradation)
    Q_PROPERTY(TColor GradationColor READ GradationColor WRITE SetGradationColor)
    Q_PROPERTY(TShadow *Highlight READ Highlight WRITE SetHighlight)
    Q_PROPERTY(TShadow *Shadow READ Shadow WRITE SetShadow)
    Q_PROPERTY(TTextGradation TextGradation READ TextGradation WRITE SetTextGradation)
    Q_PROPERTY(TColor TextGradationColor READ TextGradationColor WRITE SetTextGradationColor)
    Q_PROPERTY(TColor TextMidColor READ TextMidColor WRITE SetTextMidColor)
    Q_PROPERTY(QWidget *FocusControl READ FocusControl WRITE SetFocusControl)

public:
    explicit TShadowLabel(QWidget *parent = nullptr);
    ~TShadowLabel() override;

    // The label's own properties.
    QString Caption() const { return m_caption; }
    void SetCaption(const QString &value);
    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment value);
    TTextLayout Layout() const { return m_layout; }
    void SetLayout(TTextLayout value);
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool value);
    bool ShowAccelChar() const { return m_showAccelChar; }
    void SetShowAccelChar(bool value);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool value);
    // When on, the label takes the size of its text whenever the text or the
    // font changes; a right-justified label keeps its right edge.
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool value);
    TColor Color() const { return m_color; }
    void SetColor(TColor value);
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor value);

    // The shadow label's.
    TEllipsis Ellipsis() const { return m_ellipsis; }
    void SetEllipsis(TEllipsis value);
    bool Flickerless() const { return m_flickerless; }
    void SetFlickerless(bool value) { m_flickerless = value; }
    bool GradateVert() const { return m_gradateVert; }
    void SetGradateVert(bool value);
    bool Gradation() const { return m_gradation; }
    void SetGradation(bool value);
    TColor GradationColor() const { return m_gradationColor; }
    void SetGradationColor(TColor value);
    TShadow *Highlight() const { return m_highlight; }
    void SetHighlight(TShadow *value);
    TShadow *Shadow() const { return m_shadow; }
    void SetShadow(TShadow *value);
    TTextGradation TextGradation() const { return m_textGradation; }
    void SetTextGradation(TTextGradation value);
    TColor TextGradationColor() const { return m_textGradationColor; }
    void SetTextGradationColor(TColor value);
    TColor TextMidColor() const { return m_textMidColor; }
    void SetTextMidColor(TColor value);
    // The control the label names (for screen readers); none by default.
    QWidget *FocusControl() const { return m_focusControl; }
    void SetFocusControl(QWidget *control) { m_focusControl = control; }

    // Splits a colour, a system colour resolved first, into its bytes.
    static void GetRGB(TColor color, int &red, int &green, int &blue);
    // A two-colour gradient over the whole bitmap, top to bottom or left to right.
    static void GradBitmap(QImage &bitmap, TColor c1, TColor c2, bool vertical);
    // The same over a rectangle, computed on a narrow bitmap and stretched.
    static void GradRect(QPainter &canvas, const QRect &rect, TColor c1, TColor c2, bool vertical);
    // How far the text moves down for a layout: halves truncated toward zero.
    static int LayoutOffset(TTextLayout layout, int labelHeight, int textHeight);
    // The colour of character k of a run of n from c1 to c2.
    static TColor RunColor(TColor c1, TColor c2, int k, int n);

    // The text as painted: an empty caption, or a lone "&" when it marks
    // accelerators, gets a blank.
    QString PaintText() const;
    // The text's height as measured for the layout.
    int TextHeight() const;
    // The colour of each character of the text under the text gradation
    // (one entry per character), empty when the text is drawn in one colour.
    QList<TColor> GradientColors() const;

    // The repaint hook of the two shadow objects.
    void ShadowChanged();

    QSize sizeHint() const override;

protected:
    // Takes the form's "Highlight.Visible", "Shadow.Color" and the like as the
    // properties of the two shadow objects.
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Piece
    {
        QString text;
        TColor color;
    };
    int TextFlags() const;
    QString ShownText(const QString &text, int width) const;
    QList<Piece> GradientPieces(const QString &text) const;
    void Draw(QPainter &p, bool offscreen) const;
    void AdjustBounds();

    QString m_caption;
    TAlignment m_alignment = taLeftJustify;
    TTextLayout m_layout = tlTop;
    bool m_wordWrap = false;
    bool m_showAccelChar = true;
    bool m_transparent = false;
    bool m_autoSize = true;
    TColor m_color = clBtnFace;
    TColor m_fontColor = clWindowText;

    TEllipsis m_ellipsis = elNone;
    bool m_flickerless = true;
    bool m_gradateVert = false;
    bool m_gradation = false;
    TColor m_gradationColor = clBlue;
    TShadow *m_highlight = nullptr;
    TShadow *m_shadow = nullptr;
    TTextGradation m_textGradation = tgNone;
    TColor m_textGradationColor = clMaroon;
    TColor m_textMidColor = clNavy;
    QPointer<QWidget> m_focusControl;
};
