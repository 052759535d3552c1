// The choice of output: the sound device when there is one, otherwise the paced null output.
#include "platform/mci/audio_output.h"
#include "platform/mci/paced_output.h"
#include "platform/mci/sink_output.h"

#include <QAudioDevice>
#include <QByteArray>
#include <QMediaDevices>
#include <QtGlobal>

#include <mutex>

namespace snipora::mci {

OutputChoice outputChoiceFromEnvironment() {
    const QByteArray wanted = qgetenv("SNIPORA_AUDIO_OUTPUT").trimmed().toLower();
    if (wanted == "sink") {
        return OutputChoice::Sink;
    }
    if (wanted == "null") {
        return OutputChoice::Null;
    }
    return OutputChoice::Automatic;
}

AudioOutputFactory makeOutputFactory(OutputChoice choice) {
    if (choice == OutputChoice::Null) {
        return []() -> std::unique_ptr<AudioOutput> {
            return std::make_unique<PacedOutput>();
        };
    }
    // The sound system is asked for its default device when the first file opens, not when the
    // program starts: connecting to a sound server takes time the window should not wait for.
    struct Found {
        std::once_flag once;
        QAudioDevice device;
    };
    auto found = std::make_shared<Found>();
    return [choice, found]() -> std::unique_ptr<AudioOutput> {
        std::call_once(found->once, [&] { found->device = QMediaDevices::defaultAudioOutput(); });
        // Asked for explicitly, the sink is used even when no default device is announced:
        // it then fails to start, and the device falls back to the null output by itself.
        if (!found->device.isNull() || choice == OutputChoice::Sink) {
            return std::make_unique<SinkOutput>(found->device);
        }
        return std::make_unique<PacedOutput>();
    };
}

} // namespace snipora::mci
