#pragma once

#include "ProgressSpeech.h"
#include "ui_ProgressWindow1.h"

#include <QPoint>
#include <QPointer>
#include <QWidget>

class BatchHost;
class QTimer;

// The small always-on-top strip a conversion batch shows: thumbnail, source
// and output names, both sizes once a second, the bar of finished files and a
// cancel button. It has no frame and is dragged by any point of its surface.
// The batch sets the controls directly; the window measures the sizes and
// handles cancel, reading the main window's texts through the host. Once
// shown its cancel button has the focus; Esc, Space and Enter cancel as a
// click does, and so does closing it by the window manager, which never
// hides it.
class TProgressForm1 : public QWidget, public Ui::TProgressForm1
{
    Q_OBJECT

public:
    // owner: the main window; the progress window is a window of its own (so
    // that disabling the owner leaves it usable) and is destroyed with it.
    TProgressForm1(QWidget *owner, BatchHost &host);

    QTimer *Timer1 = nullptr;

    // Sizes in bytes at the last tick (64-bit: sizes of 2 GB and more show right).
    qint64 SourceSize = 0;
    qint64 OutputSize = 0;

    // The size display, once per timer tick.
    void Timer1Timer();
    // Cancel: ends the running encoder of the batch and marks its output for
    // deletion (the cancel button's tag becomes 0).
    void Button1Click(QObject *Sender);

    // "%dKB -> %dKB", kilobytes being thousands of bytes, truncated.
    static QString SizeText(qint64 sourceSize, qint64 outputSize);

    // The window's position on a desktop of the given geometry: centred.
    static QPoint CentredPosition(const QRect &desktop, const QSize &size);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void applyDesign();
    // Whether a press at pos (window coordinates) drags the window: everything
    // but the bar and the cancel panel, which are controls of their own.
    bool isSurface(const QPoint &pos) const;

    BatchHost &m_host;
    QPointer<QWidget> m_owner;
    bool m_dragging = false;
    QPoint m_dragOffset;
    TProgressSpeech m_speech;
};

// The size of a file in bytes, also while another process writes it; -1 when
// it cannot be opened.
qint64 FileSizeOf(const QString &fileName);

// The progress window of the running batch (null once it has been destroyed).
extern QPointer<TProgressForm1> ProgressForm1;
