// The main window as it starts: every control where the layout puts it, with its captions, lists
// and states, the tab order, and the lock a save puts on it.
#include "about/browser_panel.h"
#include "app/main_window.h"
#include "app/piece_list_panel.h"
#include "app/position_slider.h"
#include "app/remembered_choices.h"
#include "support/test_main.h"
#include "support/window_fixture.h"
#include "widgets/window_layout.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

using namespace snipora;

class TestWindowLayout : public test::WindowFixture {
    Q_OBJECT

    QWidget* control(const QString& objectName) const {
        auto* found = window->findChild<QWidget*>(objectName);
        return found;
    }

private slots:
    // Each control keeps its designer name as its object name, and its place in twips / 15.
    void geometryIsTwipsOverFifteen_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        auto row = [](const char* name, int l, int t, int w, int h) {
            QTest::newRow(name) << QString::fromLatin1(name) << QRect(l, t, w, h);
        };
        row("Label4", 6150, 135, 735, 240);
        row("Command1", 6030, 420, 1005, 330);
        row("Command2", 6030, 885, 1005, 330);
        row("Command4", 6030, 1365, 1005, 330);
        row("Label7", 6120, 1950, 810, 180);
        row("Command5", 6030, 2190, 1005, 330);
        row("Label9", 6120, 2730, 810, 180);
        row("Command6", 6030, 2970, 1005, 330);
        row("Command3", 6015, 3525, 990, 330);
        row("Frame1", 105, 120, 5790, 3735);
        row("H", 345, 1635, 5235, 375);
        row("Label3", 360, 3915, 1005, 180);
        row("Command9", 105, 4155, 1530, 330);
        row("Command7", 1710, 4155, 1275, 330);
        row("Command8", 3075, 4155, 1305, 330);
        row("Combo1", 4455, 4155, 1470, 315);
        row("Combo2", 5940, 4155, 1095, 315);
        row("pb", 75, 4590, 6930, 345);
        row("WebBrowser1", 120, 5040, 6855, 1095);
        row("P", 1020, 7005, 5295, 4215);
    }
    void geometryIsTwipsOverFifteen() {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        QWidget* widget = control(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(widget->geometry(),
                 QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    }

    // Grown by 200 × 100 the waveform panel takes the room, the right column moves with the
    // right edge at its size, the bottom rows move down and stretch; at the lowest height only
    // the web panel gives way. Back at the start-up size everything is where it was.
    void growsIntoTheWaveformPanel_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("expected");
        const QSize grown(678, 511);
        const QSize lowest(478, 361);
        QTest::newRow("panel") << "Frame1" << grown << QRect(7, 8, 586, 349);
        QTest::newRow("waveform") << "waveformView" << grown << QRect(0, 0, 586, 349);
        QTest::newRow("slider") << "H" << grown << QRect(23, 109, 549, 25);
        QTest::newRow("play") << "Command1" << grown << QRect(602, 28, 67, 22);
        QTest::newRow("website") << "Command3" << grown << QRect(601, 235, 66, 22);
        QTest::newRow("position") << "Label4" << grown << QRect(610, 9, 49, 16);
        QTest::newRow("play selected") << "Command9" << grown << QRect(7, 377, 142, 22);
        QTest::newRow("bitrate") << "Combo2" << grown << QRect(556, 377, 113, 21);
        QTest::newRow("progress") << "pb" << grown << QRect(5, 406, 662, 23);
        QTest::newRow("web panel") << "WebBrowser1" << grown << QRect(8, 436, 657, 73);
        QTest::newRow("lowest: panel") << "Frame1" << lowest << QRect(7, 8, 386, 249);
        QTest::newRow("lowest: progress") << "pb" << lowest << QRect(5, 306, 462, 23);
        QTest::newRow("lowest: web panel") << "WebBrowser1" << lowest << QRect(8, 336, 457, 23);
    }
    void growsIntoTheWaveformPanel() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(QRect, expected);
        QWidget* widget = control(name);
        QVERIFY2(widget, qPrintable(name));
        const QRect start = widget->geometry();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->resize(size);
        QTRY_COMPARE(window->size(), size);
        QTRY_COMPARE(widget->geometry(), expected);
        window->resize(478, 411);
        QTRY_COMPARE(widget->geometry(), start);
    }

    // The size and place the window had when the program ended are where the next start opens
    // it; tests keep these settings in the test folder, never the user's.
    void sizeIsKeptBetweenStarts() {
        QSettings settings(QString::fromLatin1(settingsOrganisation),
                           QString::fromLatin1(settingsApplication));
        QVERIFY2(!settings.fileName().startsWith(QDir::homePath()),
                 qPrintable(settings.fileName()));
        settings.remove(QStringLiteral("window"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->resize(700, 500);
        QTRY_COMPARE(window->size(), QSize(700, 500));
        QVERIFY_THROWS_EXCEPTION(test::ProgramEnded, window->quit());
        window = std::make_unique<MainWindow>(fakes->host());
        QCOMPARE(window->size(), QSize(478, 411)); // built at the start-up size
        window->start();
        QTRY_COMPARE(window->size(), QSize(700, 500));
        settings.remove(QStringLiteral("window"));
    }

    void startsWithItsCaptionsAndLists() {
        QCOMPARE(window->size(), QSize(478, 411));
        QCOMPARE(window->minimumSize(), QSize(478, 361));
        QVERIFY(window->maximumSize().width() > 1280 && window->maximumSize().height() > 800);
        QCOMPARE(window->windowTitle(), QStringLiteral("Snipora"));
        const QList<std::pair<QPushButton*, const char*>> buttons{
            {window->playPauseButton, "Play"},
            {window->stopButton, "Stop"},
            {window->websiteButton, "Website"},
            {window->openButton, "Open"},
            {window->markStartButton, "Mark Start"},
            {window->markEndButton, "Mark End"},
            {window->directSaveButton, "Direct Save"},
            {window->convertSaveButton, "Convert Save"},
            {window->playSelectionButton, "Play Selected"}};
        for (const auto& [button, caption] : buttons) {
            QCOMPARE(button->text(), QString::fromLatin1(caption));
            QVERIFY(button->isEnabled());
        }
        const auto items = [](const QComboBox* list) {
            QStringList all;
            for (int i = 0; i < list->count(); ++i) {
                all << list->itemText(i);
            }
            return all;
        };
        QCOMPARE(items(window->formatList),
                 (QStringList{"Select Format", "MP3", "WAV", "AAC", "WMA", "FLAC", "M4A", "AC3"}));
        QCOMPARE(items(window->bitrateList),
                 (QStringList{"Bitrate", "512k", "256k", "128k", "64k", "32k"}));
        QVERIFY(!window->formatList->isEditable());
        for (QLabel* label : {window->positionLabel, window->startLabel, window->endLabel,
                              window->selectionLengthLabel}) {
            QCOMPARE(label->text(), QStringLiteral("hh:mm:ss"));
        }
        QCOMPARE(window->positionSlider->maximum(), 10);
        QCOMPARE(window->positionSlider->pageStep(), 5);
        QVERIFY(window->videoHost->isHidden());
        // What start-up does not show is built when first needed.
        QVERIFY(!window->findChild<PieceListPanel*>());
        QVERIFY(fakes->media.commands.isEmpty());
    }

    // At the start-up size each time label shows its whole text, from the placeholder to the
    // longest time of a ten-hour file.
    void timeLabelsShowWholeTimes_data() {
        QTest::addColumn<int>("lengthMs"); // 0: no file
        QTest::newRow("start-up") << 0;
        QTest::newRow("an hour") << 3600000;
        QTest::newRow("9:59:59") << 35999999;
    }
    void timeLabelsShowWholeTimes() {
        QFETCH(int, lengthMs);
        if (lengthMs > 0) {
            openPlaying(lengthMs, lengthMs - 1);
            window->session().seekTo(lengthMs - 1);
            window->session().setStart(lengthMs - 600000);
            window->session().setEnd(lengthMs - 1);
            QVERIFY(window->endLabel->text().contains(lengthMs > 3600000 ? "59 : 59" : "59"));
        }
        for (QLabel* label : {window->positionLabel, window->startLabel, window->endLabel,
                              window->selectionLengthLabel}) {
            const QString text = label->text();
            const QFontMetrics metrics(label->font());
            const QRect ink = metrics.tightBoundingRect(text).translated(0, metrics.ascent());
            const QString what = label->objectName() + QStringLiteral(": ") + text;
            QVERIFY2(metrics.horizontalAdvance(text) <= label->contentsRect().width(),
                     qPrintable(what));
            QVERIFY2(ink.top() >= 0 && ink.bottom() < label->contentsRect().height(),
                     qPrintable(what));
            // Readable still: no smaller than 7 pixels.
            QVERIFY2(label->font().pixelSize() >= 7, qPrintable(what));
        }
    }

    // A fit is kept for the next start and used only where it was found: in sequence, each row
    // would take the row before's fit if another font or place could reuse it.
    void fontFitIsKeptPerFontAndPlace_data() {
        QTest::addColumn<int>("pixels");
        QTest::addColumn<QSize>("room");
        QTest::newRow("the position label's place") << 11 << QSize(49, 16);
        QTest::newRow("a narrower place") << 11 << QSize(40, 16);
        QTest::newRow("a larger font with room") << 16 << QSize(200, 40);
        QTest::newRow("the window's font with room") << 11 << QSize(200, 40);
    }
    void fontFitIsKeptPerFontAndPlace() {
        QFETCH(int, pixels);
        QFETCH(QSize, room);
        const QStringList texts{QStringLiteral("hh:mm:ss"), QStringLiteral("9:59:59")};
        // The first fit is measured (or kept from an earlier run), the second is the kept one.
        for (int start = 0; start < 2; ++start) {
            QLabel label(texts.first());
            QFont font = label.font();
            font.setPixelSize(pixels);
            label.setFont(font);
            label.resize(room);
            fitFontToTexts(&label, texts);
            const QFont measured = largestFittingFont(font, label.contentsRect(), texts);
            QCOMPARE(label.font().pixelSize(), measured.pixelSize());
            QCOMPARE(label.font().stretch(), measured.stretch());
        }
    }

    void tabGoesAsTheEyeReads() {
        QList<QWidget*> expected;
        expected << window->positionSlider << window->playPauseButton << window->stopButton
                 << window->openButton << window->markStartButton << window->markEndButton
                 << window->websiteButton << window->edgesButton << window->fadeInBox
                 << window->fadeOutBox << window->playSelectionButton << window->directSaveButton
                 << window->convertSaveButton << window->formatList << window->bitrateList
                 << window->webPanel;
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QWidget* next = expected[i - 1]->nextInFocusChain();
            // Skip what takes no focus (the web panel's viewport, the waveform) and a control's
            // own parts (a spin box's text).
            while (next &&
                   (next->focusPolicy() == Qt::NoFocus || expected[i - 1]->isAncestorOf(next))) {
                next = next->nextInFocusChain();
            }
            QCOMPARE(next, expected[i]);
        }
    }

    void aSaveLocksTheControlsInOrder() {
        QList<QWidget*> order;
        order << window->playPauseButton << window->stopButton << window->openButton
              << window->markStartButton << window->markEndButton << window->directSaveButton
              << window->playSelectionButton << window->formatList << window->bitrateList
              << window->convertSaveButton << window->positionSlider;
        QCOMPARE(window->lockedControls(), order);
        openPlaying();
        window->session().setStart(1000);
        window->session().setEnd(2000);
        fakes->dialogs.saveAnswers.push_back(std::nullopt); // the user cancels
        window->directSave();
        // Paused, not stopped: the place in the file is kept.
        QCOMPARE(fakes->media.commands.count("pause movie"), 1);
        QCOMPARE(fakes->media.commands.count("stop movie"), 0);
        QCOMPARE(fakes->dialogs.saveRequests.size(), 1);
        for (QWidget* locked : window->lockedControls()) {
            QVERIFY(locked->isEnabled());
        }
        QCOMPARE(window->windowTitle(), QStringLiteral("thanks.txt - Snipora"));
        QCOMPARE(window->playPauseButton->text(), QStringLiteral("Play"));
    }
};

SNIPORA_TEST(TestWindowLayout)
#include "tst_window_layout.moc"
