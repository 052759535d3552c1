// Computes a file's peak overview on a worker thread and collects it, chunk by chunk.
#pragma once

#include "core/peak_cache.h"
#include "core/waveform_peaks.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>

namespace snipora {

class PeakWorker;

// Lives in the UI thread. start() hands the file to the worker. A file whose peaks the cache
// keeps gets them in one go; any other first gets a guess of the whole file from its frames'
// gains, then buckets decoded in order take the guessed ones' place. peaksArrived() says which
// stretch of time just became known or better known.
class WaveformPeakComputer : public QObject {
    Q_OBJECT
public:
    explicit WaveformPeakComputer(QObject* parent = nullptr,
                                  const PeakCache& cache = PeakCache(PeakCache::defaultFolder()));
    ~WaveformPeakComputer() override;

    // Drops the peaks so far, cancels any earlier run at once and starts on the file at `path`
    // (bytes as QFile::encodeName gives them, so that any name the file system holds works).
    void start(const QByteArray& path);
    // Stops the current run; nothing more of it arrives. The peaks so far stay.
    void cancel();
    bool isRunning() const { return running_; }

    const WaveformPeaks& peaks() const { return peaks_; }
    // How many buckets from the first hold decoded sound (or came from the cache); the rest
    // are still the guess.
    std::int64_t refinedBuckets() const { return refined_; }

signals:
    // peaks() now covers [fromMs, toMs).
    void peaksArrived(std::int64_t fromMs, std::int64_t toMs);
    void finished();
    // The file could not be read as MPEG audio; `reason` says why, for the user.
    void failed(const QString& reason);

private:
    void receiveLayout(quint64 generation, const snipora::PeakLayout& layout);
    void receiveGuess(quint64 generation, const std::vector<snipora::PeakRange>& ranges);
    void receiveChunk(quint64 generation, const std::vector<snipora::PeakRange>& ranges);
    void receiveEnd(quint64 generation, const QString& error);

    // The run the UI thread wants; the worker gives up as soon as its own number differs, and
    // anything it sent before noticing is recognised here by its number and dropped.
    std::shared_ptr<std::atomic<quint64>> generation_;
    QThread thread_;
    PeakWorker* worker_; // owned by thread_'s finished() -> deleteLater
    WaveformPeaks peaks_;
    std::int64_t refined_ = 0;
    bool running_ = false;
};

} // namespace snipora
