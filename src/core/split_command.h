// Splitting from the command line: `snipora --split INPUT (--at|--cue|--pauses|--every) -o FOLDER`.
#pragma once

#include "core/pieces.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
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
    // Fades at every piece's edges, in milliseconds (0 for none).
    std::int64_t fadeInMs = 0;
    std::int64_t fadeOutMs = 0;
    // Convert Save of every piece into this format (as --format names it); empty: Direct Save.
    QString format;
    QString bitrate;
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

// A split made ready to save: the source open for reading, its pieces found. The source closes
// with it.
struct PlannedSplit {
    explicit PlannedSplit(int handle) : sourceHandle(handle) {}
    ~PlannedSplit();
    PlannedSplit(const PlannedSplit&) = delete;
    PlannedSplit& operator=(const PlannedSplit&) = delete;
    const int sourceHandle;
    QString sourceName; // the input's file name without its extension
    std::vector<Piece> pieces;
};

// Opens the input and finds its split points in the calling thread; nullptr after saying what
// is wrong on `errors`. `stop` set from another thread ends a search for pauses.
std::unique_ptr<PlannedSplit> planSplit(const SplitRequest& request, const std::atomic<bool>& stop,
                                        std::FILE* errors);

// Runs a split by Direct Save in the calling thread: finds the split points, saves every piece
// (with its fades), says which
// files were written on `out` and what failed on `errors`. 0 only when every piece was written
// and checked, 1 otherwise. `stop` set from another thread ends it between two writes, keeping
// the finished pieces.
int runSplit(const SplitRequest& request, const std::atomic<bool>& stop, std::FILE* out,
             std::FILE* errors);

} // namespace snipora
