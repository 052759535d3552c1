// The choice of output: the sound device when there is one, otherwise the paced null output.
#include "platform/mci/audio_output.h"
#include "platform/mci/paced_output.h"
#include "platform/mci/sink_output.h"

#include "platform/mci/sink_output.h"
#include <QAudioDevice>
#include <QMediaDevices>

#include <QAudioDevice>
#include <QMediaDevices>

#include <QByteArray>
#include <QtGlobal>

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
    if (choice != OutputChoice::Null) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        // Asked for explicitly, the sink is used even when no default device is announced:
        // it then fails to start, and the device falls back to the null output by itself.
        if (!device.isNull() || choice == OutputChoice::Sink) {
            return [device]() -> std::unique_ptr<AudioOutput> {
                return std::make_unique<SinkOutput>(device);
            };
        }
    }
    return []() -> std::unique_ptr<AudioOutput> {
        return std::make_unique<PacedOutput>();
    };
}

} // namespace snipora::mci
