// The choice of output: the sound device when there is one, otherwise the paced null output.
#include "platform/logging.h"
#include "platform/mci/audio_output.h"
#include "platform/mci/paced_output.h"
#include "platform/mci/sink_output.h"
#include "platform/mci/sound_system.h"

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
    if (choice == OutputChoice::Null) {
        return []() -> std::unique_ptr<AudioOutput> {
            return std::make_unique<PacedOutput>();
        };
    }
    // The sound system is asked for its default device from here on, on its own thread, so
    // that neither the window nor a file's open waits for a sound server to answer; by the
    // time the first file opens, it usually has.
    return [choice, lookup = DeviceLookup::defaultOutput()]() -> std::unique_ptr<AudioOutput> {
        const std::optional<QAudioDevice> found = lookup->found();
        // A machine known to have no device plays in silence from the start. Otherwise the sink
        // waits for the answer on its own thread; asked for explicitly, it is used even when no
        // default device is announced. Either way a sink that does not get going falls back
        // to the null output by itself.
        if (choice == OutputChoice::Automatic && found && found->isNull()) {
            qCInfo(logAudio) << "no default sound device; playing through the silent output";
            return std::make_unique<PacedOutput>();
        }
        return std::make_unique<SinkOutput>(lookup);
    };
}

} // namespace snipora::mci
