// The media command service measured: open + length, CPU while playing and paused, the time from
// "play movie from N" to the first sample handed over, and resident memory while playing.
// Usage: bench_media_engine open FILE RUNS         -> median-seconds length-ms decoded-ms
//        bench_media_engine cpu FILE PLAY_S PAUSE_S -> playing-share paused-share
//        bench_media_engine latency FILE RUNS      -> median-ms max-ms
//        bench_media_engine memory FILE SECONDS    -> resident-KiB
#include "platform/mci/media_command_service.h"
#include "platform/mci/paced_output.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <mpg123.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <ctime>

using namespace snipora;
using namespace snipora::mci;

namespace {
using SteadyClock = std::chrono::steady_clock;

std::uint32_t send(MediaCommandService& service, const QByteArray& command) {
    return service.sendString(std::string_view(command.constData(), command.size()), nullptr, 0);
}

QByteArray query(MediaCommandService& service, const QByteArray& command) {
    std::array<char, 128> reply{};
    service.sendString(std::string_view(command.constData(), command.size()), reply.data(), 128);
    return QByteArray(reply.data());
}

QByteArray openCommand(const char* file) {
    return "open \"" + QByteArray(file) + "\" type mpegvideo alias movie";
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void sleepSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Milliseconds libmpg123 decodes from the file read straight through: the length to match.
long long decodedMs(const char* file) {
    int error = 0;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    mpg123_param(handle, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_open(handle, file);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    mpg123_getformat(handle, &rate, &channels, &encoding);
    std::vector<unsigned char> buffer(1 << 16);
    long long bytes = 0;
    for (;;) {
        std::size_t done = 0;
        const int result = mpg123_read(handle, buffer.data(), buffer.size(), &done);
        bytes += static_cast<long long>(done);
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            break;
        }
    }
    mpg123_delete(handle);
    const long long frames = bytes / (channels * mpg123_encsize(encoding));
    return frames * 1000 / rate;
}

int openAndLength(const char* file, int runs) {
    std::vector<double> seconds;
    QByteArray length;
    for (int i = 0; i < runs; ++i) {
        MediaCommandService service(makeOutputFactory(OutputChoice::Null));
        const auto start = SteadyClock::now();
        if (send(service, openCommand(file)) != 0) {
            std::fprintf(stderr, "open failed\n");
            return 1;
        }
        send(service, "set movie time format ms");
        length = query(service, "status movie length");
        seconds.push_back(std::chrono::duration<double>(SteadyClock::now() - start).count());
    }
    std::printf("%.4f %s %lld\n", median(seconds), length.constData(), decodedMs(file));
    return 0;
}

int cpu(const char* file, double playSeconds, double pauseSeconds) {
    MediaCommandService service(makeOutputFactory(OutputChoice::Null));
    if (send(service, openCommand(file)) != 0) {
        return 1;
    }
    send(service, "play movie");
    sleepSeconds(0.5); // past the start
    double cpuStart = processCpuSeconds();
    auto wallStart = SteadyClock::now();
    sleepSeconds(playSeconds);
    const double playing = (processCpuSeconds() - cpuStart) /
                           std::chrono::duration<double>(SteadyClock::now() - wallStart).count();
    send(service, "pause movie");
    sleepSeconds(0.2);
    cpuStart = processCpuSeconds();
    wallStart = SteadyClock::now();
    sleepSeconds(pauseSeconds);
    const double paused = (processCpuSeconds() - cpuStart) /
                          std::chrono::duration<double>(SteadyClock::now() - wallStart).count();
    std::printf("%.5f %.5f\n", playing, paused);
    return 0;
}

// The null output's pacing, noting when the first frame of a stretch is handed over.
class FirstFrameOutput final : public PacedOutput {
public:
    ~FirstFrameOutput() override { stop(); }
    std::atomic<SteadyClock::rep> firstHanded{0};

protected:
    void stretchBegins() override { firstHanded = 0; }
    void handed(const std::int16_t*, std::size_t, int) override {
        if (firstHanded == 0) {
            firstHanded = SteadyClock::now().time_since_epoch().count();
        }
    }
};

int latency(const char* file, int runs) {
    FirstFrameOutput* output = nullptr;
    MediaCommandService service([&output] {
        auto made = std::make_unique<FirstFrameOutput>();
        output = made.get();
        return made;
    });
    if (send(service, openCommand(file)) != 0) {
        return 1;
    }
    const long long length = query(service, "status movie length").toLongLong();
    send(service, "play movie");
    QRandomGenerator positions(1);
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        sleepSeconds(0.05);
        const QByteArray from = QByteArray::number(positions.bounded(length - 5000));
        const auto start = SteadyClock::now();
        send(service, "play movie from " + from);
        while (output->firstHanded == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        const SteadyClock::time_point first{SteadyClock::duration(output->firstHanded.load())};
        ms.push_back(std::chrono::duration<double, std::milli>(first - start).count());
    }
    std::printf("%.3f %.3f\n", median(ms), *std::max_element(ms.begin(), ms.end()));
    return 0;
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

int memory(const char* file, double seconds) {
    MediaCommandService service(makeOutputFactory(OutputChoice::Null));
    if (send(service, openCommand(file)) != 0) {
        return 1;
    }
    const long long length = query(service, "status movie length").toLongLong();
    // Play at the start, the middle and near the end: what the decoder keeps must not depend
    // on where it is or how much it has passed.
    long peak = 0;
    for (const long long from : {0LL, length / 2, std::max(0LL, length - 4000)}) {
        send(service, "play movie from " + QByteArray::number(from));
        sleepSeconds(seconds / 3);
        peak = std::max(peak, residentKiB());
    }
    std::printf("%ld\n", peak);
    return 0;
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 4 && mode == "open") {
        return openAndLength(argv[2], std::atoi(argv[3]));
    }
    if (argc == 5 && mode == "cpu") {
        return cpu(argv[2], std::atof(argv[3]), std::atof(argv[4]));
    }
    if (argc == 4 && mode == "latency") {
        return latency(argv[2], std::atoi(argv[3]));
    }
    if (argc == 4 && mode == "memory") {
        return memory(argv[2], std::atof(argv[3]));
    }
    std::fprintf(stderr, "usage: see the head of media_engine.cpp\n");
    return 2;
}
