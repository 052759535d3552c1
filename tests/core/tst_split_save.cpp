// Save all on real files: names from the pattern, gapless pieces, their tags, refusals and a stop.
#include "core/split_save.h"
#include "decoded_mp3.h"
#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <attachedpictureframe.h>
#include <chapterframe.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <tableofcontentsframe.h>
#include <textidentificationframe.h>

#include <fcntl.h>
#include <unistd.h>

using namespace snipora;

using Pieces = std::vector<Piece>;
using Seams = std::vector<std::int64_t>;
Q_DECLARE_METATYPE(Pieces)
Q_DECLARE_METATYPE(Seams)

namespace {
const QString chirp = "aevalsrc=exprs=0.5*sin(2*PI*(220*t+150*t*t))|0.4*sin(2*PI*(330*t+90*t*t))"
                      ":s=%1:d=4";

// Every sample libmpg123 decodes from the file, gapless, from its start without a scan (after
// one, as the player makes, libmpg123 rounds a few samples one step differently).
std::vector<std::int16_t> decoded(const QString& path) {
    return test::decode(path).samples;
}

// Every sample ffmpeg's mp3 decoder gives for the file (it honours the length header too).
std::vector<std::int16_t> ffmpegDecoded(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-loglevel", "error", "-i", path, "-f", "s16le", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
        return {};
    }
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    std::vector<std::int16_t> samples(static_cast<std::size_t>(bytes.size()) / 2);
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

// The pieces decoded and joined against the source decoded: nothing when they agree. libmpg123
// rounds a few samples of MPEG-2 mono streams one step differently when it starts decoding at
// another frame, so `exact` false allows that much and no more.
std::optional<QString> joinedDiffers(const std::vector<std::int16_t>& joined,
                                     const std::vector<std::int16_t>& whole, bool exact) {
    if (joined.size() != whole.size()) {
        return QString("%1 samples joined, %2 in the source").arg(joined.size()).arg(whole.size());
    }
    std::size_t differing = 0;
    int largest = 0;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        differing += joined[i] != whole[i];
        largest = std::max(largest, std::abs(joined[i] - whole[i]));
    }
    if (exact ? differing == 0 : largest <= 1 && differing * 1000 <= whole.size()) {
        return std::nullopt;
    }
    return QString("%1 samples differ, by up to %2").arg(differing).arg(largest);
}

QString text(TagLib::ID3v2::Tag* tag, const char* id) {
    const auto& frames = tag->frameListMap()[id];
    return frames.isEmpty() ? QString()
                            : QString::fromStdString(frames.front()->toString().to8Bit(true));
}
} // namespace

class TestSplitSave : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    bool encode(const QString& name, int rate, const QStringList& codec) {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", QStringList{"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                           chirp.arg(rate), "-c:a", "libmp3lame"} +
                                   codec + QStringList{dir.filePath(name)});
        return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
    }

    SplitSaveOutcome split(const QString& source, const QString& folder, const Pieces& pieces,
                           bool overwrite = false, const SaveProgress& progress = {},
                           int fadeMs = 0) {
        const int fd =
            ::open(QFile::encodeName(dir.filePath(source)).constData(), O_RDONLY | O_CLOEXEC);
        SplitSaveJob job;
        job.sourceHandle = fd;
        job.sourceName = "source";
        job.folder = dir.filePath(folder);
        job.overwrite = overwrite;
        job.pieces = pieces;
        job.fadeInMs = fadeMs;
        job.fadeOutMs = fadeMs;
        auto outcome = runSplitSave(job, progress);
        ::close(fd);
        return outcome;
    }

    static Pieces piecesAt(const Seams& seams, std::int64_t lengthMs) {
        Pieces pieces;
        std::int64_t start = 0;
        for (std::size_t i = 0; i <= seams.size(); ++i) {
            const std::int64_t end = i < seams.size() ? seams[i] : lengthMs;
            pieces.push_back(Piece{start, end, QString("Piece %1").arg(i + 1), true});
            start = end;
        }
        return pieces;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(encode("cbr.mp3", 44100, {"-b:a", "128k"}));
        QVERIFY(encode("vbr.mp3", 44100, {"-q:a", "4"}));
        QVERIFY(encode("mpeg2.mp3", 22050, {"-b:a", "32k"}));
        QVERIFY(encode("mpeg2-mono-vbr.mp3", 24000, {"-q:a", "6", "-ac", "1"}));
        QVERIFY(encode("mono.mp3", 44100, {"-b:a", "64k", "-ac", "1"}));
        QVERIFY(encode("mpeg2-16k-vbr.mp3", 16000, {"-q:a", "2"}));
        QFile cue(dir.filePath("album.cue"));
        QVERIFY(cue.open(QIODevice::WriteOnly));
        cue.write("PERFORMER \"Band\"\nTITLE \"Album\"\nFILE \"album.wav\" WAVE\n"
                  "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                  "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 00 00:01:00\n"
                  "    INDEX 01 00:01:31\n"
                  "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 00:02:74\n");
    }

    void names_data() {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("default pattern") << QStringList{"Intro", "Song"} << "%n - %t"
                                         << QStringList{"01 - Intro.mp3", "02 - Song.mp3"};
        QTest::newRow("slash, colon and other refused characters")
            << QStringList{"AC/DC: Live?", "a\\b*c\"d<e>f|g\th"} << "%n - %t"
            << QStringList{"01 - AC_DC_ Live_.mp3", "02 - a_b_c_d_e_f_g_h.mp3"};
        QTest::newRow("empty titles get their number")
            << QStringList{"", "  "} << "%t" << QStringList{"Piece 1.mp3", "Piece 2.mp3"};
        QTest::newRow("duplicates, in any case, get a number")
            << QStringList{"Song", "song", "Song"} << "%t"
            << QStringList{"Song.mp3", "song (2).mp3", "Song (3).mp3"};
        QTest::newRow("source name, percent signs, a hidden name")
            << QStringList{"50%"} << "%s %% %t %x" << QStringList{"source % 50% %x.mp3"};
        QTest::newRow("a leading dot does not hide the file")
            << QStringList{"..", ".hidden"} << "%t" << QStringList{"_..mp3", "_hidden.mp3"};
        QTest::newRow("an empty pattern") << QStringList{"A"} << "" << QStringList{"Piece 01.mp3"};
    }
    void names() {
        QFETCH(QStringList, titles);
        QFETCH(QString, pattern);
        QFETCH(QStringList, expected);
        Pieces pieces;
        for (const QString& title : titles) {
            pieces.push_back(Piece{0, 1, title, true});
        }
        QCOMPARE(pieceFileNames(pieces, pattern, "source"), expected);
    }

    void gapless_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<Seams>("seams");
        QTest::addColumn<int>("fadeMs"); // at both edges of every piece
        for (const char* source : {"cbr.mp3", "vbr.mp3", "mpeg2.mp3", "mpeg2-mono-vbr.mp3",
                                   "mono.mp3", "mpeg2-16k-vbr.mp3"}) {
            QTest::addRow("%s, seams at odd milliseconds", source)
                << QString(source) << Seams{41, 1001, 1777, 2500, 3959} << 0;
            QTest::addRow("%s, cue frames", source) << QString(source) << Seams{413, 2827} << 0;
            QTest::addRow("%s, a seam every 100 ms", source)
                << QString(source) << Seams{50, 150, 250, 350, 450, 550, 650, 750, 850, 950} << 0;
        }
        for (const char* source : {"vbr.mp3", "mpeg2.mp3", "mono.mp3"}) {
            QTest::addRow("%s, fades of 150 ms", source)
                << QString(source) << Seams{1001, 2500} << 150;
        }
    }
    void gapless() {
        QFETCH(QString, source);
        QFETCH(Seams, seams);
        QFETCH(int, fadeMs);
        const QString folder = "gapless-" + QString(QTest::currentDataTag()).replace(' ', '_');
        const auto outcome = split(source, folder, piecesAt(seams, 4000), false, {}, fadeMs);
        QVERIFY2(!outcome.failure, qPrintable(outcome.failure.value_or(QString())));
        QCOMPARE(outcome.written.size(), qsizetype(seams.size() + 1));
        std::vector<std::int16_t> joined;
        std::vector<std::size_t> edges{0}; // where each piece starts and ends in `joined`
        for (const QString& piece : outcome.written) {
            const auto samples = decoded(piece);
            QVERIFY(!samples.empty());
            joined.insert(joined.end(), samples.begin(), samples.end());
            edges.push_back(joined.size());
        }
        const auto whole = decoded(dir.filePath(source));
        if (fadeMs == 0) {
            QCOMPARE(joinedDiffers(joined, whole, source != "mpeg2-mono-vbr.mp3"), std::nullopt);
            // ffmpeg's decoder rounds alike wherever it starts: exact for every source.
            std::vector<std::int16_t> joinedByFfmpeg;
            for (const QString& piece : outcome.written) {
                const auto samples = ffmpegDecoded(piece);
                QVERIFY(!samples.empty());
                joinedByFfmpeg.insert(joinedByFfmpeg.end(), samples.begin(), samples.end());
            }
            QCOMPARE(joinedDiffers(joinedByFfmpeg, ffmpegDecoded(dir.filePath(source)), true),
                     std::nullopt);
            return;
        }
        // Outside the fades every sample is the source's; inside, the sound is fainter.
        QCOMPARE(joined.size(), whole.size());
        const auto rate = std::size_t(test::decode(dir.filePath(source)).channels) *
                          (source.startsWith("mpeg2") ? 22050 : 44100);
        const std::size_t fade = rate * std::size_t(fadeMs) / 1000;
        double fadedEnergy = 0;
        double sourceEnergy = 0;
        std::size_t edge = 0;
        for (std::size_t i = 0; i < whole.size(); ++i) {
            while (edge + 1 < edges.size() && i >= edges[edge + 1]) {
                ++edge;
            }
            if (i - edges[edge] >= fade && edges[edge + 1] - i > fade) {
                QVERIFY2(joined[i] == whole[i], qPrintable(QString("sample %1").arg(i)));
            } else {
                fadedEnergy += double(joined[i]) * joined[i];
                sourceEnergy += double(whole[i]) * whole[i];
            }
        }
        QVERIFY2(fadedEnergy < sourceEnergy / 2,
                 qPrintable(QString("%1 of %2").arg(fadedEnergy).arg(sourceEnergy)));
    }

    // The program as a user runs it: one file per track or per tone, numbered, titled, gapless.
    void commandLine_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("how");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<bool>("exact");
        const QStringList cue{"--cue", dir.filePath("album.cue")};
        for (const char* source : {"cbr.mp3", "vbr.mp3", "mpeg2.mp3"}) {
            QTest::addRow("cue sheet, %s", source)
                << QString(source) << cue << QStringList{"One", "Two", "Three"} << true;
        }
        QTest::newRow("five tones with 1 s pauses")
            << "tones.mp3" << QStringList{"--pauses"}
            << QStringList{"Piece 1", "Piece 2", "Piece 3", "Piece 4", "Piece 5"} << true;
        // Re-encoded, the pieces are as long as asked, within what Convert Save's check allows.
        QTest::newRow("cue sheet, converted with fades")
            << "vbr.mp3" << cue + QStringList{"--format",  "mp3", "--bitrate",  "128k",
                                              "--fade-in", "20",  "--fade-out", "20"}
            << QStringList{"One", "Two", "Three"} << false;
    }
    void commandLine() {
        QFETCH(QString, source);
        QFETCH(QStringList, how);
        QFETCH(QStringList, titles);
        QFETCH(bool, exact);
        if (source == "tones.mp3" && !QFileInfo::exists(dir.filePath(source))) {
            QProcess ffmpeg;
            ffmpeg.start("ffmpeg",
                         {"-loglevel", "error", "-f", "lavfi", "-i",
                          "aevalsrc=exprs=0.5*sin(2*PI*440*t)*lt(mod(t\\,2)\\,1):d=9.0007", "-b:a",
                          "128k", dir.filePath(source)});
            QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
        }
        const QString folder =
            dir.filePath("cli-" + QString(QTest::currentDataTag()).replace(' ', '_'));
        QProcess snipora;
        snipora.start(SNIPORA_PROGRAM_DIR "/snipora",
                      QStringList{"--split", dir.filePath(source), "-o", folder} + how);
        QVERIFY(snipora.waitForFinished(60000));
        QCOMPARE(snipora.exitCode(), 0);
        const QStringList written =
            QString::fromUtf8(snipora.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(written.size(), titles.size());
        std::vector<std::int16_t> joined;
        for (int i = 0; i < written.size(); ++i) {
            QCOMPARE(QFileInfo(written[i]).fileName(),
                     QString("%1 - %2.mp3").arg(i + 1, 2, 10, QChar('0')).arg(titles[i]));
            {
                TagLib::MPEG::File file(QFile::encodeName(written[i]).constData());
                QVERIFY(file.ID3v2Tag());
                QCOMPARE(text(file.ID3v2Tag(), "TIT2"), titles[i]);
                QCOMPARE(text(file.ID3v2Tag(), "TRCK"),
                         QString("%1/%2").arg(i + 1).arg(titles.size()));
            }
            const auto samples = decoded(written[i]);
            joined.insert(joined.end(), samples.begin(), samples.end());
        }
        const auto whole = decoded(dir.filePath(source));
        if (how.contains("--format")) {
            const auto slack = qint64(written.size()) * 30 * 44100 * 2 / 1000;
            QVERIFY2(std::abs(qint64(joined.size()) - qint64(whole.size())) <= slack,
                     qPrintable(QString("%1 of %2").arg(joined.size()).arg(whole.size())));
            return;
        }
        QCOMPARE(joinedDiffers(joined, whole, exact), std::nullopt);
    }

    void tagsOfEachPiece() {
        // The source: title, artist, its length, chapters and a cover.
        QVERIFY(QFile::copy(dir.filePath("vbr.mp3"), dir.filePath("tagged.mp3")));
        {
            TagLib::MPEG::File file(QFile::encodeName(dir.filePath("tagged.mp3")).constData());
            auto* tag = file.ID3v2Tag(true);
            tag->setTitle("Live Set");
            tag->setArtist(TagLib::String("DJ Ümlaut", TagLib::String::UTF8));
            auto* length = new TagLib::ID3v2::TextIdentificationFrame("TLEN");
            length->setText("4000");
            tag->addFrame(length);
            tag->addFrame(new TagLib::ID3v2::ChapterFrame("ch0", 0, 4000, 0xFFFFFFFF, 0xFFFFFFFF));
            auto* toc = new TagLib::ID3v2::TableOfContentsFrame("toc");
            toc->addChildElement("ch0");
            tag->addFrame(toc);
            auto* cover = new TagLib::ID3v2::AttachedPictureFrame;
            cover->setMimeType("image/png");
            cover->setPicture(TagLib::ByteVector(3000, 'p'));
            tag->addFrame(cover);
            QVERIFY(
                file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3));
        }
        Pieces pieces{{0, 1200, "Opening / Intro", true},
                      {1200, 1900, "Advert", false},
                      {1900, 4000, "Finale", true}};
        const auto outcome = split("tagged.mp3", "tags", pieces);
        QCOMPARE(outcome.failure, std::nullopt);
        QCOMPARE(outcome.written, (QStringList{dir.filePath("tags/01 - Opening _ Intro.mp3"),
                                               dir.filePath("tags/02 - Finale.mp3")}));
        const QStringList titles{"Opening / Intro", "Finale"};
        for (int i = 0; i < 2; ++i) {
            TagLib::MPEG::File file(QFile::encodeName(outcome.written[i]).constData());
            auto* tag = file.ID3v2Tag();
            QVERIFY(tag);
            QCOMPARE(tag->header()->majorVersion(), 3u);
            QCOMPARE(text(tag, "TIT2"), titles[i]);
            QCOMPARE(text(tag, "TRCK"), QString("%1/2").arg(i + 1));
            QCOMPARE(text(tag, "TALB"), "Live Set");
            QCOMPARE(text(tag, "TPE1"), "DJ Ümlaut");
            for (const char* gone : {"TLEN", "CHAP", "CTOC"}) {
                QVERIFY2(tag->frameListMap()[gone].isEmpty(), gone);
            }
            const auto& covers = tag->frameListMap()["APIC"];
            QCOMPARE(covers.size(), 1u);
            QCOMPARE(
                static_cast<TagLib::ID3v2::AttachedPictureFrame*>(covers.front())->picture().size(),
                3000u);
        }
    }

    void existingFilesAreKept() {
        const Pieces pieces = piecesAt({2000}, 4000);
        QVERIFY(QDir(dir.path()).mkpath("kept"));
        QFile old(dir.filePath("kept/02 - Piece 2.mp3"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older");
        old.close();
        auto outcome = split("cbr.mp3", "kept", pieces);
        QCOMPARE(outcome.failure,
                 QString("02 - Piece 2.mp3 already exists in %1; nothing was written")
                     .arg(dir.filePath("kept")));
        QCOMPARE(QDir(dir.filePath("kept")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"02 - Piece 2.mp3"});
        QCOMPARE(QFileInfo(old.fileName()).size(), 5);

        outcome = split("cbr.mp3", "kept", pieces, true);
        QCOMPARE(outcome.failure, std::nullopt);
        QVERIFY(QFileInfo(old.fileName()).size() > 5);
    }

    void runsOffTheCallersThread() {
        const int fd =
            ::open(QFile::encodeName(dir.filePath("vbr.mp3")).constData(), O_RDONLY | O_CLOEXEC);
        SplitSaveJob job;
        job.sourceHandle = fd;
        job.folder = dir.filePath("worker");
        job.pieces = piecesAt({2000}, 4000);
        SplitSave save;
        std::optional<SplitSaveOutcome> outcome;
        std::int64_t lastDone = 0;
        connect(&save, &SplitSave::progress, this,
                [&](std::int64_t done, std::int64_t) { lastDone = done; });
        connect(&save, &SplitSave::finished, this,
                [&](const SplitSaveOutcome& result) { outcome = result; });
        QVERIFY(save.start(job));
        ::close(fd); // the job reads its own duplicate
        QVERIFY(!save.start(job));
        QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 20000);
        QVERIFY2(!outcome->failure, qPrintable(outcome->failure.value_or(QString())));
        QCOMPARE(outcome->written.size(), 2);
        QVERIFY(lastDone > 0);
        QVERIFY(!save.isRunning());
    }

    void stopLeavesTheFinishedPieces() {
        const Pieces pieces = piecesAt({1000, 2000, 3000}, 4000);
        std::int64_t total = 0;
        bool stopped = false;
        const auto outcome =
            split("cbr.mp3", "stopped", pieces, false, [&](std::int64_t done, std::int64_t all) {
                total = all;
                // Somewhere in the second piece, past its first bytes.
                stopped = done > all * 3 / 8;
                return !stopped;
            });
        QVERIFY(stopped);
        QCOMPARE(outcome.written, QStringList{dir.filePath("stopped/01 - Piece 1.mp3")});
        QCOMPARE(outcome.failure,
                 QString("piece 2 (02 - Piece 2.mp3) was stopped; 1 piece was written "
                         "(01 - Piece 1.mp3)"));
        QCOMPARE(QDir(dir.filePath("stopped")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"01 - Piece 1.mp3"});
    }
};

SNIPORA_TEST(TestSplitSave)
#include "tst_split_save.moc"
