// Direct Save: copy the selection's proportional byte range into a new file.
#include "app/failure.h"
#include "app/form1.h"
#include "export/byte_range_copy.h"
#include "export/file_identity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QSaveFile>

#include <array>
#include <limits>
#include <memory>

namespace snipora {

namespace {
// Ends the save through the exit path without a message: a cancelled dialog, the answer No,
// the open file chosen as the output.
struct QuietExit {};

// The chosen path as the user knows it, for the failure messages.
QString shownPath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}
} // namespace

void Form1::Command7_Click() {
    // Allocated once per run and reused by every block.
    auto block = std::make_unique<std::array<char, blockBytes>>();

    if (!selectionIsValid()) {
        return;
    }
    // Byte positions count from 1, so a start of 0 is raised to 1, and the raised mark is kept.
    if (markStart == 0) {
        markStart = 1;
    }
    enterSavingState();

    bool copyStarted = false;
    std::unique_ptr<QFile> source;
    // The copy goes into a temporary file beside the target, which replaces the target only once
    // complete: a failed or interrupted save (the window closed meanwhile) leaves any existing
    // file exactly as it was and nothing under the chosen name.
    std::unique_ptr<QSaveFile> target;
    QString failure;
    try {
        Cdlg.Filter = QStringLiteral("MP3 Files (*.mp3)|*.mp3|All Files (*.*)|*.*");
        Cdlg.FilterIndex = 1;
        Cdlg.DialogTitle = QStringLiteral("Save");
        // The dialog suggests the path it already holds: the last successful save's, if any.
        Cdlg.ShowSave();
        copyStarted = false;
        const QString chosen = Cdlg.FileName;
        if (chosen.isEmpty()) {
            throw QuietExit{};
        }
        // Compared by identity, so that no spelling of the open file's path (a link, a relative
        // or ".." form) can make the save destroy it.
        if (sameFile(chosen, sourceFile)) {
            host.messages.show(QStringLiteral("File already in use and cannot be overwritten. "
                                              "Please choose another file."),
                               MessageStyle::Information);
            throw QuietExit{};
        }
        if (QFileInfo::exists(chosen) &&
            host.messages.show(QStringLiteral("Do you want to overwrite the existing file?"),
                               MessageStyle::Question) != MessageAnswer::Yes) {
            throw QuietExit{};
        }

        source = std::make_unique<QFile>(sourceFile);
        if (!source->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            throw QuietExit{};
        }
        target = std::make_unique<QSaveFile>(chosen);
        // Never fall back to writing the target in place: that is what could lose it.
        target->setDirectWriteFallback(false);
        if (!target->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            throw SaveFailed(QStringLiteral("could not create %1: %2")
                                 .arg(shownPath(chosen), target->errorString()));
        }

        const qint64 fileBytes = source->size();
        if (fileBytes > std::numeric_limits<std::int32_t>::max()) {
            throw OverflowError("file length beyond 32 bits");
        }
        const std::int32_t fileLength = static_cast<std::int32_t>(fileBytes);
        const std::int32_t mediaLength = player().getLengthInMS();
        if (mediaLength == 0) {
            throw DivisionByZero("media length 0");
        }
        const std::int32_t bytesPerMs =
            roundToInt32(static_cast<double>(fileLength) / static_cast<double>(mediaLength));

        // The bar's maximum and value are single-precision numbers, as the platform's bar keeps
        // them. The value only ever holds multiples of 4096, which a float carries exactly, and
        // never passes the maximum, however that is rounded.
        const float maximum =
            static_cast<float>(checkedAdd(checkedSubtract(checkedMultiply(bytesPerMs, markEnd),
                                                          checkedMultiply(bytesPerMs, markStart)),
                                          blockBytes));
        pb->setMaximum(static_cast<int>(maximum));
        float progress = 0;
        pb->setValue(0);

        const std::int32_t start = checkedMultiply(bytesPerMs, markStart);
        const std::int32_t end = checkedMultiply(markEnd, bytesPerMs);

        copyStarted = true;
        if (bytesPerMs == 0) {
            throw SaveFailed(QStringLiteral("the file holds under half a byte per millisecond of "
                                            "playback, so the selection has no byte range"));
        }
        copyByteRange(*source, *target, start, end, *block, [&] {
            progress += static_cast<float>(blockStep);
            pb->setValue(static_cast<int>(progress));
            host.pump.processEvents();
        });

        source->close();
        if (!target->commit()) {
            throw SaveFailed(QStringLiteral("could not replace %1: %2")
                                 .arg(shownPath(chosen), target->errorString()));
        }
        target.reset();
        setWindowTitle(QStringLiteral("Snipora"));
        host.messages.show(QStringLiteral("Done"), MessageStyle::Information);
        pb->setValue(0);
        for (QWidget* control : lockedControls()) {
            control->setEnabled(true);
        }
        // The dialog keeps the chosen path, so the next save suggests it.
        return;
    } catch (const QuietExit&) {
    } catch (const SaveFailed& e) {
        failure = e.reason();
    } catch (const std::exception& e) {
        // Before the copy began a failure ends the save quietly, as a cancel does; once it began,
        // it must never pass for a finished save.
        if (copyStarted) {
            failure = QString::fromUtf8(e.what());
        }
    }

    // The exit path.
    if (!failure.isEmpty()) {
        host.messages.show(QStringLiteral("Save failed: ") + failure, MessageStyle::Information);
    }
    leaveSavingState();
    if (source) {
        source->close();
    }
    if (target) {
        target->cancelWriting();
    }
    target.reset();
    Cdlg.FileName.clear();
}

} // namespace snipora
