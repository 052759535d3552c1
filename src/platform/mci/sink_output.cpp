// QAudioSink on the audio thread: decoded sound written to it, or pulled by it for a short stretch.
#include "platform/mci/sink_output.h"

#include "platform/mci/sound_system.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace snipora::mci {

namespace {

// How much sound the server keeps ahead of what is heard when the sink pulls. Short, so that a
// stretch shorter than it starts at once; long enough that a busy machine does not starve it.
// A stop, a pause or a new position is heard at once whatever the buffer holds.
constexpr int bufferMs = 200;
// A stretch that lasts at least pushFromMs is written to the sink (pushed) rather than pulled
// by it: Qt's sink pulls 20 ms at a time, each pull a round through the sound server's library,
// while a write every feedMs of what the server has room for (pushBufferMs) takes about a third
// less of the audio thread's time. A shorter stretch is pulled, as the server starts a pushed
// stream only once its buffer is full.
constexpr int pushFromMs = 1000;
constexpr int pushBufferMs = 400;
constexpr int feedMs = 100;
// How often the audio thread passes the played count on to the command side while a pulled
// stretch plays out its last sound, or a written one has not yet begun to be heard; otherwise
// each pull or write does.
constexpr int reportMs = 20;
// Between writes, the command side counts on from the last count the server gave, by the clock,
// as far as what was written and at most this far: a server that stops taking sound stops the
// count within this time.
constexpr int countOnMs = 2 * feedMs + 50;
// The server's own count may run some milliseconds ahead of the sound it has played (its timing
// is itself counted on between its updates; 10 ms behind was seen to run ahead of the clock): the
// command side counts on from it this much behind, as stale as the 20 ms report was at worst,
// so that the position is never ahead of what was heard.
constexpr int countBehindMs = 20;

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

public:
    using Clock = std::chrono::steady_clock;
    // The server's count at a moment of a written stretch that is being heard, and how much
    // had been written then: the command side counts on from it by the clock. `hold` is the
    // number of the last pause or resume the audio thread has seen, so that a count made before
    // a pause is never counted on from after it.
    struct Anchor {
        std::uint32_t stretch = 0;
        std::uint32_t hold = 0;
        std::int64_t frames = 0;
        std::int64_t written = 0;
        std::int64_t rate = 0;
        Clock::time_point at;
        bool valid = false;
    };
    void anchor(const Anchor& anchor) {
        const std::lock_guard lock(anchorMutex_);
        anchor_ = anchor;
    }
    void dropAnchor() {
        const std::lock_guard lock(anchorMutex_);
        anchor_.valid = false;
    }
    // The played count of `stretch` now: the last report, counted on from the last anchor.
    std::int64_t framesNow(std::uint32_t hold) const {
        const Report report = load();
        Anchor anchor;
        {
            const std::lock_guard lock(anchorMutex_);
            anchor = anchor_;
        }
        if (!anchor.valid || anchor.stretch != report.stretch || anchor.hold != hold) {
            return report.frames;
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::microseconds>(std::clamp<Clock::duration>(
                Clock::now() - anchor.at - std::chrono::milliseconds(countBehindMs),
                Clock::duration::zero(), std::chrono::milliseconds(countOnMs)));
        const std::int64_t counted =
            std::min(anchor.frames + elapsed.count() * anchor.rate / 1'000'000, anchor.written);
        return std::max(report.frames, counted);
    }

private:
    mutable std::mutex anchorMutex_;
    Anchor anchor_;
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
        feedTimer_.setInterval(feedMs);
        QObject::connect(&feedTimer_, &QTimer::timeout, this, [this] { feed(); });
        QObject::connect(&reportTimer_, &QTimer::timeout, this, [this] {
            if (pushed_) {
                countWritten();
            } else {
                report();
            }
        });
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
            QObject::connect(sink_.get(), &QAudioSink::stateChanged, this,
                             [this](QAudio::State state) { stateChanged(state); });
        }
        rate_ = format.rate;
        failed_ = false;
        frameBytes_ = 2 * format.channels;
        if (source->framesLeft() * 1000 >= std::int64_t{pushFromMs} * format.rate) {
            push(std::move(source));
            return;
        }
        sink_->setBufferSize(audioFormat.bytesForDuration(bufferMs * 1000));
        const qint64 bytesLeft = source->framesLeft() * frameBytes_;
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

    void pause(std::uint32_t hold) {
        hold_ = hold;
        progress_->dropAnchor();
        if (sink_ && playing()) {
            report();
            sink_->suspend();
            reportTimer_.stop();
            feedTimer_.stop();
            paused_ = true;
        }
    }

    void resume(std::uint32_t hold) {
        hold_ = hold;
        if (sink_ && playing() && paused_) {
            paused_ = false;
            // An underrun the server reports while the stream is held moves the sink from its
            // suspended state to idle, and its resume() then does nothing: the stream stays
            // held for good, silent, its time standing still. Held again first, it is sure to
            // be let go.
            if (sink_->state() != QAudio::SuspendedState) {
                sink_->suspend();
            }
            sink_->resume();
            if (pushed_ || pull_->atEnd()) {
                reportTimer_.start(); // no pull is coming, or no count to go on from
            }
            if (pushed_) {
                anchoredAt_ = -1; // counted on only once the server's count moves again
                feedTimer_.start();
            }
        }
    }

    void stop() {
        progress_->dropAnchor();
        reportTimer_.stop();
        feedTimer_.stop();
        paused_ = false;
        if (sink_) {
            // The played time starts again from zero with the next start.
            sink_->stop();
        }
        pull_.reset();
        pushed_.reset();
        pushInto_ = nullptr;
        pending_.clear();
    }

    void release() {
        stop();
        sink_.reset();
    }

private:
    bool playing() const { return pull_ || pushed_; }

    void push(std::shared_ptr<PcmSource> source) {
        sink_->setBufferSize(sink_->format().bytesForDuration(pushBufferMs * 1000));
        pushInto_ = sink_->start();
        if (pushInto_ == nullptr || sink_->state() == QAudio::StoppedState) {
            pushInto_ = nullptr;
            fail();
            return;
        }
        pushed_ = std::move(source);
        pushedAll_ = false;
        written_ = 0;
        anchoredAt_ = -1;
        progress_->update(stretch_, [](Progress::Report& report) { report.started = true; });
        // The server's whole buffer at once, so that it starts playing now. Each write passes
        // the count on, and the command side counts on from it by the clock between writes; the
        // report timer does so only until the server's count first moves, so that the first
        // moments are not read from a stream that has yet to begin.
        feed();
        feedTimer_.start();
        reportTimer_.start();
    }

    // Writes what the server has room for: first what it took only part of last time.
    void feed() {
        if (!pushed_ || pushInto_ == nullptr || failed_) {
            return;
        }
        qint64 room = sink_->bytesFree();
        while (room >= frameBytes_ && !pushedAll_) {
            if (pending_.empty()) {
                const std::size_t frames = static_cast<std::size_t>(room / frameBytes_);
                pending_.resize(frames * static_cast<std::size_t>(frameBytes_ / 2));
                const std::size_t got = pushed_->readFrames(pending_.data(), frames);
                pending_.resize(got * static_cast<std::size_t>(frameBytes_ / 2));
                pendingFrom_ = 0;
                if (got == 0) {
                    pushedAll_ = true;
                    break;
                }
            }
            const qint64 bytes = static_cast<qint64>(pending_.size() - pendingFrom_) * 2;
            const qint64 written = pushInto_->write(
                reinterpret_cast<const char*>(pending_.data() + pendingFrom_), bytes);
            if (written <= 0) {
                break;
            }
            room -= written;
            written_ += written / frameBytes_;
            pendingFrom_ += static_cast<std::size_t>(written / 2);
            if (pendingFrom_ >= pending_.size()) {
                pending_.clear();
            }
        }
        // Once all is written the timer goes on, to pass the count on while the last of it
        // plays out.
        countWritten();
    }

    // The server's count of a written stretch, passed on with the moment it was read once it
    // moves, so that the command side can count on from it.
    void countWritten() {
        if (!sink_ || !pushed_ || failed_ || paused_) {
            return;
        }
        const std::int64_t frames = report();
        if (anchoredAt_ >= 0 && frames > anchoredAt_) {
            progress_->anchor(Progress::Anchor{stretch_, hold_, frames, written_, rate_,
                                               Progress::Clock::now(), true});
            reportTimer_.stop();
        } else {
            progress_->dropAnchor();
        }
        anchoredAt_ = frames;
    }

    std::int64_t report() {
        if (!sink_ || !playing() || failed_) {
            return 0;
        }
        // Rounded: the server's microseconds are themselves rounded down from frames.
        const std::int64_t frames = (sink_->processedUSecs() * rate_ + 500'000) / 1'000'000;
        progress_->update(stretch_, [frames](Progress::Report& report) {
            report.frames = std::max(report.frames, frames);
        });
        return frames;
    }

    void fail() {
        failed_ = true;
        reportTimer_.stop();
        feedTimer_.stop();
        progress_->update(stretch_, [](Progress::Report& report) { report.failed = true; });
    }

    void stateChanged(QAudio::State state) {
        if (state == QAudio::StoppedState && playing() && sink_->error() != QAudio::NoError) {
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
    // A pushed stretch: its source, the sink's device it is written into, and what was decoded
    // but not yet taken by the server.
    std::shared_ptr<PcmSource> pushed_;
    QIODevice* pushInto_ = nullptr; // the sink's own
    std::vector<std::int16_t> pending_;
    std::size_t pendingFrom_ = 0;
    bool pushedAll_ = false;
    std::int64_t written_ = 0;     // frames the server has taken of the stretch
    std::int64_t anchoredAt_ = -1; // the server's count at the last write; -1: none yet
    std::uint32_t hold_ = 0;       // the last pause or resume seen
    QTimer feedTimer_{this};
    qint64 frameBytes_ = 4;
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
    heldAt_ = progress_->framesNow(hold_);
    paused_ = true;
    ++hold_;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, hold = hold_] { worker->pause(hold); }, Qt::QueuedConnection);
}

void SinkOutput::resume() {
    paused_ = false;
    ++hold_;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, hold = hold_] { worker->resume(hold); }, Qt::QueuedConnection);
}

void SinkOutput::stop() {
    stretch_ = (stretch_ + 1) & Progress::stretchMask;
    paused_ = false;
    progress_->begin(stretch_);
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { worker->stop(); }, Qt::QueuedConnection);
}

std::int64_t SinkOutput::framesPlayed() {
    return paused_ ? heldAt_.load() : progress_->framesNow(hold_);
}

bool SinkOutput::started() {
    return progress_->load().started;
}

bool SinkOutput::failed() {
    return progress_->load().failed;
}

} // namespace snipora::mci
