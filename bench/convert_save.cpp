// Convert Save of a selection against the same encoder command run directly: the time the
// program adds around the encoder. Usage: bench_convert_save <program folder> <source> <out> <runs>
#include "core/convert_save.h"
#include "core/encoder_command.h"
#include "platform/qt_host.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace snipora;

namespace {
double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <program folder> <source> <output folder> <runs>\n",
                     argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString source = QString::fromLocal8Bit(argv[2]);
    const QString outputFolder = QString::fromLocal8Bit(argv[3]);
    const int runs = std::max(1, std::atoi(argv[4]));
    // One minute from the middle of the hour.
    constexpr std::int32_t markStart = 1'800'000;
    constexpr std::int32_t markEnd = 1'860'000;

    QtProcessLauncher launcher;
    const Selection selection{markStart, markEnd};
    const ProcessCommand direct = encoderCommand(
        EncoderJob{folder, selection, source, QStringLiteral("MP3"), QStringLiteral("128k"),
                   outputFolder + QStringLiteral("/direct.mp3")});

    std::vector<double> throughSnipora;
    std::vector<double> directly;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(outputFolder + QStringLiteral("/direct.mp3"));
        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(direct.program, direct.arguments);
        if (!process.waitForFinished(-1) || process.exitCode() != 0) {
            std::fprintf(stderr, "the encoder failed when run directly\n");
            return 1;
        }
        directly.push_back(timer.nsecsElapsed() / 1e9);

        timer.restart();
        ConvertSave save(launcher);
        SaveOutcome failure;
        QEventLoop loop;
        QObject::connect(&save, &ConvertSave::finished, &loop, [&](const SaveOutcome& result) {
            failure = result;
            loop.quit();
        });
        save.start(ConvertSaveJob{folder, selection, source, QStringLiteral("MP3"),
                                  QStringLiteral("128k"),
                                  outputFolder + QStringLiteral("/through snipora.mp3")});
        loop.exec();
        throughSnipora.push_back(timer.nsecsElapsed() / 1e9);
        if (failure) {
            std::fprintf(stderr, "Convert Save failed: %s\n", qPrintable(failure.reason()));
            return 1;
        }
    }
    // Runs alternate, so a busy machine slows both alike; the overhead is taken run by run.
    std::vector<double> overheads;
    for (std::size_t i = 0; i < directly.size(); ++i) {
        overheads.push_back(throughSnipora[i] - directly[i]);
    }
    std::printf("%.4f %.4f %.4f\n", median(throughSnipora), median(directly), median(overheads));
    return 0;
}
