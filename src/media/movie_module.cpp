// MovieModule: command texts, reply parsing and the event-pumping wait.
#include "media/movie_module.h"

#include "app/failure.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace snipora {

namespace {
QByteArray number(std::int32_t value) {
    return QByteArray::number(value);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

std::int32_t readReplyNumber(const char* text, std::size_t length) {
    std::size_t i = 0;
    while (i < length && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    const std::size_t start = i;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    const std::size_t digitsStart = i;
    while (i < length && isDigit(text[i])) {
        ++i;
    }
    bool anyDigit = i > digitsStart;
    if (i < length && text[i] == '.') {
        std::size_t j = i + 1;
        while (j < length && isDigit(text[j])) {
            ++j;
        }
        anyDigit = anyDigit || j > i + 1;
        i = j;
    }
    if (!anyDigit) {
        return 0;
    }
    const std::string numberText(text + start, i - start);
    return roundToInt32(std::strtod(numberText.c_str(), nullptr));
}

MovieModule::MovieModule(MediaCommands& media, Clock& clock, EventPump& pump)
    : media_(media), clock_(clock), pump_(pump) {}

std::uint32_t MovieModule::send(const QByteArray& command) {
    return media_.sendString(std::string_view(command.constData(), command.size()), nullptr, 0);
}

std::uint32_t MovieModule::query(const QByteArray& command) {
    return media_.sendString(std::string_view(command.constData(), command.size()), reply_.data(),
                             static_cast<std::uint32_t>(reply_.size()));
}

void MovieModule::wrapFilenameAndClose() {
    Filename = QLatin1Char('"') + Filename + QLatin1Char('"');
    Error = static_cast<std::int32_t>(send("close movie"));
}

void MovieModule::openMovieWindow(std::int32_t hWnd, const QString& WindowStyle) {
    wrapFilenameAndClose();
    Error = static_cast<std::int32_t>(send("open " + QFile::encodeName(Filename) +
                                           " type mpegvideo alias movie parent " + number(hWnd) +
                                           " style " + WindowStyle.toLocal8Bit() + " "));
}

void MovieModule::openMovie() {
    wrapFilenameAndClose();
    Error = static_cast<std::int32_t>(
        send("open " + QFile::encodeName(Filename) + " type mpegvideo alias movie"));
}

void MovieModule::playMovie() {
    Error = static_cast<std::int32_t>(send("play movie"));
}

void MovieModule::stopMovie() {
    Error = static_cast<std::int32_t>(send("stop movie"));
}

void MovieModule::pauseMovie() {
    Error = static_cast<std::int32_t>(send("pause movie"));
}

void MovieModule::resumeMovie() {
    Error = static_cast<std::int32_t>(send("resume movie"));
}

void MovieModule::closeMovie() {
    Error = static_cast<std::int32_t>(send("close all"));
}

std::int32_t MovieModule::getLengthInMS() {
    Error = static_cast<std::int32_t>(send("set movie time format ms"));
    Error = static_cast<std::int32_t>(query("status movie length"));
    return readReplyNumber(reply_.data(), reply_.size());
}

std::int32_t MovieModule::getPositionInMS() {
    Error = static_cast<std::int32_t>(send("set movie time format ms"));
    Error = static_cast<std::int32_t>(query("status movie position wait"));
    return readReplyNumber(reply_.data(), reply_.size());
}

std::int32_t MovieModule::getLengthInSec() {
    return getLengthInMS() / 1000;
}

std::int32_t MovieModule::getPositionInSec() {
    return getPositionInMS() / 1000;
}

bool MovieModule::isMoviePlaying() {
    Error = static_cast<std::int32_t>(query("status movie mode"));
    return std::memcmp(reply_.data(), "playing", 7) == 0;
}

void MovieModule::setPositionTo(std::int32_t Second) {
    // The positioning commands' statuses are discarded: Error keeps the last mode query's.
    if (isMoviePlaying()) {
        send("play movie from " + number(Second));
    } else if (!isMoviePlaying()) {
        send("seek movie to " + number(Second));
    }
}

void MovieModule::timeOut(double duration) {
    constexpr double secondsPerDay = 86400.0;
    const double start = static_cast<double>(roundToInt32(clock_.secondsSinceMidnight()));
    for (;;) {
        double elapsed = clock_.secondsSinceMidnight() - start;
        // The clock falls back to 0 at midnight; a wait spanning it still ends on time.
        if (elapsed < -secondsPerDay / 2) {
            elapsed += secondsPerDay;
        }
        if (elapsed >= duration) {
            return;
        }
        pump_.processEvents();
        const double remainingMs = (duration - elapsed) * 1000.0;
        pump_.sleep(static_cast<int>(std::clamp(std::ceil(remainingMs), 1.0, 10.0)));
    }
}

} // namespace snipora
