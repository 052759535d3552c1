// The block copy of Direct Save: a byte range of the source in overlapping 4097-byte blocks.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

class QFileDevice;

namespace snipora {

// The size of one block and the step between blocks: each block rewrites the last byte of the
// one before with the same source byte, so the output is one contiguous copy.
inline constexpr std::int32_t blockBytes = 4097;
inline constexpr std::int32_t blockStep = 4096;

// Copies the source's 1-based positions start, start + 4096, ... while they do not pass end, each
// block of up to 4097 bytes written at 1-based output position (block position - start + 1).
// The output therefore holds source bytes from 0-based offset start - 1 for 4096 x n + 1 bytes,
// n = (end - start) / 4096 + 1, but never more than the source holds: a block near the end of
// the source writes only the bytes it read. `buffer` holds at least 4097 bytes and is reused
// for every block. `afterBlock` runs after each block with the bytes written so far; false from
// it cancels. Gives the reason on a read or write error, a position before the first byte or a
// cancel, nothing on success.
std::optional<QString> copyByteRange(QFileDevice& source, QFileDevice& target, std::int64_t start,
                                     std::int64_t end, std::span<char> buffer,
                                     const std::function<bool(std::int64_t)>& afterBlock);

} // namespace snipora
