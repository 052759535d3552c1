// The host services on Qt/Linux.
#include "platform/qt_host.h"

#include "platform/mci/media_command_service.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>
#include <unistd.h>

namespace snipora {

MessageAnswer QtMessageBoxes::show(const QString& text, MessageStyle style) {
    QWidget* parent = QApplication::activeWindow();
    const QString title = QStringLiteral("Snipora");
    if (style == MessageStyle::Question) {
        const auto answer = QMessageBox::question(
            parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    if (style == MessageStyle::Warning) {
        QMessageBox::warning(parent, title, text, QMessageBox::Ok);
    } else {
        QMessageBox::information(parent, title, text, QMessageBox::Ok);
    }
    return MessageAnswer::Ok;
}

QString toQtFilter(const QString& filter, QString* selected, int filterIndex) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // A description that already shows its patterns keeps them once.
        const QString shown = QStringLiteral("(") + patterns + QLatin1Char(')');
        entries << (parts[i].endsWith(shown) ? parts[i] : parts[i] + QLatin1Char(' ') + shown);
    }
    if (selected && filterIndex >= 1 && filterIndex <= entries.size()) {
        *selected = entries[filterIndex - 1];
    }
    return entries.join(QStringLiteral(";;"));
}

namespace {
std::optional<QString> runDialog(const FileDialogRequest& request, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(QApplication::activeWindow(), request.title);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    // The program asks its own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QString selected;
    dialog.setNameFilter(toQtFilter(request.filter, &selected, request.filterIndex));
    if (!selected.isEmpty()) {
        dialog.selectNameFilter(selected);
    }
    if (!request.folder.isEmpty()) {
        dialog.setDirectory(request.folder);
    }
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}
} // namespace

std::optional<QString> QtFileDialogs::openFile(const FileDialogRequest& request) {
    return runDialog(request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtFileDialogs::saveFile(const FileDialogRequest& request) {
    return runDialog(request, QFileDialog::AcceptSave);
}

std::optional<QString> QtFileDialogs::chooseFolder(const FileDialogRequest& request) {
    const QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
                                                             request.title, request.folder);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

bool QtDesktopLinks::openUrl(const QUrl& address) {
    return QDesktopServices::openUrl(address);
}

QString QtProgramControl::programFolder() {
    return QCoreApplication::applicationDirPath();
}

void QtProgramControl::endProgram() {
    std::fflush(nullptr);
    // At once, from wherever it is: no further events, no unload of other windows.
    ::_exit(0);
}

RealHost::RealHost()
    : media_(std::make_unique<mci::MediaCommandService>(
          mci::makeOutputFactory(mci::outputChoiceFromEnvironment()))) {}

RealHost::~RealHost() = default;

Host RealHost::host() {
    return Host{*media_, messages_, dialogs_, processes_, links_, program_, QUrl()};
}

} // namespace snipora
