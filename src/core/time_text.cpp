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
    double total = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const bool last = i == parts.size() - 1;
        const double value = last ? parts[i].toDouble(&ok) : parts[i].toUInt(&ok);
        // Minutes and seconds under an hour or a minute take at most 59 when a larger unit leads.
        if (!ok || value < 0 || !std::isfinite(value) || (i > 0 && value >= 60)) {
            return std::nullopt;
        }
        total = total * 60 + value;
    }
    if (total > 1e12) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(std::llround(total * 1000));
}

} // namespace snipora
