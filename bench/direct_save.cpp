// Direct Save of one selection through the real event pump, timed from click to "Done".
// Usage: bench_direct_save SOURCE TARGET START_MS END_MS BYTES_PER_MS
// Prints the seconds the save took, then the 0-based source offset and the length of its output.
#include "app/form1.h"
#include "platform/qt_host.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

using namespace snipora;

namespace {
// A device that knows only its length: enough for the save's one question.
class LengthOnlyMedia final : public MediaCommands {
public:
    explicit LengthOnlyMedia(QByteArray length) : length_(std::move(length)) {}
    std::uint32_t sendString(std::string_view command, char* reply,
                             std::uint32_t replyLength) override {
        if (reply && replyLength > 0) {
            const QByteArray text = command == "status movie length" ? length_ : QByteArray();
            const auto n =
                std::min<std::size_t>(static_cast<std::size_t>(text.size()), replyLength - 1);
            std::memcpy(reply, text.constData(), n);
            reply[n] = '\0';
        }
        return 0;
    }

private:
    QByteArray length_;
};

// Answers every question Yes and remembers the last text.
class Answering final : public MessageBoxes {
public:
    MessageAnswer show(const QString& text, MessageStyle style) override {
        last = text;
        return style == MessageStyle::Question ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    QString last;
};

class ChosenPath final : public FileDialogs {
public:
    explicit ChosenPath(QString path) : path_(std::move(path)) {}
    std::optional<QString> openFile(const FileDialogRequest&) override { return path_; }
    std::optional<QString> saveFile(const FileDialogRequest&) override { return path_; }

private:
    QString path_;
};
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s SOURCE TARGET START_MS END_MS BYTES_PER_MS\n", argv[0]);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString target = QString::fromLocal8Bit(argv[2]);
    const std::int32_t startMs = std::atoi(argv[3]);
    const std::int32_t endMs = std::atoi(argv[4]);
    const qint64 bytesPerMs = std::atoll(argv[5]);
    // A media length that gives exactly the wanted ratio.
    const qint64 mediaMs = QFileInfo(source).size() / bytesPerMs;

    LengthOnlyMedia media(QByteArray::number(mediaMs));
    QtClock clock;
    QtEventPump pump;
    Answering messages;
    ChosenPath dialogs(target);
    QtProcessLauncher processes;
    QtProgramControl program;
    Form1 form(Host{media, clock, pump, messages, dialogs, processes, program, QUrl()});
    // Shown, so that every event pass has the real window's work to do: paints of the progress bar.
    form.show();
    QApplication::processEvents();
    form.sourceFile = source;
    form.markStart = startMs;
    form.markEnd = endMs;

    QElapsedTimer timer;
    timer.start();
    form.Command7_Click();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (messages.last != QStringLiteral("Done")) {
        std::fprintf(stderr, "save did not finish: %s\n", qPrintable(messages.last));
        return 1;
    }
    const qint64 start = bytesPerMs * form.markStart;
    const qint64 end = bytesPerMs * endMs;
    std::printf("%.6f %lld %lld\n", seconds, start - 1, 4096 * ((end - start) / 4096 + 1) + 1);
    return 0;
}
