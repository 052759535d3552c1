// Convert Save: the encoder's command to the millisecond, the chosen format's extension and
// bitrates, and the ways a run ends, on a scripted launcher.
#include "core/convert_save.h"
#include "core/encoder_command.h"
#include "core/reported_outcome.h"
#include "support/fake_host.h"
#include "support/files.h"
#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace snipora;
using snipora::test::FakeProcessLauncher;

class TestConvertSave : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;

    // The files in the folder, hidden ones too.
    QStringList files() const {
        return QDir(folder->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    ConvertSaveJob job(const QString& name, const QString& format = QStringLiteral("FLAC"),
                       const QString& bitrate = QString()) const {
        return ConvertSaveJob{QStringLiteral("/opt/snipora"),
                              Selection{12345, 45678},
                              QStringLiteral("/music/in.mp3"),
                              format,
                              bitrate,
                              folder->filePath(name)};
    }

    // A probe that decodes `samples` at 44,100 Hz from whatever file it is given, in frames of
    // 1024 and a last shorter one, as ffprobe lists them.
    static FakeProcessLauncher::Script probeDecoding(qint64 samples) {
        FakeProcessLauncher::Script probe;
        for (; samples > 1024; samples -= 1024) {
            probe.output += "frame,1024\n";
        }
        probe.output += "frame," + QByteArray::number(samples) + ",side_data,\nstream,44100\n";
        return probe;
    }

    // An encoder that writes `bytes` into the file named last on its command.
    static FakeProcessLauncher::Script encoderWriting(const QByteArray& bytes) {
        FakeProcessLauncher::Script encoder;
        encoder.output = "out_time_us=16666000\nprogress=continue\n";
        encoder.onStart = [bytes](const FakeProcessLauncher::Launch& launch) {
            QVERIFY(test::writeFile(launch.arguments.constLast(), bytes));
        };
        return encoder;
    }

private slots:
    void init() { folder = std::make_unique<QTemporaryDir>(); }

    void commandCarriesMilliseconds_data() {
        QTest::addColumn<std::int64_t>("start");
        QTest::addColumn<std::int64_t>("end");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<bool>("convertCover");
        QTest::addColumn<std::int64_t>("fadeIn");
        QTest::addColumn<std::int64_t>("fadeOut");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("removed"); // "start-end" in ms, by commas
        QTest::addColumn<int>("rate");
        const QString cover = QStringLiteral(
            "-map 0:a -map 0:v? -c:v copy -disposition:v attached_pic -af atrim=start=");
        QTest::newRow("seek half a second early, the cover kept, no bitrate")
            << std::int64_t{12345} << std::int64_t{45678} << "FLAC"
            << "" << false << std::int64_t{0} << std::int64_t{0}
            << "-ss 11.845 -i \"in\" " + cover +
                   "0.5:duration=33.333,asetpts=PTS-STARTPTS -progress pipe:1"
            << QString() << 0;
        QTest::newRow("under a second, a lossless format ignores the bitrate")
            << std::int64_t{2000} << std::int64_t{2700} << "WAV"
            << "128k" << false << std::int64_t{0} << std::int64_t{0}
            << "-ss 1.5 -i \"in\" -vn -af atrim=start=0.5:duration=0.7,asetpts=PTS-STARTPTS "
               "-progress pipe:1"
            << QString() << 0;
        QTest::newRow("near the start")
            << std::int64_t{200} << std::int64_t{21500} << "MP3"
            << "128k" << false << std::int64_t{0} << std::int64_t{0}
            << "-i \"in\" " + cover +
                   "0.2:duration=21.3,asetpts=PTS-STARTPTS -ab 128k -progress pipe:1"
            << QString() << 0;
        QTest::newRow("WMA ends on a frame of silence, at a low rate")
            << std::int64_t{3000} << std::int64_t{4000} << "WMA"
            << "64k" << false << std::int64_t{0} << std::int64_t{0}
            << "-ss 2.5 -i \"in\" -vn -af "
               "atrim=start=0.5:duration=1,asetpts=PTS-STARTPTS,apad=pad_dur=0.064 -ab 64k -ar "
               "22050 -acodec wmav2 -progress pipe:1"
            << QString() << 0;
        QTest::newRow("AC3 at its lowest rate")
            << std::int64_t{3000} << std::int64_t{4000} << "AC3"
            << "32k" << false << std::int64_t{0} << std::int64_t{0}
            << "-ss 2.5 -i \"in\" -vn -af atrim=start=0.5:duration=1,asetpts=PTS-STARTPTS -ab "
               "32k -ar 32000 -progress pipe:1"
            << QString() << 0;
        QTest::newRow("a cover converted, from the source unsought")
            << std::int64_t{3000} << std::int64_t{4000} << "M4A"
            << "128k" << true << std::int64_t{0} << std::int64_t{0}
            << "-ss 2.5 -i \"in\" -i \"in\" -map 0:a -map 1:v? -c:v png -disposition:v "
               "attached_pic -af atrim=start=0.5:duration=1,asetpts=PTS-STARTPTS -ab 128k "
               "-progress pipe:1"
            << QString() << 0;
        QTest::newRow("fades, the same curve at both ends")
            << std::int64_t{2000} << std::int64_t{4000} << "WAV"
            << "" << false << std::int64_t{50} << std::int64_t{300}
            << "-ss 1.5 -i \"in\" -vn -af atrim=start=0.5:duration=2,asetpts=PTS-STARTPTS,"
               "afade=t=in:st=0:d=0.05,afade=t=out:st=1.7:d=0.3 -progress pipe:1"
            << QString() << 0;
        QTest::newRow("fades longer than the selection, shortened to fit")
            << std::int64_t{2000} << std::int64_t{3000} << "WAV"
            << "" << false << std::int64_t{1500} << std::int64_t{500}
            << "-ss 1.5 -i \"in\" -vn -af atrim=start=0.5:duration=1,asetpts=PTS-STARTPTS,"
               "afade=t=in:st=0:d=0.75,afade=t=out:st=0.75:d=0.25 -progress pipe:1"
            << QString() << 0;
        // Pieces trimmed to the sample (ms rounded up at 44.1 kHz), cross-faded over 441
        // samples centred on each join; one section merged from two, one at the end.
        QTest::newRow("sections taken out, the joins cross-faded")
            << std::int64_t{0} << std::int64_t{10000} << "WAV"
            << "" << false << std::int64_t{0} << std::int64_t{0}
            << "-i \"in\" -vn -af asplit=2[in0][in1];"
               "[in0]atrim=start_sample=0:end_sample=88420,asetpts=PTS-STARTPTS[piece0];"
               "[in1]atrim=start_sample=154129:end_sample=396900,asetpts=PTS-STARTPTS[piece1];"
               "[piece0][piece1]acrossfade=ns=441:c1=tri:c2=tri -progress pipe:1"
            << "3000-3500,2000-3200,9000-10000" << 44100;
        QTest::newRow("sections out of a selection sought into")
            << std::int64_t{3000} << std::int64_t{5000} << "WAV"
            << "" << false << std::int64_t{0} << std::int64_t{0}
            << "-ss 2.5 -i \"in\" -vn -af asplit=2[in0][in1];"
               "[in0]atrim=start_sample=22050:end_sample=44320,asetpts=PTS-STARTPTS[piece0];"
               "[in1]atrim=start_sample=65929:end_sample=110250,asetpts=PTS-STARTPTS[piece1];"
               "[piece0][piece1]acrossfade=ns=441:c1=tri:c2=tri -progress pipe:1"
            << "3500-4000" << 44100;
    }

    void commandCarriesMilliseconds() {
        QFETCH(std::int64_t, start);
        QFETCH(std::int64_t, end);
        QFETCH(QString, format);
        QFETCH(QString, bitrate);
        QFETCH(bool, convertCover);
        QFETCH(std::int64_t, fadeIn);
        QFETCH(std::int64_t, fadeOut);
        QFETCH(QString, options);
        QFETCH(QString, removed);
        QFETCH(int, rate);
        std::vector<Selection> sections;
        for (const QString& section : removed.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            sections.push_back({section.section(QLatin1Char('-'), 0, 0).toLongLong(),
                                section.section(QLatin1Char('-'), 1, 1).toLongLong()});
        }
        const ProcessCommand command = encoderCommand(
            {QStringLiteral("/f"), Selection{start, end}, QStringLiteral("in"), format, bitrate,
             QStringLiteral("out.x"), convertCover, fadeIn, fadeOut, sections, rate, 10});
        QCOMPARE(command.commandLine,
                 QStringLiteral("\"/f/ffmpeg\" ") + options + QStringLiteral(" \"out.x\""));
        QCOMPARE(command.program, QStringLiteral("/f/ffmpeg"));
        // The argument list is the line split by its quoting.
        QCOMPARE(command.arguments.join(QLatin1Char(' ')),
                 QString(options).remove(QLatin1Char('"')) + QStringLiteral(" out.x"));
    }

    // What each format takes: no bitrate when lossless, none beyond what its encoder gives.
    void bitrateRules_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("refusal"); // empty when the save may start
        const QStringList all{"512k", "256k", "128k", "64k", "32k"};
        const QStringList upTo256k{"256k", "128k", "64k", "32k"};
        QTest::newRow("FLAC needs none") << "FLAC"
                                         << "" << QStringList() << "";
        QTest::newRow("WAV ignores one") << "WAV"
                                         << "128k" << QStringList() << "";
        QTest::newRow("MP3 without one")
            << "MP3"
            << "" << upTo256k
            << "Please select output bitrate. MP3 is written at 256k, 128k, 64k, 32k.";
        QTest::newRow("MP3 above its encoder's top")
            << "MP3"
            << "512k" << upTo256k
            << "MP3 cannot be written at 512k: its encoder gives at most 320k. Please select "
               "256k, 128k, 64k, 32k.";
        QTest::newRow("M4A above its encoder's top")
            << "M4A"
            << "512k" << upTo256k
            << "M4A cannot be written at 512k: its encoder gives at most 256k. Please select "
               "256k, 128k, 64k, 32k.";
        QTest::newRow("AAC at a rate not in the list")
            << "AAC"
            << "100k" << upTo256k
            << "AAC cannot be written at 100k. Please select 256k, 128k, 64k, 32k.";
        QTest::newRow("AC3 at the top") << "AC3"
                                        << "512k" << all << "";
        QTest::newRow("WMA at the bottom") << "WMA"
                                           << "32k" << all << "";
    }
    void bitrateRules() {
        QFETCH(QString, format);
        QFETCH(QString, bitrate);
        QFETCH(QStringList, offered);
        QFETCH(QString, refusal);
        QCOMPARE(bitratesFor(format), offered);
        QCOMPARE(formatTakesBitrate(format), !offered.isEmpty());
        QCOMPARE(bitrateRefusal(format, bitrate).value_or(QString()), refusal);

        // A refused save starts no encoder and says why; an accepted one starts it.
        FakeProcessLauncher launcher;
        launcher.next.neverEnds = true;
        ConvertSave save(launcher);
        QSignalSpy finished(&save, &ConvertSave::finished);
        save.start(job(QStringLiteral("out"), format, bitrate));
        QCOMPARE(launcher.launches.size(), refusal.isEmpty() ? 1 : 0);
        if (!refusal.isEmpty()) {
            QCOMPARE(finished.size(), 1);
            QCOMPARE(test::reportedFailure(finished.at(0).at(0)),
                     std::optional<QString>(QStringLiteral("Convert Save failed: ") + refusal));
        }
    }

    void outputTakesTheChosenFormat_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("another format's extension") << "/a/x.flac"
                                                    << "/a/x.m4a";
        QTest::newRow("no extension") << "/a/x"
                                      << "/a/x.m4a";
        QTest::newRow("the format's own, in capitals") << "/a/x.M4A"
                                                       << "/a/x.M4A";
        QTest::newRow("an unknown extension is kept") << "/a/x.take1"
                                                      << "/a/x.take1.m4a";
    }
    void outputTakesTheChosenFormat() {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QCOMPARE(withFormatExtension(chosen, QStringLiteral("M4A")), written);
    }

    // The selection is 33.333 s: 1,469,985 samples at 44,100 Hz.
    void checkedOutputReplacesTheTarget_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("probed");
        QTest::addColumn<bool>("kept");
        QTest::newRow("the selection's length") << "FLAC" << probeDecoding(1469985).output << true;
        QTest::newRow("25 ms short") << "FLAC" << probeDecoding(1469985 - 1102).output << true;
        QTest::newRow("cut off by a full disk") << "FLAC" << probeDecoding(529200).output << false;
        QTest::newRow("35 ms too long") << "FLAC" << probeDecoding(1469985 + 1544).output << false;
        QTest::newRow("raw AAC: its priming and a last frame filled with silence")
            << "AAC" << probeDecoding(1469985 + 1024 + 1023).output << true;
        QTest::newRow("raw AAC: 35 ms beyond its last frame")
            << "AAC" << probeDecoding(1469985 + 1024 + 1024 + 1544).output << false;
        QTest::newRow("raw AAC without its priming: short")
            << "AAC" << probeDecoding(1469985 - 1544).output << false;
        QTest::newRow("unreadable") << "FLAC" << QByteArray("N/A\n") << false;
        QTest::newRow("no rate") << "FLAC" << QByteArray("frame,1469985\n") << false;
    }
    void checkedOutputReplacesTheTarget() {
        QFETCH(QString, format);
        QFETCH(QByteArray, probed);
        QFETCH(bool, kept);
        const QString name = QStringLiteral("old.") + format.toLower();
        QVERIFY(test::writeFile(folder->filePath(name), "old"));
        FakeProcessLauncher launcher;
        FakeProcessLauncher::Script probe;
        probe.output = probed;
        launcher.scripts = {encoderWriting("new"), probe};
        ConvertSave save(launcher);
        QSignalSpy progress(&save, &ConvertSave::progress);
        QSignalSpy finished(&save, &ConvertSave::finished);
        save.start(job(name, format,
                       format == QStringLiteral("AAC") ? QStringLiteral("128k") : QString()));
        QTRY_COMPARE(finished.size(), 1);
        const auto failure = test::reportedFailure(finished.at(0).at(0));
        QVERIFY2(!failure.has_value() == kept,
                 qPrintable(failure.value_or(QStringLiteral("kept"))));
        QCOMPARE(progress.constFirst().at(0).value<std::int64_t>(), 16666);
        QFile result(folder->filePath(name));
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), kept ? QByteArray("new") : QByteArray("old"));
        QCOMPARE(files(), QStringList{name}); // no temporary file left
    }

    // An MP3 output is decoded inside the program, with no probe started: only one of the
    // selection's length (33.333 s) replaces the target.
    void mp3OutputIsDecodedInTheProgram_data() {
        QTest::addColumn<QString>("written"); // seconds of MP3 the encoder writes, or text
        QTest::addColumn<bool>("kept");
        QTest::newRow("the selection's length") << "33.333" << true;
        QTest::newRow("cut off") << "20" << false;
        QTest::newRow("not MP3 at all") << "new" << false;
    }
    void mp3OutputIsDecodedInTheProgram() {
        QFETCH(QString, written);
        QFETCH(bool, kept);
        QByteArray bytes = written.toUtf8();
        if (written != QStringLiteral("new")) {
            QProcess ffmpeg;
            const QString made = folder->filePath(QStringLiteral("made.mp3"));
            ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i",
                                                    "sine=frequency=440:sample_rate=44100", "-t",
                                                    written, "-b:a", "128k", "-y", made});
            QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
            QFile file(made);
            QVERIFY(file.open(QIODevice::ReadOnly));
            bytes = file.readAll();
            file.remove();
        }
        QVERIFY(test::writeFile(folder->filePath(QStringLiteral("old.mp3")), "old"));
        FakeProcessLauncher launcher;
        launcher.scripts = {encoderWriting(bytes)};
        ConvertSave save(launcher);
        QSignalSpy finished(&save, &ConvertSave::finished);
        save.start(job(QStringLiteral("old.mp3"), QStringLiteral("MP3"), QStringLiteral("128k")));
        QTRY_COMPARE(finished.size(), 1);
        const auto failure = test::reportedFailure(finished.at(0).at(0));
        QVERIFY2(!failure.has_value() == kept,
                 qPrintable(failure.value_or(QStringLiteral("kept"))));
        QCOMPARE(launcher.launches.size(), 1);
        QFile result(folder->filePath(QStringLiteral("old.mp3")));
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll() == bytes, kept);
        QCOMPARE(files(), QStringList{QStringLiteral("old.mp3")});
    }

    // An encoder that ends before writing anything, where the format holds a cover, most likely
    // met a picture its muxer refuses: it runs once more with the cover converted.
    void refusedCoverIsConverted_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("firstWrites");
        QTest::addColumn<bool>("retried");
        QTest::newRow("M4A refused before writing") << "M4A" << QByteArray() << true;
        QTest::newRow("FLAC failing after it wrote") << "FLAC" << QByteArray("half") << false;
        QTest::newRow("AAC holds no cover") << "AAC" << QByteArray() << false;
    }
    void refusedCoverIsConverted() {
        QFETCH(QString, format);
        QFETCH(QByteArray, firstWrites);
        QFETCH(bool, retried);
        FakeProcessLauncher launcher;
        FakeProcessLauncher::Script refused = encoderWriting(firstWrites);
        if (firstWrites.isEmpty()) {
            refused.onStart = nullptr;
        }
        refused.exitCode = 1;
        launcher.scripts = {refused, encoderWriting("new"), probeDecoding(1469985)};
        ConvertSave save(launcher);
        QSignalSpy finished(&save, &ConvertSave::finished);
        const QString name = QStringLiteral("out.") + format.toLower();
        save.start(job(name, format, QStringLiteral("128k")));
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(!test::reportedFailure(finished.at(0).at(0)).has_value(), retried);
        QCOMPARE(launcher.launches.size(), retried ? 3 : 1);
        if (retried) {
            QVERIFY(launcher.launches.at(1).arguments.contains(QStringLiteral("png")));
        }
        QCOMPARE(files(), retried ? QStringList{name} : QStringList());
    }

    void cancelEndsTheEncoderAndItsFile() {
        FakeProcessLauncher launcher;
        FakeProcessLauncher::Script encoder = encoderWriting("partial");
        encoder.neverEnds = true;
        launcher.next = encoder;
        ConvertSave save(launcher);
        QSignalSpy finished(&save, &ConvertSave::finished);
        save.start(job(QStringLiteral("out.flac")));
        QCOMPARE(files().size(), 1); // the encoder's hidden file
        save.cancel();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(launcher.killed.size(), 1);
        QCOMPARE(launcher.running(), 0);
        QVERIFY(files().isEmpty());
    }

    void destroyedSaveLeavesNothing() {
        FakeProcessLauncher launcher;
        FakeProcessLauncher::Script encoder = encoderWriting("partial");
        encoder.neverEnds = true;
        launcher.next = encoder;
        {
            ConvertSave save(launcher);
            save.start(job(QStringLiteral("out.flac")));
        }
        QCOMPARE(launcher.running(), 0);
        QVERIFY(files().isEmpty());
    }
};

SNIPORA_TEST(TestConvertSave)
#include "tst_convert_save.moc"
