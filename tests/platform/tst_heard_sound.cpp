// What a listener would have heard, through the capturing output: the right samples after play
// from, seek, stop and pause, compared with an independent decoder's output of the same file.
#include "mp3_fixtures.h"
#include "support/test_main.h"

#include "platform/mci/media_command_service.h"
#include "platform/mci/paced_output.h"

#include <QFile>
#include <QTest>

#include <map>
#include <thread>

using namespace snipora;
using namespace snipora::mci;
using snipora::test::Mp3Fixtures;

class TestHeardSound : public QObject {
    Q_OBJECT

    const Mp3Fixtures& files = Mp3Fixtures::shared();
    std::map<QString, std::vector<std::int16_t>> reference;
    std::unique_ptr<MediaCommandService> service;
    CapturingOutput* output = nullptr; // owned by the open device

    std::uint32_t send(const QByteArray& command) {
        return service->sendString(std::string_view(command.constData(), command.size()), nullptr,
                                   0);
    }
    qint64 position() {
        std::array<char, 128> reply{};
        service->sendString("status movie position", reply.data(), 128);
        return QByteArray(reply.data()).toLongLong();
    }
    void openMovie(const QString& file) {
        QCOMPARE(send("open \"" + QFile::encodeName(file) + "\" type mpegvideo alias movie"), 0U);
        QVERIFY(output != nullptr);
    }
    static void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    // Where the first 50 ms of what was heard lie in the file, in frames from its start.
    test::Match heardAt(const QString& file, int channels, std::int64_t expectedFrame) {
        if (reference.count(file) == 0) {
            reference[file] = test::decodeWithFfmpeg(file, channels);
        }
        std::vector<std::int16_t> heard = output->captured();
        const std::size_t part = static_cast<std::size_t>(channels) * 2205;
        if (heard.size() < part) {
            return {-999999, 1e9};
        }
        heard.resize(part);
        return test::bestMatch(reference[file], heard, channels, expectedFrame, 1500);
    }

private slots:
    void initTestCase() { QVERIFY(!files.cbr.isEmpty()); }
    void init() {
        output = nullptr;
        service = std::make_unique<MediaCommandService>([this] {
            auto capturing = std::make_unique<CapturingOutput>();
            output = capturing.get();
            return capturing;
        });
    }
    void cleanup() { service.reset(); }

    void playFromHandsOverTheSoundFromThere_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("from");
        QTest::newRow("CBR") << files.cbr << 2 << 44100 << 2000;
        QTest::newRow("VBR with Xing") << files.vbrXing << 2 << 44100 << 2000;
        QTest::newRow("cover picture") << files.cover << 2 << 44100 << 2000;
        QTest::newRow("mono 22050 Hz, 2 s long") << files.mono << 1 << 22050 << 1000;
    }
    void playFromHandsOverTheSoundFromThere() {
        QFETCH(QString, file);
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(int, from);
        openMovie(file);
        QCOMPARE(send("play movie from 1500"), 0U);
        sleepMs(120);
        QCOMPARE(send("play movie from 500"), 0U); // a new stretch replaces the last one
        QCOMPARE(send("play movie from " + QByteArray::number(from)), 0U);
        sleepMs(150);
        QCOMPARE(send("pause movie"), 0U);
        QCOMPARE(output->capturedChannels(), channels);
        const test::Match match = heardAt(file, channels, std::int64_t{from} * rate / 1000);
        QCOMPARE(match.shift, std::int64_t{0});
        // Two decoders of one file differ by rounding only.
        QVERIFY2(match.meanDifference < 20, QByteArray::number(match.meanDifference));
        // What was handed over is at least what the position says was heard.
        const auto heardFrames = static_cast<qint64>(output->captured().size()) / channels;
        QVERIFY(from + heardFrames * 1000 / rate >= position());
        QVERIFY(position() > from);
    }

    // A skip given with play is made inside the decoding: what was handed over is the file up to
    // the skip's place and, from the next sample on, the file from where it goes on.
    void playWithSkipJoinsAtTheSample_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QList<int>>("fromAtTo");
        QTest::newRow("CBR, forward") << files.cbr << 2 << 44100 << QList<int>{1000, 1300, 2500};
        QTest::newRow("VBR with Xing, back")
            << files.vbrXing << 2 << 44100 << QList<int>{2000, 2300, 500};
        QTest::newRow("mono 22050 Hz") << files.mono << 1 << 22050 << QList<int>{200, 500, 1500};
    }
    void playWithSkipJoinsAtTheSample() {
        QFETCH(QString, file);
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(QList<int>, fromAtTo);
        const std::int64_t from = fromAtTo[0];
        const std::int64_t at = fromAtTo[1];
        const std::int64_t to = fromAtTo[2];
        openMovie(file);
        QCOMPARE(send("play movie from " + QByteArray::number(from) + " skip " +
                      QByteArray::number(at) + " to " + QByteArray::number(to)),
                 0U);
        sleepMs(static_cast<int>(at - from) + 200);
        QCOMPARE(send("pause movie"), 0U);
        const qint64 heardAtPause = position();
        if (reference.count(file) == 0) {
            reference[file] = test::decodeWithFfmpeg(file, channels);
        }
        const std::vector<std::int16_t> heard = output->captured();
        const auto before = static_cast<std::size_t>((at - from) * rate / 1000 * channels);
        const auto part = static_cast<std::size_t>(channels * rate / 20);
        QVERIFY(heard.size() >= before + part);
        // The last 50 ms before the skip, and the first 50 ms after it, each in its place.
        const std::vector<std::int16_t> last(heard.begin() +
                                                 static_cast<std::ptrdiff_t>(before - part),
                                             heard.begin() + static_cast<std::ptrdiff_t>(before));
        const std::vector<std::int16_t> next(heard.begin() + static_cast<std::ptrdiff_t>(before),
                                             heard.begin() +
                                                 static_cast<std::ptrdiff_t>(before + part));
        const test::Match beforeSkip =
            test::bestMatch(reference[file], last, channels, (at * rate / 1000) - rate / 20, 1500);
        const test::Match afterSkip =
            test::bestMatch(reference[file], next, channels, to * rate / 1000, 1500);
        QCOMPARE(beforeSkip.shift, std::int64_t{0});
        QCOMPARE(afterSkip.shift, std::int64_t{0});
        QVERIFY2(afterSkip.meanDifference < 20, QByteArray::number(afterSkip.meanDifference));
        // The position follows the jump.
        QVERIFY2(heardAtPause > to && heardAtPause < to + 1000, QByteArray::number(heardAtPause));
    }

    void seekThenPlayStartsAtTheSeek() {
        openMovie(files.cbr);
        QCOMPARE(send("seek movie to 1000"), 0U);
        QCOMPARE(send("play movie"), 0U);
        sleepMs(100);
        const test::Match match = heardAt(files.cbr, 2, 44100);
        QCOMPARE(match.shift, std::int64_t{0});
        QVERIFY(match.meanDifference < 20);
    }

    void playAfterStopGoesOnFromWhatWasHeard() {
        openMovie(files.cbr);
        QCOMPARE(send("play movie from 500"), 0U);
        sleepMs(200);
        QCOMPARE(send("stop movie"), 0U);
        const qint64 stoppedAt = position();
        QCOMPARE(send("play movie"), 0U);
        sleepMs(100);
        // Within the millisecond the position is given in.
        const test::Match match = heardAt(files.cbr, 2, stoppedAt * 44100 / 1000);
        QVERIFY2(match.shift >= 0 && match.shift <= 44, QByteArray::number(match.shift));
        QVERIFY(match.meanDifference < 20);
    }

    void pauseAndResumeLoseNothing() {
        openMovie(files.cbr);
        QCOMPARE(send("play movie from 1000"), 0U);
        for (int i = 0; i < 3; ++i) {
            sleepMs(40);
            QCOMPARE(send("pause movie"), 0U);
            sleepMs(30);
            QCOMPARE(send("resume movie"), 0U);
        }
        sleepMs(50);
        QCOMPARE(send("pause movie"), 0U);
        const std::vector<std::int16_t> heard = output->captured();
        QVERIFY(heard.size() > 2 * 4410);
        if (reference.count(files.cbr) == 0) {
            reference[files.cbr] = test::decodeWithFfmpeg(files.cbr, 2);
        }
        // The whole record, not only its start, is one unbroken piece of the file.
        const test::Match match = test::bestMatch(reference[files.cbr], heard, 2, 44100, 50);
        QCOMPARE(match.shift, std::int64_t{0});
        QVERIFY(match.meanDifference < 20);
    }
};

SNIPORA_TEST(TestHeardSound)

#include "tst_heard_sound.moc"
