// The frame-exact MP3 cut on real files made by ffmpeg and lame, and on damaged and odd ones.
#include "core/decoded_mp3.h"
#include "core/mp3_cut.h"
#include "platform/mci/mpeg_decoder.h"
#include "support/test_main.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <mpg123.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace snipora;

namespace {
using test::decode;
using test::Decoded;
const QString chirp = "aevalsrc=exprs=0.5*sin(2*PI*(220*t+150*t*t))|0.4*sin(2*PI*(330*t+90*t*t))"
                      ":s=44100:d=3";

struct Run {
    bool ok = false;
    QByteArray out;
    QByteArray err;
};
Run run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    return {finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The file as the player decodes it from its start: its samples are what the marks number.
Decoded decodeAsPlayer(const QString& path) {
    Decoded decoded;
    const auto opened = mci::MpegDecoder::open(QFile::encodeName(path));
    if (!opened.decoder) {
        decoded.errors = 1;
        return decoded;
    }
    decoded.channels = opened.decoder->channels();
    decoded.headerLength = opened.decoder->lengthFrames();
    std::vector<std::int16_t> block(8192);
    while (const std::size_t n = opened.decoder->read(block.data(), block.size() / 2)) {
        decoded.samples.insert(decoded.samples.end(), block.begin(),
                               block.begin() + static_cast<std::ptrdiff_t>(n) * decoded.channels);
    }
    return decoded;
}

// 16-bit samples as GStreamer's decodebin gives them, as many channels as the file has.
std::vector<std::int16_t> decodeWithGstreamer(const QString& path) {
    const Run gst =
        run("gst-launch-1.0",
            {"-q", "filesrc", "location=" + path, "!", "decodebin", "!", "audioconvert", "!",
             "audio/x-raw,format=S16LE,layout=interleaved", "!", "fdsink", "fd=1"});
    std::vector<std::int16_t> samples(gst.ok ? static_cast<std::size_t>(gst.out.size()) / 2 : 0);
    std::memcpy(samples.data(), gst.out.constData(), samples.size() * 2);
    return samples;
}

void putBigEndian(QByteArray& bytes, qsizetype at, std::uint32_t value, int size) {
    for (int i = size - 1; i >= 0; --i, value >>= 8) {
        bytes[at + i] = static_cast<char>(value & 0xff);
    }
}
} // namespace

class TestMp3Cut : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::map<QString, Decoded> sources;

    QString path(const QString& name) const { return dir.filePath(name); }

    bool encode(const QString& name, const QStringList& codec) {
        return run("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
                                         "-i", chirp, "-c:a", "libmp3lame"} +
                                 codec + QStringList{path(name)})
            .ok;
    }

    std::optional<Mp3FrameMap> mapOf(const QString& name) {
        const int fd = ::open(QFile::encodeName(path(name)).constData(), O_RDONLY | O_CLOEXEC);
        auto map = Mp3FrameMap::scan(fd, nullptr);
        ::close(fd);
        return map;
    }

    // Files as damaged downloads, careless joins and other encoders leave them, made from the
    // ordinary ones by changing their bytes.
    bool makeOddFiles() {
        const QByteArray vbr = readAll(path("vbr-xing.mp3"));
        const auto vbrMap = mapOf("vbr-xing.mp3");
        const auto noXingMap = mapOf("vbr-no-xing.mp3");
        if (vbr.isEmpty() || !vbrMap || !noXingMap || !vbrMap->infoFrame() ||
            vbrMap->infoFrame()->frameCountAt < 0) {
            return false;
        }
        QByteArray junk(3000, '\0');
        QRandomGenerator noise(5);
        for (char& byte : junk) {
            byte = static_cast<char>(noise.bounded(256));
        }
        const Mp3Frame& middle = vbrMap->frames()[vbrMap->frames().size() / 2];
        QByteArray between = vbr;
        QByteArray inside = vbr;
        between.insert(middle.offset, junk);
        inside.insert(middle.offset + middle.size / 2, junk);

        const Mp3InfoFrame& xing = *vbrMap->infoFrame();
        const std::uint32_t count = static_cast<std::uint32_t>(vbrMap->frames().size());
        QByteArray up = vbr;
        QByteArray down = vbr;
        putBigEndian(up, xing.offset + xing.frameCountAt, count * 3, 4);
        putBigEndian(down, xing.offset + xing.frameCountAt, count / 2, 4);

        // A VBRI frame as Fraunhofer's encoder writes it: silent, the header 32 bytes in.
        QByteArray noXing = readAll(path("vbr-no-xing.mp3"));
        const std::uint32_t header =
            (noXingMap->frames().front().header & ~0x0000f200u) | 0x00019000u; // 128 kbps
        QByteArray vbri(MpegFrameHeader::sizeFor(header, 9), '\0');
        putBigEndian(vbri, 0, header, 4);
        vbri.replace(36, 4, "VBRI");
        putBigEndian(vbri, 40, 1, 2);   // version
        putBigEndian(vbri, 42, 576, 2); // delay
        putBigEndian(vbri, 44, 75, 2);  // quality
        putBigEndian(vbri, 46, static_cast<std::uint32_t>(noXing.size()), 4);
        putBigEndian(vbri, 50, static_cast<std::uint32_t>(noXingMap->frames().size()), 4);
        noXing.insert(noXingMap->frames().front().offset, vbri);

        // An APEv2 tag (header, two items, footer) between the audio and the ID3v1 tag.
        QByteArray items;
        for (const auto& [key, value] :
             {std::pair{"Title", "Chirp"}, std::pair{"Artist", "Tone"}}) {
            QByteArray item(8, '\0');
            item[0] = static_cast<char>(std::strlen(value));
            items += item + key + '\0' + value;
        }
        const auto apeHeader = [&items](bool footer) {
            QByteArray bytes = QByteArray("APETAGEX") + QByteArray(24, '\0');
            bytes[8] = static_cast<char>(2000 & 0xff);
            bytes[9] = static_cast<char>(2000 >> 8);
            bytes[12] = static_cast<char>(items.size() + 32);
            bytes[16] = 2;
            bytes[23] = static_cast<char>(footer ? 0x80 : 0xa0);
            return bytes;
        };
        QByteArray ape = readAll(path("id3v1.mp3"));
        ape.insert(ape.size() - 128, apeHeader(false) + items + apeHeader(true));

        return writeAll(path("junk-between.mp3"), between) &&
               writeAll(path("junk-inside.mp3"), inside) && writeAll(path("xing-up.mp3"), up) &&
               writeAll(path("xing-down.mp3"), down) && writeAll(path("vbri.mp3"), noXing) &&
               writeAll(path("ape.mp3"), ape) &&
               writeAll(path("cut-short.mp3"), vbr.left(vbr.size() / 2)) &&
               writeAll(path("44100-then-48000.mp3"),
                        readAll(path("part-44100.mp3")) + readAll(path("part-48000.mp3")));
    }

    // Cuts `name` between the marks into `out`; the plan, or a failed test.
    std::optional<Mp3CutPlan> cut(const QString& name, std::int64_t startMs, std::int64_t endMs,
                                  const QString& out, std::optional<Mp3FrameMap>& map) {
        const int fd = ::open(QFile::encodeName(path(name)).constData(), O_RDONLY | O_CLOEXEC);
        QString error;
        map = Mp3FrameMap::scan(fd, &error);
        auto plan = map ? planMp3Cut(fd, *map, startMs, endMs, &error) : std::nullopt;
        QFile target(out);
        SaveOutcome failed = SaveOutcome::failed(error);
        if (plan && target.open(QIODevice::WriteOnly)) {
            failed = writeMp3Cut(fd, *map, *plan, target, {});
        }
        ::close(fd);
        if (failed) {
            qWarning() << "cut failed:" << failed.reason();
            return std::nullopt;
        }
        return plan;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        // 500 KB of noise does not compress: the picture in the tag is as large as its pixels.
        QByteArray pixels(410 * 410 * 3, '\0');
        QRandomGenerator noise(11);
        for (char& byte : pixels) {
            byte = static_cast<char>(noise.bounded(256));
        }
        QFile raw(path("cover.rgb"));
        QVERIFY(raw.open(QIODevice::WriteOnly) && raw.write(pixels) == pixels.size());
        raw.close();
        QVERIFY(
            run("ffmpeg", {"-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s",
                           "410x410", "-i", raw.fileName(), "-frames:v", "1", path("cover.png")})
                .ok);
        const QStringList cbr{"-b:a", "128k"};
        const QStringList vbr{"-q:a", "4"};
        QVERIFY(encode("cbr.mp3", cbr));
        QVERIFY(encode("vbr-xing.mp3", vbr));
        QVERIFY(encode("vbr-no-xing.mp3", vbr + QStringList{"-write_xing", "0"}));
        QVERIFY(encode("mpeg2-22050.mp3", {"-b:a", "32k", "-ar", "22050"}));
        QVERIFY(encode("mpeg2-24000-mono.mp3", {"-q:a", "6", "-ar", "24000", "-ac", "1"}));
        QVERIFY(encode("mpeg25-8000.mp3", {"-b:a", "16k", "-ar", "8000"}));
        QVERIFY(encode("mpeg25-11025.mp3", {"-b:a", "24k", "-ar", "11025"}));
        QVERIFY(encode("id3v1.mp3", cbr + QStringList{"-write_id3v1", "1", "-metadata",
                                                      "title=Chirp", "-metadata", "artist=Tone"}));
        QVERIFY(
            run("ffmpeg", {"-loglevel", "error", "-i", path("vbr-xing.mp3"), "-i",
                           path("cover.png"), "-map", "0", "-map", "1", "-c", "copy",
                           "-id3v2_version", "3", "-metadata", "title=Covered", path("cover.mp3")})
                .ok);
        // LAME's own encoder writes its name and settings in the header, unlike ffmpeg's.
        QVERIFY(run("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i", chirp, path("chirp.wav")})
                    .ok);
        QVERIFY(run("lame", {"--quiet", "-V", "4", path("chirp.wav"), path("lame.mp3")}).ok);
        const QStringList part{"-b:a", "128k", "-t", "1.5", "-write_xing", "0"};
        QVERIFY(encode("part-44100.mp3", part));
        QVERIFY(encode("part-48000.mp3", part + QStringList{"-ar", "48000"}));
        QVERIFY(makeOddFiles());
    }

    void cutMatchesSource_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("startMs");
        QTest::addColumn<qint64>("endMs");
        QTest::addColumn<QString>("sameCutAs"); // a file whose cut at these marks is this one's
        for (const char* file : {"cbr.mp3", "vbr-xing.mp3", "vbr-no-xing.mp3", "mpeg2-22050.mp3",
                                 "mpeg2-24000-mono.mp3", "mpeg25-8000.mp3", "mpeg25-11025.mp3",
                                 "id3v1.mp3", "cover.mp3", "lame.mp3", "ape.mp3"}) {
            QTest::addRow("%s middle", file)
                << QString(file) << qint64(1003) << qint64(2011) << QString();
        }
        QTest::addRow("start at 0") << "vbr-xing.mp3" << qint64(0) << qint64(700) << QString();
        QTest::addRow("start at 0, no Xing")
            << "vbr-no-xing.mp3" << qint64(0) << qint64(700) << QString();
        QTest::addRow("end at the end") << "cbr.mp3" << qint64(2222) << qint64(3000) << QString();
        QTest::addRow("end at the end, no Xing")
            << "vbr-no-xing.mp3" << qint64(2222) << qint64(5000) << QString();
        QTest::addRow("whole, MPEG-2.5")
            << "mpeg25-8000.mp3" << qint64(0) << qint64(3000) << QString();
        QTest::addRow("50 ms") << "vbr-xing.mp3" << qint64(1500) << qint64(1550) << QString();
        QTest::addRow("50 ms, MPEG-2")
            << "mpeg2-22050.mp3" << qint64(77) << qint64(127) << QString();
        QTest::addRow("50 ms, cover") << "cover.mp3" << qint64(2900) << qint64(2950) << QString();
        QTest::addRow("27 ms, LAME") << "lame.mp3" << qint64(1000) << qint64(1027) << QString();
        QTest::addRow("over junk between frames")
            << "junk-between.mp3" << qint64(500) << qint64(2800) << QString();
        QTest::addRow("over junk inside a frame")
            << "junk-inside.mp3" << qint64(500) << qint64(2800) << QString();
        QTest::addRow("Xing count three times the frames")
            << "xing-up.mp3" << qint64(1003) << qint64(2011) << "vbr-xing.mp3";
        QTest::addRow("Xing count three times the frames, to the end")
            << "xing-up.mp3" << qint64(2222) << qint64(5000) << "vbr-xing.mp3";
        QTest::addRow("Xing count half the frames")
            << "xing-down.mp3" << qint64(1003) << qint64(2011) << "vbr-xing.mp3";
        QTest::addRow("file cut short, to the end")
            << "cut-short.mp3" << qint64(1003) << qint64(5000) << QString();
        QTest::addRow("VBRI, to the end")
            << "vbri.mp3" << qint64(2222) << qint64(5000) << QString();
        QTest::addRow("rate changes after, to the change")
            << "44100-then-48000.mp3" << qint64(500) << qint64(1541) << QString();
    }
    void cutMatchesSource() {
        QFETCH(QString, file);
        QFETCH(qint64, startMs);
        QFETCH(qint64, endMs);
        QFETCH(QString, sameCutAs);
        const QString out = path("out.mp3");
        std::optional<Mp3FrameMap> map;
        const auto plan = cut(file, startMs, endMs, out, map);
        QVERIFY(plan);
        QCOMPARE(checkMp3Cut(out, plan->samples()), std::nullopt);
        // Junk between frames makes the Xing frame's counts come from a pass over the frames.
        QCOMPARE(map->framesAdjoin(), !file.startsWith(QLatin1String("junk")));

        // The map counts samples as the player does.
        if (!sources.count(file)) {
            sources[file] = decodeAsPlayer(path(file));
        }
        const Decoded& source = sources[file];
        const int channels = source.channels;
        QCOMPARE(source.headerLength, map->lengthSamples());
        QCOMPARE(static_cast<std::int64_t>(source.samples.size()) / channels, map->lengthSamples());

        // Every marked sample and no other, in place: a shift by one sample on the chirp would
        // change nearly every value. Compared with the source decoded as the cut is, from the
        // start without a scan, every sample is the same but for a few of MPEG-2 mono streams,
        // which libmpg123 rounds one step differently after a different start. A file that
        // only the scan reads right (junk, a wrong Xing count) is compared with the player's
        // decoding, which rounds that way too.
        const Decoded straight = decode(path(file));
        const bool readsStraight =
            sameCutAs.isEmpty() && straight.samples.size() == source.samples.size();
        const int allowed =
            !readsStraight || (channels == 1 && map->version() != MpegVersion::Mpeg1) ? 1 : 0;
        const Decoded cutDecoded = decode(out);
        QCOMPARE(cutDecoded.errors, 0);
        QCOMPARE(cutDecoded.headerLength, plan->samples());
        QCOMPARE(static_cast<std::int64_t>(cutDecoded.samples.size()) / channels, plan->samples());
        QCOMPARE(plan->startSample, (startMs * map->sampleRate() + 999) / 1000);
        const auto marked =
            (readsStraight ? straight : source).samples.begin() + plan->startSample * channels;
        int differing = 0;
        for (std::size_t i = 0; i < cutDecoded.samples.size(); ++i) {
            const int difference = std::abs(cutDecoded.samples[i] - marked[static_cast<int>(i)]);
            QVERIFY2(
                difference <= allowed,
                qPrintable(QString("sample %1 differs by %2").arg(i / channels).arg(difference)));
            differing += difference;
        }
        QVERIFY(differing * 100 <= static_cast<int>(cutDecoded.samples.size()));

        // GStreamer trims the cut as its LAME header says, to the same samples.
        const std::vector<std::int16_t> gst = decodeWithGstreamer(out);
        QCOMPARE(static_cast<std::int64_t>(gst.size()) / channels, plan->samples());
        double gstDifference = 0;
        for (std::size_t i = 0; i < gst.size() && i < cutDecoded.samples.size(); ++i) {
            gstDifference += std::abs(gst[i] - marked[static_cast<int>(i)]);
        }
        gstDifference /= static_cast<double>(std::max<std::size_t>(gst.size(), 1));
        QVERIFY2(gstDifference < 1, qPrintable(QString::number(gstDifference)));

        // ffmpeg reads the header without a warning and decodes as many samples.
        const Run ffmpeg =
            run("ffmpeg", {"-hide_banner", "-loglevel", "warning", "-i", out, "-f", "s16le", "-"});
        QVERIFY(ffmpeg.ok);
        // Its format probe doubts any file of fewer than 7 frames, its own encodes too.
        QString warnings = QString::fromUtf8(ffmpeg.err);
        if (plan->endFrame - plan->firstFrame < 6) {
            warnings.remove(QRegularExpression("[^\\n]*detected only with low score[^\\n]*\\n"));
        }
        QCOMPARE(warnings, QString());
        QCOMPARE(ffmpeg.out.size() / 2 / channels, plan->samples());

        // The tags are the source's, byte for byte.
        const QByteArray original = readAll(path(file));
        const QByteArray written = readAll(out);
        QCOMPARE(written.left(static_cast<int>(map->id3v2Size())),
                 original.left(static_cast<int>(map->id3v2Size())));
        QCOMPARE(written.size(), plan->outputBytes);
        if (map->id3v1Offset()) {
            QCOMPARE(written.right(128), original.right(128));
        }
        const qsizetype tail = map->apeSize() + (map->id3v1Offset() ? 128 : 0);
        QCOMPARE(written.right(tail).left(map->apeSize()),
                 original.mid(map->apeOffset(), map->apeSize()));
        QCOMPARE(map->id3v2Size() > 500'000, file == "cover.mp3");
        QCOMPARE(map->id3v1Offset().has_value(), file == "id3v1.mp3" || file == "ape.mp3");
        QCOMPARE(map->apeSize() > 0, file == "ape.mp3");

        // A header that miscounts the frames changes nothing in the cut.
        if (!sameCutAs.isEmpty()) {
            std::optional<Mp3FrameMap> otherMap;
            QVERIFY(cut(sameCutAs, startMs, endMs, path("other.mp3"), otherMap));
            QCOMPARE(written, readAll(path("other.mp3")));
        }
    }

    // The length shown (the player's) against what other decoders make of the whole file, and
    // a seek past the middle landing where a straight run is. Where the decoders disagree, the
    // differences are theirs: ffmpeg skips a VBRI frame that libmpg123 and GStreamer play and
    // loses samples at junk, the mpg123 program stops at junk and keeps the padding of a header
    // that miscounts, and both go on past a change of rate, where the player stops.
    void lengthShown_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("ffmpegMore");
        QTest::addColumn<qint64>("mpg123More");
        QTest::addRow("VBR") << "vbr-xing.mp3" << qint64(0) << qint64(0);
        QTest::addRow("LAME") << "lame.mp3" << qint64(0) << qint64(0);
        QTest::addRow("APEv2") << "ape.mp3" << qint64(0) << qint64(0);
        QTest::addRow("Xing count half") << "xing-down.mp3" << qint64(0) << qint64(0);
        QTest::addRow("Xing count three times")
            << "xing-up.mp3" << qint64(1332 - 1105) << qint64(1332 - 1105);
        QTest::addRow("file cut short") << "cut-short.mp3" << qint64(0) << qint64(0);
        QTest::addRow("VBRI") << "vbri.mp3" << qint64(-1152) << qint64(0);
        QTest::addRow("junk between frames")
            << "junk-between.mp3" << qint64(-925) << qint64(-66589);
        QTest::addRow("rate change") << "44100-then-48000.mp3" << qint64(66773) << qint64(73728);
    }
    void lengthShown() {
        QFETCH(QString, file);
        QFETCH(qint64, ffmpegMore);
        QFETCH(qint64, mpg123More);
        const auto map = mapOf(file);
        QVERIFY(map);
        const Decoded player = decodeAsPlayer(path(file));
        QCOMPARE(player.headerLength, map->lengthSamples());
        QCOMPARE(static_cast<qint64>(player.samples.size()) / player.channels, player.headerLength);
        const auto opened = mci::MpegDecoder::open(QFile::encodeName(path(file)));
        QVERIFY(opened.decoder);
        const std::int64_t at = player.headerLength * 3 / 5;
        std::vector<std::int16_t> heard(2000 * static_cast<std::size_t>(player.channels));
        QVERIFY(opened.decoder->seek(at));
        QCOMPARE(opened.decoder->read(heard.data(), 2000), std::size_t{2000});
        for (std::size_t i = 0; i < heard.size(); ++i) {
            QVERIFY(std::abs(heard[i] -
                             player.samples[static_cast<std::size_t>(at) * player.channels + i]) <=
                    1);
        }
        const Run ffmpeg = run("ffmpeg", {"-hide_banner", "-loglevel", "quiet", "-i", path(file),
                                          "-ac", "2", "-f", "s16le", "-"});
        const Run mpg123 = run("mpg123", {"-q", "-s", "--stereo", path(file)});
        QCOMPARE(ffmpeg.out.size() / 4 - player.headerLength, ffmpegMore);
        QCOMPARE(mpg123.out.size() / 4 - player.headerLength, mpg123More);
    }

    void checkFindsTruncatedOutput() {
        const QString out = path("truncated.mp3");
        std::optional<Mp3FrameMap> map;
        const auto plan = cut("vbr-xing.mp3", 500, 2500, out, map);
        QVERIFY(plan);
        QFile file(out);
        QVERIFY(file.resize(file.size() - 300));
        const auto reason = checkMp3Cut(out, plan->samples());
        QVERIFY(reason);
        QVERIFY2(reason->contains("samples instead of"), qPrintable(*reason));
    }

    void refusals_data() {
        QTest::addColumn<QByteArray>("content"); // the source's bytes; empty: `file`
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("startMs");
        QTest::addColumn<qint64>("endMs");
        QTest::addColumn<QString>("reason");
        QTest::addRow("empty selection") << QByteArray() << "cbr.mp3" << qint64(1200)
                                         << qint64(1200) << "the selection is empty";
        QTest::addRow("within one frame")
            << QByteArray() << "vbr-xing.mp3" << qint64(1000) << qint64(1026)
            << "the selection is shorter than one MPEG frame, which many players would play "
               "from the frame's start; the shortest cut of this file is 27 ms";
        QTest::addRow("within one frame, 8000 Hz")
            << QByteArray() << "mpeg25-8000.mp3" << qint64(1000) << qint64(1050)
            << "the selection is shorter than one MPEG frame, which many players would play "
               "from the frame's start; the shortest cut of this file is 73 ms";
        QTest::addRow("past a change of rate")
            << QByteArray() << "44100-then-48000.mp3" << qint64(1000) << qint64(2000)
            << "the source changes from 44100 Hz stereo to 48000 Hz stereo at 0:01.541; Direct "
               "Save cuts only before that point (Convert Save re-encodes the rest)";
        QTest::addRow("not audio") << QByteArray(100'000, 'x') << QString() << qint64(0)
                                   << qint64(1000) << "the source holds no MPEG audio frames";
        QTest::addRow("tag longer than file")
            << QByteArray("ID3\x03\x00\x00\x00\x00\x7f\x7f", 10) + QByteArray(100, '\0')
            << QString() << qint64(0) << qint64(1000)
            << "the ID3v2 tag at the start of the source is longer than the file";
    }
    void refusals() {
        QFETCH(QByteArray, content);
        QFETCH(QString, file);
        QFETCH(qint64, startMs);
        QFETCH(qint64, endMs);
        QFETCH(QString, reason);
        QString name = file;
        if (!content.isEmpty()) {
            name = "bad.mp3";
            QFile bad(path(name));
            QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write(content) == content.size());
        }
        const int fd = ::open(QFile::encodeName(path(name)).constData(), O_RDONLY | O_CLOEXEC);
        QString error;
        const auto map = Mp3FrameMap::scan(fd, &error);
        const auto plan = map ? planMp3Cut(fd, *map, startMs, endMs, &error) : std::nullopt;
        ::close(fd);
        QVERIFY(!plan);
        QCOMPARE(error, reason);
    }

    void sourceCutShortDuringTheCopy() {
        // Long enough for the copy to report progress before its end.
        const QByteArray cbr = readAll(path("cbr.mp3"));
        QVERIFY(writeAll(path("long.mp3"), cbr.repeated(4 * 1024 * 1024 / cbr.size() + 1)));
        const int fd =
            ::open(QFile::encodeName(path("long.mp3")).constData(), O_RDONLY | O_CLOEXEC);
        const auto map = Mp3FrameMap::scan(fd, nullptr);
        QVERIFY(map);
        QFile target(path("cut-from-short.mp3"));
        QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const auto result =
            writeMp3Cut(fd, *map, 0, map->lengthSamples() * 1000 / map->sampleRate(), target,
                        [this](std::int64_t, std::int64_t) {
                            return ::truncate(QFile::encodeName(path("long.mp3")).constData(),
                                              1024 * 1024) == 0;
                        });
        ::close(fd);
        QCOMPARE(result.reason(),
                 QStringLiteral("the source file became shorter while it was saved"));
    }

    void progressCancels() {
        const int fd = ::open(QFile::encodeName(path("cbr.mp3")).constData(), O_RDONLY | O_CLOEXEC);
        const auto map = Mp3FrameMap::scan(fd, nullptr);
        QVERIFY(map);
        QFile target(path("cancelled.mp3"));
        QVERIFY(target.open(QIODevice::WriteOnly));
        const auto result = writeMp3Cut(fd, *map, 0, 3000, target,
                                        [](std::int64_t, std::int64_t) { return false; });
        ::close(fd);
        QVERIFY(result.isCancelled());
    }
};

SNIPORA_TEST(TestMp3Cut)
#include "tst_mp3_cut.moc"
