// File identity: whether two paths name the same file, however they are spelled.
#pragma once

#include <QString>

namespace snipora {

// True when both paths lead to the same file on disk: through a link, a relative or ".." form,
// or a second hard link. A path that names no existing file is the same as another only when
// both spell the same absolute path once cleaned.
bool sameFile(const QString& a, const QString& b);

// True when the path leads to the file open under `handle`.
bool isOpenFile(const QString& path, int handle);

} // namespace snipora
