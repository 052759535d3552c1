// The frame-exact MP3 cut on real files made by ffmpeg: samples, header, tags and the check.
#include "core/mp3_cut.h"
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

// The file decoded by libmpg123 in gapless mode, 16-bit interleaved; `errors` counts failed reads.
struct Decoded {
    std::vector<std::int16_t> samples;
    int channels = 0;
    std::int64_t headerLength = -1; // the length before the scan: what the header says
    int errors = 0;
};
Decoded decode(const QString& path) {
    mpg123_init();
    Decoded decoded;
    int error = 0;
    const std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> handle(
        mpg123_new(nullptr, &error), mpg123_delete);
    mpg123_handle* mh = handle.get();
    mpg123_param(mh, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_format_none(mh);
    for (const long rate :
         {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L}) {
        mpg123_format(mh, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open(mh, QFile::encodeName(path).constData()) != MPG123_OK) {
        decoded.errors = 1;
        return decoded;
    }
    long rate = 0;
    int encoding = 0;
    mpg123_getformat(mh, &rate, &decoded.channels, &encoding);
    decoded.headerLength = mpg123_length(mh);
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        std::size_t done = 0;
        const int result = mpg123_read(mh, buffer.data(), buffer.size(), &done);
        const auto old = decoded.samples.size();
        decoded.samples.resize(old + done / 2);
        std::memcpy(decoded.samples.data() + old, buffer.data(), done / 2 * 2);
        if (result == MPG123_DONE) {
            break;
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            ++decoded.errors;
            break;
        }
    }
    return decoded;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

    // Cuts `name` between the marks into `out`; the plan, or a failed test.
    std::optional<Mp3CutPlan> cut(const QString& name, std::int64_t startMs, std::int64_t endMs,
                                  const QString& out, std::optional<Mp3FrameMap>& map) {
        const int fd = ::open(QFile::encodeName(path(name)).constData(), O_RDONLY | O_CLOEXEC);
        QString error;
        map = Mp3FrameMap::scan(fd, &error);
        auto plan = map ? planMp3Cut(fd, *map, startMs, endMs, &error) : std::nullopt;
        QFile target(out);
        std::optional<QString> failed = error;
        if (plan && target.open(QIODevice::WriteOnly)) {
            failed = writeMp3Cut(fd, *map, *plan, target, {});
        }
        ::close(fd);
        if (failed) {
            qWarning() << "cut failed:" << *failed;
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
    }

    void cutMatchesSource_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("startMs");
        QTest::addColumn<qint64>("endMs");
        for (const char* file : {"cbr.mp3", "vbr-xing.mp3", "vbr-no-xing.mp3", "mpeg2-22050.mp3",
                                 "mpeg2-24000-mono.mp3", "mpeg25-8000.mp3", "mpeg25-11025.mp3",
                                 "id3v1.mp3", "cover.mp3"}) {
            QTest::addRow("%s middle", file) << QString(file) << qint64(1003) << qint64(2011);
        }
        QTest::addRow("start at 0") << "vbr-xing.mp3" << qint64(0) << qint64(700);
        QTest::addRow("start at 0, no Xing") << "vbr-no-xing.mp3" << qint64(0) << qint64(700);
        QTest::addRow("end at the end") << "cbr.mp3" << qint64(2222) << qint64(3000);
        QTest::addRow("end at the end, no Xing")
            << "vbr-no-xing.mp3" << qint64(2222) << qint64(5000);
        QTest::addRow("whole, MPEG-2.5") << "mpeg25-8000.mp3" << qint64(0) << qint64(3000);
        QTest::addRow("50 ms") << "vbr-xing.mp3" << qint64(1500) << qint64(1550);
        QTest::addRow("50 ms, MPEG-2") << "mpeg2-22050.mp3" << qint64(77) << qint64(127);
        QTest::addRow("50 ms, cover") << "cover.mp3" << qint64(2900) << qint64(2950);
    }
    void cutMatchesSource() {
        QFETCH(QString, file);
        QFETCH(qint64, startMs);
        QFETCH(qint64, endMs);
        const QString out = path("out.mp3");
        std::optional<Mp3FrameMap> map;
        const auto plan = cut(file, startMs, endMs, out, map);
        QVERIFY(plan);
        QCOMPARE(checkMp3Cut(out, plan->samples()), std::nullopt);

        // The map counts samples as libmpg123 does.
        if (!sources.count(file)) {
            sources[file] = decode(path(file));
        }
        const Decoded& source = sources[file];
        const int channels = source.channels;
        QCOMPARE(static_cast<std::int64_t>(source.samples.size()) / channels, map->lengthSamples());

        // Every marked sample and no other, in place: a shift by one sample on the chirp would
        // change nearly every value. libmpg123's synthesis rounds a few values of MPEG-2 streams
        // one step differently after a different start, so one step is allowed.
        const Decoded cutDecoded = decode(out);
        QCOMPARE(cutDecoded.errors, 0);
        QCOMPARE(cutDecoded.headerLength, plan->samples());
        QCOMPARE(static_cast<std::int64_t>(cutDecoded.samples.size()) / channels, plan->samples());
        QCOMPARE(plan->startSample, (startMs * map->sampleRate() + 999) / 1000);
        int differing = 0;
        for (std::size_t i = 0; i < cutDecoded.samples.size(); ++i) {
            const int difference = std::abs(
                cutDecoded.samples[i] -
                source.samples[static_cast<std::size_t>(plan->startSample * channels) + i]);
            QVERIFY2(
                difference <= 1,
                qPrintable(QString("sample %1 differs by %2").arg(i / channels).arg(difference)));
            differing += difference;
        }
        QVERIFY(differing * 100 <= static_cast<int>(cutDecoded.samples.size()));

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
        QCOMPARE(map->id3v2Size() > 500'000, file == "cover.mp3");
        QCOMPARE(map->id3v1Offset().has_value(), file == "id3v1.mp3");
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
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("startMs");
        QTest::addColumn<qint64>("endMs");
        QTest::addColumn<QString>("reason");
        QTest::addRow("empty selection")
            << QByteArray() << qint64(1200) << qint64(1200) << "the selection is empty";
        QTest::addRow("not audio") << QByteArray(100'000, 'x') << qint64(0) << qint64(1000)
                                   << "the source holds no MPEG audio frames";
        QTest::addRow("tag longer than file")
            << QByteArray("ID3\x03\x00\x00\x00\x00\x7f\x7f", 10) + QByteArray(100, '\0')
            << qint64(0) << qint64(1000)
            << "the ID3v2 tag at the start of the source is longer than the file";
    }
    void refusals() {
        QFETCH(QByteArray, content);
        QFETCH(qint64, startMs);
        QFETCH(qint64, endMs);
        QFETCH(QString, reason);
        QString name = "cbr.mp3";
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

    void progressCancels() {
        const int fd = ::open(QFile::encodeName(path("cbr.mp3")).constData(), O_RDONLY | O_CLOEXEC);
        const auto map = Mp3FrameMap::scan(fd, nullptr);
        QVERIFY(map);
        QFile target(path("cancelled.mp3"));
        QVERIFY(target.open(QIODevice::WriteOnly));
        const auto result = writeMp3Cut(fd, *map, 0, 3000, target,
                                        [](std::int64_t, std::int64_t) { return false; });
        ::close(fd);
        QCOMPARE(result, mp3CutCancelled());
    }
};

SNIPORA_TEST(TestMp3Cut)
#include "tst_mp3_cut.moc"
