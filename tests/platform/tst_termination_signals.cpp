// Termination signals: each one reaches the event loop once, and the program's loop ends on it,
// whatever the sound server does.
#include "mp3_fixtures.h"
#include "platform/termination_signals.h"
#include "support/test_main.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace snipora;

namespace {
// The handler now in place for `signalNumber`.
void (*currentHandler(int signalNumber))(int) {
    struct sigaction current = {};
    sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}

// Stands for whatever handler the program had before.
extern "C" void previousHandler(int) {}

// A sound server's socket that takes connections and never answers: a server stopped before the
// program started.
class DeafServer {
public:
    explicit DeafServer(const QByteArray& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd_ < 0 || path.size() >= qsizetype(sizeof address.sun_path)) {
            return;
        }
        std::copy(path.begin(), path.end(), address.sun_path);
        listening_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::listen(fd_, 16) == 0;
    }
    ~DeafServer() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    DeafServer(const DeafServer&) = delete;
    DeafServer& operator=(const DeafServer&) = delete;
    bool listening() const { return listening_; }

private:
    int fd_;
    bool listening_ = false;
};

bool holdsOpen(qint64 pid, const QString& file) {
    const QString wanted = QFileInfo(file).canonicalFilePath();
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& descriptor : descriptors.entryInfoList(QDir::Files | QDir::System)) {
        if (descriptor.symLinkTarget() == wanted) {
            return true;
        }
    }
    return false;
}
} // namespace

class TestTerminationSignals : public QObject {
    Q_OBJECT
private slots:
    void deliversEachSignalOnceThenStepsAside_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("ignoredBefore");
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGHUP") << SIGHUP << false;
        QTest::newRow("SIGHUP under nohup") << SIGHUP << true;
    }
    void deliversEachSignalOnceThenStepsAside() {
        QFETCH(int, signalNumber);
        QFETCH(bool, ignoredBefore);
        const auto previous = ignoredBefore ? SIG_IGN : previousHandler;
        const auto before = std::signal(signalNumber, previous);
        {
            TerminationSignals catcher;
            QVERIFY(catcher.isActive());
            QVERIFY(!TerminationSignals().isActive()); // one at a time
            QSignalSpy received(&catcher, &TerminationSignals::received);
            std::raise(signalNumber);
            std::raise(signalNumber); // a burst asks for the same thing
            QCOMPARE(received.wait(ignoredBefore ? 100 : 5000), !ignoredBefore);
            QTest::qWait(50);
            QCOMPARE(received.count(), ignoredBefore ? 0 : 1);
            if (!ignoredBefore) {
                QCOMPARE(received.at(0).at(0).toInt(), signalNumber);
            }
            // A second signal now gets the previous handler, so a hung shutdown can still be ended.
            QVERIFY(currentHandler(signalNumber) == previous);
        }
        std::signal(signalNumber, before);
        QVERIFY(TerminationSignals().isActive()); // the next program phase may catch them again
    }

    void endsTheEventLoopWithTheShellsStatusForTheSignal() {
        QVERIFY(quitOnTerminationSignals());
        QTimer::singleShot(0, [] { std::raise(SIGTERM); });
        QCOMPARE(QCoreApplication::exec(), 128 + SIGTERM);
    }

    // The window playing a file through QAudioSink, then SIGTERM.
    void theWindowEndsOnASignalWhateverTheSoundServerDoes_data() {
        QTest::addColumn<QByteArray>("server");
        QTest::newRow("a server that never answers") << QByteArray("deaf");
        QTest::newRow("no server") << QByteArray("none");
        if (test::ownSoundServer() != 0) {
            QTest::newRow("the run's own server") << QByteArray("own");
            QTest::newRow("the run's own server, stopped while playing") << QByteArray("stopped");
        }
    }
    void theWindowEndsOnASignalWhateverTheSoundServerDoes() {
        QFETCH(QByteArray, server);
        const QString file = test::Mp3Fixtures::shared().cbr;
        QTemporaryDir home;
        DeafServer deaf(QFile::encodeName(home.filePath(QStringLiteral("deaf"))));
        QVERIFY(deaf.listening());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SNIPORA_AUDIO_OUTPUT"), QStringLiteral("sink"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.path());
        if (server == "deaf") {
            environment.insert(QStringLiteral("PULSE_SERVER"), "unix:" + home.filePath("deaf"));
        } else if (server == "none") {
            environment.insert(QStringLiteral("PULSE_SERVER"), "unix:" + home.filePath("nobody"));
        }
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardInputFile(QProcess::nullDevice());
        program.start(QStringLiteral(SNIPORA_PROGRAM_DIR "/snipora"), {file});
        QVERIFY(program.waitForStarted());
        // The window has started and opened the file.
        QTRY_VERIFY_WITH_TIMEOUT(holdsOpen(program.processId(), file), 10000);
        struct Stopped {
            pid_t pid = 0;
            ~Stopped() {
                if (pid != 0) {
                    ::kill(pid, SIGCONT);
                }
            }
        } stopped;
        if (server == "stopped") {
            std::this_thread::sleep_for(std::chrono::milliseconds(500)); // sound under way
            stopped.pid = test::ownSoundServer();
            QCOMPARE(::kill(stopped.pid, SIGSTOP), 0);
            // Long enough for the device to give the stalled sink a fresh start, which the
            // server holds up.
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        }
        QCOMPARE(::kill(pid_t(program.processId()), SIGTERM), 0);
        // Before, a server that did not answer held the window's thread (no signal was seen
        // for half a minute) or the end (aborted or hung in Qt's teardown of the connection).
        QVERIFY2(program.waitForFinished(5000), program.readAllStandardError().constData());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 128 + SIGTERM);
    }
};

SNIPORA_TEST(TestTerminationSignals)
#include "tst_termination_signals.moc"
