// The host services on Qt/Linux, and RealHost, which owns one of each for the running program.
#pragma once

#include "platform/host.h"

#include <map>
#include <memory>

namespace snipora {

class QtMessageBoxes final : public MessageBoxes {
public:
    MessageAnswer show(const QString& text, MessageStyle style) override;
};

class QtFileDialogs final : public FileDialogs {
public:
    std::optional<QString> openFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
    std::optional<QString> chooseFolder(const FileDialogRequest& request) override;
};

class QtProcessLauncher final : public ProcessLauncher {
public:
    QtProcessLauncher();
    ~QtProcessLauncher() override;
    std::optional<int> start(const QString& program, const QStringList& arguments,
                             Handlers handlers) override;
    QString lastErrorLine(int id) override;
    void kill(int id) override;
    void release(int id) override;

private:
    struct Child;
    std::map<int, std::unique_ptr<Child>> children_;
    int nextId_ = 1;
};

class QtDesktopLinks final : public DesktopLinks {
public:
    bool openUrl(const QUrl& address) override;
};

class QtProgramControl final : public ProgramControl {
public:
    QString programFolder() override;
    [[noreturn]] void endProgram() override;
};

// The host of the running program; the advertisement page is the caller's to set.
class RealHost {
public:
    RealHost();
    ~RealHost();
    Host host();

private:
    std::unique_ptr<MediaCommands> media_;
    QtMessageBoxes messages_;
    QtFileDialogs dialogs_;
    QtProcessLauncher processes_;
    QtDesktopLinks links_;
    QtProgramControl program_;
};

// Converts a dialog filter in the "description|pattern|description|pattern" form to Qt's
// "description (pattern);;..." form, keeping the entries in order.
QString toQtFilter(const QString& filter, QString* selected, int filterIndex);

} // namespace snipora
