// Pauses found in generated tone and silence patterns, and split points every N minutes.
#include "core/pause_finder.h"
#include "core/quiet_snap.h"
#include "decoded_mp3.h"
#include "support/test_main.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace snipora;

using Pauses = std::vector<Pause>;
using Points = std::vector<std::int64_t>;
Q_DECLARE_METATYPE(Pauses)
Q_DECLARE_METATYPE(Points)

class TestPauses : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // An MP3 of `expression` (of t, in seconds) for `seconds`; its path, or empty.
    QString encode(const QString& name, const QString& expression, int seconds,
                   const QStringList& codec) {
        const QString path = dir.filePath(name);
        QProcess ffmpeg;
        ffmpeg.start(
            "ffmpeg",
            QStringList{"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        QString("aevalsrc=exprs=%1:s=44100:d=%2").arg(expression).arg(seconds),
                        "-c:a", "libmp3lame"} +
                codec + QStringList{path});
        return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 ? path : QString();
    }

    std::optional<LoudnessProfile> measure(const QString& path) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        SaveOutcome outcome;
        auto profile = measureLoudness(fd, {}, &outcome);
        ::close(fd);
        if (!profile) {
            qWarning() << outcome.reason();
        }
        return profile;
    }

private slots:
    void snapMovesMarksToTheQuiet_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<qint64>("markMs");
        QTest::addColumn<bool>("zeroCrossing");
        QTest::addColumn<qint64>("quietFromMs");
        QTest::addColumn<qint64>("quietToMs");
        // A loud tone with quiet stretches cut into it: silence is 0*, a hum a small factor.
        const auto tone = [](const QString& quiet) {
            return QString("0.5*sin(2*PI*440*t)*(1-(%1))").arg(quiet);
        };
        const QStringList cbr{"-b:a", "128k"};
        QTest::newRow("silence 130 ms after")
            << tone("between(t\\,1.125\\,1.155)") << cbr << 1000ll << false << 1130ll << 1150ll;
        QTest::newRow("silence 200 ms before, VBR")
            << tone("between(t\\,0.785\\,0.815)") << QStringList{"-q:a", "4"} << 1000ll << false
            << 790ll << 810ll;
        QTest::newRow("silence after, MPEG-2 mono")
            << tone("between(t\\,1.125\\,1.155)")
            << QStringList{"-ar", "22050", "-ac", "1", "-b:a", "32k"} << 1000ll << false << 1130ll
            << 1150ll;
        QTest::newRow("the quieter of a hum and a silence")
            << tone("0.96*between(t\\,0.76\\,0.79)+between(t\\,1.2\\,1.26)") << cbr << 1000ll
            << false << 1205ll << 1250ll;
        QTest::newRow("a silence out of reach loses to a dip within it")
            << tone("0.9*between(t\\,0.9\\,0.93)+between(t\\,1.4\\,1.43)") << cbr << 1000ll << false
            << 905ll << 925ll;
        QTest::newRow("near the file's start")
            << tone("between(t\\,0.02\\,0.05)") << cbr << 100ll << false << 25ll << 45ll;
        // A soft 100 Hz hum in a 60 ms stretch: the mark lands where the hum crosses zero.
        QTest::newRow("zero crossing inside the quiet")
            << QString("0.5*sin(2*PI*440*t)*(1-between(t\\,1.1\\,1.16))+"
                       "0.01*sin(2*PI*100*t)*between(t\\,1.1\\,1.16)")
            << cbr << 1000ll << true << 1100ll << 1160ll;
    }
    void snapMovesMarksToTheQuiet() {
        QFETCH(QString, expression);
        QFETCH(QStringList, codec);
        QFETCH(qint64, markMs);
        QFETCH(bool, zeroCrossing);
        QFETCH(qint64, quietFromMs);
        QFETCH(qint64, quietToMs);
        const QString path = encode("quiet.mp3", expression, 2, codec);
        QVERIFY(!path.isEmpty());
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QString error;
        const auto snapped = snapToQuiet(fd, {markMs, 1900}, zeroCrossing, &error);
        ::close(fd);
        QVERIFY2(snapped, qPrintable(error));
        QCOMPARE(snapped->size(), 2u);
        const SnappedMark mark = snapped->front();
        QVERIFY2(mark.ms >= quietFromMs && mark.ms <= quietToMs,
                 qPrintable(QString("snapped to %1 ms").arg(mark.ms)));
        QVERIFY(std::abs(mark.ms - markMs) <= snapReachMs);
        const test::Decoded decoded = test::decode(path);
        QCOMPARE(decoded.errors, 0);
        const int rate = codec.contains("22050") ? 22050 : 44100;
        QCOMPARE(mark.ms, (mark.sample * 1000 + rate / 2) / rate);
        if (zeroCrossing) {
            const auto at = [&](std::int64_t frame) {
                int sum = 0;
                for (int c = 0; c < decoded.channels; ++c) {
                    sum += decoded.samples[std::size_t(frame * decoded.channels + c)];
                }
                return sum;
            };
            QVERIFY2(at(mark.sample) == 0 || (at(mark.sample - 1) < 0) != (at(mark.sample) < 0),
                     qPrintable(QString("no crossing at sample %1").arg(mark.sample)));
        }
        // A mark 100 ms from the end stays within the file.
        QVERIFY(snapped->back().sample <= decoded.frames());
    }
    void pausesWhereTheSilenceIs_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<double>("thresholdDb");
        QTest::addColumn<Pauses>("expected");
        // Five tones of a second with a second of silence between them.
        const QString fiveTones = "0.5*sin(2*PI*440*t)*lt(mod(t\\,2)\\,1)";
        const Pauses between{{1000, 2000}, {3000, 4000}, {5000, 6000}, {7000, 8000}};
        QTest::newRow("five tones, CBR")
            << fiveTones << 9 << QStringList{"-b:a", "128k"} << -40.0 << between;
        QTest::newRow("five tones, VBR")
            << fiveTones << 9 << QStringList{"-q:a", "4"} << -40.0 << between;
        QTest::newRow("five tones, MPEG-2 mono")
            << fiveTones << 9 << QStringList{"-ar", "22050", "-ac", "1", "-b:a", "32k"} << -40.0
            << between;
        // 0.6 s of silence is too short; a -50 dBFS hum is a pause at -40 but not at -60.
        QTest::newRow("short gaps are no pause, a hum is")
            << "0.5*sin(2*PI*440*t)*lt(t\\,1)+0.5*sin(2*PI*440*t)*between(t\\,1.6\\,3)+"
               "0.0045*sin(2*PI*440*t)*between(t\\,3\\,4.5)+0.5*sin(2*PI*440*t)*gt(t\\,4.5)"
            << 6 << QStringList{"-b:a", "128k"} << -40.0 << Pauses{{3000, 4500}};
        QTest::newRow("the hum is sound at -60 dBFS")
            << "0.5*sin(2*PI*440*t)*lt(t\\,1)+0.0045*sin(2*PI*440*t)*between(t\\,1\\,2.5)+"
               "0.5*sin(2*PI*440*t)*gt(t\\,2.5)"
            << 4 << QStringList{"-b:a", "128k"} << -60.0 << Pauses{};
    }
    void pausesWhereTheSilenceIs() {
        QFETCH(QString, expression);
        QFETCH(int, seconds);
        QFETCH(QStringList, codec);
        QFETCH(double, thresholdDb);
        QFETCH(Pauses, expected);
        const QString path = encode("pauses.mp3", expression, seconds, codec);
        QVERIFY(!path.isEmpty());
        const auto profile = measure(path);
        QVERIFY(profile);
        QVERIFY(std::abs(profile->lengthMs - seconds * 1000) <= 1);
        const Pauses found = findPauses(*profile, thresholdDb, 800);
        QCOMPARE(found.size(), expected.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            QVERIFY2(std::abs(found[i].startMs - expected[i].startMs) <= 10 &&
                         std::abs(found[i].endMs - expected[i].endMs) <= 10,
                     qPrintable(QString("pause %1 found at %2-%3 ms")
                                    .arg(i)
                                    .arg(found[i].startMs)
                                    .arg(found[i].endMs)));
        }

        // Split in the middle of each: one piece per stretch of sound; or with the pauses off.
        for (const bool drop : {false, true}) {
            PieceList pieces(profile->lengthMs, 26);
            applyPauses(found, drop, pieces);
            std::vector<Piece> kept;
            for (const Piece& piece : pieces.pieces()) {
                if (piece.enabled) {
                    kept.push_back(piece);
                }
            }
            QCOMPARE(kept.size(), expected.size() + 1);
            QCOMPARE(pieces.pieceCount(), drop ? 2 * expected.size() + 1 : expected.size() + 1);
        }
    }

    void everyInterval_data() {
        QTest::addColumn<bool>("quietest");
        QTest::addColumn<Points>("expected");
        QTest::newRow("as asked") << false << Points{2000, 4000};
        // The silences are at 2.5-3 s and 3.5-4 s: the points move into them.
        QTest::newRow("moved to the quiet") << true << Points{2502, 3502};
    }
    void everyInterval() {
        QFETCH(bool, quietest);
        QFETCH(Points, expected);
        LoudnessProfile profile;
        profile.lengthMs = 5000;
        profile.blockDb.assign(1000, -10.0f);
        for (int block = 500; block < 600; ++block) {
            profile.blockDb[std::size_t(block)] = -70.0f;
        }
        for (int block = 700; block < 800; ++block) {
            profile.blockDb[std::size_t(block)] = -70.0f;
        }
        QCOMPARE(snipora::everyInterval(5000, 2000, quietest ? &profile : nullptr, 1000), expected);
    }

    void scanRunsOffTheCallersThread() {
        const QString path = encode("scan.mp3", "0.5*sin(2*PI*440*t)*lt(t\\,1)", 3, {});
        QVERIFY(!path.isEmpty());
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        LoudnessScan scan;
        QSignalSpy finished(&scan, &LoudnessScan::finished);
        QSignalSpy progress(&scan, &LoudnessScan::progress);
        QVERIFY(scan.start(fd));
        ::close(fd); // the scan reads its own duplicate
        QVERIFY(!scan.start(fd));
        QVERIFY(finished.wait(20000));
        QVERIFY(finished.first().first().value<SaveOutcome>().isDone());
        // A progress that says stop ends the measuring as cancelled, not as a failure.
        const int again = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        SaveOutcome stopped;
        QVERIFY(!measureLoudness(
            again, [](std::int64_t, std::int64_t) { return false; }, &stopped));
        ::close(again);
        QVERIFY(stopped.isCancelled());
        QVERIFY(!progress.isEmpty());
        QCOMPARE(findPauses(scan.profile(), -40, 800).size(), 1u);
        QVERIFY(!scan.isRunning());
    }
};

SNIPORA_TEST(TestPauses)
#include "tst_pauses.moc"
