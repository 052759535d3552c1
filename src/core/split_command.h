// Splitting from the command line: `snipora --split INPUT (--at|--cue|--pauses|--every) -o FOLDER`.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <vector>

class QCommandLineParser;

namespace snipora {

struct SplitRequest {
    enum class Source { Times, CueSheet, Pauses, Every };
    QByteArray input;  // absolute, the bytes as given
    QByteArray folder; // absolute
    Source source = Source::Times;
    std::vector<std::int64_t> timesMs; // --at
    QByteArray cueSheet;               // --cue, absolute
    double thresholdDb = -40;          // --pauses
    std::int64_t minimumPauseMs = 800;
    bool dropPauses = false;
    std::int64_t everyMs = 0; // --every
    bool nearQuietest = false;
    QString pattern;
    bool overwrite = false;
};

// The options a split takes, added to the program's parser (--split itself is the caller's).
void addSplitOptions(QCommandLineParser& parser);
// Whether any of them (other than -o) is on the line: they go with --split only.
bool splitOptionsUsed(const QCommandLineParser& parser);
// Reads a parsed line that holds --split; on a mistake `error` says what is wrong.
SplitRequest readSplitRequest(const QCommandLineParser& parser, const QByteArray& workingFolder,
                              QString* error);

// The help text's lines for --split and its options.
QString splitUsage();

// Runs the split in the calling thread: finds the split points, saves every piece, says which
// files were written on `out` and what failed on `errors`. 0 only when every piece was written
// and checked, 1 otherwise. `stop` set from another thread ends it between two writes, keeping
// the finished pieces.
int runSplit(const SplitRequest& request, const std::atomic<bool>& stop, std::FILE* out,
             std::FILE* errors);

} // namespace snipora
