#pragma once

#include <QString>

// What the progress window says to a screen reader, tick by tick (once a
// second): the names and the sizes once a file has started, then the sizes
// again when they have changed, at most every CalmTicks ticks. The labels
// themselves always hold the current texts for a reader that asks.
class TProgressSpeech
{
public:
    static constexpr int CalmTicks = 10;
    // A new file is said at the second tick of its run: at the first, the
    // screen reader is still taking in the window that came up (or the
    // main window that went disabled) and drops what else comes.
    static constexpr int StartTicks = 2;

    // shownNames: the names label as it is before the first file.
    explicit TProgressSpeech(const QString &shownNames) : m_names(shownNames) {}

    // What to say at this tick; empty for nothing.
    QString Tick(const QString &names, const QString &sizes);

    // What is said when the batch of the given number of files is over.
    static QString EndText(int files);

private:
    QString m_names;
    QString m_sizes;
    int m_ticksSinceSaid = 0;
    int m_ticksOfFile = StartTicks; // ticks since the names changed
};
