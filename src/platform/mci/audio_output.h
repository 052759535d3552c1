// Where decoded sound goes: the output interface, the source it pulls from, and the choice of
// output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace snipora::mci {

// Interleaved signed 16-bit samples.
struct PcmFormat {
    int rate = 44100;
    int channels = 2;
};

// What an output pulls sound from, on the output's own thread.
class PcmSource {
public:
    virtual ~PcmSource() = default;
    // Fills `out` with up to `maxFrames` frames and gives how many; 0 only at the end.
    virtual std::size_t readFrames(std::int16_t* out, std::size_t maxFrames) = 0;
    // How many frames the source will still give.
    virtual std::int64_t framesLeft() const = 0;
};

// An output plays one stretch of sound at a time, pulling it from a source at its own pace.
// Every call comes from a command thread and returns at once, whatever the sound server does:
// whatever may wait on the server happens on the output's own thread, later.
// Contract:
// - start() begins a stretch and takes a share of its source: the output keeps the source
//   alive for as long as its thread may still read it, which may be after stop() or a later
//   start() has returned. A source that must not be read any more says so itself (it gives 0).
// - framesPlayed() and started() are what the output last knew, never a wait for news.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Begins a new stretch; whatever an earlier one still held is dropped. False when the
    // output can tell at once that it cannot play at all (the caller then chooses another).
    virtual bool start(const PcmFormat& format, std::shared_ptr<PcmSource> source) = 0;
    // Holds the sound where it is; what the output holds stays for resume(). The played count
    // stands still from here on.
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Ends the stretch and drops what the output still holds; the played count is 0 again.
    virtual void stop() = 0;
    // Frames heard since start(): handed over and no longer held by the output.
    virtual std::int64_t framesPlayed() = 0;
    // True once the stretch of the last start() is under way on the output's thread. An output
    // that stays unstarted is stuck (a sound server that does not answer): the caller gives up
    // on it after a while.
    virtual bool started() { return true; }
    // True once the output has given up on the current stretch by itself (it could not start
    // it, or the sound server went away); framesPlayed() then keeps the last count it knew.
    virtual bool failed() { return false; }
};

using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

enum class OutputChoice {
    Automatic, // the sound device when the machine has one, otherwise the null output
    Sink,      // the default sound device through QAudioSink
    Null,      // real-time pacing, sound discarded
};

// Reads SNIPORA_AUDIO_OUTPUT ("sink" or "null"); Automatic when unset or unknown.
OutputChoice outputChoiceFromEnvironment();

// Makes outputs of the given kind. Automatic and Sink start looking for the default sound device
// here, once in the program, without waiting for the answer.
AudioOutputFactory makeOutputFactory(OutputChoice choice);

} // namespace snipora::mci
