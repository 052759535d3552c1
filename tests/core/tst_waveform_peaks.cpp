// The peak overview of real MP3 files: silence flat, loudness full, a new start cancels the old,
// a first picture at once, and the cache of finished overviews.
#include "support/files.h"
#include "support/test_main.h"

#include "core/detail_peaks.h"
#include "core/waveform_peak_computer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace snipora;

namespace {
// A 440 Hz tone in both channels, its amplitude (of full scale) an expression of the time t.
bool encode(const QString& out, const QString& level, int seconds, const QStringList& codec) {
    QProcess ffmpeg;
    const QString tone = QStringLiteral("(%1)*sin(2*PI*440*t)").arg(level);
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
    QTemporaryDir cacheDir; // never the user's cache

    // Runs the computation to its end; false when it failed or took too long.
    static bool compute(WaveformPeakComputer& computer, const QByteArray& path) {
        QSignalSpy finished(&computer, &WaveformPeakComputer::finished);
        computer.start(path);
        return finished.wait(30000);
    }

private slots:
    void halvesDrawAtTheirLevel_data() {
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("second");
        QTest::addColumn<QStringList>("codec");
        const QStringList cbr{"-c:a", "libmp3lame", "-b:a", "128k"};
        const QStringList vbr{"-c:a", "libmp3lame", "-q:a", "4"};
        QTest::newRow("loud then silent, CBR") << 0.9 << 0.0 << cbr;
        QTest::newRow("silent then loud, CBR") << 0.0 << 0.9 << cbr;
        // Small VBR frames reach several frames back into the bit reservoir.
        QTest::newRow("loud then silent, VBR") << 0.9 << 0.0 << vbr;
        // Decoding a sampled frame after stale ones would show a loud click in the quiet half.
        QTest::newRow("loud then quiet, VBR") << 0.9 << 0.05 << vbr;
        QTest::newRow("quiet then loud, CBR") << 0.05 << 0.9 << cbr;
        // MPEG-2 layer III has one granule and other side information than MPEG-1.
        QTest::newRow("silent then loud, mono 22,050 Hz")
            << 0.0 << 0.9
            << QStringList{"-c:a", "libmp3lame", "-b:a", "64k", "-ac", "1", "-ar", "22050"};
    }
    void halvesDrawAtTheirLevel() {
        QFETCH(double, first);
        QFETCH(double, second);
        QFETCH(QStringList, codec);
        const QString file = dir.filePath(QTest::currentDataTag() + QStringLiteral(".mp3"));
        QVERIFY(encode(file, QStringLiteral("if(lt(t,4),%1,%2)").arg(first).arg(second), 8, codec));
        WaveformPeakComputer computer(nullptr, PeakCache(cacheDir.path()));
        // The first picture covers the whole file at once, guessed; the decoded buckets then
        // take its place, all of them by the end.
        std::vector<PeakRange> guess;
        connect(&computer, &WaveformPeakComputer::peaksArrived, this, [&] {
            if (guess.empty()) {
                QCOMPARE(computer.refinedBuckets(), 0);
                guess = computer.peaks().ranges();
            }
        });
        QVERIFY(compute(computer, QFile::encodeName(file)));
        const WaveformPeaks& peaks = computer.peaks();
        QCOMPARE(std::int64_t(guess.size()), peaks.bucketCount());
        QCOMPARE(computer.refinedBuckets(), peaks.bucketCount());
        QVERIFY(qAbs(peaks.coveredMs() - 8000) < 300);
        const PeakLayout& layout = peaks.layout();
        int checked[2] = {0, 0};
        for (std::int64_t i = 0; i < peaks.bucketCount(); ++i) {
            // Seconds, with a margin for the encoder's delay and the bucket's own length.
            const double from = double(i * layout.bucketSamples) / layout.rate;
            const double to = double((i + 1) * layout.bucketSamples) / layout.rate;
            const int half = to < 3.9 ? 0 : from > 4.1 && to < 7.9 ? 1 : -1;
            if (half < 0) {
                continue;
            }
            ++checked[half];
            const double expected = (half == 0 ? first : second) * 127;
            // Silence exactly flat; sound within the coding's error of its level.
            const double tolerance = expected == 0 ? 0 : std::max(3.0, expected * 0.15);
            const PeakRange range = peaks.bucket(i);
            if (expected == 0) {
                QCOMPARE(guess[std::size_t(i)], PeakRange{}); // no coded bits: flat at once
            }
            QVERIFY2(qAbs(range.high - expected) <= tolerance &&
                         qAbs(-range.low - expected) <= tolerance,
                     qPrintable(QStringLiteral("bucket %1: %2..%3, expected ±%4")
                                    .arg(i)
                                    .arg(range.low)
                                    .arg(range.high)
                                    .arg(expected)));
        }
        QVERIFY(checked[0] > 10 && checked[1] > 10);
        // Ten hours at this bucket size must stay well inside 4 MB.
        QVERIFY(peaks.memoryBytes() * 3600 * 10 / 8 < 4'000'000);
    }

    // A zoomed view's columns come from the decoded samples at the time asked: a tone that
    // stops at 4 s shows loud columns before and flat ones after, on either side of a few
    // milliseconds, wherever in the file and whatever the frame size.
    void detailColumnsShowTheSamplesWhereAsked_data() {
        QTest::addColumn<QStringList>("codec");
        QTest::newRow("MPEG-1 CBR") << QStringList{"-c:a", "libmp3lame", "-b:a", "128k"};
        QTest::newRow("MPEG-1 VBR") << QStringList{"-c:a", "libmp3lame", "-q:a", "4"};
        QTest::newRow("MPEG-2 22,050 Hz")
            << QStringList{"-c:a", "libmp3lame", "-b:a", "64k", "-ar", "22050"};
    }
    void detailColumnsShowTheSamplesWhereAsked() {
        QFETCH(QStringList, codec);
        const QString file = dir.filePath(QTest::currentDataTag() + QStringLiteral(".mp3"));
        QVERIFY(encode(file, QStringLiteral("if(lt(t,4),0.9,0)"), 8, codec));
        DetailPeakComputer computer;
        QSignalSpy ready(&computer, &DetailPeakComputer::detailReady);
        computer.setSource(QFile::encodeName(file));
        // 40 columns of a millisecond each around the end of the tone, 3980..4020 ms.
        computer.request(3980, 40, 40);
        QVERIFY(ready.wait(20000));
        QCOMPARE(ready.constLast().at(0).toDouble(), 3980.0);
        const auto columns = ready.constLast().at(2).value<std::vector<PeakRange>>();
        QCOMPARE(columns.size(), std::size_t(40));
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const int swing = columns[i].high - columns[i].low;
            if (i < 15) {
                // A millisecond of a 440 Hz tone swings over a good part of its range.
                QVERIFY2(swing > 40, qPrintable(QStringLiteral("column %1: %2").arg(i).arg(swing)));
            } else if (i >= 25) {
                QVERIFY2(swing <= 2, qPrintable(QStringLiteral("column %1: %2").arg(i).arg(swing)));
            }
        }
    }

    // A file opened again draws from the cache in one go; any change to the file, or an entry
    // that does not read right, means a fresh computation, whose result replaces the entry.
    void cacheKeepsFinishedPeaksPerFileVersion_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("hit");
        QTest::newRow("same file again") << "none" << true;
        QTest::newRow("file rewritten, same size") << "rewrite" << false;
        QTest::newRow("modification time changed") << "touch" << false;
        QTest::newRow("entry damaged") << "damage" << false;
        QTest::newRow("entry cut short") << "truncate" << false;
        QTest::newRow("entry empty") << "empty" << false;
    }
    void cacheKeepsFinishedPeaksPerFileVersion() {
        QFETCH(QString, change);
        QFETCH(bool, hit);
        const QTemporaryDir cache;
        const QString file = dir.filePath(QTest::currentDataTag() + QStringLiteral(".mp3"));
        QVERIFY(encode(file, "if(lt(t,2),0.9,0.2)", 4, {"-c:a", "libmp3lame", "-b:a", "128k"}));
        const QByteArray path = QFile::encodeName(file);
        WaveformPeakComputer first(nullptr, PeakCache(cache.path()));
        QVERIFY(compute(first, path));
        const QStringList entries = QDir(cache.path()).entryList(QDir::Files);
        QCOMPARE(entries.size(), 1);
        const QString entry = QDir(cache.path()).filePath(entries.front());

        QFile edited(change == "rewrite" ? file : entry);
        if (change == "rewrite" || change == "damage") {
            // Same size and, for the file, the very same modification time: only bytes differ.
            struct stat before {};
            QCOMPARE(::stat(QFile::encodeName(edited.fileName()).constData(), &before), 0);
            QVERIFY(edited.open(QIODevice::ReadWrite));
            QByteArray bytes = edited.readAll();
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x40);
            QVERIFY(edited.seek(0) && edited.write(bytes) == bytes.size());
            edited.close();
            const timespec times[2] = {before.st_atim, before.st_mtim};
            QCOMPARE(
                ::utimensat(AT_FDCWD, QFile::encodeName(edited.fileName()).constData(), times, 0),
                0);
        } else if (change == "truncate" || change == "empty") {
            QVERIFY(edited.resize(change == "empty" ? 0 : edited.size() - 7));
        } else if (change == "touch") {
            QFile source(file);
            QVERIFY(source.open(QIODevice::ReadWrite));
            QVERIFY(source.setFileTime(QFileInfo(file).lastModified().addSecs(-60),
                                       QFileDevice::FileModificationTime));
        }

        WaveformPeakComputer again(nullptr, PeakCache(cache.path()));
        std::optional<bool> firstArrivalWhole;
        connect(&again, &WaveformPeakComputer::peaksArrived, this, [&] {
            if (!firstArrivalWhole) {
                firstArrivalWhole = again.refinedBuckets() == again.peaks().bucketCount();
            }
        });
        QVERIFY(compute(again, path));
        QCOMPARE(firstArrivalWhole, std::optional<bool>(hit));
        if (change != "rewrite") {
            QCOMPARE(again.peaks().ranges(), first.peaks().ranges());
        }
        // A miss stores the fresh peaks; a damaged entry is gone, its file version's in its place.
        WaveformPeakComputer third(nullptr, PeakCache(cache.path()));
        QSignalSpy arrived(&third, &WaveformPeakComputer::peaksArrived);
        QVERIFY(compute(third, path));
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(third.peaks().ranges(), again.peaks().ranges());
    }

    // Storing an entry takes out the least recently used ones until the total fits the bound.
    void cacheStaysWithinItsBound() {
        const QTemporaryDir cache;
        QStringList files;
        for (int i = 0; i < 3; ++i) {
            files << dir.filePath(QStringLiteral("bound-%1.mp3").arg(i));
            QVERIFY(encode(files.back(), QString::number(0.3 * (i + 1)), 20,
                           {"-c:a", "libmp3lame", "-b:a", "64k"}));
        }
        const auto entryBytes = [&cache] {
            qint64 total = 0;
            for (const QFileInfo& entry : QDir(cache.path()).entryInfoList(QDir::Files)) {
                total += entry.size();
            }
            return total;
        };
        WaveformPeakComputer unbounded(nullptr, PeakCache(cache.path()));
        QVERIFY(compute(unbounded, QFile::encodeName(files[0])));
        const qint64 oneEntry = entryBytes();
        QVERIFY(oneEntry > 0);
        // Room for two entries: the third pushes out the one used longest ago, the first file's,
        // though it was stored before the second, because it was opened again since.
        WaveformPeakComputer bounded(nullptr, PeakCache(cache.path(), oneEntry * 2 + oneEntry / 2));
        QVERIFY(compute(bounded, QFile::encodeName(files[1])));
        QVERIFY(compute(bounded, QFile::encodeName(files[0])));
        QVERIFY(compute(bounded, QFile::encodeName(files[2])));
        QVERIFY(entryBytes() <= oneEntry * 2 + oneEntry / 2);
        QCOMPARE(QDir(cache.path()).entryList(QDir::Files).size(), 2);
        QSignalSpy arrived(&bounded, &WaveformPeakComputer::peaksArrived);
        QVERIFY(compute(bounded, QFile::encodeName(files[0])));
        QCOMPARE(arrived.count(), 1); // still kept: one arrival, from the cache
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
        QVERIFY(encode(ten, "0.9", 10, cbr));
        QVERIFY(encode(silent, "0", 3, cbr));
        QVERIFY(QProcess::execute("ffmpeg", {"-loglevel", "error", "-y", "-stream_loop", "59", "-i",
                                             ten, "-c", "copy", loud}) == 0);
        WaveformPeakComputer alone(nullptr, PeakCache(cacheDir.path()));
        QVERIFY(compute(alone, QFile::encodeName(silent)));

        WaveformPeakComputer computer(nullptr, PeakCache(cacheDir.path()));
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
        WaveformPeakComputer computer(nullptr, PeakCache(cacheDir.path()));
        QSignalSpy failed(&computer, &WaveformPeakComputer::failed);
        computer.start(QFile::encodeName(text));
        QVERIFY(failed.wait(10000));
        QVERIFY(!failed.at(0).at(0).toString().isEmpty());

        // A name that is not valid UTF-8 reaches the file by its bytes.
        const QString good = dir.filePath("tone.mp3");
        QVERIFY(encode(good, "0.9", 2, {"-c:a", "libmp3lame", "-b:a", "128k"}));
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
