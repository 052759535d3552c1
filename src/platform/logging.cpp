// The program's logging categories.
#include "platform/logging.h"

namespace snipora {

Q_LOGGING_CATEGORY(logAudio, "snipora.audio", QtWarningMsg)
Q_LOGGING_CATEGORY(logEncoder, "snipora.encoder", QtWarningMsg)
Q_LOGGING_CATEGORY(logPeaks, "snipora.peaks", QtWarningMsg)

} // namespace snipora
