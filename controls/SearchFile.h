#pragma once

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <exception>
#include <utility>

struct FileEntry;

// The description of one found entry, as the events receive it.
struct TSearchFileData
{
    QString FileName;  // the entry's own name, no folder part
    QString ShortName; // there are no short alternate names here: always FileName
    qint64 Size = 0;
    bool CreationTimeValid = false;
    QDateTime CreationTime; // local time, two-second resolution
    bool LastWriteTimeValid = false;
    QDateTime LastWriteTime;
    bool LastAccessTimeValid = false;
    QDateTime LastAccessTime;
    bool IsDirectory = false; // a folder, or a link to one
    bool IsReadOnly = false;
    bool IsHidden = false;  // the name begins with a dot
    bool IsSystem = false;  // a device, pipe, socket or dangling link
    bool Reserved = false;  // always false
    bool IsArchive = false; // a regular file
};

// The data of an entry as the folder listing describes it.
TSearchFileData SearchFileDataFrom(const FileEntry &entry);

namespace SearchFileDetail {
void HoldFailure(std::exception_ptr failure);
void RethrowHeldFailure();
} // namespace SearchFileDetail

// A slot object for the search events: calls receiver->handler(args...) and
// keeps a failure that leaves it, so that it does not unwind through Qt's
// signal dispatch; the component raises it again once the event has returned,
// which ends the search and passes the failure on to the caller of Search().
//   connect(SearchFile1, &TSearchFile::OnFind, this, Relayed(this, &TMainForm1::SearchFile1Find));
template<typename R, typename Base, typename... Args>
auto Relayed(R *receiver, void (Base::*handler)(Args...))
{
    return [receiver, handler](Args... args) {
        try {
            (receiver->*handler)(std::forward<Args>(args)...);
        } catch (...) {
            SearchFileDetail::HoldFailure(std::current_exception());
        }
    };
}

// Walks a folder tree breadth-first and reports every folder in it: the base
// first, then each level in the order the folder listing gives. Every folder
// is walked once (by device and inode), so links that lead back to an
// ancestor end the walk instead of looping.
class TSearchDir : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString BaseDir READ BaseDir WRITE SetBaseDir)

public:
    explicit TSearchDir(QObject *owner = nullptr);

    QString BaseDir() const { return m_baseDir; }
    void SetBaseDir(const QString &value) { m_baseDir = value; }

    // False when nothing was done (already walking, OnFind not connected,
    // BaseDir missing) or when a handler stopped the walk.
    bool Search();
    bool Busy() const { return m_busy; }

signals:
    void OnFind(QObject *Sender, const QString &Name, const TSearchFileData &Data,
                bool &IgnoreSubDir, bool &Continue);

protected:
    virtual void DoFind(const QString &Name, const TSearchFileData &Data, bool &IgnoreSubDir,
                        bool &Continue);

private:
    QString m_baseDir;
    std::deque<QString> m_queue;
    QSet<QPair<quint64, quint64>> m_walked; // device and inode of each folder met
    bool m_busy = false;
};

// Lists the entries of a folder, or of every folder of its tree, whose names
// match a pattern ("*", "?"; "*.*" matches every name), and reports each one
// through OnFind. Connect the events directly (the flags are references).
class TSearchFile : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Directory READ Directory WRITE SetDirectory)
    Q_PROPERTY(bool Recursive READ Recursive WRITE SetRecursive)
    Q_PROPERTY(QString SearchName READ SearchName WRITE SetSearchName)

public:
    explicit TSearchFile(QObject *owner = nullptr);

    QString Directory() const { return m_directory; }
    void SetDirectory(const QString &value) { m_directory = value; }
    bool Recursive() const { return m_recursive; }
    void SetRecursive(bool value) { m_recursive = value; }
    QString SearchName() const { return m_searchName; }
    void SetSearchName(const QString &value) { m_searchName = value; }

    // Runs the whole search. False when nothing was done (already searching,
    // OnFind not connected) or when an OnFind handler stopped the search.
    bool Search();
    bool Busy() const { return m_busy; }

signals:
    void OnFind(QObject *Sender, const QString &Name, const TSearchFileData &Data, bool &Continue);
    void OnFindDir(QObject *Sender, const QString &Name, const TSearchFileData &Data, bool &Skip,
                   bool &IgnoreSubDir);

protected:
    virtual void DoFind(const QString &Name, const TSearchFileData &Data, bool &Continue);
    virtual void DoFindDir(const QString &Name, const TSearchFileData &Data, bool &Skip,
                           bool &IgnoreSubDir);

private:
    void SearchDirOnFind(QObject *Sender, const QString &Name, const TSearchFileData &Data,
                         bool &IgnoreSubDir, bool &Continue);

    QString m_directory;
    bool m_recursive = false;
    QString m_searchName;
    TSearchDir *m_searchDir;
    QStringList m_folders; // the folders to search, kept until the next search
    bool m_busy = false;
};
