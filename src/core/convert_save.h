// Convert Save: the selection encoded by ffmpeg into the chosen format, followed without waiting.
#pragma once

#include "core/decoded_samples.h"
#include "core/process_runner.h"
#include "core/save_outcome.h"
#include "core/selection.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QThread;

namespace snipora {

struct ConvertSaveJob {
    QString programFolder; // holds the encoder link `ffmpeg`
    Selection selection;
    QString inputPath;         // a path the encoder can open: the source as opened
    QString format;            // as the format list shows it, e.g. "FLAC"
    QString bitrate;           // as the bitrate list shows it, e.g. "128k"; empty for WAV and FLAC
    QString target;            // the chosen path, with the format's extension
    std::int64_t fadeInMs = 0; // fades at the edges, 0 for none
    std::int64_t fadeOutMs = 0;
    // Sections of the selection taken out, to the sample (which needs the source's rate); the
    // pieces either side of each join cross-fade over crossFadeMs.
    std::vector<Selection> removedSections = {};
    int sourceSampleRate = 0;
    std::int64_t crossFadeMs = 10;
    QList<std::pair<QString, QString>> tags = {}; // set on the output over the source's
};

// The path with the format's extension: a missing one is added, another format's replaced,
// because the encoder picks the container from the name.
QString withFormatExtension(const QString& path, const QString& format);

// The encoder writes a hidden temporary file beside the target; only an output that ran to the
// end and whose decoded samples make the selection's length (less the sections taken out)
// replaces the target. Whatever way
// the save ends (a failure, a cancel, the object going away), the encoder is ended and the
// temporary file removed.
class ConvertSave : public QObject {
    Q_OBJECT
public:
    ConvertSave(ProcessLauncher& launcher, QObject* parent = nullptr);
    ~ConvertSave() override;

    // Starts the save; finished follows from the event loop.
    void start(const ConvertSaveJob& job);
    // Ends the encoder; finished reports "cancelled".
    void cancel();
    // Ends the encoder and removes its file at once, without reporting.
    void abandon();
    bool isRunning() const { return running_; }
    // The command the encoder was started with, for people to read.
    const QString& commandLine() const { return commandLine_; }

signals:
    // Milliseconds of the selection encoded so far, from the encoder's progress report.
    void progress(std::int64_t doneMs, std::int64_t totalMs);
    // Nothing on success, else the whole message to show.
    void finished(SaveOutcome outcome);

private:
    void encoderOutput(const QByteArray& line);
    void startEncoder(bool convertCover);
    void encoderFinished(const RunOutcome& outcome);
    void probeOutput(const QByteArray& line);
    void probeFinished(const RunOutcome& outcome);
    // An MP3 output is decoded on a thread of its own while the encoder writes it, and ends in
    // checkLengthAndKeep too.
    void startCount();
    void endCount();
    void countFinished(int round, const std::optional<DecodedSamples>& counted);
    void checkLengthAndKeep();
    void finish(const SaveOutcome& outcome);
    void fail(const QString& reason);

    ProcessRunner encoder_;
    ProcessRunner probe_;
    std::unique_ptr<QThread> counter_;
    std::shared_ptr<FollowSignal> follow_; // of the count running now
    int countRound_ = 0; // so that a count abandoned for a later one reports nothing
    ConvertSaveJob job_;
    QString temporary_;
    QString commandLine_;
    std::int64_t keptMs_ = 0; // the output's expected length
    std::int64_t decodedSamples_ = 0;
    int sampleRate_ = 0;
    bool coverConverted_ = false;
    bool running_ = false;
};

} // namespace snipora
