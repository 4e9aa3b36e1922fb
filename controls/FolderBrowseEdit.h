#pragma once

#include <QLineEdit>
#include <QPoint>
#include <QRect>
#include <QSize>

class QKeyEvent;
class QToolButton;

// A one-line field holding a folder path, with a browse button inside its
// right end that opens the folder dialog; F4 or Alt+Down open it as well.
class TFolderBrowseEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString Path READ Path WRITE SetPath)
    Q_PROPERTY(bool StartWithLast READ StartWithLast WRITE SetStartWithLast)
    Q_PROPERTY(int CaretBlinkRate READ CaretBlinkRate WRITE SetCaretBlinkRate)

public:
    static constexpr int ButtonWidth = 18;
    static constexpr QSize PictureSize{13, 14};

    explicit TFolderBrowseEdit(QWidget *parent = nullptr);
    ~TFolderBrowseEdit() override;

    // The text exactly as shown.
    QString Path() const { return text(); }
    // Replaces the text; an equal text changes nothing and fires nothing.
    void SetPath(const QString &path);

    // The dialog opens at the folder in the field (when there is one).
    bool StartWithLast() const { return m_startWithLast; }
    void SetStartWithLast(bool on) { m_startWithLast = on; }

    // Caret blink time in ms (one phase, on or off) while the field has the
    // focus; 0 keeps the system's.
    int CaretBlinkRate() const { return m_caretBlinkRate; }
    void SetCaretBlinkRate(int ms) { m_caretBlinkRate = ms; }

    QToolButton *BrowseButton() const { return m_button; }

    // Opens the dialog as a click on the button does.
    void Browse();
    // The keys that open the dialog from the field: F4 and Alt+Down.
    static bool IsBrowseKey(const QKeyEvent *event);

    // The text is being changed by the user's typing (a key other than
    // paste); a change handler leaves such a text as it stands, since a
    // separator typed at the end is followed by the next folder's name.
    bool Typing() const { return m_typing; }
    // Ends the user's typing: when it has changed the text, the change event
    // fires once more, outside the typing. Enter and the loss of the focus
    // do it; whoever takes the path for use calls it first.
    void FinishTyping();

    // Where the button sits in a field of the given size and frame width.
    static QRect ButtonRect(const QSize &fieldSize, int frameWidth);
    // Where the dialog goes: centred over the active window, pulled back to
    // that window's bottom or right edge when it would leave the screen, and
    // never above or left of the screen.
    static QPoint DialogPosition(const QRect &activeWindow, const QSize &dialogSize,
                                 const QRect &screen);

signals:
    // Every change of the text, whatever its cause.
    void OnChange(QObject *Sender);

protected:
    // Shows the folder dialog starting at startFolder (empty: none); true and
    // the chosen folder when the user confirms. Tests replace it.
    virtual bool BrowseForFolder(const QString &startFolder, QString &folder);

    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void placeButton();
    void restoreBlink();

    QToolButton *m_button = nullptr;
    bool m_startWithLast = false;
    int m_caretBlinkRate = 0;
    int m_savedFlashTime = -1; // the system's flash time while ours is in force
    bool m_typing = false;     // a key press is changing the text
    bool m_typed = false;      // typed since the typing was last finished
};
