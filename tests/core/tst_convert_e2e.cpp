// Convert Save end to end: the real encoder and launcher, every format from sources with and
// without a cover, lengths counted in decoded samples, samples compared.
#include "core/convert_save.h"
#include "core/mp3_frame_map.h"
#include "core/reported_outcome.h"
#include "platform/qt_host.h"
#include "support/test_main.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace snipora;

namespace {
QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(120000);
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
}

QString probe(const QString& path, const char* entries) {
    return QString::fromUtf8(run(QStringLiteral("ffprobe"),
                                 {"-v", "error", "-show_entries", entries, "-of", "csv=p=0", path})
                                 .trimmed());
}

// The file decoded by ffmpeg to 16-bit samples at 44,100 Hz, stereo.
std::vector<std::int16_t> decode(const QString& path) {
    const QByteArray pcm = run(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-f", "s16le",
                                                          "-ac", "2", "-ar", "44100", "-"});
    std::vector<std::int16_t> samples(static_cast<std::size_t>(pcm.size()) / 2);
    std::memcpy(samples.data(), pcm.constData(), samples.size() * 2);
    return samples;
}
} // namespace

class TestConvertEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString source;
    // Three seconds titled "Snipora", by MPEG version (its rate) and whether they carry a cover.
    QMap<QString, QString> sources;
    QtProcessLauncher launcher;

    std::optional<QString> convert(const QString& from, const QString& format,
                                   const QString& bitrate, Selection selection,
                                   const QString& target,
                                   const std::vector<Selection>& removed = {}, int rate = 0) {
        ConvertSave save(launcher);
        QSignalSpy finished(&save, &ConvertSave::finished);
        ConvertSaveJob job{
            QStringLiteral(SNIPORA_PROGRAM_DIR), selection, from, format, bitrate, target};
        job.removedSections = removed;
        job.sourceSampleRate = rate;
        save.start(job);
        if (!finished.wait(60000)) {
            return QStringLiteral("no end");
        }
        return test::reportedFailure(finished.at(0).at(0));
    }

private slots:
    void initTestCase() {
        source = dir.filePath(QStringLiteral("chirp.mp3"));
        run(QStringLiteral("ffmpeg"),
            {"-v", "error", "-f", "lavfi", "-i", "aevalsrc=sin(200*t*t)|cos(300*t*t):s=44100:d=20",
             "-b:a", "128k", "-y", source});
        QVERIFY(QFileInfo(source).size() > 0);
        run(QStringLiteral("ffmpeg"),
            {"-v", "error", "-f", "lavfi", "-i", "aevalsrc=sin(200*t*t)|cos(300*t*t):s=44100:d=6",
             "-q:a", "4", "-y", dir.filePath(QStringLiteral("vbr.mp3"))});

        // Sources of three seconds titled "Snipora", by rate and cover.
        for (const auto& [name, rate, picture] : {std::tuple{"44100 plain", "44100", ""},
                                                  {"44100 cover", "44100", "jpg"},
                                                  {"22050 plain", "22050", ""},
                                                  {"22050 cover", "22050", "png"},
                                                  {"44100 gif", "44100", "gif"}}) {
            const QString path = dir.filePath(QLatin1String(name) + QStringLiteral(".mp3"));
            const auto words = [](const char* text) {
                return QString::fromLatin1(text).split(QLatin1Char(' '));
            };
            QStringList arguments = words("-v error -f lavfi -i");
            arguments << QStringLiteral("aevalsrc=sin(200*t*t)|cos(300*t*t):s=%1:d=3")
                             .arg(QLatin1String(rate));
            if (*picture != '\0') {
                const QString cover = dir.filePath(QStringLiteral("cover.") + picture);
                run(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i",
                                               "testsrc=s=48x48", "-frames:v", "1", "-y", cover});
                arguments << QStringLiteral("-i") << cover
                          << words("-map 0:a -map 1:v -c:v copy -disposition:v attached_pic");
            }
            arguments << words("-metadata title=Snipora -b:a 64k -y") << path;
            run(QStringLiteral("ffmpeg"), arguments);
            QCOMPARE(probe(path, "stream=codec_type").split(QLatin1Char('\n')).size(),
                     *picture != '\0' ? 2 : 1);
            sources.insert(QLatin1String(name), path);
        }
    }

    // Every format from MPEG-1 and MPEG-2 sources, with a cover and without, at a bitrate
    // that keeps the source's rate and at one that lowers it: the save succeeds, the decoded
    // length is the selection's, the cover and the title go where the format holds them. A GIF
    // cover, which FLAC and M4A cannot take as it is, arrives there as a PNG.
    void everyFormatAtItsLength_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("cover"); // the output's picture codec; empty: none
        QTest::addColumn<bool>("holdsTitle");
        // Decoded beyond the selection: the encoder's priming a raw AAC stream cannot mark,
        // the silence that fills the codec's last frame where the end is not marked, and the
        // silence after the selection that lets the WMA encoder write its last frame.
        QTest::addColumn<int>("priming");
        QTest::addColumn<int>("lastFrame");
        QTest::addColumn<int>("addedMs");
        QTest::addColumn<QString>("from");
        const struct {
            const char* format;
            const char* codec;
            bool cover;
            bool title;
            int priming;
            int lastFrame;
            int addedMs;
        } formats[] = {
            {"MP3", "mp3", true, true, 0, 0, 0},         {"WAV", "pcm_s16le", false, true, 0, 0, 0},
            {"AAC", "aac", false, false, 1024, 1024, 0}, {"WMA", "wmav2", false, true, 0, 0, 64},
            {"FLAC", "flac", true, true, 0, 0, 0},       {"M4A", "aac", true, true, 0, 1024, 0},
            {"AC3", "ac3", false, false, 0, 1536, 0}};
        for (const auto& f : formats) {
            const bool mp3 = QLatin1String(f.format) == QLatin1String("MP3");
            for (const auto& [from, picture] : {std::pair{"44100 plain", ""},
                                                {"44100 cover", "mjpeg"},
                                                {"22050 plain", ""},
                                                {"22050 cover", "png"},
                                                {"44100 gif", "gif"}}) {
                if (QLatin1String(picture) == QLatin1String("gif") && !f.cover) {
                    continue;
                }
                QString cover = f.cover ? QString::fromLatin1(picture) : QString();
                if (cover == QStringLiteral("gif") && !mp3) {
                    cover = QStringLiteral("png");
                }
                QTest::addRow("%s from %s", f.format, from)
                    << f.format << f.codec << cover << f.title << f.priming << f.lastFrame
                    << f.addedMs << from;
            }
        }
    }
    void everyFormatAtItsLength() {
        QFETCH(QString, format);
        QFETCH(QString, codec);
        QFETCH(QString, cover);
        QFETCH(bool, holdsTitle);
        QFETCH(int, priming);
        QFETCH(int, lastFrame);
        QFETCH(int, addedMs);
        QFETCH(QString, from);
        const bool lossless = format == QStringLiteral("WAV") || format == QStringLiteral("FLAC");
        // At 128k the output keeps the source's rate; 32k takes it to 22,050 Hz (32,000 Hz for
        // AC3), down from 44,100 Hz for one of the sources.
        const QString bitrate = lossless                                 ? QString()
                                : from.endsWith(QStringLiteral("plain")) ? QStringLiteral("32k")
                                                                         : QStringLiteral("128k");
        const QString target = dir.filePath(QStringLiteral("out.") + format.toLower());
        // 1.9 s: 935 samples into a frame of 1024 at 22,050 Hz, 1870 into one of 2048 at
        // 44,100 Hz, so a last frame lost shows.
        const Selection selection{700, 2600};
        const auto failure = convert(sources.value(from), format, bitrate, selection, target);
        QVERIFY2(!failure, qPrintable(failure.value_or(QString())));

        // The cover marked as a picture; no stream at all where the format holds none. Then
        // the title.
        const QString probed =
            probe(target, "stream=codec_name,sample_rate:stream_disposition=attached_pic:"
                          "format_tags=title");
        const int rate = probed.section(QLatin1Char(','), 1, 1).toInt();
        QString expected = QStringLiteral("%1,%2,0").arg(codec).arg(rate);
        if (!cover.isEmpty()) {
            expected += QStringLiteral("\n%1,1").arg(cover);
        }
        if (holdsTitle) {
            expected += QStringLiteral("\nSnipora");
        }
        QCOMPARE(probed, expected);
        QVERIFY(rate > 0);

        const qsizetype samples =
            run(QStringLiteral("ffmpeg"),
                {"-v", "error", "-i", target, "-map", "0:a", "-f", "s16le", "-ac", "1", "-"})
                .size() /
            2;
        const double beyondMs = (static_cast<double>(samples - priming) * 1000.0 / rate) -
                                static_cast<double>(selection.lengthMs());
        const double frameMs = lastFrame * 1000.0 / rate + addedMs;
        QVERIFY2(beyondMs >= -30.0 && beyondMs <= frameMs + 30.0,
                 qPrintable(QStringLiteral("%1 samples at %2 Hz: %3 ms beyond the selection")
                                .arg(samples)
                                .arg(rate)
                                .arg(beyondMs)));
    }

    // From its first sample on, the converted section is the source's own sound; with sections
    // taken out, the pieces kept follow one another, cross-faded over 10 ms centred on each
    // join, and the output is exactly as long as they are.
    void losslessOutputEqualsTheSource_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<std::int64_t>("start");
        QTest::addColumn<std::int64_t>("end");
        QTest::addColumn<QString>("removed"); // "start-end" in ms, by commas
        QTest::newRow("12.345 to 17.5")
            << "chirp.mp3" << std::int64_t{12345} << std::int64_t{17500} << QString();
        QTest::newRow("0.7 s") << "chirp.mp3" << std::int64_t{3000} << std::int64_t{3700}
                               << QString();
        QTest::newRow("from the start")
            << "chirp.mp3" << std::int64_t{0} << std::int64_t{1000} << QString();
        QTest::newRow("sections out, CBR") << "chirp.mp3" << std::int64_t{0} << std::int64_t{20000}
                                           << "2000-3333,10001-12500,16000-16007";
        QTest::newRow("sections out, VBR, from the start")
            << "vbr.mp3" << std::int64_t{0} << std::int64_t{6000} << "0-500,3500-4000,3900-4100";
        QTest::newRow("sections out, MPEG-2, to the end")
            << "22050 plain.mp3" << std::int64_t{0} << std::int64_t{3000} << "1234-1500,2500-3000";
        QTest::newRow("pieces shorter than the cross-fade")
            << "chirp.mp3" << std::int64_t{0} << std::int64_t{20000} << "3-2000,5000-19998";
        QTest::newRow("sections out of a selection")
            << "chirp.mp3" << std::int64_t{4000} << std::int64_t{9000} << "3000-5000,6000-6500";
    }
    void losslessOutputEqualsTheSource() {
        QFETCH(QString, from);
        QFETCH(std::int64_t, start);
        QFETCH(std::int64_t, end);
        QFETCH(QString, removed);
        const QString path = dir.filePath(from);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        const std::optional<Mp3FrameMap> map = Mp3FrameMap::scan(fd, nullptr);
        ::close(fd);
        QVERIFY(map);
        const std::int64_t rate = map->sampleRate();
        std::vector<Selection> sections;
        for (const QString& section : removed.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            sections.push_back({section.section(QLatin1Char('-'), 0, 0).toLongLong(),
                                section.section(QLatin1Char('-'), 1, 1).toLongLong()});
        }
        const QString target = dir.filePath(QStringLiteral("section.flac"));
        const auto failure = convert(path, QStringLiteral("FLAC"), QStringLiteral("512k"),
                                     {start, end}, target, sections, static_cast<int>(rate));
        QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
        // The pieces kept, in samples of the source: the first sample at or after each mark.
        const auto sampleAt = [&](std::int64_t ms) {
            return std::min(map->lengthSamples(), (ms * rate + 999) / 1000);
        };
        std::vector<std::pair<std::int64_t, std::int64_t>> pieces{{sampleAt(start), sampleAt(end)}};
        std::sort(sections.begin(), sections.end(),
                  [](const Selection& a, const Selection& b) { return a.start < b.start; });
        for (const Selection& section : sections) {
            auto& last = pieces.back();
            const std::int64_t cutFrom = std::max(sampleAt(section.start), last.first);
            const std::int64_t cutTo = std::min(sampleAt(section.end), last.second);
            if (cutTo <= cutFrom) {
                continue;
            }
            const std::int64_t pieceEnd = last.second;
            last.second = cutFrom;
            pieces.emplace_back(cutTo, pieceEnd);
        }
        std::erase_if(pieces, [](const auto& piece) { return piece.second <= piece.first; });
        std::int64_t keptSamples = 0;
        for (const auto& piece : pieces) {
            keptSamples += piece.second - piece.first;
        }
        // Both decoded at 44,100 Hz: `scale` output samples per source sample.
        const std::vector<std::int16_t> whole = decode(path);
        const std::vector<std::int16_t> part = decode(target);
        const std::int64_t scale = 44100 / rate;
        const auto expected = static_cast<std::size_t>(keptSamples * scale * 2);
        const std::size_t slack = sections.empty() ? 2 * 2 : 0;
        QVERIFY2(
            part.size() + slack >= expected && part.size() <= expected + slack,
            qPrintable(QStringLiteral("%1 samples, %2 expected").arg(part.size()).arg(expected)));
        // Away from the joins and the output's end (half the cross-fade and the resampler's
        // reach; at its start too where it is resampled), sample by sample the source's.
        const std::int64_t nearJoin = (rate / 200 + 64) * scale;
        std::int64_t at = 0; // in the output, at 44,100 Hz
        int worst = 0;
        for (const auto& [first, last] : pieces) {
            const std::int64_t from0 = first * scale;
            const std::int64_t length = (last - first) * scale;
            for (std::int64_t i = 0; i < length; ++i) {
                if (((at > 0 || scale > 1) && i < nearJoin) || i >= length - nearJoin) {
                    continue;
                }
                for (std::size_t c = 0; c < 2; ++c) {
                    const auto o = static_cast<std::size_t>(at + i) * 2 + c;
                    const auto w = static_cast<std::size_t>(from0 + i) * 2 + c;
                    if (o < part.size() && w < whole.size()) {
                        worst = std::max(worst, std::abs(int{part[o]} - int{whole[w]}));
                    }
                }
            }
            at += length;
        }
        QVERIFY2(worst <= 2, qPrintable(QStringLiteral("largest difference %1").arg(worst)));
    }
};

SNIPORA_TEST(TestConvertEndToEnd)
#include "tst_convert_e2e.moc"
