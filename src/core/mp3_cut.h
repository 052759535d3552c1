// Direct Save on MP3 frames: a sample-exact cut of whole frames with a fresh LAME header.
#pragma once

#include "core/mp3_frame_map.h"
#include "core/save_outcome.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QFileDevice;

namespace snipora {

// Which frames a cut copies and what its LAME header says. Sample numbers are gapless samples
// of the source as libmpg123 counts them.
struct Mp3CutPlan {
    std::int64_t startSample = 0;
    std::int64_t endSample = 0; // one past the last sample kept
    std::size_t firstFrame = 0; // index in the map's frames: the first frame copied
    std::size_t endFrame = 0;   // one past the last frame copied
    // A silent frame before the copied ones: it carries the bit reservoir bytes the first copied
    // frames borrow (`reservoir`, the last bytes of its data) or makes room for the decoder delay.
    bool leadFrame = false;
    QByteArray reservoir;
    int encoderDelay = 0;   // samples decoders drop at the start (libmpg123 adds 529 of its own)
    int encoderPadding = 0; // samples decoders drop at the end
    std::int64_t outputBytes = 0; // the whole output, tags included
    // Frames written with other bytes than the source's (by frame index): fades lower their
    // gains, a join gives the frame before it the reservoir bytes the frames after it borrow.
    std::map<std::size_t, QByteArray> replacedFrames;
    // Frames left out, as ranges [from, to) in order: sections taken out of the middle.
    struct FrameRange {
        std::size_t from = 0;
        std::size_t to = 0;
    };
    std::vector<FrameRange> removedFrames;
    // Tags written instead of the source's ID3v2 and ID3v1 tags (a piece's own, made in
    // memory); nullopt copies the source's.
    std::optional<QByteArray> id3v2Tag;
    std::optional<QByteArray> id3v1Tag;

    std::int64_t samples() const { return endSample - startSample; }
    // The first frame from `frame` on that is not left out.
    std::size_t keptFrom(std::size_t frame) const {
        for (const FrameRange& range : removedFrames) {
            if (frame >= range.from && frame < range.to) {
                return range.to;
            }
        }
        return frame;
    }
};

// A frame that decodes to silence and ends with `reservoir`, the bit reservoir bytes the frames
// after it borrow; in the stream of `streamHeader`, without a CRC.
QByteArray mp3SilentFrame(std::uint32_t streamHeader, const QByteArray& reservoir);

// The bytes the plan writes, tags included (after a change to its frames).
std::int64_t mp3CutOutputBytes(const Mp3FrameMap& map, const Mp3CutPlan& plan);

// Plans the cut of [startMs, endMs] (marks in milliseconds of the gapless stream, as the player
// reports them). Reads the reservoir bytes through `sourceFd`. Nullopt with `error` set when
// the selection is empty or the source cannot be cut.
std::optional<Mp3CutPlan> planMp3Cut(int sourceFd, const Mp3FrameMap& map, std::int64_t startMs,
                                     std::int64_t endMs, QString* error);

// Reads exactly `size` bytes of the source at `offset` by pread; false on an error, or at the
// end of the file with errno 0.
bool readAt(int fd, void* data, std::int64_t size, std::int64_t offset);

// Progress in bytes written of the whole output; returning false cancels the save.
using Mp3CutProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// Writes the source's ID3v2 tag, a fresh Xing/Info frame with a LAME extension, the frames of
// the selection and the source's APEv2 and ID3v1 tags to `target` (open for writing, at its start),
// and flushes it. Reads the source by pread only. Cancelled when `progress` said stop.
SaveOutcome writeMp3Cut(int sourceFd, const Mp3FrameMap& map, std::int64_t startMs,
                        std::int64_t endMs, QFileDevice& target, const Mp3CutProgress& progress);
// The same with a plan made before (so that the caller knows plan.samples() for the check).
SaveOutcome writeMp3Cut(int sourceFd, const Mp3FrameMap& map, const Mp3CutPlan& plan,
                        QFileDevice& target, const Mp3CutProgress& progress);

// Re-reads a written cut with libmpg123 (full scan) and compares its gapless length with
// `expectedSamples`. Nullopt when they agree, else why not. The descriptor may be write-only
// (a QSaveFile's handle): the file is then opened again for reading.
std::optional<QString> checkMp3Cut(int fd, std::int64_t expectedSamples);
std::optional<QString> checkMp3Cut(const QString& path, std::int64_t expectedSamples);

} // namespace snipora
