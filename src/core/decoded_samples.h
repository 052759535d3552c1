// Counting an MP3 file's samples by decoding it whole, inside the program.
#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <optional>

namespace snipora {

struct DecodedSamples {
    std::int64_t samples = 0; // per channel, the encoder's delay and padding left out
    int rate = 0;
};

// Decodes the MP3 file at `path` to its end with libmpg123, which honours the LAME tag's delay
// and padding as ffmpeg does. Empty when the file cannot be opened as MPEG audio, when a frame
// stops the decoding, or when `stop` is set meanwhile.
std::optional<DecodedSamples> decodeMp3Samples(const QByteArray& path,
                                               const std::atomic<bool>& stop);

} // namespace snipora
