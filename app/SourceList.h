#pragma once

#include <QObject>
#include <QStringList>

class QMimeData;
class QWidget;
class TSearchFile;
class TSortedListBox;
struct TSearchFileData;

// The list of source files of the main window: fills ListBox1 from dropped
// or named files and folders (folders through SearchFile1, recursively), and
// keeps the drop panel and the convert button in step with it. While the
// drop panel covers the list it takes the list's place in the tab chain, and
// Space or Enter on it opens the file dialog.
//
// Wiring in the main window (it owns the four controls):
//   SourceList = new TSourceList(ListBox1, Panel11, Button10, SearchFile1, this);
//       // sets SearchFile1's Recursive and connects its OnFind to SearchFile1Find;
//       // shows Panel11 and disables Button10 while the list is empty
//   setAcceptDrops(true);
//   void dragEnterEvent(QDragEnterEvent *e) override
//       { if (TSourceList::AcceptsDrop(e->mimeData())) e->acceptProposedAction(); }
//   void dropEvent(QDropEvent *e) override
//       { e->acceptProposedAction(); RunGuarded([&] { SourceList->DropFiles(e->mimeData()); }); }
//   connect(Button5, &QPushButton::clicked, this, Guarded(SourceList, &TSourceList::Button5Click));
//   // at the first activation, after the settings are loaded:
//   SourceList->AddSourcePaths(TApplication::Parameters());
class TSourceList : public QObject
{
    Q_OBJECT

public:
    TSourceList(TSortedListBox *listBox, QWidget *dropPanel, QWidget *convertButton,
                TSearchFile *searchFile, QObject *parent = nullptr);

    // Adds one dropped or named path: a file as it stands, a folder as every
    // entry of its tree (subfolders included); nothing for a missing path or
    // for the root.
    void AddSourcePath(const QString &path);
    // AddSourcePath for each path in turn, the entries merged into the list
    // in one step at the end.
    void AddSourcePaths(const QStringList &paths);

    // The OnFind handler of SearchFile1: every reported entry goes to the list.
    void SearchFile1Find(QObject *Sender, const QString &Name, const TSearchFileData &Data,
                         bool &Continue);
    // The clear button: empties the list, shows the drop panel, disables the
    // convert button.
    void Button5Click();

    // Drag and drop: a drag is taken when it carries at least one local file.
    static bool AcceptsDrop(const QMimeData *data);
    // The local paths of a drop, in the drop's order; other URLs are left out.
    static QStringList DroppedPaths(const QMimeData *data);
    void DropFiles(const QMimeData *data);

    // The keyboard's ways in, each adding as a drop of the same files would:
    // the file dialog (several files), the folder dialog, and the files
    // copied in a file manager (on the clipboard).
    void ChooseFiles();
    void ChooseFolder();
    void PasteFiles();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void AddOne(const QString &path);
    // The drop panel over the empty list, or the list itself; the focus
    // follows to whichever shows.
    void ShowDropPanel(bool show);

    TSortedListBox *m_listBox;
    QWidget *m_dropPanel;
    QWidget *m_convertButton;
    TSearchFile *m_searchFile;
    Qt::FocusPolicy m_listFocusPolicy;
};
