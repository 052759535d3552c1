// MediaController: command texts and reply parsing.
#include "media/media_controller.h"

#include "platform/mci/mci_status.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace snipora {

namespace {
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

std::int64_t readReplyNumber(const char* text, std::size_t length) {
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
    const double value = std::nearbyint(std::strtod(std::string(text + start, i - start).c_str(),
                                                    nullptr)); // halves to even
    constexpr double limit = 9.2e18;
    return static_cast<std::int64_t>(std::clamp(value, -limit, limit));
}

QByteArray quotedFileName(const QByteArray& path) {
    QByteArray name = path;
    // A quote in the name would otherwise end it and let the rest be read as more words of the
    // command.
    name.replace("\"", "\"\"");
    return '"' + name + '"';
}

MediaController::MediaController(MediaCommands& media) : media_(media) {}

std::uint32_t MediaController::send(const QByteArray& command) {
    return media_.sendString(std::string_view(command.constData(), command.size()), nullptr, 0);
}

std::uint32_t MediaController::query(const QByteArray& command) {
    return media_.sendString(std::string_view(command.constData(), command.size()), reply_.data(),
                             static_cast<std::uint32_t>(reply_.size()));
}

std::uint32_t MediaController::openMovieWindow(const QByteArray& path, std::int32_t windowHandle,
                                               const QString& windowStyle) {
    lastStatus_ = send("close movie");
    lastStatus_ = send("open " + quotedFileName(path) + " type mpegvideo alias movie parent " +
                       QByteArray::number(windowHandle) + " style " + windowStyle.toLatin1() + " ");
    return lastStatus_;
}

void MediaController::playMovie() {
    lastStatus_ = send("play movie");
}

void MediaController::playMovieSkipping(std::int64_t fromMs, std::int64_t atMs, std::int64_t toMs) {
    lastStatus_ = send("set movie time format ms");
    lastStatus_ = send("play movie from " + QByteArray::number(fromMs) + " skip " +
                       QByteArray::number(atMs) + " to " + QByteArray::number(toMs));
}

void MediaController::stopMovie() {
    lastStatus_ = send("stop movie");
}

void MediaController::pauseMovie() {
    lastStatus_ = send("pause movie");
}

void MediaController::resumeMovie() {
    lastStatus_ = send("resume movie");
}

void MediaController::closeMovie() {
    lastStatus_ = send("close all");
}

std::int64_t MediaController::getLengthInMS() {
    lastStatus_ = send("set movie time format ms");
    lastStatus_ = query("status movie length");
    return readReplyNumber(reply_.data(), reply_.size());
}

std::int64_t MediaController::getPositionInMS() {
    lastStatus_ = send("set movie time format ms");
    lastStatus_ = query("status movie position wait");
    return readReplyNumber(reply_.data(), reply_.size());
}

bool MediaController::isMoviePlaying() {
    lastStatus_ = query("status movie mode");
    return std::memcmp(reply_.data(), "playing", 7) == 0;
}

void MediaController::setPositionTo(std::int64_t ms) {
    // The positioning commands' statuses are not kept: lastStatus is the mode query's.
    if (isMoviePlaying()) {
        send("play movie from " + QByteArray::number(ms));
    } else {
        send("seek movie to " + QByteArray::number(ms));
    }
}

std::optional<QString> openRefusal(std::uint32_t status) {
    switch (status) {
    case mci::Ok:
        return std::nullopt;
    case mci::FileNotFound:
        return QStringLiteral("the file does not exist");
    case mci::InvalidFile:
        return QStringLiteral("it holds no MPEG audio that can be decoded");
    default:
        return QString::fromLatin1(mci::statusText(status)).toLower();
    }
}

} // namespace snipora
