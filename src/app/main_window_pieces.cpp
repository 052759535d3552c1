// MainWindow: split points, the list of pieces, undo and redo, cue sheets and Save all.
#include "app/main_window.h"

#include "app/piece_list_panel.h"
#include "app/remembered_choices.h"
#include "app/split_commands.h"
#include "app/time_field.h"
#include "app/waveform_view.h"
#include "core/cue_sheet.h"
#include "core/file_identity.h"
#include "core/pause_finder.h"
#include "core/split_save.h"
#include "core/time_text.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QUndoStack>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace snipora {

namespace {
MarksState marksOf(const CuttingSession& session) {
    return {session.selection(), session.startIsSet(), session.endIsSet()};
}

bool samePieces(const PieceList& a, const PieceList& b) {
    return a.splitPoints() == b.splitPoints() && a.pieces() == b.pieces();
}

// A message box's text starts with a capital, whatever the core's sentence began with.
QString sentence(QString text) {
    if (!text.isEmpty()) {
        text[0] = text[0].toUpper();
    }
    return text;
}
} // namespace

// What the window keeps of the pieces; a child of the window, so that its connections end
// with it.
struct MainWindow::PieceWork : public QObject {
    explicit PieceWork(MainWindow& owner) : QObject(&owner), window(owner) {}

    MainWindow& window;
    PieceList pieces;
    // The split point picked on the waveform: the one Delete removes.
    std::optional<std::size_t> selected;
    // The marks as the last undo step left them.
    MarksState marks;
    bool applyingMarks = false;
    int lastGesture = 0;
    // The gesture of the drag under way, 0 between drags.
    int dragGesture = 0;
    SplitSave* splitSave = nullptr;
    bool cancelAsked = false;
    // The loudness of the open file, measured once when pauses are first looked for.
    LoudnessScan* scan = nullptr;
    bool loudnessKnown = false;
    bool panelPlaced = false;

    int gesture() {
        if (!window.waveformView->isDragging()) {
            return ++lastGesture;
        }
        if (dragGesture == 0) {
            dragGesture = ++lastGesture;
        }
        return dragGesture;
    }

    void render() {
        if (selected && *selected >= pieces.splitPoints().size()) {
            selected.reset();
        }
        window.waveformView->setSplitPoints(pieces.splitPoints(), selected);
        const bool wanted = pieces.pieceCount() > 1;
        if (!wanted && !window.pieceListPanel_) {
            return;
        }
        PieceListPanel* panel = window.pieceListPanel();
        panel->setPieces(pieces.pieces());
        if (wanted && panel->isHidden()) {
            if (!panelPlaced) {
                // Beside the window, where the screen has room, else over its right edge.
                const QRect frame = window.frameGeometry();
                const QRect screen = window.screen() ? window.screen()->availableGeometry()
                                                     : QRect(0, 0, 1 << 14, 1 << 14);
                const int x = frame.right() + 1 + panel->width() <= screen.right()
                                  ? frame.right() + 1
                                  : std::max(screen.left(), screen.right() - panel->width());
                panel->move(x, frame.top());
                panelPlaced = true;
            }
            panel->show();
        } else if (!wanted && !panel->isHidden()) {
            panel->hide();
        }
    }

    void apply(const PieceList& list) {
        pieces = list;
        render();
    }

    // One undo step, unless it changes nothing.
    void edit(const QString& text, const PieceList& after) {
        if (samePieces(after, pieces)) {
            return;
        }
        window.undoStack->push(new PiecesCommand(
            text, [this](const PieceList& list) { apply(list); }, pieces, after, gesture()));
    }

    void applyMarks(const MarksState& state) {
        applyingMarks = true;
        window.session_.restoreMarks(state.selection, state.startSet, state.endSet);
        marks = state;
        applyingMarks = false;
    }

    // The session changed the marks itself (a key, a button, a drag, a typed time).
    void recordMarks() {
        const MarksState now = marksOf(window.session_);
        if (applyingMarks || now == marks) {
            return;
        }
        window.undoStack->push(new MarksCommand(
            [this](const MarksState& state) { applyMarks(state); }, marks, now, gesture()));
        marks = now;
    }

    void reset() {
        const CuttingSession& session = window.session_;
        // Closer than one frame no frame cut can hold a piece.
        const std::int64_t frameMs =
            (std::int64_t{session.samplesPerFrame()} * 1000 + session.sampleRate() - 1) /
            std::max(session.sampleRate(), 1);
        pieces = PieceList(session.lengthMs(), frameMs);
        selected.reset();
        marks = marksOf(session);
        window.undoStack->clear();
        scan->cancel();
        loudnessKnown = false;
        window.waveformView->setPauses({});
        render();
    }
};

const PieceList& MainWindow::pieces() const {
    return pieceWork_->pieces;
}

bool MainWindow::piecesSaving() const {
    return pieceWork_ != nullptr && pieceWork_->splitSave->isRunning();
}

void MainWindow::createPieceControls() {
    undoStack = new QUndoStack(this);
    pieceWork_ = new PieceWork(*this);
    pieceWork_->splitSave = new SplitSave(pieceWork_);
    pieceWork_->scan = new LoudnessScan(pieceWork_);
    pieceWork_->reset();
    PieceWork* work = pieceWork_;

    connect(&session_, &CuttingSession::sourceChanged, work, [work] { work->reset(); });
    connect(&session_, &CuttingSession::selectionChanged, work, [work] { work->recordMarks(); });
    connect(waveformView, &WaveformView::dragFinished, work, [work] { work->dragGesture = 0; });
    connect(waveformView, &WaveformView::splitPointPicked, work, [work](int index) {
        work->selected = static_cast<std::size_t>(index);
        work->render();
    });
    connect(waveformView, &WaveformView::splitPointDragged, work,
            [work](int index, std::int64_t ms) {
                PieceList after = work->pieces;
                after.moveSplitPoint(static_cast<std::size_t>(index), ms);
                work->edit(tr("Move a split point"), after);
            });

    // The keys; none works while a save has the controls locked. Undo and redo work from the
    // list of pieces too.
    const auto action = [this](const QString& text, const QList<QKeySequence>& keys, auto run,
                               Qt::ShortcutContext context = Qt::WindowShortcut) {
        auto* entry = new QAction(text, this);
        entry->setShortcuts(keys);
        entry->setShortcutContext(context);
        connect(entry, &QAction::triggered, this, [this, run] {
            if (!saveUnderWay_) {
                run();
            }
        });
        addAction(entry);
        waveformView->addAction(entry);
        return entry;
    };
    action(tr("Add split point (S)"), {Qt::Key_S}, [this] { addSplitPoint(); });
    action(tr("Split at marks (Shift+S)"), {Qt::SHIFT | Qt::Key_S}, [this] { splitAtMarks(); });
    action(tr("Remove split point (Delete)"), {QKeySequence(Qt::Key_Delete)},
           [this] { removeSplitPoint(); });
    action(tr("Open cue sheet... (Ctrl+Shift+O)"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)},
           [this] { openCueSheet(); });
    action(tr("Write cue sheet..."), {}, [this] { writeCueSheet(); });
    action(tr("Split at pauses"), {}, [this] { splitAtPauses(); });
    action(tr("Split every... (a typed time)"), {}, [this] { splitEvery(); });
    action(tr("Save all pieces..."), {}, [this] { saveAllPieces(); });
    action(
        tr("Undo (Ctrl+Z)"), {QKeySequence(Qt::CTRL | Qt::Key_Z)}, [this] { undoStack->undo(); },
        Qt::ApplicationShortcut);
    action(
        tr("Redo (Ctrl+Y)"),
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        [this] { undoStack->redo(); }, Qt::ApplicationShortcut);
    waveformView->setContextMenuPolicy(Qt::ActionsContextMenu);
    waveformView->setToolTip(waveformView->toolTip() +
                             tr("; S adds a split point at the cursor, Delete removes "
                                "the one picked or nearest; right-click for pieces"));
}

PieceListPanel* MainWindow::pieceListPanel() {
    if (pieceListPanel_) {
        return pieceListPanel_;
    }
    auto* panel = new PieceListPanel(this);
    pieceListPanel_ = panel;
    panel->hide();
    if (const QString pattern = remembered(Remembered::PieceNames); !pattern.isEmpty()) {
        panel->setNamePattern(pattern);
    }
    panel->setPieces(pieceWork_->pieces.pieces());
    PieceWork* work = pieceWork_;
    connect(panel, &PieceListPanel::pieceChosen, this, [this, work](int index) {
        const std::vector<Piece> all = pieceWork_->pieces.pieces();
        if (saveUnderWay_ || index < 0 || index >= static_cast<int>(all.size())) {
            return;
        }
        const Piece& piece = all[static_cast<std::size_t>(index)];
        // One step: both marks move together.
        const MarksState marks{{piece.startMs, piece.endMs}, true, true};
        if (marks != pieceWork_->marks) {
            undoStack->push(new MarksCommand([work](const MarksState& s) { work->applyMarks(s); },
                                             pieceWork_->marks, marks, pieceWork_->gesture()));
            pieceWork_->applyMarks(marks);
        }
        session_.seekTo(piece.startMs);
        waveformView->reveal(piece.startMs);
    });
    connect(panel, &PieceListPanel::titleEdited, work, [work](int index, const QString& title) {
        PieceList after = work->pieces;
        after.setTitle(static_cast<std::size_t>(index), title);
        work->edit(tr("Rename a piece"), after);
    });
    connect(panel, &PieceListPanel::switched, work, [work](int index, bool on) {
        PieceList after = work->pieces;
        after.setEnabled(static_cast<std::size_t>(index), on);
        work->edit(on ? tr("Switch a piece on") : tr("Switch a piece off"), after);
    });
    connect(panel, &PieceListPanel::saveAllClicked, this, &MainWindow::saveAllPieces);
    connect(panel, &PieceListPanel::cancelClicked, this, [this] { cancelSave(); });
    connect(panel, &PieceListPanel::writeCueClicked, this, &MainWindow::writeCueSheet);
    return panel;
}

void MainWindow::addSplitPoint() {
    if (!session_.hasSource()) {
        return;
    }
    PieceList after = pieceWork_->pieces;
    if (!after.addSplitPoint(session_.positionMs())) {
        showMessage(tr("A split point needs at least one MP3 frame between it and "
                       "the next point or either end of the file."));
        return;
    }
    pieceWork_->edit(tr("Add a split point"), after);
}

void MainWindow::splitAtMarks() {
    if (!selectionIsValid()) {
        return;
    }
    PieceList after = pieceWork_->pieces;
    // A mark at an end of the file or on a split point adds nothing of its own.
    after.addSplitPoint(session_.selection().start);
    after.addSplitPoint(session_.selection().end);
    pieceWork_->edit(tr("Split at marks"), after);
}

void MainWindow::removeSplitPoint() {
    const std::vector<std::int64_t>& points = pieceWork_->pieces.splitPoints();
    if (points.empty()) {
        return;
    }
    std::size_t index = 0;
    if (pieceWork_->selected) {
        index = *pieceWork_->selected;
    } else {
        const std::int64_t cursor = session_.positionMs();
        for (std::size_t i = 1; i < points.size(); ++i) {
            if (std::llabs(points[i] - cursor) < std::llabs(points[index] - cursor)) {
                index = i;
            }
        }
    }
    PieceList after = pieceWork_->pieces;
    after.removeSplitPoint(index);
    pieceWork_->selected.reset();
    pieceWork_->edit(tr("Remove a split point"), after);
}

void MainWindow::openCueSheet() {
    const std::optional<QString> chosen = host.dialogs.openFile(
        {tr("Cue Sheets (*.cue)|*.cue|All Files (*.*)|*.*"), 1, tr("Open a cue sheet"), QString(),
         remembered(Remembered::OpenFolder)});
    if (chosen && !chosen->isEmpty()) {
        openCueSheetFile(*chosen);
    }
}

void MainWindow::openCueSheetFile(const QString& path) {
    if (saveUnderWay_) {
        return;
    }
    // First the sheet alone, for the file it names; the times are checked against that file.
    QString error;
    const std::optional<CueSheet> named =
        readCueSheet(path, std::numeric_limits<std::int64_t>::max(), &error);
    if (!named) {
        showFailure(sentence(error));
        return;
    }
    const QString sheetName = QFileInfo(path).fileName();
    const QString described =
        named->file.isEmpty() ? QString() : QFileInfo(path).dir().filePath(named->file);
    if (!session_.hasSource()) {
        if (described.isEmpty() || !QFileInfo(described).isFile() ||
            described.endsWith(QStringLiteral(".cue"), Qt::CaseInsensitive)) {
            showMessage(tr("The cue sheet %1 is for %2, which is not beside it. Open "
                           "the MP3 it describes first (Ctrl+O).")
                            .arg(sheetName, named->file.isEmpty() ? tr("no file") : named->file));
            return;
        }
        openNamedFile(QFile::encodeName(described));
        if (!session_.hasSource()) {
            return;
        }
    } else if (!described.isEmpty() &&
               !(QFileInfo(described).isFile() ? sameFile(described, session_.sourceName())
                                               : QFileInfo(described).fileName() ==
                                                     QFileInfo(session_.sourceName()).fileName())) {
        const QString open = QFileInfo(session_.sourceName()).fileName();
        if (host.messages.show(tr("The cue sheet %1 is for %2, not for the open "
                                  "file %3.\n\nUse its tracks for %3?")
                                   .arg(sheetName, named->file, open),
                               MessageStyle::Question) != MessageAnswer::Yes) {
            return;
        }
    }
    const std::optional<CueSheet> sheet = readCueSheet(path, session_.lengthMs(), &error);
    if (!sheet) {
        showFailure(sentence(error));
        return;
    }
    PieceList after = pieceWork_->pieces;
    after.setSplitPoints({});
    applyCueSheet(*sheet, after);
    pieceWork_->edit(tr("Read a cue sheet"), after);
}

void MainWindow::writeCueSheet() {
    if (!session_.hasSource() || saveUnderWay_) {
        return;
    }
    const QFileInfo source(session_.sourceName());
    const std::optional<QString> chosen = host.dialogs.saveFile(
        {tr("Cue Sheets (*.cue)|*.cue|All Files (*.*)|*.*"), 1, tr("Write cue sheet"),
         source.absolutePath() + QLatin1Char('/') + source.completeBaseName() +
             QStringLiteral(".cue"),
         QString()});
    if (!chosen || chosen->isEmpty() ||
        !targetIsFree(*chosen, tr("That is the open file; please choose another "
                                  "name."))) {
        return;
    }
    // The sheet names the MP3 as seen from its own folder, so that the two can move together.
    const QString file = QFileInfo(*chosen).dir().relativeFilePath(source.absoluteFilePath());
    QSaveFile out(*chosen);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(cueSheetText(pieceWork_->pieces.pieces(), file, source.completeBaseName())) < 0 ||
        !out.commit()) {
        showFailure(tr("The cue sheet could not be written: %1\n\n%2")
                        .arg(out.errorString(), QDir::toNativeSeparators(*chosen)));
        return;
    }
    showMessage(tr("Done\n\n") + QDir::toNativeSeparators(*chosen));
}

void MainWindow::saveAllPieces() {
    if (!session_.hasSource() || saveUnderWay_) {
        return;
    }
    std::vector<Piece> saved;
    for (const Piece& piece : pieceWork_->pieces.pieces()) {
        if (piece.enabled) {
            saved.push_back(piece);
        }
    }
    if (saved.empty()) {
        showMessage(tr("Every piece is switched off: tick the pieces to save."));
        return;
    }
    enterSavingState();
    const QFileInfo source(session_.sourceName());
    const QString lastFolder = remembered(Remembered::SaveFolder);
    const std::optional<QString> folder = host.dialogs.chooseFolder(
        {QString(), 1, tr("Save all pieces into"), QString(),
         !lastFolder.isEmpty() && QDir(lastFolder).exists() ? lastFolder : source.absolutePath()});
    if (!folder || folder->isEmpty()) {
        leaveSavingState();
        return;
    }
    remember(Remembered::SaveFolder, *folder);
    const QString pattern = pieceListPanel()->namePattern();
    remember(Remembered::PieceNames, pattern);
    const QStringList names = pieceFileNames(saved, pattern, source.completeBaseName());
    QStringList existing;
    for (const QString& name : names) {
        const QString target = QDir(*folder).filePath(name);
        if (isOpenFile(target, session_.sourceHandle()) ||
            sameFile(target, session_.sourceName())) {
            showFailure(tr("A piece would replace the open file; please choose "
                           "another folder or names.\n\n") +
                        QDir::toNativeSeparators(target));
            leaveSavingState();
            return;
        }
        const QFileInfo file(target);
        if (file.exists() || file.isSymLink()) {
            existing << name;
        }
    }
    // Replaced only with consent, as a single save is.
    if (!existing.isEmpty() &&
        host.messages.show(tr("%1 already exist%2 in %3.\n\nDo you want to overwrite "
                              "the existing files?")
                               .arg(existing.join(QStringLiteral(", ")),
                                    existing.size() == 1 ? QStringLiteral("s") : QString(),
                                    QDir::toNativeSeparators(*folder)),
                           MessageStyle::Question) != MessageAnswer::Yes) {
        leaveSavingState();
        return;
    }

    SplitSave* save = pieceWork_->splitSave;
    pieceWork_->cancelAsked = false;
    pieceListPanel()->setSaving(true);
    saveProgress->setRange(0, 1000);
    saveProgress->setValue(0);
    disconnect(save, nullptr, this, nullptr);
    connect(save, &SplitSave::progress, this, [this](std::int64_t done, std::int64_t total) {
        saveProgress->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
    });
    connect(save, &SplitSave::finished, this,
            [this, save, folder = *folder](const SplitSaveOutcome& outcome) {
                disconnect(save, &SplitSave::progress, this, nullptr);
                pieceListPanel()->setSaving(false);
                showIdleProgress();
                setWindowTitle(titleText());
                const QString where = QDir::toNativeSeparators(folder);
                if (!outcome.failure) {
                    const QString notices =
                        outcome.notices.isEmpty()
                            ? QString()
                            : QStringLiteral("\n\n") + outcome.notices.join(QLatin1Char('\n'));
                    showMessage(
                        tr("Done: %1 piece%2 saved\n\n%3%4")
                            .arg(outcome.written.size())
                            .arg(outcome.written.size() == 1 ? QString() : QStringLiteral("s"),
                                 where, notices));
                } else if (pieceWork_->cancelAsked) {
                    showMessage(tr("Save all stopped: ") + *outcome.failure +
                                QStringLiteral("\n\n") + where);
                } else {
                    showFailure(tr("Save all failed: ") + *outcome.failure +
                                QStringLiteral("\n\n") + where);
                }
                leaveSavingState();
            });
    // The fade boxes beside the saves hold for every piece, as for a single save.
    save->start(SplitSaveJob{session_.sourceHandle(), source.completeBaseName(), *folder, pattern,
                             !existing.isEmpty(), saved, fadeInBox->value(), fadeOutBox->value()});
}

void MainWindow::splitAtPauses() {
    if (!session_.hasSource() || saveUnderWay_) {
        return;
    }
    PieceWork* work = pieceWork_;
    const auto split = [this, work] {
        // Quieter than -40 dBFS for 0.8 s: a pause between tracks, not a soft passage.
        const std::vector<Pause> pauses = findPauses(work->scan->profile(), -40, 800);
        std::vector<std::pair<std::int64_t, std::int64_t>> spans;
        for (const Pause& pause : pauses) {
            spans.emplace_back(pause.startMs, pause.endMs);
        }
        waveformView->setPauses(spans);
        PieceList after = work->pieces;
        applyPauses(pauses, false, after);
        if (after.pieceCount() == 1) {
            showMessage(tr("No pause was found: nowhere is the sound quieter than "
                           "-40 dBFS for 0.8 s."));
            return;
        }
        work->edit(tr("Split at pauses"), after);
    };
    if (work->loudnessKnown) {
        split();
        return;
    }
    if (work->scan->isRunning()) {
        return;
    }
    // The whole file is decoded: on its own thread, with its progress in the bar.
    disconnect(work->scan, nullptr, this, nullptr);
    connect(work->scan, &LoudnessScan::progress, this,
            [this](std::int64_t doneMs, std::int64_t totalMs) {
                if (!saveUnderWay_ && totalMs > 0) {
                    saveProgress->setRange(0, 1000);
                    saveProgress->setValue(static_cast<int>(doneMs * 1000 / totalMs));
                    saveProgress->setFormat(tr("Finding pauses %p%"));
                    saveProgress->setTextVisible(true);
                }
            });
    connect(work->scan, &LoudnessScan::finished, this,
            [this, work, split](const SaveOutcome& outcome) {
                if (!saveUnderWay_) {
                    showIdleProgress();
                }
                if (outcome.isCancelled()) {
                    return;
                }
                if (outcome.isFailed()) {
                    showFailure(tr("No pauses could be found: ") + outcome.reason());
                    return;
                }
                work->loudnessKnown = true;
                split();
            });
    work->scan->start(session_.sourceHandle());
}

void MainWindow::splitEvery() {
    if (!session_.hasSource() || saveUnderWay_) {
        return;
    }
    timeField()->disconnect(this);
    connect(timeField(), &TimeField::timeEntered, this, [this](std::int64_t ms) {
        PieceWork* work = pieceWork_;
        if (ms <= 0) {
            return;
        }
        // Where the loudness is known, each point moves to the quietest moment within 5 s.
        PieceList after = work->pieces;
        after.setSplitPoints(everyInterval(
            session_.lengthMs(), ms, work->loudnessKnown ? &work->scan->profile() : nullptr, 5000));
        work->edit(tr("Split every %1").arg(preciseTime(ms)), after);
    });
    timeField()->open(tr("Split every"), tr("10:00.000"), session_.lengthMs());
}

bool MainWindow::cancelPauseSearch() {
    if (!pieceWork_ || !pieceWork_->scan->isRunning()) {
        return false;
    }
    pieceWork_->scan->cancel();
    return true;
}

void MainWindow::cancelPieceSave() {
    pieceWork_->cancelAsked = true;
    pieceWork_->splitSave->cancel();
}

void MainWindow::endPieceWork() {
    // Its save stops and waits, so that nothing of a piece under way is left behind.
    delete pieceWork_;
    pieceWork_ = nullptr;
}

} // namespace snipora
