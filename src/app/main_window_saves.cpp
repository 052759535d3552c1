// MainWindow: the marks, Play Selected, and the two saves with the window's saving state.
#include "app/main_window.h"

#include "app/position_slider.h"
#include "app/remembered_choices.h"
#include "app/save_name.h"
#include "core/convert_save.h"
#include "core/direct_save.h"
#include "core/encoder_command.h"
#include "core/file_identity.h"
#include "core/mp3_cut.h"
#include "core/mp3_gain_fade.h"
#include "core/time_text.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTimer>

#include <memory>
#include <utility>

namespace snipora {

void MainWindow::markStart() {
    session_.markStartAtCursor();
    if (snapOption->isChecked()) {
        snapMarksToQuiet(true, false);
    }
}

void MainWindow::markEnd() {
    session_.markEndAtCursor();
    if (snapOption->isChecked()) {
        snapMarksToQuiet(false, true);
    }
}

bool MainWindow::selectionIsValid() {
    // A missing file or mark is a step still to take, not a wrong selection: the message names
    // it. An end without a start still cuts from the file's start, as it always has.
    if (!session_.hasSource()) {
        showMessage(tr("Open an MP3 file first (Ctrl+O)"));
        return false;
    }
    if (!session_.startIsSet() && !session_.endIsSet()) {
        showMessage(tr("Set the start mark first (I)"));
        return false;
    }
    if (!session_.endIsSet()) {
        showMessage(tr("Set the end mark first (O)"));
        return false;
    }
    if (session_.selection().isValid()) {
        return true;
    }
    showFailure(tr("Start time cannot be >= End time. Invalid Selection"));
    return false;
}

void MainWindow::playSelection() {
    if (selectionIsValid()) {
        session_.playSelection();
    }
}

QList<QWidget*> MainWindow::lockedControls() const {
    return {playPauseButton, stopButton,        openButton,          markStartButton,
            markEndButton,   directSaveButton,  playSelectionButton, formatList,
            bitrateList,     convertSaveButton, positionSlider};
}

void MainWindow::enterSavingState() {
    saveUnderWay_ = true;
    for (QWidget* control : lockedControls()) {
        control->setEnabled(false);
    }
    setEdgeControlsEnabled(false);
    // Paused, not stopped: the cursor stays where the user left it.
    session_.pause();
    setWindowTitle(tr("Saving..."));
}

void MainWindow::showIdleProgress() {
    progressPulse_->stop();
    // A late report of the finished save must not bring the text back.
    if (convertSave_ != nullptr) {
        disconnect(convertSave_, &ConvertSave::progress, this, nullptr);
    }
    if (directSave_ != nullptr) {
        disconnect(directSave_, &DirectSave::progress, this, nullptr);
    }
    saveProgress->setRange(0, 100);
    saveProgress->setValue(0);
    saveProgress->resetFormat();
    saveProgress->setTextVisible(false);
}

void MainWindow::leaveSavingState() {
    showIdleProgress();
    setWindowTitle(titleText());
    saveUnderWay_ = false;
    for (QWidget* control : lockedControls()) {
        control->setEnabled(true);
    }
    setEdgeControlsEnabled(true);
    offerBitrates();
}

void MainWindow::offerBitrates() {
    const QString format = formatList->currentText();
    const bool chosen = outputFormats().contains(format);
    const QStringList offered = chosen ? bitratesFor(format) : outputBitrates();
    // A lossless format leaves the list alone, off, so that the bitrate chosen for a lossy one
    // is still there when the user comes back to it.
    const bool takesBitrate = !chosen || formatTakesBitrate(format);
    bitrateList->setEnabled(takesBitrate && !saveUnderWay_); // a save locks both
    if (!takesBitrate) {
        return;
    }
    if (auto* items = qobject_cast<QStandardItemModel*>(bitrateList->model())) {
        for (int row = 1; row < items->rowCount(); ++row) {
            items->item(row)->setEnabled(offered.contains(items->item(row)->text()));
        }
    }
    if (bitrateList->currentIndex() > 0 && !offered.contains(bitrateList->currentText())) {
        bitrateList->setCurrentIndex(0); // the prompt: the user picks one the format gives
    }
}

std::optional<QString> MainWindow::askSavePath(const QString& filter, const QString& extension,
                                               const QString& marksPrefix) {
    // Suggested: the source's name with the marks, in the folder last saved to (while it is
    // there), else the source's own.
    const QFileInfo source(session_.sourceName());
    const Selection& selection = session_.selection();
    const auto mark = [](std::int64_t ms) {
        return preciseTime(ms).replace(QLatin1Char(':'), QLatin1Char('.'));
    };
    const QString lastFolder = remembered(Remembered::SaveFolder);
    const QString folder =
        !lastFolder.isEmpty() && QDir(lastFolder).exists() ? lastFolder : source.absolutePath();
    const QString suggestion =
        folder + QLatin1Char('/') +
        fittedFileName(source.completeBaseName(), marksPrefix + mark(selection.start) +
                                                      QLatin1Char('-') + mark(selection.end) +
                                                      QLatin1Char('.') + extension);
    const std::optional<QString> chosen =
        host.dialogs.saveFile({filter, 1, tr("Save"), suggestion, QString()});
    if (!chosen || chosen->isEmpty()) {
        return std::nullopt;
    }
    remember(Remembered::SaveFolder, QFileInfo(*chosen).absolutePath());
    return chosen;
}

bool MainWindow::targetIsFree(const QString& target, const QString& inUseText) {
    // By file identity: no spelling of the open file's name, nor a link to it, may be replaced.
    if (isOpenFile(target, session_.sourceHandle()) || sameFile(target, session_.sourceName())) {
        showFailure(inUseText + QStringLiteral("\n\n") + QDir::toNativeSeparators(target));
        return false;
    }
    // Anything at that name counts, readable or not: it is replaced only with consent.
    const QFileInfo existing(target);
    if (existing.exists() || existing.isSymLink()) {
        return host.messages.show(tr("%1 already exists.\n\nDo you want to overwrite the existing "
                                     "file?")
                                      .arg(QDir::toNativeSeparators(target)),
                                  MessageStyle::Question) == MessageAnswer::Yes;
    }
    return true;
}

void MainWindow::saveFinished(SaveKind save, const SaveOutcome& outcome, const QString& target) {
    // The bar is idle before the message shows, so that it does not read on behind the box.
    showIdleProgress();
    setWindowTitle(titleText());
    const QString file = QDir::toNativeSeparators(target);
    const QString notice = std::exchange(saveNotice_, QString());
    if (outcome.isDone()) {
        showMessage(tr("Done\n\n") + file +
                    (notice.isEmpty() ? QString() : QStringLiteral("\n\n") + notice));
    } else if (outcome.isCancelled()) {
        showMessage(outcomeMessage(save, outcome));
    } else {
        showFailure(outcomeMessage(save, outcome) + QStringLiteral("\n\n") + file);
    }
    leaveSavingState();
}

void MainWindow::directSave() {
    if (selectionIsValid()) {
        enterSavingState();
        startDirectSave({});
    }
}

void MainWindow::startDirectSave(const std::vector<Selection>& removedSections) {
    const bool withoutSelection = !removedSections.empty();
    const std::optional<QString> target =
        askSavePath(tr("MP3 Files (*.mp3)|*.mp3|All Files (*.*)|*.*"), QStringLiteral("mp3"),
                    withoutSelection ? QStringLiteral("without ") : QString());
    if (!target || !targetIsFree(*target, tr("File already in use and cannot be overwritten. "
                                             "Please choose another file."))) {
        leaveSavingState();
        return;
    }
    saveProgress->setRange(0, 1000);
    saveProgress->setValue(0);
    disconnect(directSave_, nullptr, this, nullptr);
    connect(directSave_, &DirectSave::progress, this,
            [this](std::int64_t done, std::int64_t total) {
                saveProgress->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
            });
    // Written by the saving thread, read once it has ended.
    auto notice = std::make_shared<QString>();
    connect(directSave_, &DirectSave::finished, this,
            [this, target = *target, notice](const SaveOutcome& outcome) {
                saveNotice_ = *notice;
                saveFinished(SaveKind::Direct, outcome, target);
            });
    DirectSaveJob job{session_.sourceHandle(), *target, session_.selection()};
    job.removedSections = removedSections;
    if (!withoutSelection) {
        job.fadeInMs = fadeInBox->value();
        job.fadeOutMs = fadeOutBox->value();
    }
    job.notice = [notice](const QString& text) {
        *notice = text.left(1).toUpper() + text.mid(1) + QLatin1Char('.');
    };
    directSave_->start(job);
}

void MainWindow::convertSave() {
    if (!selectionIsValid()) {
        return;
    }
    if (formatList->currentText() == tr("Select Format")) {
        showMessage(tr("Please select output format."));
        return;
    }
    const QString format = formatList->currentText();
    if (formatTakesBitrate(format) && bitrateList->currentText() == tr("Bitrate")) {
        showMessage(tr("Please select output bitrate."));
        return;
    }
    if (!session_.hasSource()) {
        return;
    }
    // WAV and FLAC keep every sample: they have no bitrate, whatever the list last showed.
    const QString bitrate = formatTakesBitrate(format) ? bitrateList->currentText() : QString();

    enterSavingState();
    const std::optional<QString> chosen = askSavePath(
        format + tr(" Files|*.") + format.toLower() + tr("|All Files(*.*)|*.*"), format.toLower());
    if (!chosen) {
        leaveSavingState();
        return;
    }
    const QString target = withFormatExtension(*chosen, format);
    remember(Remembered::Format, format);
    remember(Remembered::Bitrate, bitrate);
    if (!targetIsFree(target, tr("The selected file is in use and cannot be overwritten."))) {
        leaveSavingState();
        return;
    }

    // The bar steps on its own until the encoder reports how far it is.
    saveProgress->setValue(0);
    disconnect(progressPulse_, nullptr, this, nullptr);
    connect(progressPulse_, &QTimer::timeout, this,
            [this] { saveProgress->setValue((saveProgress->value() + 1) % 100); });
    progressPulse_->start();
    disconnect(convertSave_, nullptr, this, nullptr);
    connect(convertSave_, &ConvertSave::progress, this,
            [this, started = std::make_shared<QElapsedTimer>()](std::int64_t doneMs,
                                                                std::int64_t totalMs) {
                progressPulse_->stop();
                if (!started->isValid()) {
                    started->start();
                }
                if (totalMs <= 0) {
                    return;
                }
                saveProgress->setValue(static_cast<int>(doneMs * 100 / totalMs));
                // The time left at the pace so far, once there is a pace to go by.
                if (doneMs > 0 && started->elapsed() > 500) {
                    const std::int64_t leftMs = started->elapsed() * (totalMs - doneMs) / doneMs;
                    saveProgress->setFormat(tr("%p%  (%1 s left)").arg((leftMs + 999) / 1000));
                    saveProgress->setTextVisible(true);
                }
            });
    connect(convertSave_, &ConvertSave::finished, this, [this, target](const SaveOutcome& outcome) {
        saveFinished(SaveKind::Convert, outcome, target);
    });
    ConvertSaveJob job{host.program.programFolder(),
                       session_.selection(),
                       session_.sourceAsOpened(),
                       format,
                       bitrate,
                       target};
    job.fadeInMs = fadeInBox->value();
    job.fadeOutMs = fadeOutBox->value();
    // The encoder fits the fades to the selection as Direct Save does; the window says so.
    const FittedFades fitted =
        fitFades(job.fadeInMs, job.fadeOutMs, 1000, job.selection.lengthMs());
    if (fitted.shortened) {
        saveNotice_ = tr("The fades together are longer than the selection: shortened "
                         "to %1 ms and %2 ms.")
                          .arg(fitted.inSamples)
                          .arg(fitted.outSamples);
    }
    convertSave_->start(job);
}

} // namespace snipora
