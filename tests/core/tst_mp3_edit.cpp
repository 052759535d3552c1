// Fades by global gain and sections taken out, on real files made by ffmpeg and lame.
#include "core/decoded_mp3.h"
#include "core/mp3_gain_fade.h"
#include "core/mp3_join.h"
#include "support/test_main.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <mpg123.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace snipora;

namespace {
using test::decode;
using test::Decoded;
// A steady tone with a short loud burst every quarter second: the bursts make encoders switch
// to short blocks.
const QString bursts = "aevalsrc=exprs=0.3*sin(2*PI*300*t)+0.6*sin(2*PI*440*t)*lt(mod(t\\,0.25)"
                       "\\,0.02)|0.3*sin(2*PI*450*t):s=44100:d=4";

bool run(const QString& program, const QStringList& arguments, QByteArray* errors = nullptr) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    if (errors) {
        *errors = process.readAllStandardError();
    }
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Root mean square of the samples of [from, to) (in sample frames, all channels).
double level(const Decoded& d, std::int64_t from, std::int64_t to) {
    double sum = 0;
    for (auto i = from * d.channels; i < to * d.channels; ++i) {
        sum +=
            double(d.samples[static_cast<std::size_t>(i)]) * d.samples[static_cast<std::size_t>(i)];
    }
    return std::sqrt(sum / double(std::max<std::int64_t>(1, (to - from) * d.channels)));
}

QString listed(const std::vector<double>& values) {
    QStringList texts;
    for (const double value : values) {
        texts << QString::number(value, 'f', 2);
    }
    return texts.join(' ');
}

// What ffmpeg says while it decodes the whole file, checking frame CRCs.
QByteArray ffmpegComplaints(const QString& path) {
    QByteArray errors;
    if (!run("ffmpeg",
             {"-hide_banner", "-v", "error", "-err_detect", "crccheck", "-i", path, "-f", "null",
              "-"},
             &errors)) {
        errors += "(ffmpeg failed)";
    }
    return errors;
}

// The source's descriptor and frame map, for one test.
struct Source {
    int fd = -1;
    std::optional<Mp3FrameMap> map;
    explicit Source(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)),
          map(Mp3FrameMap::scan(fd, nullptr)) {}
    ~Source() { ::close(fd); }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
};

bool write(const Source& source, const Mp3CutPlan& plan, const QString& path) {
    QFile target(path);
    return target.open(QIODevice::WriteOnly) &&
           !writeMp3Cut(source.fd, *source.map, plan, target, {}) &&
           target.size() == plan.outputBytes;
}
} // namespace

class TestMp3Edit : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    bool encode(const QString& name, const QStringList& options) {
        return run("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
                                         "-i", bursts} +
                                 options + QStringList{path(name)});
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(encode("cbr.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}));
        QVERIFY(encode("vbr.mp3", {"-c:a", "libmp3lame", "-q:a", "4"}));
        QVERIFY(encode("mpeg2-mono.mp3",
                       {"-c:a", "libmp3lame", "-ar", "22050", "-ac", "1", "-b:a", "32k"}));
        QVERIFY(encode("mpeg2-stereo.mp3", {"-c:a", "libmp3lame", "-ar", "24000", "-q:a", "5"}));
        // lame writes a CRC into every frame on request; ffmpeg cannot.
        QVERIFY(encode("source.wav", {}));
        QVERIFY(run("lame", {"--quiet", "-p", "-b", "160", path("source.wav"), path("crc.mp3")}));

        // Mixed blocks: no encoder at hand writes them, so the short blocks of a file are
        // marked mixed (its sound changes, but it stays a valid stream).
        QFile plain(path("cbr.mp3"));
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QByteArray bytes = plain.readAll();
        Source source(path("cbr.mp3"));
        QVERIFY(source.map);
        int mixed = 0;
        for (const Mp3Frame& frame : source.map->frames()) {
            auto* side = reinterpret_cast<unsigned char*>(bytes.data() + frame.offset + 4);
            // Granule 0, channel 0 of MPEG-1 stereo: window switching at bit 53, then the block
            // type, then the mixed flag at bit 56.
            const auto bit = [side](int at) {
                return (side[at / 8] >> (7 - at % 8)) & 1;
            };
            if (bit(53) && bit(54) && !bit(55)) {
                side[56 / 8] |= static_cast<unsigned char>(1 << (7 - 56 % 8));
                ++mixed;
            }
        }
        QVERIFY2(mixed > 3, "the bursts gave too few short blocks");
        QFile out(path("mixed.mp3"));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    }

    void fades_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("fadeInMs");
        QTest::addColumn<qint64>("fadeOutMs");
        for (const char* file :
             {"cbr.mp3", "vbr.mp3", "mpeg2-mono.mp3", "mpeg2-stereo.mp3", "crc.mp3", "mixed.mp3"}) {
            QTest::addRow("%s", file) << QString(file) << qint64(300) << qint64(500);
        }
        QTest::addRow("50 ms") << "cbr.mp3" << qint64(50) << qint64(50);
        QTest::addRow("fade-out only") << "vbr.mp3" << qint64(0) << qint64(200);
    }
    void fades() {
        QFETCH(QString, file);
        QFETCH(qint64, fadeInMs);
        QFETCH(qint64, fadeOutMs);
        Source source(path(file));
        QVERIFY(source.map);
        QString error;
        const auto plain = planMp3Cut(source.fd, *source.map, 1010, 3020, &error);
        QVERIFY2(plain, qPrintable(error));
        Mp3CutPlan faded = *plain;
        const FittedFades fades =
            fitFades(fadeInMs, fadeOutMs, source.map->sampleRate(), plain->samples());
        QVERIFY(!fades.shortened);
        QCOMPARE(addMp3Fades(source.fd, *source.map, fades, faded), std::nullopt);
        QVERIFY(!faded.replacedFrames.empty());
        QVERIFY(write(source, *plain, path("plain.mp3")));
        QVERIFY(write(source, faded, path("faded.mp3")));
        QCOMPARE(checkMp3Cut(path("faded.mp3"), faded.samples()), std::nullopt);
        QCOMPARE(ffmpegComplaints(path("faded.mp3")), QByteArray());

        const Decoded before = decode(path("plain.mp3"));
        const Decoded after = decode(path("faded.mp3"));
        QCOMPARE(after.errors, 0);
        QCOMPARE(after.frames(), plain->samples());
        // Outside the fades, every sample as without them.
        const std::int64_t n = after.frames();
        const auto ch = static_cast<std::size_t>(after.channels);
        for (std::int64_t i = fades.inSamples; i < n - fades.outSamples; ++i) {
            for (std::size_t c = 0; c < ch; ++c) {
                const std::size_t at = static_cast<std::size_t>(i) * ch + c;
                QVERIFY2(after.samples[at] == before.samples[at],
                         qPrintable(QString("sample %1 changed").arg(i)));
            }
        }
        // Inside them, the level against the unfaded one rises and falls granule by granule,
        // from and to near silence. A granule's sound reaches over three blocks, and where
        // neighbouring granules differ in gain their overlap no longer cancels exactly: a block
        // may be up to one gain step louder than the loudest of the three before it, no more.
        const auto ramp = [&](std::int64_t from, std::int64_t to, bool rising) {
            std::vector<double> ratios;
            for (std::int64_t at = from; at + 576 <= to; at += 576) {
                ratios.push_back(level(after, at, at + 576) /
                                 std::max(1.0, level(before, at, at + 576)));
            }
            if (rising) {
                std::reverse(ratios.begin(), ratios.end());
            }
            for (std::size_t k = 1; k < ratios.size(); ++k) {
                const double earlier = *std::max_element(
                    ratios.begin() + static_cast<std::ptrdiff_t>(k > 3 ? k - 3 : 0),
                    ratios.begin() + static_cast<std::ptrdiff_t>(k));
                QVERIFY2(ratios[k] <= earlier * 1.19 + 0.01,
                         qPrintable(QString("granule %1 of %2").arg(k).arg(listed(ratios))));
            }
            QVERIFY(ratios.size() >= 2);
            QVERIFY2(ratios.back() < 0.25, qPrintable(QString::number(ratios.back())));
        };
        if (fades.inSamples > 0) {
            ramp(0, fades.inSamples, true);
        }
        ramp(n - fades.outSamples, n, false);
    }

    void fadesFitTheSelection_data() {
        QTest::addColumn<qint64>("inMs");
        QTest::addColumn<qint64>("outMs");
        QTest::addColumn<qint64>("selection");
        QTest::addColumn<qint64>("inSamples");
        QTest::addColumn<qint64>("outSamples");
        QTest::addColumn<bool>("shortened");
        QTest::addRow("off") << qint64(0) << qint64(0) << qint64(44100) << qint64(0) << qint64(0)
                             << false;
        QTest::addRow("fits") << qint64(100) << qint64(500) << qint64(44100) << qint64(4410)
                              << qint64(22050) << false;
        QTest::addRow("too long") << qint64(3000) << qint64(1000) << qint64(44100) << qint64(33075)
                                  << qint64(11025) << true;
    }
    void fadesFitTheSelection() {
        QFETCH(qint64, inMs);
        QFETCH(qint64, outMs);
        QFETCH(qint64, selection);
        const FittedFades fades = fitFades(inMs, outMs, 44100, selection);
        QTEST(qint64(fades.inSamples), "inSamples");
        QTEST(qint64(fades.outSamples), "outSamples");
        QTEST(fades.shortened, "shortened");
    }

    void damagedFrameStaysAsItWas() {
        QFile file(path("crc.mp3"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        Source source(path("crc.mp3"));
        const Mp3Frame& frame = source.map->frames()[20];
        QByteArray good = bytes.mid(frame.offset, frame.size);
        QByteArray edited = good;
        QVERIFY(lowerGlobalGains(edited, std::vector<int>{4, 4}));
        QVERIFY(edited != good);
        good[8] = static_cast<char>(good[8] ^ 0x10); // side information that no longer fits its CRC
        const QByteArray damaged = good;
        QVERIFY(!lowerGlobalGains(good, std::vector<int>{4, 4}));
        QCOMPARE(good, damaged);
    }

    void removal_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sections"); // "start-end" in ms, by commas
        QTest::addColumn<int>("joins");        // sections inside the file, once merged
        QTest::addColumn<bool>("joinFade");
        for (const char* file :
             {"cbr.mp3", "vbr.mp3", "mpeg2-mono.mp3", "mpeg2-stereo.mp3", "crc.mp3"}) {
            QTest::addRow("%s middle", file) << QString(file) << "1000-2000" << 1 << false;
            QTest::addRow("%s three", file)
                << QString(file) << "2200-3000,500-900,3300-3500" << 3 << false;
            QTest::addRow("%s softened", file)
                << QString(file) << "700-1000,2000-2600" << 2 << true;
        }
        QTest::addRow("one frame") << "vbr.mp3"
                                   << "1500-1527" << 1 << false;
        QTest::addRow("from the start") << "cbr.mp3"
                                        << "0-1200" << 0 << false;
        QTest::addRow("to the end") << "mpeg2-stereo.mp3"
                                    << "2500-4000" << 0 << false;
        QTest::addRow("overlapping and touching") << "cbr.mp3"
                                                  << "1400-1800,1000-1500,1800-2000" << 1 << false;
        QTest::addRow("ends and middle") << "vbr.mp3"
                                         << "0-300,1500-2000,3700-4000" << 1 << true;
        QTest::addRow("a frame from an end") << "cbr.mp3"
                                             << "0-1000,1010-1500,3000-3100" << 1 << false;
    }
    void removal() {
        QFETCH(QString, file);
        QFETCH(QString, sections);
        QFETCH(int, joins);
        QFETCH(bool, joinFade);
        Source source(path(file));
        QVERIFY(source.map);
        std::vector<Selection> asked;
        for (const QString& section : sections.split(',')) {
            asked.push_back(
                {section.section('-', 0, 0).toLongLong(), section.section('-', 1, 1).toLongLong()});
        }
        QString error;
        const auto plan = planMp3Removal(source.fd, *source.map, asked, &error, joinFade);
        QVERIFY2(plan, qPrintable(error));
        const std::int64_t length = source.map->lengthSamples();
        const std::int64_t spf = source.map->samplesPerFrame();
        std::int64_t removed = 0;
        int inside = 0;
        for (const RemovedSection& section : plan->sections) {
            QVERIFY(section.endSample > section.startSample);
            removed += section.endSample - section.startSample;
            inside += section.startSample > 0 && section.endSample < length ? 1 : 0;
        }
        QCOMPARE(inside, joins);
        QCOMPARE(plan->cut.removedFrames.size(), std::size_t(joins));
        // Each section within one frame of what was asked (those asked apart stay apart here).
        if (plan->sections.size() == asked.size()) {
            std::sort(asked.begin(), asked.end(),
                      [](const Selection& x, const Selection& y) { return x.start < y.start; });
            const std::int64_t rate = source.map->sampleRate();
            for (std::size_t k = 0; k < asked.size(); ++k) {
                QVERIFY(std::abs(plan->sections[k].startSample - asked[k].start * rate / 1000) <=
                        spf);
                QVERIFY(std::abs(plan->sections[k].endSample -
                                 std::min(asked[k].end * rate / 1000, length)) <= spf);
            }
        }
        // The output is exactly the rest.
        QCOMPARE(plan->samples(), length - removed);
        QVERIFY(write(source, plan->cut, path("removed.mp3")));
        QCOMPARE(checkMp3Cut(path("removed.mp3"), plan->samples()), std::nullopt);
        QCOMPARE(ffmpegComplaints(path("removed.mp3")), QByteArray());

        const Decoded original = decode(path(file));
        const Decoded out = decode(path("removed.mp3"));
        QCOMPARE(out.errors, 0);
        QCOMPARE(out.frames(), length - removed);
        // Away from the joins' frames (and the granules a softened join lowers, with the sound
        // they reach) the sound is the source's (libmpg123 may round one step differently after
        // another start).
        const std::int64_t margin = joinFade ? 2 * 576 + 1632 : 2 * 576 + 512;
        std::vector<std::int64_t> joinsAt; // in samples of the output
        std::int64_t before = 0;
        for (const RemovedSection& section : plan->sections) {
            joinsAt.push_back(section.startSample - before);
            before += section.endSample - section.startSample;
        }
        const auto ch = static_cast<std::int64_t>(out.channels);
        std::size_t next = 0; // the first section not yet passed
        std::int64_t skipped = 0;
        for (std::int64_t i = 0; i < out.frames(); ++i) {
            while (next < plan->sections.size() && joinsAt[next] <= i) {
                skipped += plan->sections[next].endSample - plan->sections[next].startSample;
                ++next;
            }
            const bool nearJoin = std::any_of(joinsAt.begin(), joinsAt.end(), [&](auto at) {
                return at > 0 && at < out.frames() && std::abs(i - at) < margin;
            });
            if (nearJoin) {
                continue;
            }
            const std::int64_t from = i + skipped;
            for (std::int64_t c = 0; c < ch; ++c) {
                const int difference =
                    std::abs(out.samples[static_cast<std::size_t>(i * ch + c)] -
                             original.samples[static_cast<std::size_t>(from * ch + c)]);
                QVERIFY2(difference <= 1,
                         qPrintable(QString("sample %1 differs by %2").arg(i).arg(difference)));
            }
        }
        // A softened join is quieter around it than the same join without softening.
        if (joinFade) {
            const auto hard = planMp3Removal(source.fd, *source.map, asked, &error);
            QVERIFY(hard);
            QVERIFY(write(source, hard->cut, path("hard.mp3")));
            const Decoded loud = decode(path("hard.mp3"));
            QCOMPARE(loud.frames(), out.frames());
            for (const std::int64_t at : joinsAt) {
                if (at <= 0 || at >= out.frames()) {
                    continue;
                }
                const double soft = level(out, at - 1152, at + 1152);
                const double sharp = level(loud, at - 1152, at + 1152);
                QVERIFY2(soft < 0.7 * sharp,
                         qPrintable(QString("at %1: %2 against %3").arg(at).arg(soft).arg(sharp)));
            }
        }
    }

    void removalRefusals_data() {
        QTest::addColumn<qint64>("startMs");
        QTest::addColumn<qint64>("endMs");
        QTest::addColumn<QString>("reason");
        QTest::addRow("empty") << qint64(1000) << qint64(1000)
                               << "the section to take out is empty";
        QTest::addRow("whole file")
            << qint64(0) << qint64(4000) << "the section takes out the whole file";
        QTest::addRow("less than a frame left")
            << qint64(10) << qint64(4000) << "the section leaves less than one MP3 frame of sound";
        QTest::addRow("rounds to nothing")
            << qint64(1000) << qint64(1005)
            << "the section 0:01.000 to 0:01.005 is shorter than half an MP3 frame, so no frame "
               "can be taken out";
        QTest::addRow("whole file in two")
            << qint64(0) << qint64(2100) << "the section takes out the whole file";
        QTest::addRow("less than a frame between two")
            << qint64(0) << qint64(1990) << "the section leaves less than one MP3 frame of sound";
    }
    void removalRefusals() {
        QFETCH(qint64, startMs);
        QFETCH(qint64, endMs);
        Source source(path("cbr.mp3"));
        QString error;
        // Rows that start at 0 and end before 2100 ms are joined by a second section from
        // there (or from 2000 ms) to the end.
        std::vector<Selection> sections{{startMs, endMs}};
        if (startMs == 0 && endMs < 4000) {
            sections.push_back({endMs == 2100 ? 1900 : 2000, 4000});
        }
        QVERIFY(!planMp3Removal(source.fd, *source.map, sections, &error));
        QTEST(error, "reason");
    }
};

SNIPORA_TEST(TestMp3Edit)
#include "tst_mp3_edit.moc"
