// Open on the scripted device: the command sequence, the window it leaves, a cancel, and the
// files named on the command line or dropped on the window.
#include "app/form1.h"
#include "app/position_slider.h"
#include "support/fake_host.h"
#include "support/form_fixture.h"
#include "support/test_main.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace snipora;
using snipora::test::FakeHost;
using snipora::test::FakeMedia;

using Commands = QList<QByteArray>;

namespace {
QByteArray openCommand(const QString& path, const QWidget* parent) {
    return "open \"" + path.toUtf8() + "\" type mpegvideo alias movie parent " +
           QByteArray::number(Form1::windowHandleOf(parent)) + " style child ";
}

// The commands of a whole Open, from the pause of the old file to the length query.
Commands openCommands(const QString& path, const QWidget* parent) {
    return {"pause movie",        "close all",
            "close movie",        openCommand(path, parent),
            "play movie",         "set movie time format ms",
            "status movie length"};
}
} // namespace

class TestOpenFile : public snipora::test::FormFixture {
    Q_OBJECT

    void open(const QString& path, std::int32_t lengthMs) {
        fakes->dialogs.openAnswers.push_back(path);
        fakes->media.setLength(lengthMs);
        form->Command4->click();
    }
    QStringList selectionLabels() const {
        return {form->Label7->text(), form->Label9->text(), form->Label3->text()};
    }
    QList<float> lineXs() const {
        return {form->Line1.X1(), form->Line1.X2(), form->Line2.X1(), form->Line2.X2()};
    }

private slots:
    void openPlaysAndPreparesTheWindow() {
        const QString path = QStringLiteral("/music/my song.mp3");
        open(path, 7500);

        QCOMPARE(fakes->media.commands, openCommands(path, form->P));
        QCOMPARE(fakes->dialogs.openRequests.size(), 1);
        QCOMPARE(fakes->dialogs.openRequests[0].filter,
                 QStringLiteral("MP3 Files (*.mp3)|*.mp3|All Files (*.*)|*.*"));
        QCOMPARE(fakes->dialogs.openRequests[0].fileName, QString());
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
        QVERIFY(form->timerEnabled());
        QCOMPARE(form->H->maximum(), 7);
        QCOMPARE(form->H->value(), 0);
        QCOMPARE(form->markerScale, 9230 / 7);
        QCOMPARE(selectionLabels(), QStringList(3, QStringLiteral("0 : 0 : 0")));
        QCOMPARE(form->Label4->text(), QStringLiteral("hh:mm:ss")); // left to the next tick
        QCOMPARE(form->sourceFile, path);
        QCOMPARE(form->player().Filename, QStringLiteral("\"/music/my song.mp3\""));
        QCOMPARE(form->Cdlg.FileName, QString());
        QCOMPARE(lineXs(), (QList<float>{170, 170, 9400, 9400}));
        QVERIFY(fakes->pump.passes > 0); // the half-second wait after play
    }

    void openWhilePlayingClosesTheFirstAndResets() {
        open(QStringLiteral("/music/first.mp3"), 300000);
        form->markStart = 4000;
        form->markEnd = 9000;
        form->Label7->setText(QStringLiteral(" 0 : 0 : 4"));
        form->Label9->setText(QStringLiteral(" 0 : 0 : 9"));
        form->Label3->setText(QStringLiteral(" 0 : 0 : 5"));
        form->Line1.setX1(700);
        form->Line2.setX2(1900);
        form->H->setValue(12);
        form->Label4->setText(QStringLiteral(" 0 : 0 : 12"));
        fakes->media.commands.clear();

        const QString second = QStringLiteral("/music/second.mp3");
        open(second, 2000 * 1000);

        // Paused first, then every device closed before the new one opens.
        QCOMPARE(fakes->media.commands, openCommands(second, form->P));
        QCOMPARE(form->markStart, 0);
        QCOMPARE(form->markEnd, 0);
        QCOMPARE(selectionLabels(), QStringList(3, QStringLiteral("0 : 0 : 0")));
        QCOMPARE(form->H->value(), 0);
        QCOMPARE(form->H->maximum(), 2000);
        QCOMPARE(lineXs(), (QList<float>{170, 170, 9400, 9400}));
        QCOMPARE(form->Label4->text(), QStringLiteral(" 0 : 0 : 12"));
        QCOMPARE(form->sourceFile, second);
    }

    void markerScaleFollowsTheLength_data() {
        QTest::addColumn<int>("lengthMs");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("markerScale");
        // The scale before the open is 77; a maximum of 0 keeps it.
        QTest::newRow("2000 s") << 2000 * 1000 << 2000 << 4;
        QTest::newRow("10000 s") << 10000 * 1000 << 10000 << 0;
        QTest::newRow("7.5 s") << 7500 << 7 << 1318;
        QTest::newRow("under a second") << 999 << 0 << 77;
        QTest::newRow("empty") << 0 << 0 << 77;
    }
    void markerScaleFollowsTheLength() {
        QFETCH(int, lengthMs);
        QFETCH(int, maximum);
        QFETCH(int, markerScale);
        form->markerScale = 77;
        open(QStringLiteral("/music/a.mp3"), lengthMs);
        QCOMPARE(form->H->maximum(), maximum);
        QCOMPARE(form->H->minimum(), 0);
        QCOMPARE(form->markerScale, markerScale);
        // The steps after the skipped one still ran.
        QCOMPARE(lineXs(), (QList<float>{170, 170, 9400, 9400}));
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
    }

    void markerLinesGoBackOnlyAfterTheWait() {
        form->Line1.setX1(600);
        bool sawWait = false;
        fakes->pump.onPass(1, [&] {
            sawWait = true;
            // A tick may run here: the timer is already on, the lines not yet moved back.
            QVERIFY(form->timerEnabled());
            QCOMPARE(form->Line1.X1(), 600.0f);
        });
        open(QStringLiteral("/music/a.mp3"), 5000);
        QVERIFY(sawWait);
        QCOMPARE(form->Line1.X1(), 170.0f);
    }

    void cancelKeepsThePreviousFilePaused() {
        const QString path = QStringLiteral("/music/first.mp3");
        open(path, 60000);
        form->markStart = 1000;
        form->markEnd = 2000;
        form->Label7->setText(QStringLiteral(" 0 : 0 : 1"));
        form->H->setValue(9);
        form->Line1.setX1(500);
        form->markerScale = 33;
        fakes->media.commands.clear();

        fakes->dialogs.openAnswers.push_back(std::nullopt);
        form->Command4->click();

        QCOMPARE(fakes->media.commands, Commands{"pause movie"});
        QCOMPARE(fakes->dialogs.openRequests.size(), 2);
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        QVERIFY(!form->timerEnabled());
        QCOMPARE(form->sourceFile, path);
        QCOMPARE(form->markStart, 1000);
        QCOMPARE(form->markEnd, 2000);
        QCOMPARE(form->Label7->text(), QStringLiteral(" 0 : 0 : 1"));
        QCOMPARE(form->H->value(), 9);
        QCOMPARE(form->H->maximum(), 60);
        QCOMPARE(form->Line1.X1(), 500.0f);
        QCOMPARE(form->markerScale, 33);
    }

    void aRefusedFileStillShowsThePlayingLook() {
        // The device refuses everything and writes no reply: the length reads as 0.
        fakes->media.defaultStatus = 275;
        fakes->dialogs.openAnswers.push_back(QStringLiteral("/music/broken.mp3"));
        form->Command4->click();
        QCOMPARE(form->player().Error, 275);
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
        QVERIFY(form->timerEnabled());
        QCOMPARE(form->H->maximum(), 0);
        QCOMPARE(form->markerScale, 0);
        QCOMPARE(form->sourceFile, QStringLiteral("/music/broken.mp3"));
    }

    void aLengthBeyondRangeIsSkipped() {
        // A reply too large for 32 bits fails the length step only; the rest of Open runs.
        fakes->dialogs.openAnswers.push_back(QStringLiteral("/music/a.mp3"));
        fakes->media.answer("status movie length", QByteArray("99999999999"));
        form->markerScale = 5;
        form->Command4->click();
        QCOMPARE(form->H->maximum(), 10);
        QCOMPARE(form->markerScale, 923);
        QCOMPARE(lineXs(), (QList<float>{170, 170, 9400, 9400}));
    }

    void commandLineFileOpensWithoutTheDialog() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("my song.mp3")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        fakes->media.setLength(5000);
        form->openNamedFile(QStringLiteral("my song.mp3")); // relative, as typed
        QDir::setCurrent(previous);

        const QString absolute = QFileInfo(file).absoluteFilePath();
        QCOMPARE(fakes->dialogs.openRequests.size(), 0);
        QCOMPARE(fakes->media.commands, openCommands(absolute, form->P));
        QCOMPARE(form->sourceFile, absolute);
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
        QCOMPARE(form->Cdlg.FileName, QString());

        // The preset answers once: the next Open asks the user again.
        fakes->media.commands.clear();
        form->Command4->click();
        QCOMPARE(fakes->dialogs.openRequests.size(), 1);
        QCOMPARE(fakes->media.commands, Commands{"pause movie"});
        QCOMPARE(form->sourceFile, absolute);
    }

    void aMissingNamedFileChangesNothing() {
        open(QStringLiteral("/music/first.mp3"), 60000);
        fakes->media.commands.clear();
        form->openNamedFile(QStringLiteral("/nowhere/typo.mp3"));
        QCOMPARE(fakes->messages.shown.size(), 1);
        QCOMPARE(fakes->messages.shown[0].text,
                 QStringLiteral("The file /nowhere/typo.mp3 cannot be found."));
        QVERIFY(fakes->media.commands.isEmpty());
        QCOMPARE(form->sourceFile, QStringLiteral("/music/first.mp3"));
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
    }

    void dropsAnywhereReachTheWindow() {
        QVERIFY(form->acceptDrops());
        for (const QWidget* child : form->findChildren<QWidget*>()) {
            QVERIFY2(!child->acceptDrops(), child->metaObject()->className());
        }
    }

    void droppedFileOpens_data() {
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("local");
        QTest::addColumn<bool>("opens");
        QTest::newRow("local file") << false << true << true;
        QTest::newRow("web address") << false << false << false;
        QTest::newRow("while a save locks Open") << true << true << false;
    }
    void droppedFileOpens() {
        QFETCH(bool, locked);
        QFETCH(bool, local);
        QFETCH(bool, opens);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dropped.mp3"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        if (locked) {
            form->enterSavingState();
        }
        fakes->media.commands.clear();
        fakes->media.setLength(4000);

        QMimeData mime;
        mime.setUrls({local ? QUrl::fromLocalFile(path)
                            : QUrl(QStringLiteral("https://example.org/dropped.mp3"))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &enter);
        QCOMPARE(enter.isAccepted(), opens);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &drop);
        QCOMPARE(drop.isAccepted(), opens);
        // The open runs once the drop has been answered.
        QVERIFY(fakes->media.commands.isEmpty());
        QCoreApplication::processEvents();

        if (opens) {
            QCOMPARE(fakes->media.commands, openCommands(path, form->P));
            QCOMPARE(form->sourceFile, path);
        } else {
            QVERIFY(fakes->media.commands.isEmpty());
            QCOMPARE(form->sourceFile, QString());
        }
        QCOMPARE(fakes->dialogs.openRequests.size(), 0);
    }
};

SNIPORA_TEST(TestOpenFile)
#include "tst_open_file.moc"
