// The sound system's own thread, the default device looked up there, and the threads that may
// be held up inside the sound server's library, which the program's end never waits for long.
#pragma once

#include <QAudioDevice>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace snipora::mci {

// The default sound device, asked of the sound system on its thread of its own. Connecting to
// a sound server that does not answer (stopped, or a socket nobody reads) takes as long as the
// server's library gives it, half a minute: that holds up the sound system's thread only, never
// the window's. Qt's connection to the server also lives on that thread, so that its attempts
// to reconnect after the server went away never run on the window's thread either.
class DeviceLookup {
public:
    using Find = std::function<QAudioDevice()>;

    // Runs `find` on the sound system's thread and returns at once.
    static std::shared_ptr<DeviceLookup> start(Find find);
    // The program's one lookup of the default output device, started on first use.
    static std::shared_ptr<DeviceLookup> defaultOutput();

    // The device found, once the lookup has ended (a null device: the machine has none).
    std::optional<QAudioDevice> found() const;
    // Waits until the lookup has ended or `giveUp` is true; nothing when given up.
    std::optional<QAudioDevice> wait(const std::atomic<bool>& giveUp) const;
    // Has every waiter look at its `giveUp` again.
    void wakeWaiters();

private:
    DeviceLookup() = default;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::optional<QAudioDevice> device_;
};

// Every thread that plays into the sound server counts itself here while it runs.
void outputThreadBegins();
void outputThreadEnds();
// Waits until no output thread runs any more, at most `limit`; true when none does.
bool outputThreadsEnded(std::chrono::milliseconds limit);

} // namespace snipora::mci
