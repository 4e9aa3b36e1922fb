#pragma once

#include <QWidget>

// What a window says to a screen reader without showing it: a child of no
// size that appears, as a notification named by the text, each time there is
// something to say. Orca speaks a notification when it appears, wherever the
// focus is; Qt's bridge carries no announcement of its own.
class TScreenReaderNotice : public QWidget
{
    Q_OBJECT

public:
    explicit TScreenReaderNotice(QWidget *window);

    // Says text through the window's notice, made at the first use.
    static void Say(QWidget *window, const QString &text);
    // The window's notice; null before the first Say.
    static TScreenReaderNotice *Of(const QWidget *window);

    // What was said last.
    QString Text() const { return accessibleName(); }
};
