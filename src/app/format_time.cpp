// formatTime: the time text of the main window's labels.
#include "app/form1.h"

namespace snipora {

namespace {
// The platform's number-to-text rule for a signed value: a blank before zero or a positive
// number, a minus sign before a negative one.
QString signedText(std::int32_t n) {
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}
} // namespace

QString Form1::formatTime(std::int32_t seconds) {
    // Integer division truncates toward zero, so every remainder keeps the input's sign.
    const std::int32_t hours = seconds / 3600;
    const std::int32_t rest = seconds - hours * 3600;
    const std::int32_t minutes = rest / 60;
    const std::int32_t secs = rest - minutes * 60;
    return signedText(hours) + QStringLiteral(" :") + signedText(minutes) + QStringLiteral(" :") +
           signedText(secs);
}

} // namespace snipora
