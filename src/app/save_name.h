// The name a save dialog suggests: the source's name with the marks, short enough to be saved.
#pragma once

#include <QString>

namespace snipora {

// The longest file name (not path) the usual Linux file systems take, in bytes of UTF-8.
inline constexpr int longestFileNameBytes = 255;

// "<base> <tail>" where the tail (the time range and the extension) is kept whole and the base
// is cut, at a whole character, so that the name takes at most longestFileNameBytes bytes.
QString fittedFileName(const QString& base, const QString& tail);

} // namespace snipora
