// The peak overview of real MP3 files: silence flat, loudness full, a new start cancels the old.
#include "support/files.h"
#include "support/test_main.h"

#include "core/waveform_peak_computer.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <unistd.h>

using namespace snipora;

namespace {
// A tone at 0.9 of full scale for `loudSeconds` of every `period`, silence the rest.
bool encode(const QString& out, const QString& loudWhen, int seconds, const QStringList& codec) {
    QProcess ffmpeg;
    const QString tone = QStringLiteral("if(%1,0.9*sin(2*PI*440*t),0)").arg(loudWhen);
    ffmpeg.start(
        "ffmpeg",
        QStringList{"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    QStringLiteral("aevalsrc=exprs='%1|%1':s=44100:d=%2").arg(tone).arg(seconds)} +
            codec + QStringList{out});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
}
} // namespace

class TestWaveformPeaks : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // Runs the computation to its end; false when it failed or took too long.
    static bool compute(WaveformPeakComputer& computer, const QByteArray& path) {
        QSignalSpy finished(&computer, &WaveformPeakComputer::finished);
        computer.start(path);
        return finished.wait(30000);
    }

private slots:
    void loudHalfFullSilentHalfFlat_data() {
        QTest::addColumn<QString>("loudWhen");
        QTest::addColumn<bool>("loudFirst");
        QTest::addColumn<QStringList>("codec");
        const QStringList cbr{"-c:a", "libmp3lame", "-b:a", "128k"};
        QTest::newRow("loud then silent, CBR") << "lt(t,4)" << true << cbr;
        QTest::newRow("silent then loud, CBR") << "gte(t,4)" << false << cbr;
        QTest::newRow("loud then silent, VBR")
            << "lt(t,4)" << true << QStringList{"-c:a", "libmp3lame", "-q:a", "4"};
        // MPEG-2 layer III has one granule and other side information than MPEG-1.
        QTest::newRow("silent then loud, mono 22,050 Hz")
            << "gte(t,4)" << false
            << QStringList{"-c:a", "libmp3lame", "-b:a", "64k", "-ac", "1", "-ar", "22050"};
    }
    void loudHalfFullSilentHalfFlat() {
        QFETCH(QString, loudWhen);
        QFETCH(bool, loudFirst);
        QFETCH(QStringList, codec);
        const QString file = dir.filePath(QTest::currentDataTag() + QStringLiteral(".mp3"));
        QVERIFY(encode(file, loudWhen, 8, codec));
        WaveformPeakComputer computer;
        QVERIFY(compute(computer, QFile::encodeName(file)));
        const WaveformPeaks& peaks = computer.peaks();
        QVERIFY(qAbs(peaks.coveredMs() - 8000) < 300);
        const PeakLayout& layout = peaks.layout();
        int loudBuckets = 0;
        int silentBuckets = 0;
        for (std::int64_t i = 0; i < peaks.bucketCount(); ++i) {
            // Seconds, with a margin for the encoder's delay and the bucket's own length.
            const double from = double(i * layout.bucketSamples) / layout.rate;
            const double to = double((i + 1) * layout.bucketSamples) / layout.rate;
            const bool inFirstHalf = to < 3.9;
            const bool inSecondHalf = from > 4.1 && to < 7.9;
            if (!inFirstHalf && !inSecondHalf) {
                continue;
            }
            const PeakRange range = peaks.bucket(i);
            if (inFirstHalf == loudFirst) {
                ++loudBuckets;
                QVERIFY2(
                    range.high >= 100 && range.low <= -100,
                    qPrintable(
                        QStringLiteral("bucket %1: %2..%3").arg(i).arg(range.low).arg(range.high)));
            } else {
                ++silentBuckets;
                QCOMPARE(range, PeakRange{});
            }
        }
        QVERIFY(loudBuckets > 10);
        QVERIFY(silentBuckets > 10);
        // Ten hours at this bucket size must stay well inside 4 MB.
        QVERIFY(peaks.memoryBytes() * 3600 * 10 / 8 < 4'000'000);
    }

    void columnsSummariseTheStretchAsked() {
        WaveformPeaks peaks(PeakLayout{1000, 100, 10}); // a bucket is 100 ms
        peaks.append({{-10, 10}, {-50, 20}, {-5, 90}, {0, 0}});
        const auto wide = peaks.columns(0, 400, 2);
        QCOMPARE(wide[0], (PeakRange{-50, 20}));
        QCOMPARE(wide[1], (PeakRange{-5, 90}));
        // Narrower than a bucket: each column takes the bucket it lies in.
        const auto narrow = peaks.columns(100, 200, 4);
        QCOMPARE(narrow[3], (PeakRange{-50, 20}));
        // Beyond what has arrived: nothing to draw yet.
        QVERIFY(!peaks.columns(300, 600, 3)[2].has_value());
    }

    void newStartCancelsTheRunningOne() {
        // Ten minutes of tone, copied from ten seconds so the test need not encode it.
        const QString ten = dir.filePath("ten-seconds.mp3");
        const QString loud = dir.filePath("ten-minutes.mp3");
        const QString silent = dir.filePath("silent.mp3");
        const QStringList cbr{"-c:a", "libmp3lame", "-b:a", "128k"};
        QVERIFY(encode(ten, "1", 10, cbr));
        QVERIFY(encode(silent, "0", 3, cbr));
        QVERIFY(QProcess::execute("ffmpeg", {"-loglevel", "error", "-y", "-stream_loop", "59", "-i",
                                             ten, "-c", "copy", loud}) == 0);
        WaveformPeakComputer alone;
        QVERIFY(compute(alone, QFile::encodeName(silent)));

        WaveformPeakComputer computer;
        QSignalSpy arrived(&computer, &WaveformPeakComputer::peaksArrived);
        QSignalSpy finished(&computer, &WaveformPeakComputer::finished);
        computer.start(QFile::encodeName(loud));
        QVERIFY(arrived.wait(10000));
        arrived.clear();
        computer.start(QFile::encodeName(silent));
        QVERIFY(finished.wait(10000));
        QTest::qWait(200); // time for a stale chunk of the first run to show up
        QCOMPARE(finished.count(), 1);
        QCOMPARE(computer.peaks().bucketCount(), alone.peaks().bucketCount());
        for (std::int64_t i = 0; i < computer.peaks().bucketCount(); ++i) {
            QCOMPARE(computer.peaks().bucket(i), PeakRange{});
        }
        for (const QList<QVariant>& signal : arrived) {
            QVERIFY(signal.at(1).value<std::int64_t>() <= alone.peaks().coveredMs());
        }
    }

    void badInputIsReportedAndOddNamesWork() {
        const QString text = dir.filePath("not-audio.mp3");
        QVERIFY(test::writeFile(text, QByteArray(5000, 'x')));
        WaveformPeakComputer computer;
        QSignalSpy failed(&computer, &WaveformPeakComputer::failed);
        computer.start(QFile::encodeName(text));
        QVERIFY(failed.wait(10000));
        QVERIFY(!failed.at(0).at(0).toString().isEmpty());

        // A name that is not valid UTF-8 reaches the file by its bytes.
        const QString good = dir.filePath("tone.mp3");
        QVERIFY(encode(good, "1", 2, {"-c:a", "libmp3lame", "-b:a", "128k"}));
        const QByteArray odd = QFile::encodeName(dir.path()) + "/\xff\xfe tone.mp3";
        QCOMPARE(std::rename(QFile::encodeName(good).constData(), odd.constData()), 0);
        QVERIFY(compute(computer, odd));
        QVERIFY(computer.peaks().coveredMs() > 1500);
        // QTemporaryDir cannot name this file to remove it.
        QCOMPARE(::unlink(odd.constData()), 0);
    }
};

SNIPORA_TEST(TestWaveformPeaks)
#include "tst_waveform_peaks.moc"
