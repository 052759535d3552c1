// The peak computation's worker thread and the collecting side in the UI thread.
//
// Decoding even a sampled part of an hour of MP3 takes the better part of a second, and hashing
// the file's edges for the cache reads two megabytes; on the UI thread that would freeze the
// window. The worker sends its results by queued signals, so they are stored in the UI thread
// between events and the peaks need no lock.
#include "core/waveform_peak_computer.h"

#include "core/peak_scan.h"

#include <utility>

Q_DECLARE_METATYPE(snipora::PeakLayout)
Q_DECLARE_METATYPE(std::vector<snipora::PeakRange>)

namespace snipora {

class PeakWorker : public QObject {
    Q_OBJECT
public:
    PeakWorker(std::shared_ptr<std::atomic<quint64>> generation, PeakCache cache)
        : generation_(std::move(generation)), cache_(std::move(cache)) {}

    // Runs in the worker thread.
    void run(const QByteArray& path, quint64 generation) {
        const auto cancelled = [this, generation] {
            return generation_->load() != generation;
        };
        if (cancelled()) {
            return; // a newer start came in while this one waited in the queue
        }
        const std::optional<PeakFileIdentity> identity = identifyPeakFile(path);
        if (identity) {
            if (const std::optional<WaveformPeaks> kept = cache_.load(*identity)) {
                emit layoutReady(generation, kept->layout());
                emit chunkReady(generation, kept->ranges());
                emit ended(generation, QString());
                return;
            }
        }
        // The worker's own copy of what it sent, for the cache once the run is complete.
        WaveformPeaks peaks;
        std::int64_t refined = 0;
        const std::optional<QString> error =
            scanPeaks(path, {cancelled,
                             [&](const PeakLayout& layout) {
                                 peaks = WaveformPeaks(layout);
                                 emit layoutReady(generation, layout);
                             },
                             [&](std::vector<PeakRange>&& ranges) {
                                 peaks.append(ranges);
                                 emit guessReady(generation, ranges);
                             },
                             [&](std::vector<PeakRange>&& ranges) {
                                 peaks.replace(refined, ranges);
                                 refined += static_cast<std::int64_t>(ranges.size());
                                 emit chunkReady(generation, ranges);
                             }});
        if (identity && !error && !cancelled() && peaks.layout().valid() &&
            refined == peaks.bucketCount()) {
            cache_.store(*identity, peaks);
        }
        emit ended(generation, error.value_or(QString()));
    }

signals:
    void layoutReady(quint64 generation, const snipora::PeakLayout& layout);
    void guessReady(quint64 generation, const std::vector<snipora::PeakRange>& ranges);
    void chunkReady(quint64 generation, const std::vector<snipora::PeakRange>& ranges);
    void ended(quint64 generation, const QString& error);

private:
    std::shared_ptr<std::atomic<quint64>> generation_;
    const PeakCache cache_;
};

WaveformPeakComputer::WaveformPeakComputer(QObject* parent, const PeakCache& cache)
    : QObject(parent), generation_(std::make_shared<std::atomic<quint64>>(0)),
      worker_(new PeakWorker(generation_, cache)) {
    qRegisterMetaType<PeakLayout>();
    qRegisterMetaType<std::vector<PeakRange>>();
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &PeakWorker::layoutReady, this, &WaveformPeakComputer::receiveLayout);
    connect(worker_, &PeakWorker::guessReady, this, &WaveformPeakComputer::receiveGuess);
    connect(worker_, &PeakWorker::chunkReady, this, &WaveformPeakComputer::receiveChunk);
    connect(worker_, &PeakWorker::ended, this, &WaveformPeakComputer::receiveEnd);
    thread_.setObjectName(QStringLiteral("waveform peaks"));
    // The thread starts with the first file: a window that opens none never pays for it.
}

WaveformPeakComputer::~WaveformPeakComputer() {
    generation_->fetch_add(1); // the running scan stops after its current bucket
    if (!thread_.isRunning() && !thread_.isFinished()) {
        delete worker_; // never started: nothing else runs it or deletes it
        return;
    }
    thread_.quit();
    thread_.wait();
}

void WaveformPeakComputer::start(const QByteArray& path) {
    if (!thread_.isRunning()) {
        thread_.start(QThread::LowPriority);
    }
    const quint64 generation = generation_->fetch_add(1) + 1;
    peaks_ = WaveformPeaks();
    refined_ = 0;
    running_ = true;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, path, generation] { worker->run(path, generation); },
        Qt::QueuedConnection);
}

void WaveformPeakComputer::cancel() {
    generation_->fetch_add(1);
    running_ = false;
}

void WaveformPeakComputer::receiveLayout(quint64 generation, const PeakLayout& layout) {
    if (generation == generation_->load()) {
        peaks_ = WaveformPeaks(layout);
    }
}

void WaveformPeakComputer::receiveGuess(quint64 generation, const std::vector<PeakRange>& ranges) {
    if (generation != generation_->load()) {
        return;
    }
    peaks_.replace(0, ranges);
    emit peaksArrived(0, peaks_.coveredMs());
}

void WaveformPeakComputer::receiveChunk(quint64 generation, const std::vector<PeakRange>& ranges) {
    if (generation != generation_->load()) {
        return;
    }
    const PeakLayout& layout = peaks_.layout();
    const auto msAt = [&layout](std::int64_t bucket) {
        return bucket * layout.bucketSamples * 1000 / layout.rate;
    };
    const std::int64_t from = refined_;
    peaks_.replace(from, ranges);
    refined_ += static_cast<std::int64_t>(ranges.size());
    emit peaksArrived(msAt(from), msAt(refined_));
}

void WaveformPeakComputer::receiveEnd(quint64 generation, const QString& error) {
    if (generation != generation_->load()) {
        return;
    }
    running_ = false;
    peaks_.finish();
    if (error.isEmpty()) {
        emit finished();
    } else {
        emit failed(error);
    }
}

} // namespace snipora

#include "waveform_peak_computer.moc"
