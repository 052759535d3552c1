// The program's logging categories: what a user may need in a bug report, switched on with
// QT_LOGGING_RULES (e.g. "snipora.*.debug=true").
#pragma once

#include <QLoggingCategory>

namespace snipora {

// The sound output: which output a file plays through, and a fall back to the silent one.
Q_DECLARE_LOGGING_CATEGORY(logAudio)
// The encoder and its check: the command run, how it ended.
Q_DECLARE_LOGGING_CATEGORY(logEncoder)
// The waveform's peaks cache: a file whose peaks were not kept, an entry damaged.
Q_DECLARE_LOGGING_CATEGORY(logPeaks)

} // namespace snipora
