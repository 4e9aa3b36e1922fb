#pragma once

#include <QString>
#include <QStringList>
#include <set>
#include <vector>

// What a conversion batch came to, for the end-of-batch message's details
// area and the desktop notification: how many files were converted, and each
// pass that failed, with why.
class BatchReport
{
public:
    // Why a pass gave no output. The first kinds are the program's own rules,
    // checked before any encoder runs.
    enum class Failure {
        OwnSource,     // the output would overwrite the very file it reads
        ListedFile,    // ... another file of the list
        MadeByBatch,   // ... what this batch made from another file
        OlderFile,     // a file at the output path that may not be replaced
        NoOutputName,  // the entry gives no output file name
        Thumbnail,     // the thumbnail picture could not be read
        EncoderExit,   // the encoder ended with an error status (Code)
        EncoderSignal, // the encoder was killed by a signal (Code)
        OlderNotBack,  // the older file could not be put back under its name
        Other,
    };

    struct FailedPass
    {
        int entry = 0; // index in the source list
        int pass = 1;
        int passes = 1;
        QString source, output; // full paths
        Failure kind = Failure::Other;
        int code = 0;
        QStringList encoderLines; // the last lines of the encoder's error output
    };

    // The short sentence that says why.
    static QString Reason(Failure kind, int code);

    void Failed(const FailedPass &pass);
    void Converted(const QString &output);

    int ConvertedCount() const { return m_converted; }
    // Entries of the list with a failed pass.
    int FailedCount() const { return int(m_failedEntries.size()); }
    QString LastOutput() const { return m_lastOutput; }
    const std::vector<FailedPass> &Failures() const { return m_failures; }

    // The details area: per failed pass its names, its reason and the
    // encoder's last lines; at most MaxListed passes, then how many more.
    QString Details() const;
    static constexpr int MaxListed = 100;

    // The notification's summary and body (folder: where the outputs are).
    static QString Summary(bool stopped);
    QString Body(const QString &folder) const;

private:
    int m_converted = 0;
    QString m_lastOutput;
    std::vector<FailedPass> m_failures;
    std::set<int> m_failedEntries;
};
