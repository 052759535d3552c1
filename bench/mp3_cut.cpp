// The frame-exact MP3 cut of one selection, check and commit included, timed.
// Usage: bench_mp3_cut SOURCE TARGET START_MS END_MS
// Prints the seconds the cut took, the samples it holds, the bytes of its frames, its size, the
// seconds of the scan, the first frame copied, whether a lead frame goes first, delay, padding.
#include "core/mp3_cut.h"

#include <QElapsedTimer>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

using namespace snipora;

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SOURCE TARGET START_MS END_MS\n", argv[0]);
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    QString error;
    const auto map = fd >= 0 ? Mp3FrameMap::scan(fd, &error) : std::nullopt;
    if (!map) {
        std::fprintf(stderr, "cannot read the source: %s\n", qPrintable(error));
        return 1;
    }
    const double scanned = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    const auto plan = planMp3Cut(fd, *map, std::atoll(argv[3]), std::atoll(argv[4]), &error);
    if (!plan) {
        std::fprintf(stderr, "cannot cut: %s\n", qPrintable(error));
        return 1;
    }
    QSaveFile target(QString::fromLocal8Bit(argv[2]));
    if (!target.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write the target\n");
        return 1;
    }
    if (const auto failed = writeMp3Cut(fd, *map, *plan, target, {})) {
        std::fprintf(stderr, "Save failed: %s\n", qPrintable(failed.reason()));
        return 1;
    }
    if (const auto failed = checkMp3Cut(target.handle(), plan->samples())) {
        std::fprintf(stderr, "Save failed: %s\n", qPrintable(*failed));
        return 1;
    }
    if (!target.commit()) {
        std::fprintf(stderr, "Save failed: %s\n", qPrintable(target.errorString()));
        return 1;
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    std::int64_t frameBytes = 0;
    for (std::size_t i = plan->firstFrame; i < plan->endFrame; ++i) {
        frameBytes += map->frames()[i].size;
    }
    std::printf("%.6f %lld %lld %lld %.6f %zu %d %d %d\n", seconds,
                static_cast<long long>(plan->samples()), static_cast<long long>(frameBytes),
                static_cast<long long>(plan->outputBytes), scanned, plan->firstFrame,
                plan->leadFrame ? 1 : 0, plan->encoderDelay, plan->encoderPadding);
    ::close(fd);
    return 0;
}
