// Shortening a suggested file name to what the file system takes.
#include "app/save_name.h"

namespace snipora {

QString fittedFileName(const QString& base, const QString& tail) {
    const qsizetype tailBytes = tail.toUtf8().size() + 1; // with the blank between
    QString kept = base;
    while (!kept.isEmpty() && kept.toUtf8().size() + tailBytes > longestFileNameBytes) {
        kept.chop(1);
        // Half of a surrogate pair is no character: it goes with its other half.
        if (!kept.isEmpty() && kept.back().isHighSurrogate()) {
            kept.chop(1);
        }
    }
    return kept + QLatin1Char(' ') + tail;
}

} // namespace snipora
