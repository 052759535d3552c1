// The choice of output: the sound device when there is one, otherwise the paced null output.
#include "platform/logging.h"
#include "platform/mci/audio_output.h"
#include "platform/mci/paced_output.h"
#include "platform/mci/sink_output.h"
#include "platform/mci/sound_system.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QTimer>
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
    // The sound system is asked for its default device on its own thread, so that neither the
    // window nor a file's open waits for a sound server to answer. It is asked as soon as the
    // event loop runs, once the window is shown, so that the sound library's start does not
    // compete with the window's; a file opened from the command line is opened after that, and
    // the first file's output asks at once if the loop has not run yet.
    if (QCoreApplication::instance() != nullptr) {
        QTimer::singleShot(0, QCoreApplication::instance(), [] { DeviceLookup::defaultOutput(); });
    } else {
        DeviceLookup::defaultOutput();
    }
    return [choice]() -> std::unique_ptr<AudioOutput> {
        const std::shared_ptr<DeviceLookup> lookup = DeviceLookup::defaultOutput();
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
