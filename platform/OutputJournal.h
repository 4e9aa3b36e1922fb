#pragma once

#include "Files.h"

#include <QString>
#include <QStringList>

// The record of the outputs a batch is writing, kept in a folder of the
// user's own so that a run that ends without tidying up (a crash, a power
// cut) is tidied up at the next start: the unfinished output removed, the
// older file put back under its name.
//
// One file per batch, locked while its program runs; entries are appended and
// the file goes when the batch ends with every entry settled.
class OutputJournal
{
public:
    // One output under way.
    struct Entry
    {
        QString folder;      // absolute
        FileId folderId;     // the folder the names are in
        QString name;        // the output's name
        QString aside;       // the older file's name while it waits; empty: none
        FileId made;         // the output file made for the encoder; 0, 0: none yet
        qint64 madeBorn = 0; // its birth time in ns (a reused inode has another); 0: unknown
    };

    // Makes nothing yet: the file is created with the first entry.
    explicit OutputJournal(const QString &folder);
    ~OutputJournal();
    OutputJournal(const OutputJournal &) = delete;
    OutputJournal &operator=(const OutputJournal &) = delete;

    // Records an entry; durable: on the disk before it returns. The entry's
    // number, or -1 when the journal cannot be written (the conversion then
    // goes on without it).
    int Begin(const Entry &entry, bool durable);
    // The output file made for entry n.
    void Made(int n, const FileId &made, qint64 born);
    // Entry n is settled: kept (finished, the older file goes) or put back.
    // False when that could not be recorded.
    bool Done(int n, bool kept, bool durable);
    // Gives the journal up (a full disk): the file goes, nothing more is
    // recorded. Right when the entry under way is the only one unsettled,
    // as its record would otherwise undo a finished output.
    void Drop();

    // Settles what runs that have ended left in the folder (files locked by a
    // running program are left alone). Gives the older files that could not
    // be put back, where they now lie.
    static QStringList SettleLeftovers(const QString &folder);

private:
    bool open();
    bool append(const QByteArray &line, bool durable);

    QString m_folder;
    int m_fd = -1;
    bool m_broken = false;
    int m_next = 0;
    int m_open = 0; // entries begun and not yet done
    QByteArray m_name;
};
