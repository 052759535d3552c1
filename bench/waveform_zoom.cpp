// The waveform zoomed to a millisecond a pixel, measured as the user meets it: from a zoom step
// on the view until it has painted the decoded samples, the longest the window's event loop went
// without a pass meanwhile, and the memory the finest detail keeps.
// Usage: bench_waveform_zoom FILE STEPS -> first-ms median-ms max-ms longest-gap-ms detail-bytes
#include "app/waveform_view.h"
#include "core/detail_peaks.h"
#include "core/waveform_peak_computer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace snipora;

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_waveform_zoom FILE STEPS\n");
        return 2;
    }
    const QByteArray path = QFile::encodeName(QString::fromLocal8Bit(argv[1]));
    const int steps = std::max(std::atoi(argv[2]), 2);

    WaveformPeakComputer overview;
    {
        QEventLoop wait;
        QObject::connect(&overview, &WaveformPeakComputer::finished, &wait, &QEventLoop::quit);
        overview.start(path);
        wait.exec();
    }
    WaveformView view;
    view.resize(1188, 600); // the panel of a window maximised on a 1280-pixel screen
    view.setInsets(23, 23);
    view.show();
    view.setLength(overview.peaks().coveredMs());
    view.setPeaks(&overview.peaks());

    DetailPeakComputer detail;
    QElapsedTimer clock;
    clock.start();
    bool painted = false;
    std::size_t detailBytes = 0;
    QObject::connect(&view, &WaveformView::detailWanted, &detail, &DetailPeakComputer::request);
    QObject::connect(&detail, &DetailPeakComputer::detailReady, &view,
                     [&](double fromMs, double spanMs, const std::vector<PeakRange>& columns) {
                         view.setDetail(fromMs, spanMs, columns);
                         view.repaint();
                         detailBytes = columns.capacity() * sizeof(PeakRange);
                         painted = true;
                     });
    qint64 lastPass = 0;
    double longestGap = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, double(now - lastPass) / 1e6);
        lastPass = now;
    });
    // One zoom step, and the time until its samples are on screen.
    const auto step = [&](auto zoom) {
        painted = false;
        const qint64 begin = clock.nsecsElapsed();
        lastPass = begin;
        zoom();
        QEventLoop wait;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
            if (painted) {
                wait.quit();
            }
        });
        poll.start(0);
        wait.exec();
        return double(clock.nsecsElapsed() - begin) / 1e6;
    };
    const std::int64_t middle = overview.peaks().coveredMs() / 2 + 123;
    detail.setSource(path);
    tick.start();
    const double pixels = view.viewSpanMs() / view.msPerPixel();
    // The first: from the whole file to a millisecond a pixel, the file's seek index made first.
    const double first = step([&] { view.zoomAround(view.viewSpanMs() / pixels, middle); });
    longestGap = 0;
    std::vector<double> times;
    for (int i = 0; i < steps; ++i) {
        // Out to 2 ms a pixel and back in to 1: both finer than the overview.
        times.push_back(step([&] { view.zoomAround(i % 2 == 0 ? 0.5 : 2.0, middle); }));
    }
    std::sort(times.begin(), times.end());
    std::printf("%.2f %.2f %.2f %.2f %zu\n", first, times[times.size() / 2], times.back(),
                longestGap, detailBytes);
    return 0;
}
