// Convert Save: encode the selection through ffmpeg into the chosen format and bitrate.
#include "app/form1.h"

#include "app/failure.h"
#include "export/encoder_command.h"
#include "export/file_identity.h"
#include "export/sw.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTemporaryFile>

#include <filesystem>
#include <optional>
#include <system_error>

namespace snipora {

namespace {

void inform(Form1& form, const QString& text) {
    form.host.messages.show(text, MessageStyle::Information);
}

// The encoder picks the container from the output name, so a name typed without an
// extension would lose the chosen format.
QString withFormatExtension(const QString& path, const QString& format) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) {
        return path;
    }
    return path + QLatin1Char('.') + format.toLower();
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A fresh name beside the target, with the target's extension so that the encoder picks the
// same container. The name is reserved and freed again at once: the encoder must find no file
// there, or it would ask before overwriting (with its input closed it would take that as No and
// fail, never wait).
std::optional<QString> temporaryNameBeside(const QString& target, QString* error) {
    const QFileInfo info(target);
    QTemporaryFile reserve(info.absolutePath() + QStringLiteral("/.") + info.completeBaseName() +
                           QStringLiteral(".XXXXXX.") + info.suffix());
    if (!reserve.open()) {
        *error = reserve.errorString();
        return std::nullopt;
    }
    return reserve.fileName();
}

std::filesystem::path fileSystemPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// Runs the encoder into a temporary file and puts that in place of the target only when the
// run succeeded, so a failed run never costs the user an existing file. Gives the failure text,
// or nothing on success.
std::optional<QString> convertInto(Form1& form, EncoderJob job) {
    const QString target = job.outputPath;
    QString error;
    const std::optional<QString> temporary = temporaryNameBeside(target, &error);
    if (!temporary) {
        return QStringLiteral("Convert Save failed: the folder of %1 cannot be written to (%2).")
            .arg(native(target), error);
    }
    job.outputPath = *temporary;
    const ProcessCommand command = encoderCommand(job);
    const sw::RunOutcome outcome = sw::runAndWait(form, command, 0);

    using Ending = sw::RunOutcome::Ending;
    QString failure;
    switch (outcome.ending) {
    case Ending::LaunchFailed:
        failure = QFileInfo::exists(command.program)
                      ? QStringLiteral("Convert Save failed: the encoder %1 could not be started.")
                      : QStringLiteral("Convert Save failed: the encoder %1 was not found.");
        failure = failure.arg(native(command.program));
        break;
    case Ending::Failed:
    case Ending::LimitExpired:
        failure = QStringLiteral("Convert Save failed: the encoder could not be run.");
        break;
    case Ending::StatusUnknown:
        failure = QStringLiteral("Convert Save failed: the encoder's result could not be read.");
        break;
    case Ending::Exited:
        if (outcome.exitStatus != 0) {
            failure = QStringLiteral("Convert Save failed: the encoder ended with exit status %1.")
                          .arg(outcome.exitStatus);
        } else if (QFileInfo(*temporary).size() <= 0) {
            failure = QStringLiteral("Convert Save failed: the encoder wrote no output file.");
        }
        break;
    }
    if (failure.isEmpty()) {
        const QFileInfo old(target);
        if (old.exists()) {
            // The new file takes the place of the old one, with the old one's permissions.
            QFile::setPermissions(*temporary, old.permissions());
        }
        std::error_code renamed;
        std::filesystem::rename(fileSystemPath(*temporary), fileSystemPath(target), renamed);
        if (!renamed) {
            return std::nullopt;
        }
        failure = QStringLiteral("Convert Save failed: %1 could not be replaced (%2).")
                      .arg(native(target), QString::fromStdString(renamed.message()));
    } else if (!outcome.lastErrorLine.isEmpty()) {
        failure += QStringLiteral("\n\n") + outcome.lastErrorLine;
    }
    // A child still running after a failed query writes on into a name no one sees.
    QFile::remove(*temporary);
    return failure;
}

} // namespace

void Form1::Command8_Click() {
    if (!selectionIsValid()) {
        return;
    }
    if (markStart == 0) {
        markStart = 1;
    }
    if (Combo1->currentText() == QStringLiteral("Select Format")) {
        inform(*this, QStringLiteral("Please select output format."));
        return;
    }
    if (Combo2->currentText() == QStringLiteral("Bitrate")) {
        inform(*this, QStringLiteral("Please select output bitrate."));
        return;
    }
    const QString format = Combo1->currentText();
    const QString bitrate = Combo2->currentText();
    const QString extraOptions = encoderExtraOptions(format, bitrate);
    if (sourceFile.isEmpty()) {
        return;
    }

    enterSavingState();
    const auto abort = [this] {
        leaveSavingState();
        Cdlg.FileName.clear();
    };

    QString target;
    try {
        Cdlg.Filter = format + QStringLiteral(" Files|*.") + format.toLower() +
                      QStringLiteral("|All Files(*.*)|*.*");
        Cdlg.FilterIndex = 1;
        Cdlg.DialogTitle = QStringLiteral("Save");
        Cdlg.ShowSave();
        target = withFormatExtension(Cdlg.FileName, format);
    } catch (const std::exception&) {
        abort();
        return;
    }
    if (target.isEmpty()) {
        abort();
        return;
    }
    // By file identity: another spelling of the open file, or a link to it, is the open file.
    if (sameFile(target, sourceFile)) {
        inform(*this, QStringLiteral("The selected file is in use and cannot be overwritten."));
        abort();
        return;
    }
    // Anything at that name counts, readable or not: it is replaced only with consent.
    const QFileInfo existing(target);
    if (existing.exists() || existing.isSymLink()) {
        const MessageAnswer answer = host.messages.show(
            QStringLiteral("Do you want to overwrite the existing file?"), MessageStyle::Question);
        if (answer != MessageAnswer::Yes) {
            abort();
            return;
        }
    }

    std::optional<QString> failure;
    try {
        failure = convertInto(*this, EncoderJob{host.program.programFolder(), markStart, markEnd,
                                                sourceFile, bitrate, extraOptions, target});
    } catch (const std::exception& error) {
        failure =
            QStringLiteral("Convert Save failed: %1").arg(QString::fromLocal8Bit(error.what()));
    }

    pb->setValue(0);
    setWindowTitle(QStringLiteral("Snipora"));
    inform(*this, failure ? *failure : QStringLiteral("Done                "));
    for (QWidget* control : lockedControls()) {
        control->setEnabled(true);
    }
    Cdlg.FileName = target;
}

} // namespace snipora
