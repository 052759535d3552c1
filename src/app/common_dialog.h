// Cdlg: the file dialog control, holding its filter, index, title and file name between uses.
#pragma once

#include "platform/host.h"

#include <QString>

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

private:
    FileDialogRequest request() const;

    FileDialogs& dialogs_;
};

} // namespace snipora
