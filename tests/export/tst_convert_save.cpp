// Convert Save on the fake host: checks and messages, the command handed to the encoder, the
// lock, the dialog, the in-use and overwrite checks, and failures that keep the old file.
#include "app/form1.h"
#include "app/position_slider.h"
#include "export/encoder_command.h"
#include "support/fake_host.h"
#include "support/files.h"
#include "support/test_main.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace snipora;
using snipora::test::FakeHost;
using snipora::test::FakeProcessLauncher;

namespace {
QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// What the fake encoder writes into the output it is given.
const QByteArray encoded("encoded audio");

// Records each control's enabled changes, in order.
class EnabledLog : public QObject {
public:
    QList<QPair<QWidget*, bool>> changes;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) {
            auto* widget = static_cast<QWidget*>(watched);
            changes << qMakePair(widget, widget->isEnabled());
        }
        return false;
    }
};
} // namespace

class TestConvertSave : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<Form1> form;

    QString path(const QString& name) const { return dir->filePath(name); }
    QString programFolder() const { return fakes->program.folder; }
    const FakeProcessLauncher::Launch& launch() const {
        return fakes->processes.launches.constLast();
    }
    QStringList messages() const {
        QStringList texts;
        for (const auto& shown : fakes->messages.shown) {
            texts << shown.text;
        }
        return texts;
    }
    void choose(const QString& format, const QString& bitrate) {
        form->Combo1->setCurrentText(format);
        form->Combo2->setCurrentText(bitrate);
    }

private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        fakes = std::make_unique<FakeHost>();
        form = std::make_unique<Form1>(fakes->host());
        QVERIFY(test::writeFile(path(QStringLiteral("song.mp3")), "source audio"));
        form->sourceFile = path(QStringLiteral("song.mp3"));
        form->markStart = 12345;
        form->markEnd = 45678;
        choose(QStringLiteral("MP3"), QStringLiteral("128k"));
        // The fake encoder writes its output file, as a successful run does.
        fakes->processes.next.onStart = [](const FakeProcessLauncher::Launch& started) {
            if (!test::writeFile(started.arguments.constLast(), encoded)) {
                QTest::qFail("the fake encoder could not write its output", __FILE__, __LINE__);
            }
        };
    }
    void cleanup() {
        form.reset();
        fakes.reset();
        dir.reset();
    }

    // The command line people read, byte for byte, and the arguments the encoder gets.
    void commandLine_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<int>("markStart");
        QTest::addColumn<int>("markEnd");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("expected");
        const QString p = QStringLiteral("\"/opt/Tools/Cutter/ffmpeg\"");
        QTest::newRow("MP3 128k") << "MP3"
                                  << "128k" << 12345 << 45678 << "/music/part.mp3"
                                  << p + " -ss  12 -t  33 -i \"/music/song.mp3\" -ab 128k "
                                         "\"/music/part.mp3\"";
        QTest::newRow("WMA 64k") << "WMA"
                                 << "64k" << 12345 << 45678 << "/music/part.wma"
                                 << p + " -ss  12 -t  33 -i \"/music/song.mp3\" -ab 64k -ar "
                                        "22050  -acodec wmav2 \"/music/part.wma\"";
        QTest::newRow("marks in the same second")
            << "MP3"
            << "128k" << 12100 << 12900 << "/music/part.mp3"
            << p + " -ss  12 -t  0 -i \"/music/song.mp3\" -ab 128k \"/music/part.mp3\"";
        QTest::newRow("length is the difference of whole seconds")
            << "MP3"
            << "128k" << 12900 << 14100 << "/music/part.mp3"
            << p + " -ss  12 -t  2 -i \"/music/song.mp3\" -ab 128k \"/music/part.mp3\"";
        QTest::newRow("start mark raised to 1") << "MP3"
                                                << "128k" << 1 << 5000 << "/music/part.mp3"
                                                << p + " -ss  0 -t  5 -i \"/music/song.mp3\" -ab "
                                                       "128k \"/music/part.mp3\"";
        QTest::newRow("32k MP3") << "MP3"
                                 << "32k" << 12345 << 45678 << "/music/part.mp3"
                                 << p + " -ss  12 -t  33 -i \"/music/song.mp3\" -ab 32k -ar "
                                        "22050  \"/music/part.mp3\"";
        QTest::newRow("512k WMA") << "WMA"
                                  << "512k" << 12345 << 45678 << "/music/part.wma"
                                  << p + " -ss  12 -t  33 -i \"/music/song.mp3\" -ab 512k "
                                         "-acodec wmav2 \"/music/part.wma\"";
        QTest::newRow("64k AC3 at AC3's lowest rate")
            << "AC3"
            << "64k" << 12345 << 45678 << "/music/part.ac3"
            << p + " -ss  12 -t  33 -i \"/music/song.mp3\" -ab 64k -ar 32000  \"/music/part.ac3\"";
        QTest::newRow("path with blanks") << "FLAC"
                                          << "256k" << 0 << 61000 << "/my music/a b.flac"
                                          << p + " -ss  0 -t  61 -i \"/music/song.mp3\" -ab "
                                                 "256k \"/my music/a b.flac\"";
    }
    void commandLine() {
        QFETCH(QString, format);
        QFETCH(QString, bitrate);
        QFETCH(int, markStart);
        QFETCH(int, markEnd);
        QFETCH(QString, output);
        QFETCH(QString, expected);
        const ProcessCommand command =
            encoderCommand(EncoderJob{QStringLiteral("/opt/Tools/Cutter"), markStart, markEnd,
                                      QStringLiteral("/music/song.mp3"), bitrate,
                                      encoderExtraOptions(format, bitrate), output});
        QCOMPARE(command.commandLine, expected);
        QCOMPARE(command.program, QStringLiteral("/opt/Tools/Cutter/ffmpeg"));
        QCOMPARE(QStringList(command.program) + command.arguments,
                 QProcess::splitCommand(command.commandLine));
    }

    void convertsIntoTheChosenFile() {
        const QString target = path(QStringLiteral("part.mp3"));
        fakes->dialogs.saveAnswers = {target};
        QStringList titleDuringRun;
        QList<bool> lockedDuringRun;
        fakes->processes.next.runningQueries = 3;
        fakes->pump.everyPass = [&] {
            titleDuringRun << form->windowTitle();
            for (QWidget* control : form->lockedControls()) {
                lockedDuringRun << !control->isEnabled();
            }
        };
        form->Command8_Click();

        const FileDialogRequest request = fakes->dialogs.saveRequests.constLast();
        QCOMPARE(request.filter, QStringLiteral("MP3 Files|*.mp3|All Files(*.*)|*.*"));
        QCOMPARE(request.filterIndex, 1);
        QCOMPARE(request.title, QStringLiteral("Save"));

        QCOMPARE(launch().program, programFolder() + "/ffmpeg");
        const QStringList arguments = launch().arguments;
        QCOMPARE(arguments.mid(0, arguments.size() - 1),
                 (QStringList{"-ss", "12", "-t", "33", "-i", form->sourceFile, "-ab", "128k"}));
        // The encoder writes beside the target under a name of its own, with the same extension.
        const QFileInfo written(arguments.constLast());
        QCOMPARE(written.absolutePath(), QFileInfo(target).absolutePath());
        QCOMPARE(written.suffix(), QStringLiteral("mp3"));
        QVERIFY(written.fileName() != QStringLiteral("part.mp3"));
        QVERIFY(!written.exists());

        QCOMPARE(contents(target), encoded);
        QCOMPARE(messages(), QStringList{"Done                "});
        QCOMPARE(fakes->messages.shown[0].style, MessageStyle::Information);
        QCOMPARE(titleDuringRun, QStringList(4, QStringLiteral("Saving...")));
        QCOMPARE(lockedDuringRun, QList<bool>(4 * 11, true));
        QCOMPARE(form->windowTitle(), QStringLiteral("Snipora"));
        QCOMPARE(form->pb->value(), 0);
        for (QWidget* control : form->lockedControls()) {
            QVERIFY(control->isEnabled());
        }
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        QCOMPARE(form->H->value(), 0);
        QVERIFY(fakes->media.commands.contains("stop movie"));
        QCOMPARE(form->Cdlg.FileName, target);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"part.mp3", "song.mp3"}));
    }

    // "Done" comes while the window is still locked; the controls come back in the lock order.
    void unlocksInOrderAfterTheMessage() {
        fakes->dialogs.saveAnswers = {path(QStringLiteral("part.mp3"))};
        EnabledLog log;
        for (QWidget* control : form->lockedControls()) {
            control->installEventFilter(&log);
        }
        bool lockedAtMessage = false;
        fakes->messages.onShow = [&](const QString&) {
            lockedAtMessage = !form->Command1->isEnabled() && !form->H->isEnabled();
        };
        form->Command8_Click();
        QVERIFY(lockedAtMessage);
        QList<QPair<QWidget*, bool>> expected;
        for (bool enabled : {false, true}) {
            for (QWidget* control : form->lockedControls()) {
                expected << qMakePair(control, enabled);
            }
        }
        QCOMPARE(log.changes, expected);
    }

    void filterNamesTheFormat_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("filter");
        QTest::newRow("MP3") << "MP3"
                             << "MP3 Files|*.mp3|All Files(*.*)|*.*";
        QTest::newRow("FLAC") << "FLAC"
                              << "FLAC Files|*.flac|All Files(*.*)|*.*";
        QTest::newRow("M4A") << "M4A"
                             << "M4A Files|*.m4a|All Files(*.*)|*.*";
    }
    void filterNamesTheFormat() {
        QFETCH(QString, format);
        QFETCH(QString, filter);
        choose(format, QStringLiteral("128k"));
        form->Command8_Click();
        QCOMPARE(fakes->dialogs.saveRequests.constLast().filter, filter);
    }

    void startMarkZeroBecomesOne() {
        form->markStart = 0;
        form->markEnd = 4000;
        fakes->dialogs.saveAnswers = {path(QStringLiteral("part.mp3"))};
        form->Command8_Click();
        QCOMPARE(form->markStart, 1);
        QCOMPARE(launch().arguments.mid(0, 4), (QStringList{"-ss", "0", "-t", "4"}));
    }

    // Early stops: a message (or none), nothing locked, no dialog, nothing started.
    void checksStopBeforeAnythingChanges_data() {
        QTest::addColumn<int>("markStart");
        QTest::addColumn<int>("markEnd");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<bool>("fileOpen");
        QTest::addColumn<QString>("message");
        const QString invalid =
            QStringLiteral("Start time cannot be >= End time. Invalid Selection");
        QTest::newRow("start after end") << 5000 << 4000 << "MP3"
                                         << "128k" << true << invalid;
        QTest::newRow("start equals end") << 4000 << 4000 << "MP3"
                                          << "128k" << true << invalid;
        QTest::newRow("nothing marked, nothing chosen") << 0 << 0 << "Select Format"
                                                        << "Bitrate" << false << invalid;
        QTest::newRow("format placeholder") << 0 << 4000 << "Select Format"
                                            << "128k" << true << "Please select output format.";
        QTest::newRow("bitrate placeholder")
            << 0 << 4000 << "MP3"
            << "Bitrate" << true << "Please select output bitrate.";
        QTest::newRow("no file open") << 1000 << 4000 << "MP3"
                                      << "128k" << false << QString();
    }
    void checksStopBeforeAnythingChanges() {
        QFETCH(int, markStart);
        QFETCH(int, markEnd);
        QFETCH(QString, format);
        QFETCH(QString, bitrate);
        QFETCH(bool, fileOpen);
        QFETCH(QString, message);
        form->markStart = markStart;
        form->markEnd = markEnd;
        choose(QStringLiteral("WAV"), QStringLiteral("64k")); // a real choice first
        choose(format, bitrate);
        if (!fileOpen) {
            form->sourceFile.clear();
        }
        form->Command1->setText(QStringLiteral("Pause"));
        form->Command8_Click();
        QCOMPARE(messages(), message.isEmpty() ? QStringList() : QStringList{message});
        QVERIFY(fakes->dialogs.saveRequests.isEmpty());
        QVERIFY(fakes->processes.launches.isEmpty());
        QVERIFY(fakes->media.commands.isEmpty());
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
        for (QWidget* control : form->lockedControls()) {
            QVERIFY(control->isEnabled());
        }
    }

    void cancelTakesTheAbortPath() {
        form->Cdlg.FileName = path(QStringLiteral("earlier.mp3"));
        form->pb->setValue(30);
        form->Command8_Click();
        QCOMPARE(fakes->dialogs.saveRequests.size(), 1);
        QCOMPARE(fakes->dialogs.saveRequests[0].fileName, path(QStringLiteral("earlier.mp3")));
        QVERIFY(fakes->processes.launches.isEmpty());
        QVERIFY(messages().isEmpty());
        QCOMPARE(form->windowTitle(), QStringLiteral("Snipora"));
        QCOMPARE(form->pb->value(), 0);
        QVERIFY(form->Cdlg.FileName.isEmpty());
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        for (QWidget* control : form->lockedControls()) {
            QVERIFY(control->isEnabled());
        }
    }

    // The open file under any spelling is refused; a name differing in letter case is another
    // file.
    void openFileIsInUse_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("inUse");
        QTest::newRow("same path") << "song.mp3" << true;
        QTest::newRow("dot-dot spelling") << "sub/../song.mp3" << true;
        QTest::newRow("link to it") << "link.mp3" << true;
        QTest::newRow("typed without extension") << "song" << true;
        QTest::newRow("letter case differs") << "SONG.mp3" << false;
    }
    void openFileIsInUse() {
        QFETCH(QString, chosen);
        QFETCH(bool, inUse);
        QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("sub")));
        QVERIFY(QFile::link(form->sourceFile, path(QStringLiteral("link.mp3"))));
        fakes->dialogs.saveAnswers = {path(chosen)};
        form->Command8_Click();
        QCOMPARE(contents(form->sourceFile), QByteArray("source audio"));
        if (inUse) {
            QCOMPARE(messages(),
                     QStringList{"The selected file is in use and cannot be overwritten."});
            QVERIFY(fakes->processes.launches.isEmpty());
            QVERIFY(form->Cdlg.FileName.isEmpty());
            QCOMPARE(form->windowTitle(), QStringLiteral("Snipora"));
            QVERIFY(form->Command8->isEnabled());
        } else {
            QCOMPARE(messages(), QStringList{"Done                "});
            QCOMPARE(contents(path(chosen)), encoded);
        }
    }

    void overwriteQuestion_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No keeps the file") << false;
        QTest::newRow("Yes replaces it") << true;
    }
    void overwriteQuestion() {
        QFETCH(bool, yes);
        const QString target = path(QStringLiteral("part.mp3"));
        QVERIFY(test::writeFile(target, "old take"));
        fakes->dialogs.saveAnswers = {target};
        fakes->messages.answers = {yes ? MessageAnswer::Yes : MessageAnswer::No};
        form->Command8_Click();
        QCOMPARE(fakes->messages.shown[0].text,
                 QStringLiteral("Do you want to overwrite the existing file?"));
        QCOMPARE(fakes->messages.shown[0].style, MessageStyle::Question);
        if (yes) {
            QCOMPARE(messages().size(), 2);
            QCOMPARE(messages()[1], QStringLiteral("Done                "));
            QCOMPARE(contents(target), encoded);
            QCOMPARE(form->Cdlg.FileName, target);
        } else {
            QCOMPARE(messages().size(), 1);
            QVERIFY(fakes->processes.launches.isEmpty());
            QCOMPARE(contents(target), QByteArray("old take"));
            QVERIFY(form->Cdlg.FileName.isEmpty());
            QVERIFY(form->Command8->isEnabled());
        }
    }

    // An unreadable file is still a file: it is replaced only after the question.
    void unreadableTargetIsAskedAbout() {
        const QString target = path(QStringLiteral("part.mp3"));
        QVERIFY(test::writeFile(target, "old take"));
        QFile::setPermissions(target, QFileDevice::WriteOwner);
        fakes->dialogs.saveAnswers = {target};
        form->Command8_Click();
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(messages(), QStringList{"Do you want to overwrite the existing file?"});
        QCOMPARE(contents(target), QByteArray("old take"));
    }

    void nameWithoutExtensionGetsTheFormats() {
        choose(QStringLiteral("FLAC"), QStringLiteral("128k"));
        QVERIFY(test::writeFile(path(QStringLiteral("part.flac")), "old take"));
        fakes->dialogs.saveAnswers = {path(QStringLiteral("part"))};
        fakes->messages.answers = {MessageAnswer::Yes};
        form->Command8_Click();
        QCOMPARE(messages(), (QStringList{"Do you want to overwrite the existing file?",
                                          "Done                "}));
        QCOMPARE(QFileInfo(launch().arguments.constLast()).suffix(), QStringLiteral("flac"));
        QCOMPARE(contents(path(QStringLiteral("part.flac"))), encoded);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("part"))));
        QCOMPARE(form->Cdlg.FileName, path(QStringLiteral("part.flac")));
    }

    void secondRunOffersTheFirstRunsFile() {
        const QString target = path(QStringLiteral("part.mp3"));
        fakes->dialogs.saveAnswers = {target, target};
        fakes->messages.answers = {MessageAnswer::Yes};
        form->Command8_Click();
        form->Command8_Click();
        QCOMPARE(fakes->dialogs.saveRequests[1].fileName, target);
        QCOMPARE(messages(),
                 (QStringList{"Done                ", "Do you want to overwrite the existing file?",
                              "Done                "}));
        QCOMPARE(fakes->processes.launches.size(), 2);
    }

    // Every failed run names its failure, keeps the old file and leaves no temporary behind.
    void failureKeepsTheOldFile_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("encoder exits non-zero")
            << 0
            << "Convert Save failed: the encoder ended with exit status 1.\n\nConversion failed!";
        QTest::newRow("encoder writes nothing")
            << 1 << "Convert Save failed: the encoder wrote no output file.";
        QTest::newRow("launch fails") << 2
                                      << "Convert Save failed: the encoder %1 could not be "
                                         "started.";
        QTest::newRow("no encoder in the program's folder")
            << 3 << "Convert Save failed: the encoder %1 was not found.";
        QTest::newRow("status unreadable")
            << 4 << "Convert Save failed: the encoder's result could not be read.";
    }
    void failureKeepsTheOldFile() {
        QFETCH(int, kind);
        QFETCH(QString, message);
        QTemporaryDir emptyFolder;
        auto& script = fakes->processes.next;
        switch (kind) {
        case 0:
            script.exitCode = 1;
            script.errorLine = QStringLiteral("Conversion failed!");
            break;
        case 1:
            script.onStart = nullptr;
            break;
        case 2:
            script.startFails = true;
            break;
        case 3:
            script.startFails = true;
            fakes->program.folder = emptyFolder.path();
            break;
        case 4:
            script.queryFails = true;
            break;
        }
        const QString target = path(QStringLiteral("part.mp3"));
        QVERIFY(test::writeFile(target, "old take"));
        fakes->dialogs.saveAnswers = {target};
        fakes->messages.answers = {MessageAnswer::Yes};
        form->Command8_Click();
        QCOMPARE(messages().size(), 2);
        if (message.contains(QStringLiteral("%1"))) {
            message = message.arg(programFolder() + "/ffmpeg");
        }
        QCOMPARE(messages()[1], message);
        QCOMPARE(contents(target), QByteArray("old take"));
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"part.mp3", "song.mp3"}));
        QCOMPARE(form->windowTitle(), QStringLiteral("Snipora"));
        QCOMPARE(form->pb->value(), 0);
        QVERIFY(form->H->isEnabled());
    }

    void targetThatCannotBeReplacedIsReported() {
        const QString target = path(QStringLiteral("part.mp3"));
        QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("part.mp3/inside")));
        fakes->dialogs.saveAnswers = {target};
        fakes->messages.answers = {MessageAnswer::Yes};
        form->Command8_Click();
        QCOMPARE(messages().size(), 2);
        QVERIFY2(messages()[1].startsWith(QStringLiteral("Convert Save failed: ") + target +
                                          QStringLiteral(" could not be replaced (")),
                 qPrintable(messages()[1]));
        QVERIFY(QFileInfo(path(QStringLiteral("part.mp3/inside"))).isDir());
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"song.mp3"});
    }

    // Paths reach the encoder whole, as single arguments, whatever they hold.
    void pathsReachTheEncoderWhole() {
        const QString odd = QStringLiteral("my \"best\" $(touch pwned) `id`\nnew line");
        QVERIFY(QDir(dir->path()).mkpath(odd));
        const QString source = path(odd + QStringLiteral("/in put.mp3"));
        QVERIFY(test::writeFile(source, "source audio"));
        form->sourceFile = source;
        const QString target = path(odd + QStringLiteral("/out \"$(x)\".mp3"));
        fakes->dialogs.saveAnswers = {target};
        form->Command8_Click();
        const QStringList arguments = launch().arguments;
        QCOMPARE(arguments.size(), 9);
        QCOMPARE(arguments[5], source);
        QCOMPARE(QFileInfo(arguments[8]).absolutePath(), QFileInfo(target).absolutePath());
        QCOMPARE(contents(target), encoded);
        QCOMPARE(messages(), QStringList{"Done                "});
    }
};

SNIPORA_TEST(TestConvertSave)
#include "tst_convert_save.moc"
