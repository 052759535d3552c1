// QAudioSink on the audio thread, pulling decoded sound as the sound server asks for it.
#include "platform/mci/sink_output.h"

#include "platform/mci/sound_system.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <functional>
#include <optional>

namespace snipora::mci {

namespace {

// How much sound the server keeps ahead of what is heard. Short, so that a stop, a pause or a
// new position is heard at once; long enough that a busy machine does not starve it.
constexpr int bufferMs = 200;
// How often the audio thread passes the played count on to the command side while the sink
// plays out its last sound; before that, each pull passes it on (every 20 ms in Qt's sink).
constexpr int reportMs = 20;

// The source as the sink sees it: a read-only device whose size is what is left of the
// stretch, so that the sink can start a stretch shorter than its pre-buffer. `pulled` is called
// after each read, with whether the source is done.
class PullDevice final : public QIODevice {
public:
    PullDevice(std::shared_ptr<PcmSource> source, int channels, qint64 bytesLeft,
               std::function<void(bool done)> pulled)
        : source_(std::move(source)), frameBytes_(2 * channels), size_(bytesLeft),
          pulled_(std::move(pulled)) {}

    bool isSequential() const override { return true; }
    qint64 size() const override { return size_; }
    bool atEnd() const override { return exhausted_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 frames = maxSize / frameBytes_;
        if (exhausted_ || frames <= 0) {
            return 0;
        }
        const std::size_t got = source_->readFrames(reinterpret_cast<std::int16_t*>(data),
                                                    static_cast<std::size_t>(frames));
        if (got == 0) {
            exhausted_ = true;
        }
        pulled_(got == 0);
        return static_cast<qint64>(got) * frameBytes_;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const std::shared_ptr<PcmSource> source_;
    const qint64 frameBytes_;
    const qint64 size_;
    const std::function<void(bool done)> pulled_;
    std::atomic<bool> exhausted_{false}; // also read by the sound server's thread
};

} // namespace

// One word, so that the stretch number and what is known of it always change together.
class SinkOutput::Progress {
public:
    static constexpr std::uint32_t stretchMask = (1U << 22) - 1;
    struct Report {
        std::uint32_t stretch = 0;
        std::int64_t frames = 0;
        bool started = false;
        bool failed = false;
    };

    // Command side: a new stretch, nothing known of it yet.
    void begin(std::uint32_t stretch) { word_.store(pack(Report{stretch, 0, false, false})); }
    Report load() const { return unpack(word_.load()); }
    // Audio side: changes the report only while `stretch` is still the current one.
    template <typename Change> void update(std::uint32_t stretch, Change change) {
        std::uint64_t old = word_.load();
        for (;;) {
            Report report = unpack(old);
            if (report.stretch != stretch) {
                return;
            }
            change(report);
            if (word_.compare_exchange_weak(old, pack(report))) {
                return;
            }
        }
    }

private:
    static constexpr int frameBits = 40; // 290 days at 44,100 Hz
    static constexpr std::uint64_t frameMask = (std::uint64_t{1} << frameBits) - 1;

    static std::uint64_t pack(const Report& report) {
        return (static_cast<std::uint64_t>(report.frames) & frameMask) |
               (std::uint64_t{report.stretch & stretchMask} << frameBits) |
               (std::uint64_t{report.started} << 62) | (std::uint64_t{report.failed} << 63);
    }
    static Report unpack(std::uint64_t word) {
        return Report{static_cast<std::uint32_t>(word >> frameBits) & stretchMask,
                      static_cast<std::int64_t>(word & frameMask), ((word >> 62) & 1) != 0,
                      ((word >> 63) & 1) != 0};
    }

    std::atomic<std::uint64_t> word_{0};
};

// Everything that touches the sink; its methods run on the audio thread only, and may wait
// there as long as the sound server takes.
class SinkOutput::Worker final : public QObject {
public:
    Worker(std::shared_ptr<DeviceLookup> lookup, std::shared_ptr<std::atomic<bool>> abandoned,
           std::shared_ptr<Progress> progress)
        : lookup_(std::move(lookup)), abandoned_(std::move(abandoned)),
          progress_(std::move(progress)) {
        reportTimer_.setInterval(reportMs);
        QObject::connect(&reportTimer_, &QTimer::timeout, this, [this] { report(); });
    }

    void start(std::uint32_t stretch, const PcmFormat& format, std::shared_ptr<PcmSource> source) {
        stop();
        stretch_ = stretch;
        if (!device_) {
            device_ = lookup_->wait(*abandoned_);
            if (!device_) {
                return; // abandoned before the sound system answered: nothing to play into
            }
        }
        QAudioFormat audioFormat;
        audioFormat.setSampleRate(format.rate);
        audioFormat.setChannelCount(format.channels);
        audioFormat.setSampleFormat(QAudioFormat::Int16);
        if (!sink_ || sink_->format() != audioFormat) {
            sink_ = std::make_unique<QAudioSink>(*device_, audioFormat);
            sink_->setBufferSize(audioFormat.bytesForDuration(bufferMs * 1000));
            QObject::connect(sink_.get(), &QAudioSink::stateChanged, this,
                             [this](QAudio::State state) { stateChanged(state); });
        }
        rate_ = format.rate;
        failed_ = false;
        const qint64 bytesLeft = source->framesLeft() * 2 * format.channels;
        // The sink pulls every few tens of milliseconds while there is sound to come, and each
        // pull passes the count on: the audio thread wakes for nothing else until the sink
        // plays out what it holds.
        pull_ = std::make_unique<PullDevice>(std::move(source), format.channels, bytesLeft,
                                             [this](bool done) {
                                                 report();
                                                 if (done && !reportTimer_.isActive()) {
                                                     reportTimer_.start();
                                                 }
                                             });
        pull_->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        sink_->start(pull_.get());
        if (sink_->state() == QAudio::StoppedState) {
            pull_.reset();
            fail();
            return;
        }
        progress_->update(stretch_, [](Progress::Report& report) { report.started = true; });
    }

    void pause() {
        if (sink_ && pull_) {
            report();
            sink_->suspend();
            reportTimer_.stop();
            paused_ = true;
        }
    }

    void resume() {
        if (sink_ && pull_ && paused_) {
            paused_ = false;
            // An underrun the server reports while the stream is held moves the sink from its
            // suspended state to idle, and its resume() then does nothing: the stream stays
            // held for good, silent, its time standing still. Held again first, it is sure to
            // be let go.
            if (sink_->state() != QAudio::SuspendedState) {
                sink_->suspend();
            }
            sink_->resume();
            if (pull_->atEnd()) {
                reportTimer_.start(); // no pull is coming
            }
        }
    }

    void stop() {
        reportTimer_.stop();
        paused_ = false;
        if (sink_) {
            // The played time starts again from zero with the next start.
            sink_->stop();
        }
        pull_.reset();
    }

    void release() {
        stop();
        sink_.reset();
    }

private:
    void report() {
        if (!sink_ || !pull_ || failed_) {
            return;
        }
        // Rounded: the server's microseconds are themselves rounded down from frames.
        const std::int64_t frames = (sink_->processedUSecs() * rate_ + 500'000) / 1'000'000;
        progress_->update(stretch_, [frames](Progress::Report& report) {
            report.frames = std::max(report.frames, frames);
        });
    }

    void fail() {
        failed_ = true;
        reportTimer_.stop();
        progress_->update(stretch_, [](Progress::Report& report) { report.failed = true; });
    }

    void stateChanged(QAudio::State state) {
        if (state == QAudio::StoppedState && pull_ && sink_->error() != QAudio::NoError) {
            report(); // a stopped sink counts nothing any more: the last count stays
            fail();
        }
        // A sink that found no data at hand stops asking; more is there unless the source is
        // done, so it is woken again.
        if (state == QAudio::IdleState && pull_ && !pull_->atEnd()) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (pull_) {
                        emit pull_->readyRead();
                    }
                },
                Qt::QueuedConnection);
        }
    }

    const std::shared_ptr<DeviceLookup> lookup_;
    const std::shared_ptr<std::atomic<bool>> abandoned_;
    std::optional<QAudioDevice> device_;
    const std::shared_ptr<Progress> progress_;
    QTimer reportTimer_{this};
    std::unique_ptr<QAudioSink> sink_;
    std::unique_ptr<PullDevice> pull_;
    std::uint32_t stretch_ = 0;
    std::int64_t rate_ = 44100;
    bool failed_ = false;
    bool paused_ = false;
};

SinkOutput::SinkOutput(std::shared_ptr<DeviceLookup> device)
    : progress_(std::make_shared<Progress>()), device_(std::move(device)),
      abandoned_(std::make_shared<std::atomic<bool>>(false)), thread_(new QThread),
      worker_(new Worker(device_, abandoned_, progress_)) {
    thread_->setObjectName(QStringLiteral("snipora audio"));
    worker_->moveToThread(thread_);
    // Once its loop has ended, on the audio thread itself: the sink goes, and only then does the
    // thread count itself out, so that the program's end knows when none of ours is inside the
    // sound server's library any more.
    QObject::connect(
        thread_, &QThread::finished, thread_,
        [worker = worker_] {
            worker->release();
            delete worker;
            outputThreadEnds();
        },
        Qt::DirectConnection);
    QObject::connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
    outputThreadBegins();
    thread_->start(QThread::TimeCriticalPriority);
}

SinkOutput::~SinkOutput() {
    // The audio thread may be held up by a sound server that does not answer, or wait for the
    // device lookup. It stops waiting for the lookup, skips the commands still queued for it,
    // and lets go of the sink when it gets here; the thread object goes once it has finished.
    abandoned_->store(true);
    device_->wakeWaiters();
    thread_->quit();
}

bool SinkOutput::start(const PcmFormat& format, std::shared_ptr<PcmSource> source) {
    stretch_ = (stretch_ + 1) & Progress::stretchMask;
    paused_ = false;
    progress_->begin(stretch_);
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, stretch = stretch_, format, source = std::move(source)] {
            worker->start(stretch, format, source);
        },
        Qt::QueuedConnection);
    return true;
}

void SinkOutput::pause() {
    heldAt_ = progress_->load().frames;
    paused_ = true;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { worker->pause(); }, Qt::QueuedConnection);
}

void SinkOutput::resume() {
    paused_ = false;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { worker->resume(); }, Qt::QueuedConnection);
}

void SinkOutput::stop() {
    stretch_ = (stretch_ + 1) & Progress::stretchMask;
    paused_ = false;
    progress_->begin(stretch_);
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { worker->stop(); }, Qt::QueuedConnection);
}

std::int64_t SinkOutput::framesPlayed() {
    return paused_ ? heldAt_.load() : progress_->load().frames;
}

bool SinkOutput::started() {
    return progress_->load().started;
}

bool SinkOutput::failed() {
    return progress_->load().failed;
}

} // namespace snipora::mci
