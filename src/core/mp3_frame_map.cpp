// A source's frames and the gapless sample numbering the player gives them.
#include "core/mp3_frame_map.h"

#include <algorithm>

namespace snipora {

std::optional<Mp3FrameMap> Mp3FrameMap::scan(int fd, QString* error,
                                             const std::function<bool()>& keepGoing) {
    auto stream = mpeg::MpegFrames::scan(fd, error, keepGoing);
    if (!stream) {
        return std::nullopt;
    }
    Mp3FrameMap map;
    map.stream_ = std::move(*stream);
    // The frames in the file win over the header's frame count, which may be wrong (a file cut
    // short, a header patched or copied from another file): the player decodes through a view
    // in which the header counts the frames found (mpeg::BufferedReader::showOnly).
    const auto& info = map.stream_.info;
    const auto count = static_cast<std::int64_t>(map.stream_.frames.size());
    const std::int64_t samples = count * map.samplesPerFrame();
    const bool gapless = info && info->kind != Mp3InfoFrame::Kind::Vbri && info->encoderDelay &&
                         *info->encoderDelay + *info->encoderPadding < samples;
    if (gapless) {
        map.skip_ = *info->encoderDelay + mpg123DecoderDelay;
        map.length_ = samples - *info->encoderDelay - *info->encoderPadding;
    } else {
        map.skip_ = 0;
        map.length_ = samples;
    }
    return map;
}

std::int64_t Mp3FrameMap::sampleAtMs(std::int64_t ms) const {
    const std::int64_t sample = (std::max<std::int64_t>(ms, 0) * sampleRate() + 999) / 1000;
    return std::min(sample, length_);
}

} // namespace snipora
