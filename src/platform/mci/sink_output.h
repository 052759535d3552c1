// The output to the sound device: QAudioSink in pull mode on an audio thread of its own.
#pragma once

#include "platform/mci/audio_output.h"

#include <QAudioDevice>
#include <QThread>

#include <memory>

namespace snipora::mci {

// The sink, the device it pulls from and every call on them live on the audio thread, so the
// sound keeps flowing while the window's thread is busy or waiting. Commands reach that thread
// as blocking calls: each returns once the sink has done what was asked.
class SinkOutput final : public AudioOutput {
public:
    explicit SinkOutput(const QAudioDevice& device);
    ~SinkOutput() override;
    SinkOutput(const SinkOutput&) = delete;
    SinkOutput& operator=(const SinkOutput&) = delete;

    bool start(const PcmFormat& format, PcmSource& source) override;
    void pause() override;
    void resume() override;
    void stop() override;
    std::int64_t framesPlayed() override;
    bool failed() override;

private:
    class Worker;
    QThread thread_;
    std::unique_ptr<Worker> worker_; // lives on thread_ until the thread has finished
};

} // namespace snipora::mci
