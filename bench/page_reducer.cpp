// Hostile pages in the web panel: the time from a page's text to the panel showing it (reduction,
// setHtml and the first paint) at the panel's size, for each page; the slowest is the figure.
#include "about/page_reducer.h"
#include "about/browser_panel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextBrowser>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
QString nested(const char* open, const char* close, int depth) {
    return QString::fromLatin1(open).repeated(depth) + QStringLiteral("deep") +
           QString::fromLatin1(close).repeated(depth);
}

// A page of `bytes` characters made of `part` repeated.
QString filled(const char* part, qsizetype bytes) {
    const QString unit = QString::fromLatin1(part);
    return unit.repeated(bytes / unit.size());
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The largest page the panel downloads.
    const qsizetype largest = snipora::BrowserPanel::maximumPageSize;
    const std::vector<std::pair<const char*, QString>> pages{
        {"50 nested tables", nested("<table><tr><td>", "</td></tr></table>", 50)},
        {"5,000 nested tables", nested("<table><tr><td>", "</td></tr></table>", 5000)},
        {"10,000 nested lists", nested("<ul><li>", "</li></ul>", 10000)},
        {"10,000 nested divs", nested("<div>", "</div>", 10000)},
        {"largest flat text", filled("Cut your sound with Snipora. ", largest)},
        {"largest page of links",
         filled("<p><a href=\"/offer?x=1\">Offer</a> <b>now</b></p>", largest)},
        {"largest page of cells", filled("<table><tr><td>a<td>b<td>c<td>d</table>", largest)},
        {"largest page of script", filled("<script>var x = '<p>';</script>", largest)},
        {"wide nested tables",
         QStringLiteral("<table>") +
             filled("<tr><td><table><tr><td>a<td>b<td>c<td>d<td>e</table><td>f", largest)},
    };
    const int runs = 5;
    double worst = 0;
    const char* worstName = "";
    for (const auto& [name, page] : pages) {
        std::vector<double> times;
        double reduction = 0;
        for (int run = 0; run < runs; ++run) {
            QTextBrowser panel;
            panel.resize(457, 73);
            panel.show();
            QApplication::processEvents();
            QElapsedTimer clock;
            clock.start();
            const QString reduced = snipora::reducePage(page);
            reduction += double(clock.nsecsElapsed()) / 1e6 / runs;
            panel.setHtml(reduced);
            panel.viewport()->repaint();
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        const double median = times[runs / 2];
        std::printf("%-24s %8.1f ms (reduction %.1f ms)\n", name, median, reduction);
        if (median > worst) {
            worst = median;
            worstName = name;
        }
    }
    std::printf("worst page (%s): reduction + setHtml + paint %.1f ms (target <= 50)\n", worstName,
                worst);
    return 0;
}
