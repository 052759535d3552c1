// MainWindow: fade lengths, snapping marks to quiet, saving without the selection, playing as cut.
#include "app/main_window.h"

#include "app/background_work.h"
#include "app/mark_trails.h"
#include "app/remembered_choices.h"
#include "app/waveform_view.h"
#include "core/mp3_frame_map.h"
#include "core/mp3_gain_fade.h"
#include "core/mp3_join.h"
#include "core/pieces.h"
#include "core/quiet_snap.h"
#include "core/time_text.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace snipora {

namespace {
QSpinBox* fadeBox(QWidget* parent, const char* name, Remembered kept, const QFont& font) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    // Before any text: each change of font lays the box's text out again.
    box->setFont(font);
    box->setRange(0, static_cast<int>(maxFadeMs));
    box->setSingleStep(10);
    box->setSuffix(MainWindow::tr(" ms"));
    box->setSpecialValueText(MainWindow::tr("off"));
    // No arrows: the strip is narrow, and "10000 ms" needs its room. Typing, the arrow keys
    // and the wheel set the value.
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setAccelerated(true);
    box->setValue(remembered(kept).toInt());
    QObject::connect(box, &QSpinBox::valueChanged, parent,
                     [kept](int value) { remember(kept, QString::number(value)); });
    return box;
}

QString signedMs(std::int64_t ms) {
    return (ms >= 0 ? MainWindow::tr("+%1 ms") : MainWindow::tr("%1 ms")).arg(ms);
}
} // namespace

void MainWindow::createEdgeControls() {
    edgeWork_ = new BackgroundWork(this);
    markTrails = new MarkTrails(waveformView);
    // The row under the waveform panel, right of the lengths: the one free strip at the
    // start-up size, beside the saves that use it. A smaller text than the window's fits it.
    QFont small = font();
    small.setPixelSize(10);
    auto* fadeInLabel = new QLabel(tr("Fade in"), this);
    fadeInBox = fadeBox(this, "fadeInBox", Remembered::FadeIn, small);
    auto* fadeOutLabel = new QLabel(tr("out"), this);
    fadeOutBox = fadeBox(this, "fadeOutBox", Remembered::FadeOut, small);
    fadeInLabel->setBuddy(fadeInBox);
    fadeOutLabel->setBuddy(fadeOutBox);
    edgesButton = new QToolButton(this);
    edgesButton->setObjectName(QStringLiteral("edgesButton"));
    edgesButton->setText(tr("Edges"));
    edgesButton->setPopupMode(QToolButton::InstantPopup);
    for (QWidget* control :
         std::initializer_list<QWidget*>{fadeInLabel, fadeOutLabel, edgesButton}) {
        control->setFont(small);
    }
    fadeInLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    fadeOutLabel->setAlignment(Qt::AlignCenter);
    placeInTwips(fadeInLabel, 3300, 3870, 540, 270);
    placeInTwips(fadeInBox, 3855, 3870, 810, 270);
    placeInTwips(fadeOutLabel, 4680, 3870, 300, 270);
    placeInTwips(fadeOutBox, 4995, 3870, 885, 270);
    placeInTwips(edgesButton, 6030, 3870, 1005, 270);
    const QString fadeTip =
        tr("Fade the saved section in from silence and out to silence over this time (0: off). "
           "Direct Save lowers the frames' own gains, granule by granule, without re-encoding; "
           "Convert Save fades to the sample. Fades longer than the selection together are "
           "shortened to fit, and the save says so.");
    for (QWidget* control :
         {static_cast<QWidget*>(fadeInLabel), static_cast<QWidget*>(fadeInBox),
          static_cast<QWidget*>(fadeOutLabel), static_cast<QWidget*>(fadeOutBox)}) {
        control->setToolTip(fadeTip);
    }
    // The row keeps its place under the panel's right end; the button stays in the column.
    for (QWidget* control : {static_cast<QWidget*>(fadeInLabel), static_cast<QWidget*>(fadeInBox),
                             static_cast<QWidget*>(fadeOutLabel), static_cast<QWidget*>(fadeOutBox),
                             static_cast<QWidget*>(edgesButton)}) {
        windowLayout_.add(control, {1, 0, 1, 0});
    }
    // Tab reads on down the column to the menu, then the fades above the saves they shape.
    setTabOrder(websiteButton, edgesButton);
    setTabOrder(edgesButton, fadeInBox);
    setTabOrder(fadeInBox, fadeOutBox);
    setTabOrder(fadeOutBox, playSelectionButton);

    // The actions are the window's too, so that their keys work without the menu open.
    auto* menu = new QMenu(edgesButton);
    const auto action = [this, menu](const QString& text, const QKeySequence& key) {
        auto* made = menu->addAction(text);
        made->setShortcut(key);
        made->setShortcutContext(Qt::WindowShortcut);
        addAction(made);
        return made;
    };
    playAsCutAction = action(tr("Play as cut"), QKeySequence(Qt::Key_J));
    snapAction = action(tr("Snap marks to quiet"), QKeySequence(Qt::Key_Q));
    snapOption = action(tr("Snap each mark as it is set"), QKeySequence());
    snapOption->setCheckable(true);
    snapOption->setChecked(remembered(Remembered::SnapToQuiet) == QStringLiteral("true"));
    menu->addSeparator();
    saveWithoutSelectionAction =
        action(tr("Save without selection..."), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    playAsCutAction->setToolTip(tr("Play the 2 s before the start mark, then the 2 s "
                                   "after the end mark"));
    menu->setToolTipsVisible(true);
    snapAction->setToolTip(tr("Move each mark to the quietest 10 ms within 250 ms"));
    saveWithoutSelectionAction->setToolTip(
        tr("Save the file with the selection taken out, joined on MP3 frame edges"));
    edgesButton->setMenu(menu);
    edgesButton->setToolTip(
        tr("Play as cut (J), snap the marks to quiet (Q), save without the selection "
           "(Ctrl+Delete)"));

    connect(playAsCutAction, &QAction::triggered, this, [this] {
        if (!saveUnderWay_) {
            playAsCut();
        }
    });
    connect(snapAction, &QAction::triggered, this, [this] {
        if (!saveUnderWay_) {
            snapMarksToQuiet(session_.startIsSet(), session_.endIsSet());
        }
    });
    connect(snapOption, &QAction::toggled, this, [](bool on) {
        remember(Remembered::SnapToQuiet, on ? QStringLiteral("true") : QStringLiteral("false"));
    });
    connect(saveWithoutSelectionAction, &QAction::triggered, this, [this] {
        if (!saveUnderWay_) {
            saveWithoutSelection();
        }
    });
    // A trail shows where marks went until they move again or another file opens.
    connect(&session_, &CuttingSession::selectionChanged, this, [this] {
        for (const MarkTrails::Trail& trail : markTrails->trails()) {
            const Selection& selection = session_.selection();
            if (trail.toMs != selection.start && trail.toMs != selection.end) {
                markTrails->clear();
                return;
            }
        }
    });
    connect(&session_, &CuttingSession::sourceChanged, markTrails, &MarkTrails::clear);
}

void MainWindow::setEdgeControlsEnabled(bool enabled) {
    for (QWidget* control : {static_cast<QWidget*>(fadeInBox), static_cast<QWidget*>(fadeOutBox),
                             static_cast<QWidget*>(edgesButton)}) {
        control->setEnabled(enabled);
    }
}

void MainWindow::playAsCut() {
    if (selectionIsValid()) {
        session_.playAsCut();
    }
}

void MainWindow::snapMarksToQuiet(bool start, bool end) {
    if (!session_.hasSource()) {
        showMessage(tr("Open an MP3 file first (Ctrl+O)"));
        return;
    }
    if (!start && !end) {
        showMessage(tr("Set the start mark first (I)"));
        return;
    }
    const int fd = ::dup(session_.sourceHandle());
    if (fd < 0) {
        showFailure(tr("The file cannot be read to find the quiet."));
        return;
    }
    const Selection asked = session_.selection();
    const QByteArray source = session_.sourcePath();
    struct Found {
        std::optional<std::vector<SnappedMark>> marks;
        QString error;
    };
    auto found = std::make_shared<Found>();
    edgeWork_->start(
        [fd, asked, found] {
            found->marks = snapToQuiet(fd, {asked.start, asked.end}, false, &found->error);
            ::close(fd);
        },
        [this, start, end, asked, source, found] {
            // A mark moved, a file opened or a save began meanwhile: the quiet found belongs to
            // what was.
            const Selection& now = session_.selection();
            if (session_.sourcePath() != source || saveUnderWay_ ||
                (start && now.start != asked.start) || (end && now.end != asked.end)) {
                return;
            }
            if (!found->marks) {
                showFailure(tr("The quiet could not be found: ") + found->error);
                return;
            }
            const Mark active = session_.activeMark();
            std::vector<MarkTrails::Trail> trails;
            if (start) {
                const std::int64_t to = found->marks->at(0).ms;
                trails.push_back({asked.start, to, signedMs(to - asked.start)});
                session_.setStart(to);
            }
            if (end) {
                const std::int64_t to = found->marks->at(1).ms;
                trails.push_back({asked.end, to, signedMs(to - asked.end)});
                session_.setEnd(to);
            }
            session_.setActiveMark(active);
            markTrails->show(std::move(trails));
        });
}

std::vector<Selection> MainWindow::sectionsToTakeOut() const {
    // The selection, and every piece switched off: an advert or a pause dropped in one save.
    std::vector<Selection> sections;
    if (session_.startIsSet() && session_.endIsSet() && session_.selection().isValid()) {
        sections.push_back(session_.selection());
    }
    for (const Piece& piece : pieces().pieces()) {
        if (!piece.enabled) {
            sections.push_back(Selection{piece.startMs, piece.endMs});
        }
    }
    return sections;
}

void MainWindow::saveWithoutSelection() {
    const std::vector<Selection> asked = sectionsToTakeOut();
    if (asked.empty() || !session_.hasSource()) {
        selectionIsValid(); // says which step is missing
        return;
    }
    const int fd = ::dup(session_.sourceHandle());
    if (fd < 0) {
        showFailure(tr("The file cannot be read."));
        return;
    }
    // The controls stay locked from here: the edges shown are those of the marks as they are.
    enterSavingState();
    struct Planned {
        std::optional<Mp3RemovalPlan> plan;
        QString error;
    };
    auto planned = std::make_shared<Planned>();
    edgeWork_->start(
        [fd, asked, planned] {
            if (const auto map = Mp3FrameMap::scan(fd, &planned->error)) {
                planned->plan = planMp3Removal(fd, *map, asked, &planned->error);
            }
            ::close(fd);
        },
        [this, asked, planned] {
            if (sectionsToTakeOut() != asked) {
                // Moved by a snap that ended meanwhile: the edges read are not the marks'.
                leaveSavingState();
                showMessage(tr("The marks moved: choose Save without selection "
                               "again to see where they take the file apart."));
                return;
            }
            if (!planned->plan) {
                leaveSavingState();
                showFailure(tr("The selection cannot be taken out: ") + planned->error);
                return;
            }
            const std::vector<RemovedSection>& rounded = planned->plan->sections;
            const Selection marks = session_.selection();
            std::vector<MarkTrails::Trail> trails;
            QStringList spans;
            std::int64_t takenMs = 0;
            for (const RemovedSection& section : rounded) {
                // The selection's rounded edges are where its marks went.
                if (section.startMs <= marks.end && marks.start <= section.endMs &&
                    asked.front() == marks) {
                    trails.push_back({marks.start, section.startMs, tr("frame edge")});
                    trails.push_back({marks.end, section.endMs, tr("frame edge")});
                }
                spans
                    << tr("%1 to %2").arg(preciseTime(section.startMs), preciseTime(section.endMs));
                takenMs += section.endMs - section.startMs;
            }
            markTrails->show(std::move(trails));
            const std::int64_t keptMs = session_.lengthMs() - takenMs;
            const bool yes = host.messages.show(
                                 tr("Take out %1 and save the rest (%2) as one file?\n\n"
                                    "Without re-encoding, the marks move to the nearest MP3 frame "
                                    "edges: these are the times taken out.%3")
                                     .arg(spans.join(QStringLiteral(", ")),
                                          preciseTime(std::max<std::int64_t>(keptMs, 0)),
                                          fadeInBox->value() > 0 || fadeOutBox->value() > 0
                                              ? tr("\n\nThe fades are for saving a selection; "
                                                   "the join is not faded.")
                                              : QString()),
                                 MessageStyle::Question) == MessageAnswer::Yes;
            markTrails->clear();
            if (!yes) {
                leaveSavingState();
                return;
            }
            startDirectSave(asked);
        });
}

} // namespace snipora
