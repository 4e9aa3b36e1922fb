#pragma once

#include "Colors.h"

#include <QList>
#include <QRect>
#include <QWidget>

class QKeyEvent;
class QTimer;

// A flat push button that lights up under the mouse: the caption changes colour
// at once, the face and the border switch to their over colours at once or fade
// toward them on a timer of the button's own. Leaving the button reverses this.
// It has no native window and paints over its parent's surface; being disabled
// does not change its look. It takes the focus by the keyboard, where Space
// and Enter press it; once keys are in use (see TFocusCues) a focused button
// shows its over look with a focus rectangle inside its border.
class TPCVFadeButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TColor DestColor READ DestColor WRITE SetDestColor)
    Q_PROPERTY(TColor BorderColor READ BorderColor WRITE SetBorderColor)
    Q_PROPERTY(TColor BorderDestColor READ BorderDestColor WRITE SetBorderDestColor)
    Q_PROPERTY(TColor CaptionOverColor READ CaptionOverColor WRITE SetCaptionOverColor)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(bool ShowBorder READ ShowBorder WRITE SetShowBorder)
    Q_PROPERTY(int BorderHeight READ BorderHeight WRITE SetBorderHeight)
    Q_PROPERTY(bool FadeOnOver READ FadeOnOver WRITE SetFadeOnOver)
    Q_PROPERTY(bool FadeOnLeave READ FadeOnLeave WRITE SetFadeOnLeave)
    Q_PROPERTY(int Step READ Step WRITE SetStep)
    Q_PROPERTY(int Speed READ Speed WRITE SetSpeed)
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)

public:
    explicit TPCVFadeButton(QWidget *parent = nullptr);
    ~TPCVFadeButton() override;

    QString Caption() const { return m_caption; }
    void SetCaption(const QString &value);
    TColor Color() const { return m_color; }
    void SetColor(TColor value);
    TColor DestColor() const { return m_destColor; }
    void SetDestColor(TColor value) { m_destColor = value; }
    TColor BorderColor() const { return m_borderColor; }
    void SetBorderColor(TColor value);
    TColor BorderDestColor() const { return m_borderDestColor; }
    void SetBorderDestColor(TColor value) { m_borderDestColor = value; }
    TColor CaptionOverColor() const { return m_captionOverColor; }
    void SetCaptionOverColor(TColor value) { m_captionOverColor = value; }
    // The caption's colour (the font colour of the forms).
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor value);
    bool ShowBorder() const { return m_showBorder; }
    void SetShowBorder(bool value);
    int BorderHeight() const { return m_borderHeight; }
    void SetBorderHeight(int value);
    bool FadeOnOver() const { return m_fadeOnOver; }
    void SetFadeOnOver(bool value) { m_fadeOnOver = value; }
    bool FadeOnLeave() const { return m_fadeOnLeave; }
    void SetFadeOnLeave(bool value) { m_fadeOnLeave = value; }
    int Step() const { return m_step; }
    void SetStep(int value) { m_step = value; }
    int Speed() const { return m_speed; }
    void SetSpeed(int value);
    // A free integer for the owner (the progress window keeps its cancel flag here).
    int Tag() const { return m_tag; }
    void SetTag(int value) { m_tag = value; }

    // Run-time state.
    TColor CurrentColor() const { return m_currentColor; }
    TColor CurrentBorderColor() const { return m_currentBorderColor; }
    int FadeDelta() const { return m_fadeDelta; }
    TColor SavedFontColor() const { return m_savedFontColor; }
    QTimer *FadeTimer() const { return m_fadeTimer; }

    // Draws the button at once.
    void Paint();
    // The mouse moved over the button / left it.
    void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    void MouseLeave();
    // One fade tick.
    void Animate();
    // One fade step of a colour; switches the timer off when a stop test is
    // asked for and the colour has reached either end.
    TColor ERGB(int R, int G, int B, bool LimitByColors, bool NoStopTest, TColor Low, TColor High);

    // The colour of one fade step, without the stop test.
    static TColor StepColor(int R, int G, int B, bool LimitByColors, TColor Low, TColor High);
    // Whether a faded colour has reached either end (compared as signed values).
    static bool FadeEnds(TColor result, TColor Low, TColor High);
    // The bands the border pen covers: the outline runs through the outermost
    // pixel rows and columns and a pen of width w spreads w div 2 outward.
    static QList<QRect> BorderBands(QSize size, int penWidth);
    // The fill of the face; without a pen it leaves the last row and column.
    static QRect FaceRect(QSize size, bool border);
    // The caption's box: centred, halves truncated, so it may start left of 0.
    static QRect CaptionRect(QSize size, QSize text);
    // The one-pixel focus rectangle: one pixel of face inside the border.
    static QRect FocusRect(QSize size, bool border, int penWidth);
    // The keys that press a focused button: Space and Enter.
    static bool IsPressKey(const QKeyEvent *event);

    // The button's picture as it is drawn now.
    QPixmap Draw() const;

signals:
    void OnClick(QObject *Sender);
    void onMouseLeave(QObject *Sender);
    void onMouseDown(QObject *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                     int Y);
    void onMouseUp(QObject *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                   int Y);
    void onMouseMove(QObject *Sender, Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_caption;
    TColor m_color = clGreen;
    TColor m_destColor = clLime;
    TColor m_borderColor = clSilver;
    TColor m_borderDestColor = clWhite;
    TColor m_captionOverColor = clLime;
    TColor m_fontColor = clWhite;
    bool m_showBorder = true;
    int m_borderHeight = 1;
    bool m_fadeOnOver = true;
    bool m_fadeOnLeave = true;
    int m_step = 2;
    int m_speed = 10;
    int m_tag = 0;

    TColor m_currentColor = clGreen;
    TColor m_currentBorderColor = clSilver;
    int m_fadeDelta = 0;
    TColor m_savedFontColor = clBlack;
    // Set while the caption shows CaptionOverColor because of a mouse-over, so
    // that a leave without a preceding mouse-over keeps the caption's colour.
    bool m_captionSwitched = false;
    bool m_pressed = false;
    QTimer *m_fadeTimer = nullptr;
};
