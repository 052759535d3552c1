// MediaController: the one media controller; builds the media command strings, reads the replies.
#pragma once

#include "platform/host.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace snipora {

// Drives the single media device "movie" through command strings. It keeps no picture of the
// device: every question is asked of the device when it is needed.
class MediaController {
public:
    explicit MediaController(MediaCommands& media);

    // Status of the most recent command a method sent (setPositionTo's positioning aside).
    std::uint32_t lastStatus() const { return lastStatus_; }

    // Opens `path` as the device "movie", after closing whatever "movie" was; the open command
    // names the window handle the device may attach to and its style. Gives the open's status.
    std::uint32_t openMovieWindow(const QByteArray& path, std::int32_t windowHandle,
                                  const QString& windowStyle);
    void playMovie();
    void stopMovie();
    void pauseMovie();
    void resumeMovie();
    void closeMovie();
    std::int64_t getLengthInMS();
    std::int64_t getPositionInMS();
    bool isMoviePlaying();
    // Plays from `fromMs`, and on reaching `atMs` goes on from `toMs` within the device's own
    // decoding, so that the two stretches join without a gap.
    void playMovieSkipping(std::int64_t fromMs, std::int64_t atMs, std::int64_t toMs);
    // Plays on from `ms` when the device is playing, else moves there and leaves it stopped.
    void setPositionTo(std::int64_t ms);

    // What the device last wrote into the reply buffer (and whatever older text follows it).
    const std::array<char, 128>& replyBuffer() const { return reply_; }

private:
    std::uint32_t send(const QByteArray& command);
    std::uint32_t query(const QByteArray& command);

    MediaCommands& media_;
    std::uint32_t lastStatus_ = 0;
    // Kept between queries and never cleared: a refused query leaves the previous reply here.
    std::array<char, 128> reply_{};
};

// Reads the leading decimal number of a reply: blanks skipped, optional sign, digits and
// fraction, 0 when none, rounded half to even, held within 64 bits.
std::int64_t readReplyNumber(const char* text, std::size_t length);

// A file name (its bytes as the file system spells them) as the open command carries it: in
// double quotes, each double quote within doubled.
QByteArray quotedFileName(const QByteArray& path);

// Why the media service refused to open a file, in words that follow "<name> cannot be
// played: "; nothing when the open succeeded.
std::optional<QString> openRefusal(std::uint32_t status);

} // namespace snipora
