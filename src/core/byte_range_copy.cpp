// The block copy of Direct Save.
#include "core/byte_range_copy.h"

#include <QFileDevice>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace snipora {

namespace {
QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Reads up to `size` bytes at a 0-based offset; fewer only at the end of the file.
qint64 readAt(int handle, char* data, qint64 size, qint64 offset) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(handle, data + done, static_cast<size_t>(size - done),
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += n;
    }
    return done;
}

bool writeAt(int handle, const char* data, qint64 size, qint64 offset) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(handle, data + done, static_cast<size_t>(size - done),
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}
} // namespace

std::optional<QString> copyByteRange(QFileDevice& source, QFileDevice& target, std::int64_t start,
                                     std::int64_t end, std::span<char> buffer,
                                     const std::function<bool(std::int64_t)>& afterBlock) {
    Q_ASSERT(buffer.size() >= static_cast<std::size_t>(blockBytes));
    // Positional reads and writes: a block costs one call each way and no seeking.
    const int input = source.handle();
    const int output = target.handle();
    if (input < 0 || output < 0) {
        return QStringLiteral("the files could not be opened for copying");
    }
    // Positions are 1-based.
    for (std::int64_t position = start; position <= end; position += blockStep) {
        if (position < 1) {
            return QStringLiteral("position %1 lies before the start of the file").arg(position);
        }
        const qint64 read = readAt(input, buffer.data(), blockBytes, position - 1);
        if (read < 0) {
            return QStringLiteral("could not read the source: %1").arg(systemReason(errno));
        }
        // Past the end of the source a block holds fewer bytes, or none: only what was read is
        // written, so the output ends where the source ends. A block's last byte is the next
        // block's first, so while another block follows it is left for that one to write: the
        // output is the same, and every write but the last covers one whole page.
        const qint64 toWrite =
            position + blockStep <= end ? std::min<qint64>(read, blockStep) : read;
        if (toWrite > 0 && !writeAt(output, buffer.data(), toWrite, position - start)) {
            const int error = errno != 0 ? errno : ENOSPC;
            return QStringLiteral("could not write %1: %2")
                .arg(target.fileName(), systemReason(error));
        }
        if (!afterBlock(position - start + toWrite)) {
            return QStringLiteral("cancelled");
        }
    }
    return std::nullopt;
}

} // namespace snipora
