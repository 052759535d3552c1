// The cut from the command line: the same Direct Save and Convert Save as the buttons, no window.
#pragma once

#include "core/command_line.h"
#include "core/direct_save.h"
#include "platform/host.h"

#include <QObject>

#include <cstdio>
#include <memory>
#include <optional>

namespace snipora {

class ConvertSave;

// Runs one cut from the source file alone: no media service, no sound device, one read of the
// source for its frame map. Direct Save runs on its worker thread, Convert Save through the
// encoder, so the event loop hears a termination signal at once. Destroying the object while a
// save runs ends it and keeps any existing output as it was: no encoder left running, no
// temporary file left behind. The launcher must outlive this object.
class HeadlessCut : public QObject {
    Q_OBJECT
public:
    HeadlessCut(ProcessLauncher& processes, QString programFolder, std::FILE* errors);
    ~HeadlessCut() override;

    // finished follows from the event loop.
    void start(const CutRequest& request);

signals:
    // 0 only when the output was written and checked, else 1 (the message went to `errors`).
    void finished(int status);

private:
    void finish(const std::optional<QString>& failure);
    std::optional<QString> prepareTarget();
    std::optional<QString> placeTarget();
    void dropStandIn();

    ProcessLauncher& processes_;
    QString programFolder_;
    std::FILE* errors_;
    CutRequest request_;
    int sourceHandle_ = -1;
    // An output name that is not valid text is written under a stand-in name of plain text in
    // the same folder (reached through `folderHandle_`) and renamed to its own bytes at the end.
    int folderHandle_ = -1;
    QByteArray standIn_;
    QString target_; // the name the saves write
    std::unique_ptr<DirectSave> direct_;
    std::unique_ptr<ConvertSave> convert_;
};

} // namespace snipora
