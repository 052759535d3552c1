// libFuzzer target: any bytes, read as a page, reduce to well-formed, bounded HTML that the
// rich-text document takes and lays out at the web panel's width.
#include "about/page_reducer.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {
// Checks what the web panel relies on: every '<' starts one of the tags the reducer writes,
// every element is closed in order, and nesting, tables and size stay within their bounds.
bool isBoundedAndWellFormed(const QString& html) {
    static const QStringList written{
        QStringLiteral("b"),    QStringLiteral("i"),      QStringLiteral("u"),
        QStringLiteral("em"),   QStringLiteral("strong"), QStringLiteral("span"),
        QStringLiteral("font"), QStringLiteral("a"),      QStringLiteral("p"),
        QStringLiteral("div"),  QStringLiteral("h1"),     QStringLiteral("h2"),
        QStringLiteral("h3"),   QStringLiteral("h4"),     QStringLiteral("h5"),
        QStringLiteral("h6"),   QStringLiteral("ul"),     QStringLiteral("ol"),
        QStringLiteral("li"),   QStringLiteral("table"),  QStringLiteral("tr"),
        QStringLiteral("td"),   QStringLiteral("th")};
    using snipora::PageLimits;
    if (html.size() > PageLimits::output + 64 * PageLimits::depth) {
        return false;
    }
    QStringList open;
    int elements = 0;
    qsizetype i = 0;
    while ((i = html.indexOf(u'<', i)) >= 0) {
        const qsizetype end = html.indexOf(u'>', i);
        if (end < 0) {
            return false;
        }
        const bool closing = html[i + 1] == u'/';
        const QStringView tag = QStringView(html).sliced(i + (closing ? 2 : 1));
        qsizetype nameLength = 0;
        while (nameLength < tag.size() && tag[nameLength] != u' ' && tag[nameLength] != u'>') {
            ++nameLength;
        }
        const QString name = tag.first(nameLength).toString();
        i = end + 1;
        if (name == QLatin1String("br") && !closing) {
            continue;
        }
        if (!written.contains(name)) {
            return false;
        }
        if (closing) {
            if (open.isEmpty() || open.takeLast() != name) {
                return false;
            }
            continue;
        }
        open << name;
        ++elements;
        if (open.size() > PageLimits::depth + 2 ||
            open.count(QStringLiteral("table")) > PageLimits::tableDepth) {
            return false;
        }
    }
    return open.isEmpty() && elements <= PageLimits::elements;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Kept for the whole run: the document's layout needs fonts, so a GUI application.
    static std::unique_ptr<QGuiApplication> application =
        std::make_unique<QGuiApplication>(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Odd first byte: the rest as raw UTF-16, which reaches lone surrogates and any code unit;
    // otherwise as UTF-8, as most pages come.
    QString page;
    if (size > 0 && (data[0] & 1) != 0) {
        page.resize(qsizetype((size - 1) / 2));
        std::memcpy(page.data(), data + 1, size_t(page.size()) * sizeof(char16_t));
    } else {
        page = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    }
    const QString reduced = snipora::reducePage(page);
    if (!isBoundedAndWellFormed(reduced)) {
        __builtin_trap();
    }
    QTextDocument document;
    document.setHtml(reduced);
    document.setTextWidth(457);
    (void)document.size(); // lays the document out
    return 0;
}
