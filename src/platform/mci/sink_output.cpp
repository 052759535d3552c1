// QAudioSink on the audio thread, pulling decoded sound as the sound server asks for it.
#include "platform/mci/sink_output.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMetaObject>

namespace snipora::mci {

namespace {

// How much sound the server keeps ahead of what is heard. Short, so that a stop, a pause or a
// new position is heard at once; long enough that a busy machine does not starve it.
constexpr int bufferMs = 200;

// The source as the sink sees it: a read-only device whose size is what is left of the
// stretch, so that the sink can start a stretch shorter than its pre-buffer.
class PullDevice final : public QIODevice {
public:
    PullDevice(PcmSource& source, int channels, qint64 bytesLeft)
        : source_(source), frameBytes_(2 * channels), size_(bytesLeft) {}

    bool isSequential() const override { return true; }
    qint64 size() const override { return size_; }
    bool atEnd() const override { return exhausted_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 frames = maxSize / frameBytes_;
        if (exhausted_ || frames <= 0) {
            return 0;
        }
        const std::size_t got = source_.readFrames(reinterpret_cast<std::int16_t*>(data),
                                                   static_cast<std::size_t>(frames));
        if (got == 0) {
            exhausted_ = true;
            return 0;
        }
        return static_cast<qint64>(got) * frameBytes_;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    PcmSource& source_;
    const qint64 frameBytes_;
    const qint64 size_;
    bool exhausted_ = false;
};

} // namespace

// Everything that touches the sink; its methods run on the audio thread only.
class SinkOutput::Worker final : public QObject {
public:
    explicit Worker(const QAudioDevice& device) : device_(device) {}

    bool start(const PcmFormat& format, PcmSource& source) {
        stop();
        QAudioFormat audioFormat;
        audioFormat.setSampleRate(format.rate);
        audioFormat.setChannelCount(format.channels);
        audioFormat.setSampleFormat(QAudioFormat::Int16);
        if (!sink_ || sink_->format() != audioFormat) {
            sink_ = std::make_unique<QAudioSink>(device_, audioFormat);
            sink_->setBufferSize(audioFormat.bytesForDuration(bufferMs * 1000));
            QObject::connect(sink_.get(), &QAudioSink::stateChanged, this,
                             [this](QAudio::State state) { stateChanged(state); });
        }
        rate_ = format.rate;
        failed_ = false;
        lastPlayed_ = 0;
        pull_ = std::make_unique<PullDevice>(source, format.channels,
                                             source.framesLeft() * 2 * format.channels);
        pull_->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        sink_->start(pull_.get());
        if (sink_->state() == QAudio::StoppedState) {
            pull_.reset();
            return false;
        }
        return true;
    }

    void pause() {
        if (sink_ && pull_) {
            sink_->suspend();
        }
    }

    void resume() {
        if (sink_ && pull_) {
            sink_->resume();
        }
    }

    void stop() {
        if (sink_) {
            // The played time starts again from zero with the next start.
            sink_->stop();
        }
        pull_.reset();
    }

    std::int64_t framesPlayed() {
        if (!sink_ || !pull_) {
            return 0;
        }
        if (failed_) {
            // A stopped sink counts nothing any more.
            return lastPlayed_;
        }
        // Rounded: the server's microseconds are themselves rounded down from frames.
        lastPlayed_ = (sink_->processedUSecs() * rate_ + 500'000) / 1'000'000;
        return lastPlayed_;
    }

    bool failed() const { return failed_; }

    void release() {
        stop();
        sink_.reset();
    }

private:
    void stateChanged(QAudio::State state) {
        if (state == QAudio::StoppedState && pull_ && sink_->error() != QAudio::NoError) {
            failed_ = true;
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

    QAudioDevice device_;
    std::unique_ptr<QAudioSink> sink_;
    std::unique_ptr<PullDevice> pull_;
    std::int64_t rate_ = 44100;
    bool failed_ = false;
    std::int64_t lastPlayed_ = 0;
};

SinkOutput::SinkOutput(const QAudioDevice& device) : worker_(std::make_unique<Worker>(device)) {
    thread_.setObjectName(QStringLiteral("snipora audio"));
    worker_->moveToThread(&thread_);
    thread_.start(QThread::TimeCriticalPriority);
}

SinkOutput::~SinkOutput() {
    QMetaObject::invokeMethod(
        worker_.get(), [this] { worker_->release(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

bool SinkOutput::start(const PcmFormat& format, PcmSource& source) {
    bool started = false;
    QMetaObject::invokeMethod(
        worker_.get(), [&] { started = worker_->start(format, source); },
        Qt::BlockingQueuedConnection);
    return started;
}

void SinkOutput::pause() {
    QMetaObject::invokeMethod(
        worker_.get(), [this] { worker_->pause(); }, Qt::BlockingQueuedConnection);
}

void SinkOutput::resume() {
    QMetaObject::invokeMethod(
        worker_.get(), [this] { worker_->resume(); }, Qt::BlockingQueuedConnection);
}

void SinkOutput::stop() {
    QMetaObject::invokeMethod(
        worker_.get(), [this] { worker_->stop(); }, Qt::BlockingQueuedConnection);
}

std::int64_t SinkOutput::framesPlayed() {
    std::int64_t frames = 0;
    QMetaObject::invokeMethod(
        worker_.get(), [&] { frames = worker_->framesPlayed(); }, Qt::BlockingQueuedConnection);
    return frames;
}

bool SinkOutput::failed() {
    bool failed = false;
    QMetaObject::invokeMethod(
        worker_.get(), [&] { failed = worker_->failed(); }, Qt::BlockingQueuedConnection);
    return failed;
}

} // namespace snipora::mci
