// The main window: controls at start-up, geometry, colours, focus order, start-up and shut-down.
#include "about/browser_panel.h"
#include "app/form1.h"
#include "app/position_slider.h"
#include "support/fake_host.h"
#include "support/form_fixture.h"
#include "support/test_main.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace snipora;
using snipora::test::FakeHost;
using snipora::test::ProgramEnded;

namespace {
QWidget* control(Form1& form, const QString& name) {
    const std::map<QString, QWidget*> controls{{QStringLiteral("Label4"), form.Label4},
                                               {QStringLiteral("Command1"), form.Command1},
                                               {QStringLiteral("Command2"), form.Command2},
                                               {QStringLiteral("Command4"), form.Command4},
                                               {QStringLiteral("Label7"), form.Label7},
                                               {QStringLiteral("Command5"), form.Command5},
                                               {QStringLiteral("Label9"), form.Label9},
                                               {QStringLiteral("Command6"), form.Command6},
                                               {QStringLiteral("Command3"), form.Command3},
                                               {QStringLiteral("Frame1"), form.Frame1},
                                               {QStringLiteral("H"), form.H},
                                               {QStringLiteral("Label3"), form.Label3},
                                               {QStringLiteral("Command9"), form.Command9},
                                               {QStringLiteral("Command7"), form.Command7},
                                               {QStringLiteral("Command8"), form.Command8},
                                               {QStringLiteral("Combo1"), form.Combo1},
                                               {QStringLiteral("Combo2"), form.Combo2},
                                               {QStringLiteral("pb"), form.pb},
                                               {QStringLiteral("WebBrowser1"), form.WebBrowser1},
                                               {QStringLiteral("P"), form.P},
                                               {QStringLiteral("Frame4"), form.Frame4}};
    return controls.at(name);
}

QStringList items(const QComboBox* combo) {
    QStringList all;
    for (int i = 0; i < combo->count(); ++i) {
        all << combo->itemText(i);
    }
    return all;
}
} // namespace

class TestForm1 : public snipora::test::FormFixture {
    Q_OBJECT

private slots:
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
        row("Frame4", -75, 4590, 5775, 4815);
    }
    void geometryIsTwipsOverFifteen() {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
        QCOMPARE(control(*form, name)->geometry(), pixels);
    }

    void windowIsFixedWhiteAndTitled() {
        QCOMPARE(form->size(), QSize(478, 411));
        QCOMPARE(form->minimumSize(), QSize(478, 411));
        QCOMPARE(form->maximumSize(), QSize(478, 411));
        QCOMPARE(form->windowTitle(), QStringLiteral("Snipora"));
        QCOMPARE(form->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(form->Frame1->palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(form->Label4->palette().color(QPalette::Window), QColor(Qt::white));
        const QColor windowBackground = QApplication::palette().color(QPalette::Base);
        for (QLabel* label : {form->Label7, form->Label9, form->Label3}) {
            QCOMPARE(label->palette().color(QPalette::Window), windowBackground);
        }
        const QList<QSize> sizes = form->windowIcon().availableSizes();
        for (int size : {16, 24, 32, 48}) {
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        }
    }

    void captionsAndListsBeforeStartUp() {
        const QList<std::pair<QPushButton*, const char*>> buttons{
            {form->Command1, "Play"},         {form->Command2, "Stop"},
            {form->Command3, "Website"},      {form->Command4, "Open"},
            {form->Command5, "Mark Start"},   {form->Command6, "Mark End"},
            {form->Command7, "Direct Save"},  {form->Command8, "Convert Save"},
            {form->Command9, "Play Selected"}};
        for (const auto& [button, caption] : buttons) {
            QCOMPARE(button->text(), QString::fromLatin1(caption));
            QVERIFY(button->isEnabled());
        }
        QCOMPARE(items(form->Combo1),
                 (QStringList{"Select Format", "MP3", "WAV", "AAC", "WMA", "FLAC", "M4A", "AC3"}));
        QCOMPARE(items(form->Combo2),
                 (QStringList{"Bitrate", "512k", "256k", "128k", "64k", "32k"}));
        QVERIFY(!form->Combo1->isEditable());
        QVERIFY(!form->Combo2->isEditable());
        QCOMPARE(form->H->minimum(), 0);
        QCOMPARE(form->H->maximum(), 10);
        QCOMPARE(form->H->singleStep(), 1);
        QCOMPARE(form->H->pageStep(), 5);
        QCOMPARE(form->H->tickInterval(), 1);
        QVERIFY(form->H->tickPosition() != QSlider::NoTicks);
        QCOMPARE(form->pb->minimum(), 0);
        QCOMPARE(form->pb->maximum(), 100);
        QCOMPARE(form->T->interval(), 1000);
        QCOMPARE(form->Frame4->title(), QStringLiteral("Video Window"));
        QCOMPARE(form->Line1.X1(), 7170.0f);
        QCOMPARE(form->Line1.Y1(), 5460.0f);
        QCOMPARE(form->Line1.Y2(), 5565.0f);
        QCOMPARE(form->Line2.X2(), 7515.0f);
        QCOMPARE(form->Line2.Y1(), 5115.0f);
        QCOMPARE(form->Line2.Y2(), 5220.0f);
        QCOMPARE(form->markStart, 0);
        QCOMPARE(form->markEnd, 0);
        QCOMPARE(form->sourceFile, QString());
        QCOMPARE(form->markerScale, 0);
        QVERIFY(!form->hasPlayer());
        QVERIFY(fakes->media.commands.isEmpty());
    }

    void startUpState() {
        form->Form_Initialize();
        QVERIFY(form->isVisible());
        QCOMPARE(form->Combo1->currentText(), QStringLiteral("Select Format"));
        QCOMPARE(form->Combo2->currentText(), QStringLiteral("Bitrate"));
        for (QLabel* label : {form->Label3, form->Label4, form->Label7, form->Label9}) {
            QCOMPARE(label->text(), QStringLiteral("hh:mm:ss"));
        }
        QVERIFY(!form->timerEnabled());
        QCOMPARE(form->H->value(), 0);
        QVERIFY(form->P->isHidden());
        QVERIFY(form->Frame4->isHidden());
        QVERIFY(!form->P->isVisible());
        for (QWidget* child : form->findChildren<QWidget*>()) {
            QVERIFY(child->isEnabled());
        }
        // Start-up sends no media command.
        QVERIFY(fakes->media.commands.isEmpty());
        QCOMPARE(fakes->messages.shown.size(), 0);
    }

    void focusOrder() {
        const QList<QWidget*> expected{
            form->H,        form->Command1, form->Command2,   form->Command4, form->Command7,
            form->Command3, form->Command9, form->Command6,   form->Command5, form->Command8,
            form->Combo1,   form->Combo2,   form->WebBrowser1};
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QWidget* next = expected[i - 1]->nextInFocusChain();
            // Skip the children a composite control (the web panel's viewport) adds.
            while (next && next->focusPolicy() == Qt::NoFocus) {
                next = next->nextInFocusChain();
            }
            QCOMPARE(next, expected[i]);
        }
    }

    void timerEnabledKeepsCountdown() {
        form->setTimerEnabled(true);
        QVERIFY(form->timerEnabled());
        const int remaining = form->T->remainingTime();
        QTest::qWait(20);
        form->setTimerEnabled(true);
        QVERIFY(form->T->remainingTime() < remaining);
        form->setTimerEnabled(false);
        QVERIFY(!form->timerEnabled());
    }

    void unloadWithNoFileSendsCloseAll() {
        QVERIFY(!form->hasPlayer());
        try {
            form->Form_Unload();
            QFAIL("Form_Unload returned");
        } catch (const ProgramEnded&) {
        }
        QVERIFY(form->hasPlayer());
        QCOMPARE(fakes->media.commands, QList<QByteArray>{"close all"});
        QCOMPARE(fakes->program.ended, 1);
    }

    void closeBoxUnloads() {
        QCloseEvent event;
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, form->closeEvent(&event));
        QCOMPARE(fakes->media.commands, QList<QByteArray>{"close all"});
    }

    void unloadInsideAWaitEndsTheWaitingHandler() {
        // The user closes the window while a handler waits: the handler never resumes.
        fakes->pump.onPass(3, [this] { form->Form_Unload(); });
        bool resumed = false;
        try {
            form->player().timeOut(1);
            resumed = true;
        } catch (const ProgramEnded&) {
        }
        QVERIFY(!resumed);
        QCOMPARE(fakes->program.ended, 1);
        QCOMPARE(fakes->media.commands.constLast(), QByteArray("close all"));
    }

    void savingStateLocksInOrder() {
        QCOMPARE(form->lockedControls(),
                 (QList<QWidget*>{form->Command1, form->Command2, form->Command4, form->Command5,
                                  form->Command6, form->Command7, form->Command9, form->Combo1,
                                  form->Combo2, form->Command8, form->H}));
        form->Command1->setText(QStringLiteral("Pause"));
        form->H->setValue(7);
        form->enterSavingState();
        QCOMPARE(form->windowTitle(), QStringLiteral("Saving..."));
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        QCOMPARE(form->H->value(), 0);
        QCOMPARE(fakes->media.commands, QList<QByteArray>{"stop movie"});
        for (QWidget* control : form->lockedControls()) {
            QVERIFY(!control->isEnabled());
        }
        QVERIFY(form->Command3->isEnabled());
        QVERIFY(form->WebBrowser1->isEnabled());
        form->pb->setValue(40);
        form->leaveSavingState();
        QCOMPARE(form->windowTitle(), QStringLiteral("Snipora"));
        QCOMPARE(form->pb->value(), 0);
        for (QWidget* control : form->lockedControls()) {
            QVERIFY(control->isEnabled());
        }
    }
};

SNIPORA_TEST(TestForm1)
#include "tst_form1.moc"
