#include "FolderBrowseEdit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyleHints>
#include <QStyleOptionFrame>
#include <QToolButton>

namespace {
// Sets the dialog up once it knows its own size, just before it appears:
// places it (being moved, it skips its own centring over its parent) and
// disables its OK button, which the dialog enables again as the user picks or
// types a folder.
class DialogStarter : public QObject
{
public:
    DialogStarter(const QRect &activeWindow, const QRect &screen)
        : m_activeWindow(activeWindow), m_screen(screen)
    {
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !m_done) {
            m_done = true;
            auto *dialog = static_cast<QWidget *>(watched);
            dialog->move(TFolderBrowseEdit::DialogPosition(
                m_activeWindow, dialog->frameGeometry().size(), m_screen));
            if (auto *box = dialog->findChild<QDialogButtonBox *>())
                for (QAbstractButton *button : box->buttons())
                    if (box->buttonRole(button) == QDialogButtonBox::AcceptRole)
                        button->setEnabled(false);
        }
        return false;
    }

private:
    QRect m_activeWindow;
    QRect m_screen;
    bool m_done = false;
};
} // namespace

TFolderBrowseEdit::TFolderBrowseEdit(QWidget *parent) : QLineEdit(parent)
{
    m_button = new QToolButton(this);
    m_button->setObjectName(QStringLiteral("BrowseButton"));
    m_button->setIcon(QIcon(QStringLiteral(":/FolderBrowse.xpm")));
    m_button->setIconSize(PictureSize);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCursor(Qt::ArrowCursor);
    setTextMargins(0, 0, ButtonWidth, 0);
    placeButton();

    connect(m_button, &QToolButton::clicked, this, &TFolderBrowseEdit::Browse);
    connect(this, &QLineEdit::textChanged, this, [this] {
        m_typed = m_typing;
        emit OnChange(this);
    });
}

TFolderBrowseEdit::~TFolderBrowseEdit()
{
    restoreBlink();
}

void TFolderBrowseEdit::SetPath(const QString &path)
{
    if (path == text())
        return;
    setText(path);
}

void TFolderBrowseEdit::FinishTyping()
{
    if (!m_typed)
        return;
    m_typed = false;
    emit OnChange(this);
}

bool TFolderBrowseEdit::IsBrowseKey(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    return (event->key() == Qt::Key_F4 && mods == Qt::NoModifier) ||
           (event->key() == Qt::Key_Down && mods == Qt::AltModifier);
}

void TFolderBrowseEdit::keyPressEvent(QKeyEvent *event)
{
    if (IsBrowseKey(event)) {
        event->accept();
        if (!event->isAutoRepeat())
            Browse();
        return;
    }
    {
        // A pasted text is complete as it comes.
        const QScopedValueRollback<bool> typing(m_typing, !event->matches(QKeySequence::Paste));
        QLineEdit::keyPressEvent(event);
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        FinishTyping();
}

void TFolderBrowseEdit::Browse()
{
    const QString start = m_startWithLast ? text() : QString();
    QString folder;
    if (BrowseForFolder(start, folder))
        SetPath(folder);
}

bool TFolderBrowseEdit::BrowseForFolder(const QString &startFolder, QString &folder)
{
    QWidget *owner = window();
    QWidget *active = QApplication::activeWindow();
    if (!active)
        active = owner;

    // Qt's own dialog: the platform's native one cannot be placed by the program.
    QFileDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setWindowModality(Qt::WindowModal);
    if (!startFolder.isEmpty())
        dialog.setDirectory(startFolder);

    QScreen *screen = active->screen() ? active->screen() : QGuiApplication::primaryScreen();
    DialogStarter starter(active->frameGeometry(), screen ? screen->geometry() : QRect());
    dialog.installEventFilter(&starter);

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    folder = chosen.first();
    return true;
}

QRect TFolderBrowseEdit::ButtonRect(const QSize &fieldSize, int frameWidth)
{
    return QRect(fieldSize.width() - frameWidth - ButtonWidth, frameWidth, ButtonWidth,
                 qMax(0, fieldSize.height() - 2 * frameWidth));
}

QPoint TFolderBrowseEdit::DialogPosition(const QRect &activeWindow, const QSize &dialogSize,
                                         const QRect &screen)
{
    int x = activeWindow.left() + (activeWindow.width() - dialogSize.width()) / 2;
    int y = activeWindow.top() + (activeWindow.height() - dialogSize.height()) / 2;
    if (!screen.isEmpty()) {
        if (y + dialogSize.height() > screen.top() + screen.height())
            y = activeWindow.top() + activeWindow.height() - dialogSize.height();
        if (x + dialogSize.width() > screen.left() + screen.width())
            x = activeWindow.left() + activeWindow.width() - dialogSize.width();
    }
    const int left = screen.isEmpty() ? 0 : screen.left();
    const int top = screen.isEmpty() ? 0 : screen.top();
    return QPoint(qMax(x, left), qMax(y, top));
}

void TFolderBrowseEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    placeButton();
}

void TFolderBrowseEdit::placeButton()
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    m_button->setGeometry(ButtonRect(size(), hasFrame() ? frame : 0));
}

void TFolderBrowseEdit::focusInEvent(QFocusEvent *event)
{
    if (m_caretBlinkRate > 0 && m_savedFlashTime < 0) {
        QStyleHints *hints = QGuiApplication::styleHints();
        m_savedFlashTime = hints->cursorFlashTime();
        // Qt's flash time is a whole cycle: shown, then hidden.
        hints->setCursorFlashTime(2 * m_caretBlinkRate);
    }
    // Reached by the keys, the path is not selected whole, as Qt's fields
    // would: a screen reader reads a selected text once as the field's text
    // and again as the selection, cut where the caret stands.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
        reason == Qt::ShortcutFocusReason) {
        QFocusEvent plain(event->type(), Qt::OtherFocusReason);
        QLineEdit::focusInEvent(&plain);
        return;
    }
    QLineEdit::focusInEvent(event);
}

void TFolderBrowseEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    restoreBlink();
    FinishTyping();
}

void TFolderBrowseEdit::restoreBlink()
{
    if (m_savedFlashTime < 0)
        return;
    QGuiApplication::styleHints()->setCursorFlashTime(m_savedFlashTime);
    m_savedFlashTime = -1;
}
