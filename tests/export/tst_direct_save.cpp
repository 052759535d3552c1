// Direct Save end to end on real files in a temporary folder, the media length scripted.
#include "app/form1.h"
#include "app/position_slider.h"
#include "support/fake_host.h"
#include "support/files.h"
#include "support/test_main.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <random>
#include <sys/resource.h>

using namespace snipora;
using snipora::test::FakeHost;
using snipora::test::ProgramEnded;

namespace {
constexpr int sourceBytes = 3'000'000;
constexpr int mediaMs = 187'500; // 16 bytes per millisecond

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList texts(const QList<snipora::test::ShownMessage>& shown) {
    QStringList all;
    for (const auto& message : shown) {
        all << message.text;
    }
    return all;
}
} // namespace

class TestDirectSave : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray source;
    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<Form1> form;

    QString path(const QString& name) const { return dir.filePath(name); }

    // Runs Direct Save with the dialog answering `chosen` (nullopt: cancel).
    void save(const std::optional<QString>& chosen) {
        fakes->dialogs.saveAnswers.push_back(chosen);
        form->Command7->click();
    }

    void verifyWindowRestored() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Snipora"));
        QCOMPARE(form->pb->value(), 0);
        for (QWidget* control : form->lockedControls()) {
            QVERIFY2(control->isEnabled(), qPrintable(control->metaObject()->className()));
        }
    }

    // The folder holds exactly these names: no temporary or partial file is left behind.
    void verifyFolderHolds(QStringList names) {
        names << QStringLiteral("source.mp3");
        names.sort();
        QCOMPARE(QDir(dir.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 names);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        // No two 4096-byte steps alike, so that any shift of the range shows.
        std::mt19937 random(20261207);
        source.resize(sourceBytes);
        for (char& byte : source) {
            byte = static_cast<char>(random() & 0xff);
        }
        QVERIFY(test::writeFile(path("source.mp3"), source));
    }

    void init() {
        fakes = std::make_unique<FakeHost>();
        fakes->media.setLength(mediaMs);
        form = std::make_unique<Form1>(fakes->host());
        form->sourceFile = path("source.mp3");
    }

    void cleanup() {
        form.reset();
        fakes.reset();
        const QStringList entries =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString& name : entries) {
            if (name != QStringLiteral("source.mp3")) {
                QFileInfo(path(name)).isDir() ? (void)QDir(path(name)).removeRecursively()
                                              : (void)QFile::remove(path(name));
            }
        }
        QCOMPARE(readAll(path("source.mp3")), source);
    }

    void workedExample() {
        form->markStart = 1000;
        form->markEnd = 3000;
        form->Command1->setText("Pause");
        form->H->setValue(5);
        struct Seen {
            int value;
            int maximum;
            QString caption;
            bool anyLockedEnabled;
        };
        QList<Seen> seen;
        fakes->pump.everyPass = [&] {
            bool anyEnabled = false;
            for (QWidget* control : form->lockedControls()) {
                anyEnabled = anyEnabled || control->isEnabled();
            }
            seen << Seen{form->pb->value(), form->pb->maximum(), form->windowTitle(), anyEnabled};
        };
        int valueAtDone = -1;
        fakes->messages.onShow = [&](const QString&) {
            valueAtDone = form->pb->value();
        };

        save(path("cut.mp3"));

        QCOMPARE(readAll(path("cut.mp3")), source.mid(15'999, 32'769));
        QCOMPARE(texts(fakes->messages.shown), QStringList{"Done"});
        QCOMPARE(fakes->messages.shown[0].style, MessageStyle::Information);
        // One event pass per 4096-byte step, the bar growing by 4096 each time.
        QCOMPARE(seen.size(), 8);
        for (int i = 0; i < seen.size(); ++i) {
            QCOMPARE(seen[i].value, 4096 * (i + 1));
            QCOMPARE(seen[i].maximum, 36'097);
            QCOMPARE(seen[i].caption, QStringLiteral("Saving..."));
            QVERIFY(!seen[i].anyLockedEnabled);
        }
        QCOMPARE(valueAtDone, 32'768);
        QCOMPARE(form->pb->maximum(), 36'097);
        verifyWindowRestored();
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        QCOMPARE(form->H->value(), 0);
        QCOMPARE(fakes->media.commands.first(), QByteArray("stop movie"));
        QVERIFY(fakes->media.commands.contains("status movie length"));

        QCOMPARE(fakes->dialogs.saveRequests.size(), 1);
        const FileDialogRequest& request = fakes->dialogs.saveRequests[0];
        QCOMPARE(request.filter, QStringLiteral("MP3 Files (*.mp3)|*.mp3|All Files (*.*)|*.*"));
        QCOMPARE(request.filterIndex, 1);
        QCOMPARE(request.title, QStringLiteral("Save"));
        QCOMPARE(request.fileName, QString());
        QCOMPARE(form->Cdlg.FileName, path("cut.mp3"));
        QCOMPARE(form->markStart, 1000);
        verifyFolderHolds({"cut.mp3"});
    }

    void byteRange_data() {
        QTest::addColumn<int>("startMs");
        QTest::addColumn<int>("endMs");
        QTest::addColumn<int>("firstByte"); // 0-based source offset of the output's first byte
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("finalValue");
        QTest::addColumn<int>("storedStart");
        // E - S = 1600: one block.
        QTest::newRow("under one step") << 1000 << 1100 << 15'999 << 4097 << 5697 << 4096 << 1000;
        // E - S = 4096: two blocks.
        QTest::newRow("exactly one step") << 1000 << 1256 << 15'999 << 8193 << 8193 << 8192 << 1000;
        // A start of 0 becomes 1: the first 15 bytes are not copied.
        QTest::newRow("start mark 0") << 0 << 1000 << 15 << 16'385 << 20'081 << 16'384 << 1;
        // 30 blocks would give 122,881 bytes, but the source holds only 120,001 from there on.
        QTest::newRow("up to the end of the source")
            << 180'000 << 187'500 << 2'879'999 << 120'001 << 124'097 << 122'880 << 180'000;
        // The range lies wholly past the end of the source: nothing to copy.
        QTest::newRow("past the end of the source")
            << 190'000 << 190'010 << sourceBytes << 0 << 4257 << 4096 << 190'000;
    }
    void byteRange() {
        QFETCH(int, startMs);
        QFETCH(int, endMs);
        QFETCH(int, firstByte);
        QFETCH(int, length);
        QFETCH(int, maximum);
        QFETCH(int, finalValue);
        QFETCH(int, storedStart);
        form->markStart = startMs;
        form->markEnd = endMs;
        int valueAtDone = -1;
        fakes->messages.onShow = [&](const QString&) {
            valueAtDone = form->pb->value();
        };
        save(path("cut.mp3"));
        QCOMPARE(texts(fakes->messages.shown), QStringList{"Done"});
        const QByteArray written = readAll(path("cut.mp3"));
        QCOMPARE(written.size(), length);
        QVERIFY(written == source.mid(firstByte, length));
        QCOMPARE(form->pb->maximum(), maximum);
        QCOMPARE(valueAtDone, finalValue);
        QCOMPARE(form->markStart, storedStart);
    }

    void invalidSelectionChangesNothing() {
        form->markStart = 5000;
        form->markEnd = 5000;
        save(path("cut.mp3"));
        QCOMPARE(texts(fakes->messages.shown),
                 QStringList{"Start time cannot be >= End time. Invalid Selection"});
        QVERIFY(fakes->media.commands.isEmpty());
        QVERIFY(fakes->dialogs.saveRequests.isEmpty());
        QCOMPARE(form->windowTitle(), QStringLiteral("Snipora"));
        verifyFolderHolds({});
    }

    void sourceChosenAsOutput_data() {
        QTest::addColumn<QString>("spelling");
        QTest::newRow("same path") << "source.mp3";
        QTest::newRow("dot-dot form") << "sub/../source.mp3";
        QTest::newRow("symbolic link") << "link.mp3";
    }
    void sourceChosenAsOutput() {
        QFETCH(QString, spelling);
        QVERIFY(QDir(dir.path()).mkpath("sub"));
        QVERIFY(QFile::link(path("source.mp3"), path("link.mp3")));
        form->markStart = 1000;
        form->markEnd = 3000;
        fakes->messages.answers.push_back(MessageAnswer::Yes);
        save(path(spelling));
        QCOMPARE(texts(fakes->messages.shown),
                 QStringList{"File already in use and cannot be overwritten. Please choose "
                             "another file."});
        QCOMPARE(fakes->messages.shown[0].style, MessageStyle::Information);
        QCOMPARE(form->Cdlg.FileName, QString());
        verifyWindowRestored();
        QVERIFY(QFileInfo(path("link.mp3")).isSymLink());
        // cleanup() checks the source is untouched.
    }

    void existingFile_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes replaces it") << true;
        QTest::newRow("No keeps it") << false;
    }
    void existingFile() {
        QFETCH(bool, yes);
        // Longer than the new cut: none of it may survive past the new length.
        const QByteArray old(100'000, 'x');
        QVERIFY(test::writeFile(path("cut.mp3"), old));
        form->markStart = 1000;
        form->markEnd = 3000;
        fakes->messages.answers.push_back(yes ? MessageAnswer::Yes : MessageAnswer::No);
        save(path("cut.mp3"));
        QCOMPARE(fakes->messages.shown[0].text,
                 QStringLiteral("Do you want to overwrite the existing file?"));
        QCOMPARE(fakes->messages.shown[0].style, MessageStyle::Question);
        if (yes) {
            QCOMPARE(texts(fakes->messages.shown).mid(1), QStringList{"Done"});
            QVERIFY(readAll(path("cut.mp3")) == source.mid(15'999, 32'769));
            QCOMPARE(form->Cdlg.FileName, path("cut.mp3"));
        } else {
            QCOMPARE(fakes->messages.shown.size(), 1);
            QVERIFY(readAll(path("cut.mp3")) == old);
            QCOMPARE(form->Cdlg.FileName, QString());
        }
        verifyWindowRestored();
        verifyFolderHolds({"cut.mp3"});
    }

    void cancelRightAfterAnOpen() {
        form->markStart = 1000;
        form->markEnd = 3000;
        form->pb->setValue(40);
        save(std::nullopt);
        QVERIFY(fakes->messages.shown.isEmpty());
        QCOMPARE(fakes->dialogs.saveRequests.size(), 1);
        QCOMPARE(fakes->dialogs.saveRequests[0].fileName, QString());
        verifyWindowRestored();
        verifyFolderHolds({});
    }

    void twoSavesInARow() {
        form->markStart = 1000;
        form->markEnd = 3000;
        save(path("first.mp3"));
        form->markStart = 2000;
        form->markEnd = 2100;
        save(path("second.mp3"));
        QCOMPARE(fakes->dialogs.saveRequests.size(), 2);
        QCOMPARE(fakes->dialogs.saveRequests[1].fileName, path("first.mp3"));
        QCOMPARE(texts(fakes->messages.shown), (QStringList{"Done", "Done"}));
        QVERIFY(readAll(path("first.mp3")) == source.mid(15'999, 32'769));
        QVERIFY(readAll(path("second.mp3")) == source.mid(31'999, 4097));
    }

    void failedSaveKeepsTheOldFile_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder that cannot hold files") << "plain/cut.mp3"
                                                       << "could not create";
        QTest::newRow("a folder in the way") << "folder"
                                             << "could not";
        QTest::newRow("write fails midway") << "cut.mp3"
                                            << "could not write";
    }
    void failedSaveKeepsTheOldFile() {
        QFETCH(QString, target);
        QFETCH(QString, reason);
        // "plain" is a file, so nothing can be created under it, not even by root.
        QVERIFY(test::writeFile(path("plain"), "not a folder"));
        QVERIFY(QDir(dir.path()).mkpath("folder/inside"));
        const QByteArray old(100'000, 'x');
        QVERIFY(test::writeFile(path("cut.mp3"), old));
        form->markStart = 1000;
        form->markEnd = 3000;
        fakes->messages.answers.push_back(MessageAnswer::Yes);

        // A file-size limit makes writes past 20,000 bytes fail whoever runs the test.
        rlimit before{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (QTest::currentDataTag() == QByteArray("write fails midway")) {
            rlimit limited = before;
            limited.rlim_cur = 20'000;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        }
        save(path(target));
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previousHandler);

        const QStringList shown = texts(fakes->messages.shown);
        QVERIFY2(!shown.contains("Done"), qPrintable(shown.join('|')));
        QVERIFY2(shown.constLast().startsWith("Save failed: " + reason),
                 qPrintable(shown.constLast()));
        QVERIFY(readAll(path("cut.mp3")) == old);
        QVERIFY(QFileInfo(path("folder/inside")).isDir());
        QCOMPARE(form->Cdlg.FileName, QString());
        verifyWindowRestored();
        verifyFolderHolds({"cut.mp3", "folder", "plain"});
    }

    void targetThatCannotBeReplaced() {
        form->markStart = 1000;
        form->markEnd = 3000;
        // While the copy runs, a folder takes the chosen name: the finished copy cannot replace it.
        fakes->pump.onPass(2, [this] { QVERIFY(QDir(dir.path()).mkpath("cut.mp3/inside")); });
        save(path("cut.mp3"));
        QCOMPARE(fakes->messages.shown.size(), 1);
        QVERIFY2(fakes->messages.shown[0].text.startsWith("Save failed: could not replace"),
                 qPrintable(fakes->messages.shown[0].text));
        QVERIFY(QFileInfo(path("cut.mp3/inside")).isDir());
        QCOMPARE(form->Cdlg.FileName, QString());
        verifyWindowRestored();
        verifyFolderHolds({"cut.mp3"});
    }

    void underHalfAByteAPerMillisecond() {
        // 3,000,000 bytes over 10,000,000 ms rounds to 0 bytes per millisecond.
        fakes->media.setLength(10'000'000);
        form->markStart = 1000;
        form->markEnd = 3000;
        save(path("cut.mp3"));
        QCOMPARE(fakes->messages.shown.size(), 1);
        QVERIFY(fakes->messages.shown[0].text.startsWith("Save failed: "));
        verifyWindowRestored();
        verifyFolderHolds({});
    }

    void zeroMediaLengthEndsQuietly() {
        fakes->media.setLength(0);
        form->markStart = 1000;
        form->markEnd = 3000;
        save(path("cut.mp3"));
        QVERIFY(fakes->messages.shown.isEmpty());
        QCOMPARE(form->Cdlg.FileName, QString());
        verifyWindowRestored();
        verifyFolderHolds({});
    }

    void closingTheWindowDuringTheCopy() {
        const QByteArray old(100'000, 'x');
        QVERIFY(test::writeFile(path("cut.mp3"), old));
        form->markStart = 1000;
        form->markEnd = 3000;
        fakes->messages.answers.push_back(MessageAnswer::Yes);
        fakes->dialogs.saveAnswers.push_back(path("cut.mp3"));
        fakes->pump.onPass(3, [this] { form->Form_Unload(); });
        bool resumed = false;
        try {
            form->Command7_Click();
            resumed = true;
        } catch (const ProgramEnded&) {
        }
        QVERIFY(!resumed);
        QCOMPARE(fakes->program.ended, 1);
        QVERIFY(readAll(path("cut.mp3")) == old);
        verifyFolderHolds({"cut.mp3"});
    }
};

SNIPORA_TEST(TestDirectSave)
#include "tst_direct_save.moc"
