// Cdlg: the file dialog control, holding its filter, index, title and file name between uses.
#pragma once

#include "platform/host.h"

#include <QString>

#include <optional>

namespace snipora {

class CommonDialog {
public:
    explicit CommonDialog(FileDialogs& dialogs) : dialogs_(dialogs) {}

    QString Filter;
    int FilterIndex = 1;
    QString DialogTitle;
    QString FileName;

    // Show the dialog; the chosen path lands in FileName. A cancel raises CancelError and
    // leaves FileName as it was.
    void ShowOpen();
    void ShowSave();

    // The next ShowOpen answers with this path without asking the user: a file named on the
    // command line or dropped on the window goes through the same Open as a picked one.
    void presetOpenAnswer(const QString& path) { presetOpen_ = path; }

private:
    FileDialogRequest request() const;

    FileDialogs& dialogs_;
    std::optional<QString> presetOpen_;
};

} // namespace snipora
