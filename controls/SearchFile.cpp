#include "SearchFile.h"

#include "Errors.h"
#include "Files.h"

#include <QMetaMethod>

namespace {
// A failure held by a Relayed handler until its event has returned. Searches
// run on the caller's thread, so each thread keeps its own.
thread_local std::exception_ptr heldFailure;

// Sets a busy flag for the length of a search, also when it ends by a failure.
class BusyScope
{
public:
    explicit BusyScope(bool &flag) : m_flag(flag) { m_flag = true; }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    bool &m_flag;
};

QString withSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// folder + name in a string of exactly that size: the names of a large tree
// are kept by the list, and a grown string would hold up to twice the room.
QString joinPath(const QString &folder, const QString &name)
{
    QString path;
    path.reserve(folder.size() + name.size());
    path.append(folder);
    path.append(name);
    return path;
}

bool isDotEntry(const QString &name)
{
    return name == QLatin1String(".") || name == QLatin1String("..");
}
} // namespace

namespace SearchFileDetail {
void HoldFailure(std::exception_ptr failure)
{
    if (!heldFailure)
        heldFailure = std::move(failure);
}

void RethrowHeldFailure()
{
    if (heldFailure) {
        std::exception_ptr failure;
        std::swap(failure, heldFailure);
        std::rethrow_exception(failure);
    }
}
} // namespace SearchFileDetail

TSearchFileData SearchFileDataFrom(const FileEntry &entry)
{
    TSearchFileData data;
    data.FileName = entry.name;
    data.ShortName = entry.name;
    data.Size = entry.size;
    data.CreationTimeValid = entry.creationTimeValid;
    if (entry.creationTimeValid)
        data.CreationTime = entry.creationTime;
    data.LastWriteTimeValid = entry.lastWriteTimeValid;
    if (entry.lastWriteTimeValid)
        data.LastWriteTime = entry.lastWriteTime;
    data.LastAccessTimeValid = entry.lastAccessTimeValid;
    if (entry.lastAccessTimeValid)
        data.LastAccessTime = entry.lastAccessTime;
    data.IsDirectory = entry.isDirectory;
    data.IsReadOnly = entry.isReadOnly;
    data.IsHidden = entry.isHidden;
    data.IsSystem = entry.isSystem;
    data.IsArchive = entry.isArchive;
    return data;
}

// --- TSearchDir ------------------------------------------------------------

TSearchDir::TSearchDir(QObject *owner) : QObject(owner) {}

void TSearchDir::DoFind(const QString &Name, const TSearchFileData &Data, bool &IgnoreSubDir,
                        bool &Continue)
{
    if (!isSignalConnected(QMetaMethod::fromSignal(&TSearchDir::OnFind)))
        return;
    emit OnFind(this, Name, Data, IgnoreSubDir, Continue);
    SearchFileDetail::RethrowHeldFailure();
}

bool TSearchDir::Search()
{
    if (m_busy || !isSignalConnected(QMetaMethod::fromSignal(&TSearchDir::OnFind)))
        return false;
    const QString base = ExpandFileName(m_baseDir);
    std::optional<FileEntry> baseEntry = LookUpPath(base);
    if (!baseEntry) {
        // The root is not reported by a look-up; its own "." entry describes it.
        if (!DirectoryExists(base))
            return false;
        for (const FileEntry &e : ListFolder(base, QStringLiteral(".")))
            baseEntry = e;
        if (!baseEntry)
            return false;
        baseEntry->name.clear();
        baseEntry->isHidden = false;
    }

    BusyScope busy(m_busy);
    bool result = true;
    m_queue.clear();
    m_walked.clear();
    bool Continue = true;
    bool IgnoreSubDir = false;
    try {
        m_walked.insert(qMakePair(baseEntry->device, baseEntry->inode));
        DoFind(base, SearchFileDataFrom(*baseEntry), IgnoreSubDir, Continue);
        if (!Continue)
            throw EAbort();
        if (!IgnoreSubDir)
            m_queue.push_back(base);
        while (!m_queue.empty()) {
            const QString folder = withSeparator(m_queue.front());
            m_queue.pop_front();
            for (const FileEntry &e : ListSubFolders(folder)) {
                // A folder met before (a link back to an ancestor, or a second
                // link to the same place) is not walked again. It is still an
                // entry of its parent for whoever lists that parent.
                const auto identity = qMakePair(e.device, e.inode);
                if (m_walked.contains(identity))
                    continue;
                m_walked.insert(identity);
                const QString name = joinPath(folder, e.name);
                IgnoreSubDir = false;
                DoFind(name, SearchFileDataFrom(e), IgnoreSubDir, Continue);
                if (!Continue)
                    throw EAbort();
                if (!IgnoreSubDir)
                    m_queue.push_back(name);
            }
        }
    } catch (const EAbort &) {
        result = false;
    }
    m_queue.clear();
    m_walked.clear();
    return result;
}

// --- TSearchFile -----------------------------------------------------------

TSearchFile::TSearchFile(QObject *owner) : QObject(owner), m_searchDir(new TSearchDir(this))
{
    connect(m_searchDir, &TSearchDir::OnFind, this, Relayed(this, &TSearchFile::SearchDirOnFind),
            Qt::DirectConnection);
}

void TSearchFile::DoFind(const QString &Name, const TSearchFileData &Data, bool &Continue)
{
    if (!isSignalConnected(QMetaMethod::fromSignal(&TSearchFile::OnFind)))
        return;
    emit OnFind(this, Name, Data, Continue);
    SearchFileDetail::RethrowHeldFailure();
}

void TSearchFile::DoFindDir(const QString &Name, const TSearchFileData &Data, bool &Skip,
                            bool &IgnoreSubDir)
{
    if (!isSignalConnected(QMetaMethod::fromSignal(&TSearchFile::OnFindDir)))
        return;
    emit OnFindDir(this, Name, Data, Skip, IgnoreSubDir);
    SearchFileDetail::RethrowHeldFailure();
}

void TSearchFile::SearchDirOnFind(QObject *, const QString &Name, const TSearchFileData &Data,
                                  bool &IgnoreSubDir, bool &)
{
    // The walker's Continue is left alone: an OnFindDir handler can prune the
    // walk but not stop it.
    bool Skip = false;
    DoFindDir(Name, Data, Skip, IgnoreSubDir);
    if (!Skip)
        m_folders.append(Name);
}

bool TSearchFile::Search()
{
    if (m_busy || !isSignalConnected(QMetaMethod::fromSignal(&TSearchFile::OnFind)))
        return false;
    BusyScope busy(m_busy);
    bool result = true;
    m_folders.clear();
    bool Continue = true;
    try {
        if (m_recursive) {
            m_searchDir->SetBaseDir(m_directory);
            m_searchDir->Search();
        } else {
            m_folders.append(ExpandFileName(m_directory));
        }
        const QString pattern = m_searchName.isEmpty() ? QStringLiteral("*.*") : m_searchName;
        for (const QString &f : std::as_const(m_folders)) {
            const QString folder = withSeparator(f);
            // The listing describes each entry as it finds it; an entry that
            // vanishes meanwhile is either already described or left out.
            for (const FileEntry &e : ListFolder(folder, pattern)) {
                if (isDotEntry(e.name))
                    continue;
                DoFind(joinPath(folder, e.name), SearchFileDataFrom(e), Continue);
                if (!Continue)
                    throw EAbort();
            }
        }
    } catch (const EAbort &) {
        result = false;
    }
    return result;
}
