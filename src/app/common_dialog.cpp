// Cdlg: forwards to the host's file dialogs and reports a cancel as a failure.
#include "app/common_dialog.h"

#include "app/failure.h"

namespace snipora {

FileDialogRequest CommonDialog::request() const {
    return FileDialogRequest{Filter, FilterIndex, DialogTitle, FileName};
}

void CommonDialog::ShowOpen() {
    std::optional<QString> chosen;
    if (presetOpen_) {
        chosen.swap(presetOpen_); // one answer only
    } else {
        chosen = dialogs_.openFile(request());
    }
    if (!chosen) {
        throw CancelError();
    }
    FileName = *chosen;
}

void CommonDialog::ShowSave() {
    const auto chosen = dialogs_.saveFile(request());
    if (!chosen) {
        throw CancelError();
    }
    FileName = *chosen;
}

} // namespace snipora
