// Convert Save: the encoder's command to the millisecond, the chosen format's extension, and the
// ways a run ends, on a scripted launcher.
#include "core/convert_save.h"
#include "core/encoder_command.h"
#include "support/fake_host.h"
#include "support/files.h"
#include "support/test_main.h"

#include <QDir>
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

    ConvertSaveJob job(const QString& name) const {
        return ConvertSaveJob{QStringLiteral("/opt/snipora"),  Selection{12345, 45678},
                              QStringLiteral("/music/in.mp3"), QStringLiteral("FLAC"),
                              QStringLiteral("128k"),          folder->filePath(name)};
    }

    // A probe that reports `seconds` for whatever file it is given.
    static FakeProcessLauncher::Script probeSaying(const QByteArray& seconds) {
        FakeProcessLauncher::Script probe;
        probe.output = seconds + '\n';
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
        QTest::addColumn<QString>("numbers");
        QTest::newRow("seek half a second early") << std::int64_t{12345} << std::int64_t{45678}
                                                  << "-ss  11.845 -i \"in\" -ss  0.5 -t  33.333";
        QTest::newRow("under a second")
            << std::int64_t{2000} << std::int64_t{2700} << "-ss  1.5 -i \"in\" -ss  0.5 -t  0.7";
        QTest::newRow("near the start")
            << std::int64_t{200} << std::int64_t{21500} << "-ss  0 -i \"in\" -ss  0.2 -t  21.3";
    }
    void commandCarriesMilliseconds() {
        QFETCH(std::int64_t, start);
        QFETCH(std::int64_t, end);
        QFETCH(QString, numbers);
        const ProcessCommand command =
            encoderCommand({QStringLiteral("/f"), Selection{start, end}, QStringLiteral("in"),
                            QStringLiteral("128k"), QString(), QStringLiteral("out.flac")});
        QCOMPARE(command.commandLine,
                 QStringLiteral("\"/f/ffmpeg\" ") + numbers +
                     QStringLiteral(" -ab 128k -progress pipe:1 \"out.flac\""));
        // The argument list is the line split by its quoting.
        QCOMPARE(command.arguments.join(QLatin1Char(' ')),
                 QString(numbers)
                         .remove(QLatin1Char('"'))
                         .replace(QStringLiteral("  "), QStringLiteral(" ")) +
                     QStringLiteral(" -ab 128k -progress pipe:1 out.flac"));
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

    void checkedOutputReplacesTheTarget_data() {
        QTest::addColumn<QByteArray>("probed");
        QTest::addColumn<bool>("kept");
        QTest::newRow("the selection's length") << QByteArray("33.333") << true;
        QTest::newRow("cut off by a full disk") << QByteArray("12.000") << false;
        QTest::newRow("unreadable") << QByteArray("N/A") << false;
    }
    void checkedOutputReplacesTheTarget() {
        QFETCH(QByteArray, probed);
        QFETCH(bool, kept);
        QVERIFY(test::writeFile(folder->filePath(QStringLiteral("old.flac")), "old"));
        FakeProcessLauncher launcher;
        launcher.scripts = {encoderWriting("new"), probeSaying(probed)};
        ConvertSave save(launcher);
        QSignalSpy progress(&save, &ConvertSave::progress);
        QSignalSpy finished(&save, &ConvertSave::finished);
        save.start(job(QStringLiteral("old.flac")));
        QTRY_COMPARE(finished.size(), 1);
        const auto failure = finished.at(0).at(0).value<std::optional<QString>>();
        QCOMPARE(!failure.has_value(), kept);
        QCOMPARE(progress.constFirst().at(0).value<std::int64_t>(), 16666);
        QFile result(folder->filePath(QStringLiteral("old.flac")));
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), kept ? QByteArray("new") : QByteArray("old"));
        QCOMPARE(files(), QStringList{QStringLiteral("old.flac")}); // no temporary file left
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
