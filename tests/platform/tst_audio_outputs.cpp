// The outputs' contract (played frames, pause, stop, short stretches) and the choice of output.
#include "mp3_fixtures.h"
#include "support/test_main.h"

#include "platform/mci/paced_output.h"
#include "platform/mci/sink_output.h"
#include "platform/mci/sound_system.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <cmath>
#include <thread>

using namespace snipora;
using namespace snipora::mci;

namespace {
void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A tone of a given length that counts what was read of it.
class ToneSource final : public PcmSource {
public:
    explicit ToneSource(std::int64_t frames) : total_(frames) {}
    std::size_t readFrames(std::int16_t* out, std::size_t maxFrames) override {
        const std::int64_t done = read_.load();
        const auto count = static_cast<std::size_t>(
            std::min<std::int64_t>(total_ - done, std::int64_t(maxFrames)));
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = static_cast<std::int16_t>(
                8000 * std::sin(static_cast<double>(done + std::int64_t(i)) * 0.06));
            out[2 * i] = value;
            out[2 * i + 1] = value;
        }
        read_ += static_cast<std::int64_t>(count);
        return count;
    }
    std::int64_t framesLeft() const override { return total_ - read_.load(); }
    std::int64_t read() const { return read_.load(); }

private:
    const std::int64_t total_;
    std::atomic<std::int64_t> read_{0};
};

std::unique_ptr<AudioOutput> makeOutput(const QByteArray& kind) {
    if (kind == "sink") {
        return mci::makeOutputFactory(OutputChoice::Sink)();
    }
    return std::make_unique<PacedOutput>();
}
} // namespace

class TestAudioOutputs : public QObject {
    Q_OBJECT

    static void outputs() {
        QTest::addColumn<QByteArray>("kind");
        QTest::newRow("paced") << QByteArray("paced");
        if (test::testsUseSink()) {
            QTest::newRow("sink") << QByteArray("sink");
        }
    }

private slots:
    void theRunPicksItsOutput() {
        const std::unique_ptr<AudioOutput> output = test::testOutputs()();
        if (test::testsUseSink()) {
            QVERIFY(dynamic_cast<SinkOutput*>(output.get()) != nullptr);
            auto tone = std::make_shared<ToneSource>(44100);
            QVERIFY(output->start(PcmFormat{44100, 2}, tone));
            QTRY_VERIFY(output->started()); // the server is really there
            QVERIFY(!output->failed());
            output->stop();
        } else {
            // Without a server of the run's own, never the machine's sound set-up.
            QVERIFY(dynamic_cast<PacedOutput*>(output.get()) != nullptr);
        }
    }

    void theEnvironmentCanForceAnOutput_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("choice");
        QTest::newRow("sink") << QByteArray("sink") << int(OutputChoice::Sink);
        QTest::newRow("NULL") << QByteArray(" NULL ") << int(OutputChoice::Null);
        QTest::newRow("empty") << QByteArray("") << int(OutputChoice::Automatic);
        QTest::newRow("unknown") << QByteArray("speaker") << int(OutputChoice::Automatic);
    }
    void theEnvironmentCanForceAnOutput() {
        QFETCH(QByteArray, value);
        QFETCH(int, choice);
        const QByteArray saved = qgetenv("SNIPORA_AUDIO_OUTPUT");
        const bool wasSet = qEnvironmentVariableIsSet("SNIPORA_AUDIO_OUTPUT");
        qputenv("SNIPORA_AUDIO_OUTPUT", value);
        const OutputChoice found = outputChoiceFromEnvironment();
        if (wasSet) {
            qputenv("SNIPORA_AUDIO_OUTPUT", saved);
        } else {
            qunsetenv("SNIPORA_AUDIO_OUTPUT");
        }
        QCOMPARE(int(found), choice);
    }

    void playsPausesAndStops_data() { outputs(); }
    void playsPausesAndStops() {
        QFETCH(QByteArray, kind);
        std::unique_ptr<AudioOutput> output = makeOutput(kind);
        auto tone = std::make_shared<ToneSource>(44100 * 10);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(output->start(PcmFormat{44100, 2}, tone));
        sleepMs(400);
        const std::int64_t played = output->framesPlayed();
        // Real time: never ahead of the clock, never more than was read.
        QVERIFY2(played > 44100 / 10 && played <= tone->read(), QByteArray::number(played));
        QVERIFY(played <= (clock.elapsed() + 1) * 441 / 10);

        output->pause();
        const std::int64_t paused = output->framesPlayed();
        sleepMs(150);
        QCOMPARE(output->framesPlayed(), paused);

        output->resume();
        sleepMs(200);
        QVERIFY(output->framesPlayed() > paused);

        output->stop();
        QCOMPARE(output->framesPlayed(), std::int64_t{0});
        // Once the output's thread got to the stop, nothing more is read.
        sleepMs(100);
        const std::int64_t readAtStop = tone->read();
        sleepMs(100);
        QCOMPARE(tone->read(), readAtStop);

        // Gone, it leaves no thread inside the sound server's library.
        output.reset();
        QVERIFY(outputThreadsEnded(std::chrono::milliseconds(3000)));
    }

    void aStretchShorterThanTheBufferIsHeardToItsEnd_data() { outputs(); }
    void aStretchShorterThanTheBufferIsHeardToItsEnd() {
        QFETCH(QByteArray, kind);
        const std::unique_ptr<AudioOutput> output = makeOutput(kind);
        auto tone = std::make_shared<ToneSource>(44100 / 10); // 100 ms
        QVERIFY(output->start(PcmFormat{44100, 2}, tone));
        QTRY_COMPARE_WITH_TIMEOUT(output->framesPlayed(), std::int64_t{4410}, 3000);
        QCOMPARE(tone->read(), std::int64_t{4410});
        // A second stretch on the same output counts from zero again.
        auto again = std::make_shared<ToneSource>(44100 / 5);
        QVERIFY(output->start(PcmFormat{44100, 2}, again));
        QVERIFY(output->framesPlayed() < 4410);
        QTRY_COMPARE_WITH_TIMEOUT(output->framesPlayed(), std::int64_t{8820}, 3000);
    }
};

SNIPORA_TEST(TestAudioOutputs)

#include "tst_audio_outputs.moc"
