// The choice of output: the sound device when there is one, otherwise the paced null output.
#include "platform/mci/audio_output.h"
#include "platform/mci/paced_output.h"

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
    (void)choice;
    return [] {
        return std::make_unique<PacedOutput>();
    };
}

} // namespace snipora::mci
