#pragma once

#include "Files.h"
#include "OutputJournal.h"

#include <QString>

// One output file while its passes run. A file that lay at the output path
// before (the older file) is renamed aside in the same folder, under a hidden
// name no other entry has, and the empty output file is made for the
// encoder, which writes into it (so a size display sees it grow). Only a
// finished file replaces the older one; whatever else ends it puts the older
// file back, byte for byte, and leaves nothing under the output name.
class PendingOutput
{
public:
    enum class Start {
        Ready,      // the output file is made, an older file waits aside
        Refused,    // an older file that may not be replaced: the encoder must not run
        Unprepared, // nothing to keep (no folder, or none can be made there): the
                    // encoder finds that out itself; its file is removed when
                    // it does not finish
    };

    PendingOutput() = default;
    ~PendingOutput(); // Abandon() when still under way
    PendingOutput(const PendingOutput &) = delete;
    PendingOutput &operator=(const PendingOutput &) = delete;

    // Before the file's first pass; journal may be null.
    Start Begin(const QString &output, OutputJournal *journal);
    bool Active() const { return m_active; }
    QString Output() const { return m_output; }

    // The last pass finished: the older file goes.
    void Finish();
    // The file did not finish: what lies under the output name is removed
    // (only the file made for the encoder, when there is one) and the older
    // file goes back. False when it cannot go back (another file has taken
    // the name meanwhile): it stays aside, and the journal keeps it named.
    bool Abandon();
    // The output file made for the encoder, once Ready.
    FileId Made() const { return m_entry.made; }

    // What a journal entry left by a run that ended under way comes to. Not
    // finished: the made output removed (when the file at the name is still
    // that one) and the older file put back. Finished: the older file goes,
    // as the run would have done. Gives the path of an older file that could
    // not be put back, else an empty text.
    static QString Settle(const OutputJournal::Entry &entry, bool finished);

private:
    void reset();

    bool m_active = false;
    bool m_prepared = false;
    QString m_output;
    int m_folderFd = -1;
    OutputJournal::Entry m_entry;
    OutputJournal *m_journal = nullptr;
    int m_record = -1;
};
