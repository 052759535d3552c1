// The device watching its output: a stretch that never starts, a resume the output loses, a
// sound server that holds the last frames back or stops answering, and the end of the media.
#include "mp3_fixtures.h"
#include "support/test_main.h"

#include "platform/mci/media_command_service.h"
#include "platform/mci/paced_output.h"
#include "platform/mci/sink_output.h"
#include "platform/mci/sound_system.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <array>
#include <condition_variable>
#include <mutex>
#include <signal.h>
#include <thread>

using namespace snipora;
using namespace snipora::mci;
using snipora::test::Mp3Fixtures;

namespace {
void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A sound server that takes a stretch and never gets it going: nothing is read, nothing heard.
class NeverStartsOutput final : public AudioOutput {
public:
    bool start(const PcmFormat&, std::shared_ptr<PcmSource> source) override {
        source_ = std::move(source);
        return true;
    }
    void pause() override {}
    void resume() override {}
    void stop() override {}
    std::int64_t framesPlayed() override { return 0; }
    bool started() override { return false; }

private:
    std::shared_ptr<PcmSource> source_;
};

// QAudioSink's lost resume: an underrun the sound server reports while the stream is held
// moves the sink from its suspended state to idle, and its resume() then does nothing. The
// stream stays held: playing, silent, its time standing still.
class LosesResumeOutput final : public PacedOutput {
public:
    void resume() override {
        if (lost_) {
            PacedOutput::resume();
        }
        lost_ = true;
    }

private:
    bool lost_ = false;
};

// A sound server that never reports the last 100 ms of a stretch as heard.
class HoldsBackOutput final : public PacedOutput {
public:
    std::int64_t framesPlayed() override {
        return std::max<std::int64_t>(PacedOutput::framesPlayed() - 4410, 0);
    }
};

// A sound system that does not answer when asked for its default device (a sound server stopped
// before the program started): the lookup holds the sound system's thread until let go, or for
// ten seconds, so that a command that waits for it shows as an answer come too soon.
class UnansweredLookup {
public:
    UnansweredLookup()
        : lookup_(DeviceLookup::start([held = held_] {
              std::unique_lock lock(held->mutex);
              held->changed.wait_for(lock, std::chrono::seconds(10), [&] { return held->letGo; });
              return QAudioDevice();
          })) {}
    ~UnansweredLookup() {
        {
            const std::lock_guard lock(held_->mutex);
            held_->letGo = true;
        }
        held_->changed.notify_all();
        lookup_->wait(std::atomic<bool>(false)); // the sound system's thread is free again
    }
    bool answered() const { return lookup_->found().has_value(); }
    AudioOutputFactory outputs() const {
        return [lookup = lookup_] {
            return std::make_unique<SinkOutput>(lookup);
        };
    }

private:
    struct Held {
        std::mutex mutex;
        std::condition_variable changed;
        bool letGo = false;
    };
    std::shared_ptr<Held> held_ = std::make_shared<Held>();
    std::shared_ptr<DeviceLookup> lookup_;
};

template <typename Output> AudioOutputFactory outputsOf() {
    return [] {
        return std::make_unique<Output>();
    };
}

} // namespace

class TestOutputWatch : public QObject {
    Q_OBJECT

    const Mp3Fixtures& files = Mp3Fixtures::shared();
    std::unique_ptr<MediaCommandService> service;

    std::uint32_t send(const QByteArray& command) {
        return service->sendString(std::string_view(command.constData(), command.size()), nullptr,
                                   0);
    }
    QByteArray query(const QByteArray& command) {
        std::array<char, 128> reply{};
        service->sendString(std::string_view(command.constData(), command.size()), reply.data(),
                            128);
        return QByteArray(reply.data());
    }
    qint64 position() { return query("status movie position").toLongLong(); }
    void open(const QString& file, AudioOutputFactory outputs) {
        service = std::make_unique<MediaCommandService>(std::move(outputs));
        QCOMPARE(send("open \"" + QFile::encodeName(file) + "\" type mpegvideo alias movie"), 0U);
    }

private slots:
    void initTestCase() { QVERIFY(!files.cbr.isEmpty()); }
    void cleanup() { service.reset(); }

    void aStretchThatNeverStartsGoesOnInSilence_data() {
        QTest::addColumn<bool>("paused");
        QTest::addColumn<bool>("deviceUnanswered");
        QTest::newRow("playing") << false << false;
        QTest::newRow("paused") << true << false;
        QTest::newRow("no default device yet, playing") << false << true;
        QTest::newRow("no default device yet, paused") << true << true;
    }
    void aStretchThatNeverStartsGoesOnInSilence() {
        QFETCH(bool, paused);
        QFETCH(bool, deviceUnanswered);
        std::optional<UnansweredLookup> unanswered;
        if (deviceUnanswered) {
            unanswered.emplace();
        }
        open(files.cbr, unanswered ? unanswered->outputs() : outputsOf<NeverStartsOutput>());
        QCOMPARE(send("play movie from 1000"), 0U);
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
        QCOMPARE(position(), qint64{1000}); // nothing heard yet
        if (paused) {
            QCOMPARE(send("pause movie"), 0U);
            sleepMs(1500);
            // The paced output took over, held where the stretch stood.
            QCOMPARE(query("status movie mode"), QByteArray("paused"));
            QCOMPARE(position(), qint64{1000});
            QCOMPARE(send("resume movie"), 0U);
        }
        QTRY_VERIFY_WITH_TIMEOUT(position() > 1200, 4000);
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
        if (unanswered) {
            // Every command above was answered without the sound system's.
            QVERIFY(!unanswered->answered());
            service.reset();
            QVERIFY(outputThreadsEnded(std::chrono::milliseconds(3000)));
        }
    }

    void aLostResumeIsRecovered() {
        open(files.cbr, outputsOf<LosesResumeOutput>());
        QCOMPARE(send("play movie from 500"), 0U);
        sleepMs(200);
        QCOMPARE(send("pause movie"), 0U);
        const qint64 paused = position();
        QCOMPARE(send("resume movie"), 0U);
        QElapsedTimer sinceResume;
        sinceResume.start();
        sleepMs(300);
        // The fault itself: playing, and nothing more heard.
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
        QCOMPARE(position(), paused);
        // The stretch starts afresh from what was heard.
        QTRY_VERIFY_WITH_TIMEOUT(position() > paused + 100, 5000);
        QVERIFY(position() < paused + sinceResume.elapsed());
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
    }

    void theEndComesAtTheLength_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("from");
        QTest::addColumn<AudioOutputFactory>("outputs");
        QTest::newRow("paced, 0.4 s file") << files.shortOne << 0 << outputsOf<PacedOutput>();
        QTest::newRow("paced, last second") << files.cbr << 2000 << outputsOf<PacedOutput>();
        QTest::newRow("last 100 ms held back") << files.cbr << 2000 << outputsOf<HoldsBackOutput>();
        QTest::newRow("the run's output") << files.shortOne << 0 << test::testOutputs();
    }
    void theEndComesAtTheLength() {
        QFETCH(QString, file);
        QFETCH(int, from);
        QFETCH(AudioOutputFactory, outputs);
        open(file, outputs);
        const qint64 length = query("status movie length").toLongLong();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(send("play movie from " + QByteArray::number(from)), 0U);
        qint64 last = from;
        while (query("status movie mode") == "playing" && clock.elapsed() < 10000) {
            const qint64 now = position();
            QVERIFY2(now >= last, QByteArray::number(now));
            last = now;
            sleepMs(10);
        }
        const qint64 endedAfter = clock.elapsed();
        QCOMPARE(query("status movie mode"), QByteArray("stopped"));
        QCOMPARE(position(), length);
        // Not before the sound could have been heard, and at most a grace later.
        QVERIFY2(endedAfter >= length - from - 20 && endedAfter < length - from + 1000,
                 QByteArray::number(endedAfter));
        // It stays there: the window stops at the end instead of starting over.
        sleepMs(200);
        QCOMPARE(query("status movie mode"), QByteArray("stopped"));
        QCOMPARE(position(), length);
    }

    void aStoppedSoundServerHoldsUpNothing() {
        if (!test::testsUseSink()) {
            QSKIP("This run plays through the null output: no sound server of its own to stop.");
        }
        const pid_t server = test::ownSoundServer();
        if (server == 0) {
            QSKIP("No sound server of the test's own is running (PULSE_SERVER names no "
                  "socket with a pulseaudio pid file beside it): not stopping anyone else's.");
        }
        open(files.cbr, test::testOutputs());
        QCOMPARE(send("play movie"), 0U);
        QTRY_VERIFY_WITH_TIMEOUT(position() > 100, 3000); // the server plays
        struct Stopped {
            pid_t pid;
            ~Stopped() { kill(pid, SIGCONT); }
        } stopped{server};
        QCOMPARE(kill(server, SIGSTOP), 0);
        // Every command answers though the server does not (before, the first one hung).
        QElapsedTimer clock;
        for (const char* command :
             {"play movie from 1000", "status movie position wait", "status movie mode",
              "pause movie", "resume movie", "stop movie", "play movie from 1000"}) {
            clock.restart();
            QCOMPARE(send(command), 0U);
            QVERIFY2(clock.elapsed() < 500, command);
        }
        // The paced output takes over from what was heard.
        QTRY_VERIFY_WITH_TIMEOUT(position() > 1300, 6000);
        QCOMPARE(query("status movie mode"), QByteArray("playing"));
        clock.restart();
        QCOMPARE(send("close all"), 0U);
        QVERIFY(clock.elapsed() < 500);
        QCOMPARE(kill(server, SIGCONT), 0);
        // Once it answers again, a new file plays through it.
        open(files.cbr, test::testOutputs());
        QCOMPARE(send("play movie"), 0U);
        QTRY_VERIFY_WITH_TIMEOUT(position() > 100, 5000);
    }
};

SNIPORA_TEST(TestOutputWatch)

#include "tst_output_watch.moc"
