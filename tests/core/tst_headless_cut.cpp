// The cut from the command line: the program run as a script would run it, its arguments, signals.
#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <dirent.h>
#include <unistd.h>

namespace {
const QString program = QStringLiteral(SNIPORA_PROGRAM_DIR "/snipora");

struct Run {
    int status = -1; // the exit code, or -1 when the program crashed
    QByteArray printed;
    QByteArray errors;
};

// Runs the program in `folder` through sh, which turns each argument's octal escapes (\377)
// into their bytes, so that a name that is not valid text reaches the program as it is.
// `fileBlocks` limits the size of files it writes (512-byte blocks), as a full disk would.
// There is no display: nothing but the window may need one.
Run runProgram(const QStringList& arguments, const QString& folder,
               const QString& fileBlocks = QStringLiteral("unlimited")) {
    QProcess shell;
    shell.setWorkingDirectory(folder);
    shell.start(
        QStringLiteral("/bin/sh"),
        QStringList{QStringLiteral("-c"),
                    QStringLiteral("unset DISPLAY WAYLAND_DISPLAY; export QT_QPA_PLATFORM=xcb; "
                                   "trap '' XFSZ; ulimit -f %1; for word; do "
                                   "set -- \"$@\" \"$(printf %b \"$word\")\"; shift; "
                                   "done; exec \"$@\"")
                        .arg(fileBlocks),
                    QStringLiteral("sh"), program} +
            arguments);
    shell.waitForFinished(120000);
    return {shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1,
            shell.readAllStandardOutput(), shell.readAllStandardError()};
}

// The names of the files in `folder` as the file system spells them; Qt's would change those
// that are not valid text.
QList<QByteArray> namesIn(const QString& folder) {
    QList<QByteArray> names;
    if (DIR* listing = ::opendir(QFile::encodeName(folder).constData())) {
        while (const dirent* entry = ::readdir(listing)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..") {
                names << name;
            }
        }
        ::closedir(listing);
    }
    return names;
}

// The processes whose parent is `pid`.
QList<qint64> childrenOf(qint64 pid) {
    QList<qint64> children;
    for (const QString& task : QDir(QStringLiteral("/proc/%1/task").arg(pid))
                                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(QStringLiteral("/proc/%1/task/%2/children").arg(pid).arg(task));
        if (list.open(QIODevice::ReadOnly)) {
            for (const QByteArray& child : list.readAll().split(' ')) {
                if (!child.trimmed().isEmpty()) {
                    children << child.trimmed().toLongLong();
                }
            }
        }
    }
    return children;
}

// True once the process catches SIGTERM: its handlers are in place and its cut has begun.
bool catchesTermination(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        }
    }
    return false;
}
} // namespace

class TestHeadlessCut : public QObject {
    Q_OBJECT

    QTemporaryDir sources;
    QString song;                           // 10 s
    QString longSong;                       // 100 minutes, about 190 MB: a save of it takes seconds
    std::unique_ptr<QTemporaryDir> outputs; // fresh for each test

private slots:
    void initTestCase() {
        song = sources.filePath(QStringLiteral("song.mp3"));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-f", "lavfi", "-i", "sine=d=10", "-b:a", "128k", "-y", song});
        QVERIFY(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);
        // Ten minutes without tags or a length header, repeated: frames after frames.
        const QString piece = sources.filePath(QStringLiteral("piece.mp3"));
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-f", "lavfi", "-i", "sine=f=440:d=600", "-b:a", "256k",
                      "-write_xing", "0", "-id3v2_version", "0", "-y", piece});
        QVERIFY(ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0);
        QFile in(piece);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QByteArray frames = in.readAll();
        longSong = sources.filePath(QStringLiteral("long song.mp3"));
        QFile out(longSong);
        QVERIFY(out.open(QIODevice::WriteOnly));
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(out.write(frames), frames.size());
        }
    }

    void init() { outputs = std::make_unique<QTemporaryDir>(); }
    void cleanup() {
        for (const QByteArray& name : namesIn(outputs->path())) {
            ::unlink((QFile::encodeName(outputs->path()) + '/' + name).constData());
        }
    }

    void commandLines_data() {
        QTest::addColumn<QStringList>("arguments"); // SONG stands for the 10 s source
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("printed");    // what stdout starts with
        QTest::addColumn<QString>("complaint");  // found on stderr; empty: stderr stays empty
        QTest::addColumn<QByteArray>("written"); // the file that appears; empty: none
        QTest::addColumn<QString>("fileBlocks");
        const QString none;
        const QString unlimited = QStringLiteral("unlimited");
        QTest::newRow("direct") << QStringList{"--cut", "1.5", "0:04.25", "SONG", "-o", "out.mp3"}
                                << 0 << none << none << QByteArray("out.mp3") << unlimited;
        QTest::newRow("convert, --opt=value, the format's extension")
            << QStringList{"--cut",         "1", "2", "SONG", "--output=out.flac", "--format=wav",
                           "--bitrate=128K"}
            << 0 << none << none << QByteArray("out.wav") << unlimited;
        QTest::newRow("a name after --")
            << QStringList{"--cut", "1", "2", "-o", "out.mp3", "--", "SONG"} << 0 << none << none
            << QByteArray("out.mp3") << unlimited;
        QTest::newRow("direct, a name that is not text")
            << QStringList{"--cut", "1", "2", "SONG", "-o", "x\\377\\376.mp3"} << 0 << none << none
            << QByteArray("x\xff\xfe.mp3") << unlimited;
        QTest::newRow("convert, a name that is not text")
            << QStringList{"--cut",       "1",        "2",   "SONG",      "-o",
                           "y\\377\\376", "--format", "WAV", "--bitrate", "128k"}
            << 0 << none << none << QByteArray("y\xff\xfe.wav") << unlimited;
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: snipora" << none
                              << QByteArray() << unlimited;
        QTest::newRow("version") << QStringList{"--version"} << 0 << "snipora " << none
                                 << QByteArray() << unlimited;
        QTest::newRow("-o takes --version as its value")
            << QStringList{"--cut", "1", "2", "/nonexistent.mp3", "-o", "--version"} << 1 << none
            << "/nonexistent.mp3" << QByteArray() << unlimited;
        QTest::newRow("past the end")
            << QStringList{"--cut", "2", "0:12", "SONG", "-o", "out.mp3"} << 1 << none
            << "does not lie within" << QByteArray() << unlimited;
        QTest::newRow("converted, past the end: the encoder ends and leaves nothing")
            << QStringList{"--cut", "2",        "0:12", "SONG",      "-o",
                           "out",   "--format", "MP3",  "--bitrate", "128k"}
            << 1 << none << "does not lie within" << QByteArray() << unlimited;
        QTest::newRow("full disk")
            << QStringList{"--cut", "0", "8", "SONG", "-o", "out.mp3"} << 1 << none
            << "could not be written (File too large)" << QByteArray() << QStringLiteral("64");
        QTest::newRow("unknown option")
            << QStringList{"--cut", "1", "2", "SONG", "-o", "out.mp3", "--fast"} << 2 << none
            << "Unknown option 'fast'" << QByteArray() << unlimited;
        QTest::newRow("unknown option, no cut")
            << QStringList{"--fast", "SONG"} << 2 << none << "Unknown option 'fast'" << QByteArray()
            << unlimited;
        QTest::newRow("a window option with the cut")
            << QStringList{"--cut", "1", "2", "SONG", "-o", "out.mp3", "-stylesheet", "a.qss"} << 2
            << none << "Unknown option 'stylesheet'" << QByteArray() << unlimited;
        QTest::newRow("no output") << QStringList{"--cut", "1", "2", "SONG"} << 2 << none
                                   << "usage:" << QByteArray() << unlimited;
        QTest::newRow("-o without a value") << QStringList{"--cut", "1", "2", "SONG", "-o"} << 2
                                            << none << "Missing value" << QByteArray() << unlimited;
        QTest::newRow("not a time")
            << QStringList{"--cut", "1", "soon", "SONG", "-o", "out.mp3"} << 2 << none
            << "soon is not a time" << QByteArray() << unlimited;
        QTest::newRow("unknown format")
            << QStringList{"--cut", "1", "2", "SONG", "-o", "o", "--format", "OGG"} << 2 << none
            << "--format takes one of" << QByteArray() << unlimited;
        QTest::newRow("unknown bitrate")
            << QStringList{"--cut", "1",        "2",   "SONG",      "-o",
                           "o",     "--format", "MP3", "--bitrate", "100k"}
            << 2 << none << "--bitrate takes one of" << QByteArray() << unlimited;
        QTest::newRow("split at times into a new folder")
            << QStringList{"--split", "SONG", "--at", "2.5,0:07", "-o", "pieces"} << 0 << none
            << none << QByteArray("pieces") << unlimited;
        QTest::newRow("a split point past the end")
            << QStringList{"--split", "SONG", "--at", "2,12", "-o", "pieces"} << 1 << none
            << "the split point 0:12.000 does not lie within the file (0:10.000 long)"
            << QByteArray() << unlimited;
        QTest::newRow("no pause in a steady tone")
            << QStringList{"--split", "SONG", "--pauses", "-o", "pieces"} << 1 << none
            << "no pause of 0.8 s or more below -40 dBFS" << QByteArray() << unlimited;
        QTest::newRow("split with two sources")
            << QStringList{"--split", "SONG", "--at", "2", "--pauses", "-o", "pieces"} << 2 << none
            << "--split takes one of --at, --cue, --pauses or --every" << QByteArray() << unlimited;
        QTest::newRow("split by a missing cue sheet")
            << QStringList{"--split", "SONG", "--cue", "gone.cue", "-o", "pieces"} << 1 << none
            << "cannot read the cue sheet gone.cue" << QByteArray() << unlimited;
        QTest::newRow("split options without --split")
            << QStringList{"--cut", "1", "2", "SONG", "-o", "out.mp3", "--overwrite"} << 2 << none
            << "go with --split" << QByteArray() << unlimited;
        QTest::newRow("a pause threshold without --pauses")
            << QStringList{"--split", "SONG", "--every", "3", "--threshold", "-30", "-o", "p"} << 2
            << none << "go with --pauses" << QByteArray() << unlimited;
        QTest::newRow("split and convert, with fades")
            << QStringList{"--split",  "SONG", "--every",   "3",  "-o",         "pieces",
                           "--format", "WAV",  "--fade-in", "20", "--fade-out", "20"}
            << 0 << none << none << QByteArray("pieces") << unlimited;
        QTest::newRow("split into an unknown format")
            << QStringList{"--split", "SONG", "--every", "3", "-o", "p", "--format", "OGG"} << 2
            << none << "--format takes one of" << QByteArray() << unlimited;
        QTest::newRow("split with a fade too long")
            << QStringList{"--split", "SONG", "--every", "3", "-o", "p", "--fade-out", "-5"} << 2
            << none << "--fade-out takes milliseconds from 0 to 10000" << QByteArray() << unlimited;
        QTest::newRow("split pieces shorter than their fades")
            << QStringList{"--split", "SONG",      "--every", "3",          "-o",
                           "pieces",  "--fade-in", "2000",    "--fade-out", "2000"}
            << 0 << none << "shorter than the fades together" << QByteArray("pieces") << unlimited;
        QTest::newRow("bitrate without format")
            << QStringList{"--cut", "1", "2", "SONG", "-o", "o.mp3", "--bitrate", "128k"} << 2
            << none << "--bitrate goes with --format" << QByteArray() << unlimited;
        QTest::newRow("direct, fades")
            << QStringList{"--cut",   "1",         "3",  "SONG",         "-o",
                           "out.mp3", "--fade-in", "50", "--fade-out=50"}
            << 0 << none << none << QByteArray("out.mp3") << unlimited;
        QTest::newRow("fades longer than the section")
            << QStringList{"--cut",   "1",         "2",   "SONG",       "-o",
                           "out.mp3", "--fade-in", "800", "--fade-out", "800"}
            << 0 << none << "shortened to 500 ms and 500 ms" << QByteArray("out.mp3") << unlimited;
        QTest::newRow("fade too long")
            << QStringList{"--cut", "1", "2", "SONG", "-o", "out.mp3", "--fade-in", "10001"} << 2
            << none << "--fade-in takes milliseconds from 0 to 10000" << QByteArray() << unlimited;
        QTest::newRow("fades on a conversion")
            << QStringList{"--cut", "1",        "2",   "SONG",       "-o",
                           "o",     "--format", "WAV", "--fade-out", "90"}
            << 0 << none << none << QByteArray("o.wav") << unlimited;
        QTest::newRow("remove") << QStringList{"--remove", "2", "4", "SONG", "-o", "out.mp3"} << 0
                                << none << "taking out 0:0" << QByteArray("out.mp3") << unlimited;
        QTest::newRow("remove, snapped")
            << QStringList{"--remove", "2", "4", "SONG", "-o", "out.mp3", "--snap"} << 0 << none
            << "snapped to the quiet: 0:0" << QByteArray("out.mp3") << unlimited;
        QTest::newRow("convert, snapped")
            << QStringList{"--cut", "2", "4", "SONG", "-o", "o", "--format", "WAV", "--snap"} << 0
            << none << "snapped to the quiet: 0:0" << QByteArray("o.wav") << unlimited;
        QTest::newRow("snap without a cut")
            << QStringList{"--snap", "SONG"} << 2 << none << "--snap goes with --cut and --remove"
            << QByteArray() << unlimited;
        QTest::newRow("remove the whole file")
            << QStringList{"--remove", "0", "10", "SONG", "-o", "out.mp3"} << 1 << none
            << "takes out the whole file" << QByteArray() << unlimited;
        QTest::newRow("remove with cut")
            << QStringList{"--remove", "2", "4", "SONG", "-o", "out.mp3", "--cut"} << 2 << none
            << "--remove goes with none of --cut and the fades" << QByteArray() << unlimited;
        QTest::newRow("remove three sections, joins softened")
            << QStringList{"--remove", "2", "4",    "--remove", "0",       "1",          "--remove",
                           "6",        "7", "SONG", "-o",       "out.mp3", "--join-fade"}
            << 0 << none << "taking out 0:00.000 to 0:01.000, 0:0" << QByteArray("out.mp3")
            << unlimited;
        QTest::newRow("remove, converted")
            << QStringList{"--remove", "2",  "4",   "--remove", "3",   "5",
                           "SONG",     "-o", "out", "--format", "FLAC"}
            << 0 << none << none << QByteArray("out.flac") << unlimited;
        QTest::newRow("remove all of it, converted")
            << QStringList{"--remove", "0",  "6",   "--remove", "5",  "10",
                           "SONG",     "-o", "out", "--format", "WAV"}
            << 1 << none << "takes out the whole file" << QByteArray() << unlimited;
        QTest::newRow("remove, a time missing")
            << QStringList{"--remove", "2", "4", "--remove", "6", "SONG", "-o", "out.mp3"} << 2
            << none << "usage: snipora --remove START END [--remove START END]..." << QByteArray()
            << unlimited;
        QTest::newRow("join fade without remove")
            << QStringList{"--cut", "2", "4", "SONG", "-o", "out.mp3", "--join-fade"} << 2 << none
            << "--join-fade goes with --remove" << QByteArray() << unlimited;
        QTest::newRow("join fade on a conversion")
            << QStringList{"--remove", "2",           "4",        "SONG", "-o",
                           "o",        "--join-fade", "--format", "WAV"}
            << 2 << none << "a --format conversion cross-fades its joins itself" << QByteArray()
            << unlimited;
    }
    void commandLines() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, printed);
        QFETCH(QString, complaint);
        QFETCH(QByteArray, written);
        QFETCH(QString, fileBlocks);
        arguments.replaceInStrings(QStringLiteral("SONG"), song);
        const Run run = runProgram(arguments, outputs->path(), fileBlocks);
        QCOMPARE(run.status, status);
        QVERIFY2(run.printed.startsWith(printed.toUtf8()), run.printed.constData());
        QVERIFY2(complaint.isEmpty() ? run.errors.isEmpty()
                                     : run.errors.contains(complaint.toUtf8()),
                 run.errors.constData());
        // Only the file asked for appears, under the bytes of its name.
        QCOMPARE(namesIn(outputs->path()),
                 written.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{written});
    }

    // The program loads what a cut or a split needs and nothing of the window, the player or
    // the network, whose libraries would cost every cut their loading.
    void cutAndSplitLoadNoWindowLibrary_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("cut") << QStringList{"--cut", "1", "2", "SONG", "-o", "out.mp3"};
        QTest::newRow("split") << QStringList{"--split", "SONG", "--every", "3", "-o", "pieces"};
    }
    void cutAndSplitLoadNoWindowLibrary() {
        QFETCH(QStringList, arguments);
        arguments.replaceInStrings(QStringLiteral("SONG"), song);
        QProcess run;
        run.setWorkingDirectory(outputs->path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("libs"));
        run.setProcessEnvironment(environment);
        run.start(program, arguments);
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 0);
        const QByteArray loaded = run.readAllStandardError();
        QVERIFY2(loaded.contains("libQt6Core"), "the loader's trace is missing");
        for (const char* library : {"libQt6Gui", "libQt6Widgets", "libQt6Multimedia",
                                    "libQt6Network", "libpulse", "libgstreamer"}) {
            QVERIFY2(!loaded.contains(library), library);
        }
    }

    void signalsKeepTheOldOutput_data() {
        QTest::addColumn<QStringList>("save");
        QTest::addColumn<int>("signalNumber");
        const QStringList direct{"-o", "out.mp3"};
        const QStringList convert{"-o", "out.mp3", "--format", "MP3", "--bitrate", "128k"};
        for (const auto& [name, number] :
             {std::pair{"SIGTERM", SIGTERM}, std::pair{"SIGINT", SIGINT},
              std::pair{"SIGHUP", SIGHUP}}) {
            QTest::addRow("direct, %s", name) << direct << number;
            QTest::addRow("convert, %s", name) << convert << number;
        }
    }
    void signalsKeepTheOldOutput() {
        QFETCH(QStringList, save);
        QFETCH(int, signalNumber);
        const bool converting = save.contains(QStringLiteral("--format"));
        QFile old(outputs->filePath(QStringLiteral("out.mp3")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        QProcess cut;
        cut.setWorkingDirectory(outputs->path());
        // As started from a terminal, even when the tests run as a background job, whose SIGINT
        // the shell ignores (and the program then leaves ignored).
        cut.setChildProcessModifier([] {
            for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
                ::signal(number, SIG_DFL);
            }
        });
        cut.start(program, QStringList{"--cut", "0", "1:30:00", longSong} + save);
        QVERIFY(cut.waitForStarted());
        const qint64 pid = cut.processId();
        // Mid-save: the direct copy once the program has begun, the encoder once it runs and
        // its file is there.
        QList<qint64> encoders;
        QTRY_VERIFY_WITH_TIMEOUT(catchesTermination(pid) &&
                                     (!converting || ((encoders = childrenOf(pid)).size() == 1 &&
                                                      namesIn(outputs->path()).size() == 2)),
                                 20000);
        ::kill(static_cast<pid_t>(pid), signalNumber);
        QVERIFY(cut.waitForFinished(20000));

        QCOMPARE(cut.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cut.exitCode(), 128 + signalNumber);
        QVERIFY2(cut.readAllStandardError().isEmpty(), "no failure is reported");
        QCOMPARE(namesIn(outputs->path()), QList<QByteArray>{"out.mp3"});
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
        for (const qint64 encoder : encoders) {
            QVERIFY2(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(encoder)),
                     "the encoder was ended");
        }
    }
};

SNIPORA_TEST(TestHeadlessCut)
#include "tst_headless_cut.moc"
