#pragma once

#include <QObject>

class QWidget;

// Where the keyboard focus is. Like the platform's own controls, ours show it
// only once the user has pressed a key in their window (Tab, an arrow, a
// shortcut): at start, and for as long as only the mouse is used, a window
// looks exactly as designed. The mark is Qt's own (the window's
// WA_KeyboardFocusChange), so that the standard controls follow it too.
class TFocusCues : public QObject
{
    Q_OBJECT

public:
    // Whether the widget's window shows focus cues.
    static bool Shown(const QWidget *widget);
    // Whether the widget has the focus and shows it.
    static bool Visible(const QWidget *widget);
    // Shows the cues in the widget's window from now on.
    static void Show(QWidget *widget);
    // Starts watching the application's key presses (once); the controls
    // that can take the focus call it as they are made.
    static void Watch();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
