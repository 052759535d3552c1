// The cut from the command line: its arguments, and the program run as a script would run it.
#include "core/headless_cut.h"
#include "support/test_main.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace snipora;

namespace {
struct Run {
    int status = -1;
    QByteArray errors;
};

Run runProgram(const QStringList& arguments) {
    QProcess program;
    program.start(QStringLiteral(SNIPORA_PROGRAM_DIR "/snipora"), arguments);
    program.waitForFinished(60000);
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            program.readAllStandardError()};
}
} // namespace

class TestHeadlessCut : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString source;

private slots:
    void initTestCase() {
        source = dir.filePath(QStringLiteral("song.mp3"));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i", "sine=d=10",
                                                "-b:a", "128k", "-y", source});
        QVERIFY(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);
    }

    void arguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output"); // empty: refused
        QTest::newRow("direct") << QStringList{"1.5", "0:03", "in.mp3", "-o", "/t/out.mp3"}
                                << "/t/out.mp3";
        QTest::newRow("convert, the format's extension")
            << QStringList{"1",        "2",   "in.mp3",    "-o",  "/t/out.flac",
                           "--format", "m4a", "--bitrate", "128K"}
            << "/t/out.m4a";
        QTest::newRow("no output") << QStringList{"1", "2", "in.mp3"} << "";
        QTest::newRow("not a time") << QStringList{"1", "soon", "in.mp3", "-o", "o.mp3"} << "";
        QTest::newRow("unknown format")
            << QStringList{"1", "2", "in.mp3", "-o", "o", "--format", "OGG", "--bitrate", "128k"}
            << "";
        QTest::newRow("format without bitrate")
            << QStringList{"1", "2", "in.mp3", "-o", "o", "--format", "MP3"} << "";
    }
    void arguments() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QString error;
        const auto request = parseCutArguments(arguments, &error);
        QCOMPARE(request.has_value(), !output.isEmpty());
        if (request) {
            QCOMPARE(request->output, output);
        } else {
            QVERIFY(!error.isEmpty());
        }
    }

    void exitStatusTellsTheOutcome_data() {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("status");
        QTest::newRow("direct") << QStringList{} << "4.25" << 0;
        QTest::newRow("convert") << QStringList{"--format", "WAV", "--bitrate", "128k"} << "4.25"
                                 << 0;
        QTest::newRow("past the end") << QStringList{} << "0:12" << 1;
    }
    void exitStatusTellsTheOutcome() {
        QFETCH(QStringList, extra);
        QFETCH(QString, end);
        QFETCH(int, status);
        const QString output = dir.filePath(QStringLiteral("part %1").arg(QTest::currentDataTag()));
        const Run run =
            runProgram(QStringList{"--cut", "2", end, source, "-o", output + ".mp3"} + extra);
        QCOMPARE(run.status, status);
        QCOMPARE(run.errors.isEmpty(), status == 0);
        const QString written = output + (extra.isEmpty() ? ".mp3" : ".wav");
        QCOMPARE(QFileInfo::exists(written), status == 0);
    }
};

SNIPORA_TEST(TestHeadlessCut)
#include "tst_headless_cut.moc"
