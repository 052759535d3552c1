// Convert Save of a selection against the same encoder command run directly: the time the
// program adds around the encoder. Usage: bench_convert_save <program folder> <source> <out> <runs>
#include "app/form1.h"
#include "export/encoder_command.h"
#include "platform/qt_host.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace snipora;

namespace {
// No sound device: the save only stops playback, and nothing plays here.
class SilentMedia final : public MediaCommands {
public:
    std::uint32_t sendString(std::string_view, char* reply, std::uint32_t length) override {
        if (reply && length > 0) {
            reply[0] = '\0';
        }
        return 0;
    }
};

// Every question answered Yes, every message taken.
class AnsweringMessages final : public MessageBoxes {
public:
    MessageAnswer show(const QString& text, MessageStyle style) override {
        last = text;
        return style == MessageStyle::Question ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    QString last;
};

// The save dialog always picks the same file.
class FixedDialogs final : public FileDialogs {
public:
    explicit FixedDialogs(QString chosen) : chosen_(std::move(chosen)) {}
    std::optional<QString> openFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(const FileDialogRequest&) override { return chosen_; }

private:
    QString chosen_;
};

class Folder final : public ProgramControl {
public:
    explicit Folder(QString folder) : folder_(std::move(folder)) {}
    QString programFolder() override { return folder_; }
    [[noreturn]] void endProgram() override { std::exit(0); }

private:
    QString folder_;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
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

    SilentMedia media;
    QtClock clock;
    QtEventPump pump;
    AnsweringMessages messages;
    FixedDialogs dialogs(outputFolder + QStringLiteral("/through snipora.mp3"));
    QtProcessLauncher launcher;
    Folder program(folder);
    Form1 form(Host{media, clock, pump, messages, dialogs, launcher, program, QUrl()});
    form.sourceFile = source;
    form.Combo1->setCurrentText(QStringLiteral("MP3"));
    form.Combo2->setCurrentText(QStringLiteral("128k"));

    const ProcessCommand direct = encoderCommand(
        EncoderJob{folder, markStart, markEnd, source, QStringLiteral("128k"),
                   encoderExtraOptions(QStringLiteral("MP3"), QStringLiteral("128k")),
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

        form.markStart = markStart;
        form.markEnd = markEnd;
        timer.restart();
        form.Command8_Click();
        throughSnipora.push_back(timer.nsecsElapsed() / 1e9);
        if (messages.last != QStringLiteral("Done                ")) {
            std::fprintf(stderr, "Convert Save failed: %s\n", qPrintable(messages.last));
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
