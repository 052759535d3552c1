// The peak computation's worker thread and the collecting side in the UI thread.
//
// Decoding even a sampled part of an hour of MP3 takes the better part of a second; on the UI
// thread that would freeze the window. The worker sends its results by queued signals, so they
// are appended in the UI thread between events and the peaks need no lock.
#include "core/waveform_peak_computer.h"

#include "core/peak_scan.h"

#include <utility>

Q_DECLARE_METATYPE(snipora::PeakLayout)
Q_DECLARE_METATYPE(std::vector<snipora::PeakRange>)

namespace snipora {

class PeakWorker : public QObject {
    Q_OBJECT
public:
    explicit PeakWorker(std::shared_ptr<std::atomic<quint64>> generation)
        : generation_(std::move(generation)) {}

    // Runs in the worker thread.
    void run(const QByteArray& path, quint64 generation) {
        const auto cancelled = [this, generation] {
            return generation_->load() != generation;
        };
        if (cancelled()) {
            return; // a newer start came in while this one waited in the queue
        }
        const std::optional<QString> error = scanPeaks(
            path,
            {cancelled, [&](const PeakLayout& layout) { emit layoutReady(generation, layout); },
             [&](std::vector<PeakRange>&& ranges) {
                 emit chunkReady(generation, ranges);
             }});
        emit ended(generation, error.value_or(QString()));
    }

signals:
    void layoutReady(quint64 generation, const snipora::PeakLayout& layout);
    void chunkReady(quint64 generation, const std::vector<snipora::PeakRange>& ranges);
    void ended(quint64 generation, const QString& error);

private:
    std::shared_ptr<std::atomic<quint64>> generation_;
};

WaveformPeakComputer::WaveformPeakComputer(QObject* parent)
    : QObject(parent), generation_(std::make_shared<std::atomic<quint64>>(0)),
      worker_(new PeakWorker(generation_)) {
    qRegisterMetaType<PeakLayout>();
    qRegisterMetaType<std::vector<PeakRange>>();
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &PeakWorker::layoutReady, this, &WaveformPeakComputer::receiveLayout);
    connect(worker_, &PeakWorker::chunkReady, this, &WaveformPeakComputer::receiveChunk);
    connect(worker_, &PeakWorker::ended, this, &WaveformPeakComputer::receiveEnd);
    thread_.setObjectName(QStringLiteral("waveform peaks"));
    thread_.start(QThread::LowPriority);
}

WaveformPeakComputer::~WaveformPeakComputer() {
    generation_->fetch_add(1); // the running scan stops after its current bucket
    thread_.quit();
    thread_.wait();
}

void WaveformPeakComputer::start(const QByteArray& path) {
    const quint64 generation = generation_->fetch_add(1) + 1;
    peaks_ = WaveformPeaks();
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

void WaveformPeakComputer::receiveChunk(quint64 generation, const std::vector<PeakRange>& ranges) {
    if (generation != generation_->load()) {
        return;
    }
    const std::int64_t from = peaks_.coveredMs();
    peaks_.append(ranges);
    emit peaksArrived(from, peaks_.coveredMs());
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
