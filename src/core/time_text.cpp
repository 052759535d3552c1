// Time texts shown in the window and read from the command line.
#include "core/time_text.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace snipora {

namespace {
// A blank before zero or a positive number, a minus sign before a negative one.
QString signedText(std::int32_t n) {
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}
} // namespace

QString formatTime(std::int32_t seconds) {
    // Integer division truncates toward zero, so every remainder keeps the input's sign.
    const std::int32_t hours = seconds / 3600;
    const std::int32_t rest = seconds - hours * 3600;
    const std::int32_t minutes = rest / 60;
    const std::int32_t secs = rest - minutes * 60;
    return signedText(hours) + QStringLiteral(" :") + signedText(minutes) + QStringLiteral(" :") +
           signedText(secs);
}

QString formatTimeOfMs(std::int64_t ms) {
    const std::int64_t seconds = ms / 1000;
    return formatTime(static_cast<std::int32_t>(
        std::clamp<std::int64_t>(seconds, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max())));
}

QString preciseTime(std::int64_t ms) {
    const QString sign = ms < 0 ? QStringLiteral("-") : QString();
    ms = ms < 0 ? -ms : ms;
    const std::int64_t hours = ms / 3'600'000;
    const std::int64_t minutes = ms / 60'000 % 60;
    const std::int64_t seconds = ms / 1000 % 60;
    const std::int64_t millis = ms % 1000;
    const QString tail = QStringLiteral("%1.%2")
                             .arg(seconds, 2, 10, QLatin1Char('0'))
                             .arg(millis, 3, 10, QLatin1Char('0'));
    if (hours > 0) {
        return sign + QStringLiteral("%1:%2:").arg(hours).arg(minutes, 2, 10, QLatin1Char('0')) +
               tail;
    }
    return sign + QStringLiteral("%1:").arg(minutes) + tail;
}

std::optional<std::int64_t> parseTime(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() > 3) {
        return std::nullopt;
    }
    // Digits are read as digits: a double would hold 1.005 as 1.00499..., a millisecond short.
    constexpr std::int64_t largest = std::int64_t{1'000'000'000'000}; // ms; 31 years
    std::int64_t wholeSeconds = 0;
    std::int64_t thousandths = 0; // of the last part's fraction, rounded to the nearest
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        const bool last = i == parts.size() - 1;
        const qsizetype point = last ? part.indexOf(QLatin1Char('.')) : -1;
        const QStringView whole = point < 0 ? QStringView(part) : QStringView(part).left(point);
        const QStringView fraction = point < 0 ? QStringView() : QStringView(part).mid(point + 1);
        const auto allDigits = [](QStringView digits) {
            return std::all_of(digits.begin(), digits.end(), [](QChar c) {
                return c >= QLatin1Char('0') && c <= QLatin1Char('9');
            });
        };
        if (!allDigits(whole) || !allDigits(fraction) || (whole.isEmpty() && fraction.isEmpty()) ||
            (point >= 0 && fraction.isEmpty()) || whole.size() > 12) {
            return std::nullopt;
        }
        const std::int64_t value = whole.isEmpty() ? 0 : whole.toLongLong();
        // Minutes and seconds take at most 59 when a larger unit leads.
        if (i > 0 && value >= 60) {
            return std::nullopt;
        }
        wholeSeconds = wholeSeconds * 60 + value;
        if (wholeSeconds > largest / 1000) {
            return std::nullopt;
        }
        if (!fraction.isEmpty()) {
            // To the nearest millisecond, a half up: the fourth digit alone decides, since the
            // digits past it add less than its own unit.
            const QStringView kept = fraction.left(4);
            std::int64_t tenThousandths = kept.toLongLong();
            for (qsizetype d = kept.size(); d < 4; ++d) {
                tenThousandths *= 10;
            }
            thousandths = (tenThousandths + 5) / 10;
        }
    }
    return wholeSeconds * 1000 + thousandths;
}

} // namespace snipora
