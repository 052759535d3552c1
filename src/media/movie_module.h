// MovieModule: the one media controller; builds the media command strings and reads the replies.
#pragma once

#include "platform/host.h"

#include <QString>

#include <array>
#include <cstdint>

namespace snipora {

// Drives the single media device "movie" through command strings. It keeps no picture of the
// device: every question is asked of the device when it is needed, and no status is checked.
// Length and position replies too large for 32 bits raise OverflowError to the caller.
class MovieModule {
public:
    MovieModule(MediaCommands& media, Clock& clock, EventPump& pump);

    // Status of the most recent command a method sent (setPositionTo's positioning aside).
    std::int32_t Error = 0;
    // The file to open; the open methods store it back wrapped in double quotes.
    QString Filename;

    void openMovieWindow(std::int32_t hWnd, const QString& WindowStyle);
    void openMovie();
    void playMovie();
    void stopMovie();
    std::int32_t getLengthInMS();
    std::int32_t getLengthInSec();
    void pauseMovie();
    void resumeMovie();
    std::int32_t getPositionInMS();
    void closeMovie();
    std::int32_t getPositionInSec();
    bool isMoviePlaying();
    void setPositionTo(std::int32_t Second);
    // Waits about `duration` seconds while the window keeps handling its events.
    void timeOut(double duration);

    // What the device last wrote into the reply buffer (and whatever older text follows it).
    const std::array<char, 128>& replyBuffer() const { return reply_; }

private:
    std::uint32_t send(const QByteArray& command);
    std::uint32_t query(const QByteArray& command);
    void wrapFilenameAndClose();

    MediaCommands& media_;
    Clock& clock_;
    EventPump& pump_;
    // Kept between queries and never cleared: a refused query leaves the previous reply here.
    std::array<char, 128> reply_{};
};

// Reads the leading decimal number of a reply: blanks skipped, optional sign, digits and
// fraction, 0 when none, rounded half to even. Raises OverflowError beyond 32 bits.
std::int32_t readReplyNumber(const char* text, std::size_t length);

} // namespace snipora
