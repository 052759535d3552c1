// The main window as a user meets it, on the host's fakes.
#include "app/main_window.h"
#include "app/time_field.h"
#include "app/waveform_view.h"
#include "app/window_layout.h"
#include "core/mp3_frame_map.h"
#include "platform/window_menu.h"
#include "support/files.h"
#include "support/test_main.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace snipora;

class TestMainWindow : public test::WindowFixture {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void refusedFileLeavesTheNoFileLook() {
        openPlaying();
        QVERIFY(test::writeFile(dir.filePath(QStringLiteral("song.txt")), "not sound"));
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("song.txt")));
        fakes->media.onCommand = [&](const QByteArray& command) {
            if (command.startsWith("open ")) {
                fakes->media.defaultStatus = 296;
            }
        };
        window->openNamedFile(path);
        QCOMPARE(fakes->messages.shown.constLast().text,
                 QStringLiteral("song.txt cannot be played: it holds no MPEG audio that can be "
                                "decoded."));
        QCOMPARE(window->playPauseButton->text(), QStringLiteral("Play"));
        QCOMPARE(window->positionLabel->text(), QStringLiteral("0 : 0 : 0"));
        QCOMPARE(window->session().state(), PlayerState::NoFile);
    }

    // The copy runs beside the window: its menu opens and its timers run meanwhile.
    void windowAnswersDuringDirectSave() {
        const QString source = dir.filePath(QStringLiteral("long.mp3"));
        QProcess encoder;
        encoder.start(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i", "sine=d=600",
                                                 "-b:a", "32k", "-y", source});
        QVERIFY(encoder.waitForFinished(60000) && QFileInfo(source).size() > 0);
        fakes->media.setLength(600000);
        fakes->media.setMode("playing");
        QVERIFY(!window->session().open(QFile::encodeName(source), 1));
        window->session().setStart(0);
        window->session().setEnd(600000);
        fakes->dialogs.saveAnswers.push_back(dir.filePath(QStringLiteral("cut.mp3")));
        window->directSave();
        QVERIFY(window->isSaving());
        QCOMPARE(window->windowTitle(), QStringLiteral("Saving..."));
        QMenu* menu = window->windowMenu->open(QPoint(10, 10));
        QVERIFY(menu && menu->isVisible());
        QVERIFY(window->isSaving());
        menu->close();
        QTRY_VERIFY_WITH_TIMEOUT(!window->isSaving(), 60000);
        QCOMPARE(fakes->messages.shown.constLast().text, QStringLiteral("Done"));
        QVERIFY(window->directSaveButton->isEnabled());
    }

    void closingDuringASaveAsksFirst() {
        openPlaying();
        window->session().setStart(1000);
        window->session().setEnd(2000);
        window->formatList->setCurrentText(QStringLiteral("FLAC"));
        window->bitrateList->setCurrentText(QStringLiteral("128k"));
        fakes->processes.next.neverEnds = true;
        fakes->dialogs.saveAnswers.push_back(dir.filePath(QStringLiteral("out.flac")));
        window->convertSave();
        QVERIFY(window->isSaving());
        fakes->messages.answers.push_back(MessageAnswer::No);
        QVERIFY(!window->close());
        QVERIFY(window->isSaving());
        QCOMPARE(fakes->processes.running(), 1);
    }

    void convertProgressFollowsTheEncoder() {
        openPlaying();
        window->session().setStart(1000);
        window->session().setEnd(5000);
        window->formatList->setCurrentText(QStringLiteral("MP3"));
        window->bitrateList->setCurrentText(QStringLiteral("128k"));
        fakes->processes.next.neverEnds = true;
        fakes->dialogs.saveAnswers.push_back(dir.filePath(QStringLiteral("out.mp3")));
        window->convertSave();
        QCOMPARE(fakes->dialogs.saveRequests.constLast().fileName,
                 QStringLiteral(SNIPORA_PROGRAM_DIR "/thanks 0.01.000-0.05.000.mp3"));
        // No report yet: the bar steps by itself.
        QTRY_VERIFY(window->saveProgress->value() > 0);
    }

    void convertProgressAndCancel() {
        openPlaying();
        window->session().setStart(1000);
        window->session().setEnd(5000);
        window->formatList->setCurrentText(QStringLiteral("FLAC"));
        window->bitrateList->setCurrentText(QStringLiteral("512k"));
        fakes->processes.next.neverEnds = true;
        fakes->processes.next.output = "out_time_us=2000000\nprogress=continue\n";
        fakes->dialogs.saveAnswers.push_back(dir.filePath(QStringLiteral("out.flac")));
        window->convertSave();
        // Half of the four seconds written.
        QTRY_COMPARE(window->saveProgress->value(), 50);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        fakes->messages.answers.push_back(MessageAnswer::Yes);
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!window->isSaving());
        QCOMPARE(fakes->processes.killed.size(), 1);
        QCOMPARE(fakes->messages.shown.constLast().text, QStringLiteral("Convert Save cancelled."));
        QVERIFY(window->convertSaveButton->isEnabled());
        QCOMPARE(window->saveProgress->value(), 0);
        // The encoder's hidden file is gone with it.
        QVERIFY(QDir(dir.path())
                    .entryList({QStringLiteral(".out.*")}, QDir::Files | QDir::Hidden)
                    .isEmpty());
    }

    // The save cuts from the file as it was opened, whatever has become of its name since.
    void directSaveCutsWhatWasOpened_data() {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("replaced by a shorter file") << true;
        QTest::newRow("deleted") << false;
    }
    void directSaveCutsWhatWasOpened() {
        QFETCH(bool, replaced);
        const auto encode = [](const QString& path, const char* seconds) {
            QProcess ffmpeg;
            ffmpeg.start(QStringLiteral("ffmpeg"),
                         {"-v", "error", "-f", "lavfi", "-i",
                          QStringLiteral("sine=d=%1").arg(QLatin1String(seconds)), "-b:a", "128k",
                          "-y", path});
            return ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0;
        };
        const QString source = dir.filePath(QStringLiteral("song.mp3"));
        const QString other = dir.filePath(QStringLiteral("other.mp3"));
        QVERIFY(encode(source, "3") && encode(other, "0.4"));
        fakes->media.setLength(3000);
        fakes->media.setMode("playing");
        QVERIFY(!window->session().open(QFile::encodeName(source), 1));
        window->session().setStart(500);
        window->session().setEnd(1500);
        QVERIFY(replaced ? ::rename(QFile::encodeName(other).constData(),
                                    QFile::encodeName(source).constData()) == 0
                         : QFile::remove(source));
        const QString cut = dir.filePath(QStringLiteral("cut %1.mp3").arg(replaced));
        fakes->dialogs.saveAnswers.push_back(cut);
        window->directSave();
        QTRY_VERIFY_WITH_TIMEOUT(!window->isSaving(), 10000);
        QCOMPARE(fakes->messages.shown.constLast().text, QStringLiteral("Done"));
        QFile output(cut);
        QVERIFY(output.open(QIODevice::ReadOnly));
        const auto map = Mp3FrameMap::scan(output.handle(), nullptr);
        QVERIFY(map);
        QCOMPARE(map->lengthSamples(), std::int64_t{44100});
    }

    // A dark desktop theme leaves every text of the window readable, enabled or not.
    void textReadsOnADarkTheme() {
        const QPalette before = QApplication::palette();
        QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
        QApplication::setPalette(dark);
        MainWindow themed(fakes->host());
        QApplication::setPalette(before);
        for (QWidget* widget : themed.findChildren<QWidget*>()) {
            const QPalette& p = widget->palette();
            for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Disabled}) {
                const QList<std::pair<QPalette::ColorRole, QPalette::ColorRole>> pairs{
                    {QPalette::WindowText, QPalette::Window},
                    {QPalette::ButtonText, QPalette::Button},
                    {QPalette::Text, QPalette::Base}};
                for (const auto& [text, background] : pairs) {
                    if (widget == themed.displayPanel ||
                        themed.displayPanel->isAncestorOf(widget)) {
                        continue; // black, with the waveform's own fixed colours (tested there)
                    }
                    const double ratio =
                        contrastRatio(p.color(group, text), p.color(group, background));
                    QVERIFY2(ratio >= 4.5,
                             qPrintable(
                                 QStringLiteral("%1: %2:1").arg(widget->objectName()).arg(ratio)));
                }
            }
        }
    }

    void keysMarkAndNudgeWhilePaused() {
        openPlaying(60000, 0);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->windowTitle(), QStringLiteral("thanks.txt - Snipora"));
        QTest::keyClick(window.get(), Qt::Key_Space);
        QCOMPARE(window->session().state(), PlayerState::Paused);
        fakes->media.setPosition(2000);
        QTest::keyClick(window.get(), Qt::Key_I);
        fakes->media.setPosition(4000);
        QTest::keyClick(window.get(), Qt::Key_O);
        QCOMPARE(window->session().selection(), (Selection{2000, 4000}));
        // One MPEG frame later: 1152 samples at 44,100 Hz.
        QTest::keyClick(window.get(), Qt::Key_Period);
        QCOMPARE(window->session().selection().end, 4026);
        QTest::keyClick(window.get(), Qt::Key_Comma);
        QCOMPARE(window->session().selection().end, 4000);
        QCOMPARE(window->endLabel->toolTip(), QStringLiteral("0:04.000"));
    }

    // Ctrl+G moves the cursor to a typed time; a double click on a mark's label types that
    // mark's time and makes it the active one. Bad text gets a word and changes nothing.
    void typedTimesMoveTheCursorOrAMark_data() {
        QTest::addColumn<QString>("target"); // "go to", "start", "end"
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("cursor");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<QString>("problem");
        QTest::newRow("go to") << "go to"
                               << "0:42.125" << qint64(42125) << qint64(2000) << qint64(4000) << "";
        QTest::newRow("go to, rounded")
            << "go to"
            << "1.0005" << qint64(1001) << qint64(2000) << qint64(4000) << "";
        QTest::newRow("start") << "start"
                               << "1.005" << qint64(0) << qint64(1005) << qint64(4000) << "";
        QTest::newRow("end") << "end"
                             << "0:50" << qint64(0) << qint64(2000) << qint64(50000) << "";
        QTest::newRow("not a time") << "end"
                                    << "1:75" << qint64(0) << qint64(2000) << qint64(4000)
                                    << "Not a time: type m:ss.mmm or seconds";
        QTest::newRow("past the end")
            << "go to"
            << "2:00" << qint64(0) << qint64(2000) << qint64(4000) << "Past the end (1:00.000)";
    }
    void typedTimesMoveTheCursorOrAMark() {
        QFETCH(QString, target);
        QFETCH(QString, typed);
        QFETCH(qint64, cursor);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(QString, problem);
        openPlaying(60000, 0);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->session().setStart(2000);
        window->session().setEnd(4000);
        if (target == QStringLiteral("go to")) {
            QTest::keyClick(window.get(), Qt::Key_G, Qt::ControlModifier);
        } else {
            QTest::mouseDClick(target == QStringLiteral("start") ? window->startLabel
                                                                 : window->endLabel,
                               Qt::LeftButton);
            QCOMPARE(window->session().activeMark(),
                     target == QStringLiteral("start") ? Mark::Start : Mark::End);
        }
        QVERIFY(window->timeField->isVisible());
        QLineEdit* edit = window->timeField->edit();
        edit->selectAll();
        fakes->media.commands.clear();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(window->timeField->problem(), problem);
        QCOMPARE(window->timeField->isVisible(), !problem.isEmpty());
        QCOMPARE(window->session().selection(), (Selection{start, end}));
        // Playing, the cursor moves by playing on from the typed time.
        const QByteArray seek = "play movie from " + QByteArray::number(cursor);
        QCOMPARE(fakes->media.commands.contains(seek), cursor != 0);
        QTest::keyClick(edit, Qt::Key_Escape);
        QVERIFY(!window->timeField->isVisible());
    }

    // The zoom keys act on the waveform around the cursor; F6, F7 and L play from the marks.
    void zoomAndEdgeKeys() {
        openPlaying(3600000, 1800000);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Space);
        window->session().setStart(1800000);
        window->session().setEnd(1805000);
        WaveformView* view = window->waveformView;
        const double whole = view->viewSpanMs();
        QTest::keyClick(window.get(), Qt::Key_Plus);
        QCOMPARE(view->viewSpanMs(), whole / 2);
        QTest::keyClick(window.get(), Qt::Key_Minus);
        QCOMPARE(view->viewSpanMs(), whole);
        QTest::keyClick(window.get(), Qt::Key_Z);
        QVERIFY(view->viewFromMs() < 1800000 && view->viewFromMs() + view->viewSpanMs() > 1805000);
        QVERIFY(view->viewSpanMs() < 6000);
        QTest::keyClick(window.get(), Qt::Key_0);
        QVERIFY(!view->isZoomed());
        const QList<std::pair<Qt::Key, QByteArray>> plays{{Qt::Key_F6, "from 1800000"},
                                                          {Qt::Key_F7, "from 1803000"},
                                                          {Qt::Key_L, "from 1800000"}};
        for (const auto& [key, from] : plays) {
            fakes->media.commands.clear();
            QTest::keyClick(window.get(), key);
            QVERIFY2(fakes->media.commands.contains("play movie " + from),
                     qPrintable(fakes->media.commands.join(' ')));
        }
        QVERIFY(window->session().isLooping());
    }

    void websiteWithoutOpenerGivesTheAddress() {
        fakes->links.fails = true;
        window->websiteButton->click();
        QCOMPARE(fakes->links.opened.size(), 1);
        QVERIFY(fakes->messages.shown.constLast().text.contains(
            fakes->links.opened.constFirst().toString()));
    }
};

SNIPORA_TEST(TestMainWindow)
#include "tst_main_window.moc"
