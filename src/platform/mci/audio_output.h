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
// Every call comes from a command thread; an output does its work on a thread of its own.
// Contract: after stop() returns, the source is not read again until the next start().
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Begins a new stretch; whatever an earlier one still held is dropped. False when the
    // output cannot play at all (the caller then chooses another).
    virtual bool start(const PcmFormat& format, PcmSource& source) = 0;
    // Holds the sound where it is; what the output holds stays for resume().
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Ends the stretch at once and drops what the output still holds.
    virtual void stop() = 0;
    // Frames heard since start(): handed over and no longer held by the output.
    virtual std::int64_t framesPlayed() = 0;
    // True once the output has stopped by itself in the middle of a stretch (the sound server
    // went away); framesPlayed() then keeps the last count it knew.
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

// Makes outputs of the given kind; Automatic looks for a default sound device once, here.
AudioOutputFactory makeOutputFactory(OutputChoice choice);

} // namespace snipora::mci
