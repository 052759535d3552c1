// The sound system's thread, the device lookup on it, and the program's end around them.
#include "platform/mci/sound_system.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QDeadlineTimer>
#include <QMediaDevices>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace snipora::mci {

namespace {

// How long the program's end gives the sound threads to let go of the sound server. A server
// that answers lets go within milliseconds; one that does not never will.
constexpr std::chrono::milliseconds endLimit{400};

class OutputThreads {
public:
    void begins() {
        const std::lock_guard lock(mutex_);
        ++running_;
    }
    void ends() {
        {
            const std::lock_guard lock(mutex_);
            --running_;
        }
        changed_.notify_all();
    }
    bool ended(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return running_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int running_ = 0;
};

// Lives as long as the process: threads may count themselves out during the program's end.
OutputThreads& outputThreads() {
    static auto* const threads = new OutputThreads;
    return *threads;
}

class SoundThread {
public:
    SoundThread() {
        thread_.setObjectName(QStringLiteral("snipora sound system"));
        context_.moveToThread(&thread_);
        thread_.start();
    }
    void run(std::function<void()> task) {
        QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
    }
    void quit() { thread_.quit(); }
    bool ended(std::chrono::milliseconds limit) { return thread_.wait(QDeadlineTimer(limit)); }

private:
    QThread thread_;
    QObject context_;
};

std::atomic<SoundThread*> startedSoundThread{nullptr};

// Runs among the program's exit handlers, before Qt's sound system is torn down. That teardown
// frees the connection to the sound server under any thread still inside it, which aborts or
// hangs the program's end when the server has stopped or gone: so every thread that plays or
// asks the server is ended first. One the server holds up cannot be ended, and then the program
// ends without the teardown, with the status it was ending with.
void endBeforeTheSoundSystem(int status, void*) {
    static std::atomic<bool> done{false};
    if (done.exchange(true)) {
        return;
    }
    SoundThread* const sound = startedSoundThread.load();
    if (sound != nullptr) {
        sound->quit();
    }
    const auto deadline = std::chrono::steady_clock::now() + endLimit;
    const auto left = [deadline] {
        return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()),
                        std::chrono::milliseconds(0));
    };
    if (outputThreads().ended(left()) && (sound == nullptr || sound->ended(left()))) {
        return;
    }
    std::fflush(nullptr);
    ::_exit(status);
}

// Exit handlers run last registered first: registered again once Qt's sound system exists (its
// teardown registers when it is made), this one runs before that teardown.
void endBeforeTheSoundSystemIsTornDown() {
    ::on_exit(endBeforeTheSoundSystem, nullptr);
}

// Lives as long as the process, as its thread may never end (see above).
SoundThread& soundThread() {
    static SoundThread* const thread = [] {
        auto* const made = new SoundThread;
        startedSoundThread.store(made);
        endBeforeTheSoundSystemIsTornDown();
        return made;
    }();
    return *thread;
}

// Qt keeps a second connection to the sound server for its sinks, made when the first one starts
// and torn down at the program's end like the first. Made here, on the sound system's thread,
// its attempts to reconnect after the server went away run here too, and the first sound of a
// file does not wait for the connection.
void connectForSinks(const QAudioDevice& device) {
    QAudioFormat format;
    format.setSampleRate(44100);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    QAudioSink sink(device, format);
    sink.start(); // nothing is written: the stream is opened and closed again, unheard
    sink.stop();
}

} // namespace

std::shared_ptr<DeviceLookup> DeviceLookup::start(Find find) {
    std::shared_ptr<DeviceLookup> lookup(new DeviceLookup);
    soundThread().run([lookup, find = std::move(find)] {
        const QAudioDevice device = find();
        endBeforeTheSoundSystemIsTornDown();
        {
            const std::lock_guard lock(lookup->mutex_);
            lookup->device_ = device;
        }
        lookup->changed_.notify_all();
    });
    return lookup;
}

std::shared_ptr<DeviceLookup> DeviceLookup::defaultOutput() {
    static const std::shared_ptr<DeviceLookup> lookup = start([] {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (!device.isNull()) {
            connectForSinks(device);
        }
        return device;
    });
    return lookup;
}

std::optional<QAudioDevice> DeviceLookup::found() const {
    const std::lock_guard lock(mutex_);
    return device_;
}

std::optional<QAudioDevice> DeviceLookup::wait(const std::atomic<bool>& giveUp) const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return device_.has_value() || giveUp.load(); });
    return device_;
}

void DeviceLookup::wakeWaiters() {
    {
        // Taken so that a waiter between looking at its giveUp and waiting cannot miss this.
        const std::lock_guard lock(mutex_);
    }
    changed_.notify_all();
}

void outputThreadBegins() {
    outputThreads().begins();
}

void outputThreadEnds() {
    outputThreads().ends();
}

bool outputThreadsEnded(std::chrono::milliseconds limit) {
    return outputThreads().ended(limit);
}

} // namespace snipora::mci
