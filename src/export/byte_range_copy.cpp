// The block copy of Direct Save.
#include "export/byte_range_copy.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>

namespace snipora {

namespace {
// Qt leaves some failed writes (a full disk, a file-size limit) as "Unknown error"; the system's
// own reason says more.
QString reasonOf(const QFileDevice& file, int error) {
    return error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
}
} // namespace

void copyByteRange(QFileDevice& source, QFileDevice& target, std::int32_t start, std::int32_t end,
                   std::span<char> buffer, const std::function<void()>& afterBlock) {
    Q_ASSERT(buffer.size() >= static_cast<std::size_t>(blockBytes));
    // Positions are 1-based; the loop runs in 64 bits so that the step past the last block
    // cannot overflow a range that ends near the top of the 32-bit range.
    for (std::int64_t position = start; position <= end; position += blockStep) {
        if (position < 1) {
            throw SaveFailed(
                QStringLiteral("position %1 lies before the start of the file").arg(position));
        }
        if (!source.seek(position - 1)) {
            throw SaveFailed(QStringLiteral("could not read %1: %2")
                                 .arg(source.fileName(), source.errorString()));
        }
        const qint64 read = source.read(buffer.data(), blockBytes);
        if (read < 0) {
            throw SaveFailed(QStringLiteral("could not read %1: %2")
                                 .arg(source.fileName(), source.errorString()));
        }
        // Past the end of the source a block holds fewer bytes, or none: only what was read is
        // written, so the output ends where the source ends.
        if (read > 0) {
            errno = 0;
            if (!target.seek(position - start) || target.write(buffer.data(), read) != read) {
                throw SaveFailed(QStringLiteral("could not write %1: %2")
                                     .arg(target.fileName(), reasonOf(target, errno)));
            }
        }
        afterBlock();
    }
}

} // namespace snipora
