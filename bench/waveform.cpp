// The waveform overview measured: time until the whole file's peaks are in, the CPU it took,
// the longest the UI thread's event loop went without a pass meanwhile, the time until the first
// picture of the whole file was there, and the peaks' memory.
// Usage: bench_waveform ready FILE RUNS -> median-seconds median-cpu-seconds longest-gap-ms buckets
//                                          median-first-picture-seconds
//        bench_waveform memory FILE     -> peak-bytes covered-ms
#include "core/waveform_peak_computer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <ctime>

using namespace snipora;

namespace {
double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Run {
    double seconds = 0;
    double firstPictureSeconds = -1;
    double cpuSeconds = 0;
    double longestGapMs = 0;
    std::int64_t buckets = 0;
    std::size_t bytes = 0;
    std::int64_t coveredMs = 0;
};

// One computation from start() to finished(), with a 1 ms timer timing the event loop's passes.
Run compute(const QByteArray& path) {
    WaveformPeakComputer computer;
    Run run;
    QElapsedTimer clock;
    qint64 lastPass = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        run.longestGapMs = std::max(run.longestGapMs, static_cast<double>(now - lastPass) / 1e6);
        lastPass = now;
    });
    QObject::connect(&computer, &WaveformPeakComputer::peaksArrived, [&] {
        if (run.firstPictureSeconds < 0) {
            run.firstPictureSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        }
    });
    QObject::connect(&computer, &WaveformPeakComputer::finished, [&] {
        run.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        QCoreApplication::quit();
    });
    QObject::connect(&computer, &WaveformPeakComputer::failed, [](const QString& reason) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(reason));
        QCoreApplication::exit(1);
    });
    const double cpuStart = processCpuSeconds();
    clock.start();
    tick.start();
    computer.start(path);
    QCoreApplication::exec();
    run.cpuSeconds = processCpuSeconds() - cpuStart;
    run.buckets = computer.peaks().bucketCount();
    run.bytes = computer.peaks().memoryBytes();
    run.coveredMs = computer.peaks().coveredMs();
    return run;
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 4 && mode == "ready") {
        std::vector<double> seconds;
        std::vector<double> firstPicture;
        std::vector<double> cpu;
        double longestGap = 0;
        std::int64_t buckets = 0;
        for (int i = 0; i < std::max(std::atoi(argv[3]), 1); ++i) {
            const Run run = compute(QFile::encodeName(QString::fromLocal8Bit(argv[2])));
            seconds.push_back(run.seconds);
            firstPicture.push_back(run.firstPictureSeconds);
            cpu.push_back(run.cpuSeconds);
            longestGap = std::max(longestGap, run.longestGapMs);
            buckets = run.buckets;
        }
        std::printf("%.4f %.4f %.2f %lld %.4f\n", median(seconds), median(cpu), longestGap,
                    static_cast<long long>(buckets), median(firstPicture));
        return 0;
    }
    if (argc == 3 && mode == "memory") {
        const Run run = compute(QFile::encodeName(QString::fromLocal8Bit(argv[2])));
        std::printf("%zu %lld\n", run.bytes, static_cast<long long>(run.coveredMs));
        return 0;
    }
    std::fprintf(stderr, "usage: see the head of waveform.cpp\n");
    return 2;
}
