#include "SourceList.h"

#include "Dialogs.h"
#include "FileNames.h"
#include "Files.h"
#include "Guard.h"
#include "PCVFadeButton.h"
#include "ScreenReaderNotice.h"
#include "SearchFile.h"
#include "SortedListBox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {
// Keeps the list box collecting for the length of a drop, also when a
// failure ends it, so that the entries found so far are merged.
class UpdateScope
{
public:
    explicit UpdateScope(TSortedListBox *listBox) : m_listBox(listBox) { m_listBox->BeginUpdate(); }
    ~UpdateScope() { m_listBox->EndUpdate(); }
    UpdateScope(const UpdateScope &) = delete;
    UpdateScope &operator=(const UpdateScope &) = delete;

private:
    TSortedListBox *m_listBox;
};
} // namespace

TSourceList::TSourceList(TSortedListBox *listBox, QWidget *dropPanel, QWidget *convertButton,
                         TSearchFile *searchFile, QObject *parent)
    : QObject(parent), m_listBox(listBox), m_dropPanel(dropPanel), m_convertButton(convertButton),
      m_searchFile(searchFile), m_listFocusPolicy(listBox->focusPolicy())
{
    m_searchFile->SetRecursive(true);
    // Entries keep a name's bytes; a name that is not UTF-8 is shown readably.
    m_listBox->SetDisplayForm(&ReadableFileName);
    connect(m_searchFile, &TSearchFile::OnFind, this, Relayed(this, &TSourceList::SearchFile1Find),
            Qt::DirectConnection);
    m_dropPanel->installEventFilter(this);
    if (m_listBox->Count() == 0)
        ShowDropPanel(true);
}

void TSourceList::ShowDropPanel(bool show)
{
    m_convertButton->setEnabled(!show);
    QWidget *shown = show ? m_dropPanel : static_cast<QWidget *>(m_listBox);
    QWidget *covered = show ? static_cast<QWidget *>(m_listBox) : m_dropPanel;
    if (show)
        m_dropPanel->show();
    // Tab reaches the panel; a click on it leaves the focus where it is.
    shown->setFocusPolicy(show ? Qt::TabFocus : m_listFocusPolicy);
    // Also while a dialog has the keys: the window's focus comes back to
    // where it was.
    if (covered->window()->focusWidget() == covered)
        shown->setFocus(Qt::OtherFocusReason);
    covered->setFocusPolicy(Qt::NoFocus);
    if (!show)
        m_dropPanel->hide();
}

void TSourceList::AddOne(const QString &path)
{
    const std::optional<FileEntry> entry = LookUpPath(path);
    if (!entry)
        return;
    if (entry->isDirectory) {
        // "/." or a link to "/" names the root as well: never walk the whole disk.
        if (SameFile(path, QStringLiteral("/")))
            return;
        m_searchFile->SetDirectory(path);
        m_searchFile->SetSearchName(QStringLiteral("*.*"));
        m_searchFile->Search();
    } else {
        m_listBox->Add(path);
    }
}

void TSourceList::AddSourcePath(const QString &path)
{
    AddSourcePaths(QStringList{path});
}

void TSourceList::AddSourcePaths(const QStringList &paths)
{
    const int before = m_listBox->Count();
    {
        UpdateScope update(m_listBox);
        for (const QString &path : paths)
            AddOne(path);
    }
    if (m_listBox->Count() > 0)
        ShowDropPanel(false);
    // The focus stays where it was: a screen reader hears the list grow.
    if (m_listBox->Count() > before)
        TScreenReaderNotice::Say(m_listBox->window(),
                                 QStringLiteral("%1 ファイル").arg(m_listBox->Count()));
}

void TSourceList::SearchFile1Find(QObject *, const QString &Name, const TSearchFileData &, bool &)
{
    m_listBox->Add(Name);
}

void TSourceList::Button5Click()
{
    m_listBox->Clear();
    ShowDropPanel(true);
}

bool TSourceList::AcceptsDrop(const QMimeData *data)
{
    return !DroppedPaths(data).isEmpty();
}

QStringList TSourceList::DroppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        // The name's own bytes, as the desktop percent-encoded them:
        // toLocalFile() would put U+FFFD in place of bytes that are not UTF-8.
        if (url.host().isEmpty())
            paths.append(DecodeFileName(
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())));
        else
            paths.append(url.toLocalFile());
    }
    return paths;
}

void TSourceList::DropFiles(const QMimeData *data)
{
    AddSourcePaths(DroppedPaths(data));
}

void TSourceList::ChooseFiles()
{
    AddSourcePaths(ChooseSources(FileDialogKind::Files));
}

void TSourceList::ChooseFolder()
{
    AddSourcePaths(ChooseSources(FileDialogKind::Folder));
}

void TSourceList::PasteFiles()
{
    DropFiles(QGuiApplication::clipboard()->mimeData());
}

bool TSourceList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_dropPanel && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // The panel is pressed as a button is.
        if (TPCVFadeButton::IsPressKey(key)) {
            if (!key->isAutoRepeat())
                RunGuarded([this] { ChooseFiles(); });
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
