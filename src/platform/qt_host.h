// The host services on Qt/Linux, and RealHost, which owns one of each for the running program.
#pragma once

#include "platform/host.h"

#include <QObject>

#include <map>
#include <memory>

class QProcess;

namespace snipora {

class QtClock final : public Clock {
public:
    double secondsSinceMidnight() override;
};

class QtEventPump final : public EventPump {
public:
    void processEvents() override;
    void sleep(int ms) override;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    MessageAnswer show(const QString& text, MessageStyle style) override;
};

class QtFileDialogs final : public FileDialogs {
public:
    std::optional<QString> openFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
};

class QtProcessLauncher final : public ProcessLauncher {
public:
    QtProcessLauncher();
    ~QtProcessLauncher() override;
    std::optional<int> start(const QString& program, const QStringList& arguments) override;
    std::optional<std::uint32_t> exitStatus(int id) override;
    QString lastErrorLine(int id) override;
    void release(int id) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;

private:
    struct Child;
    std::map<int, std::unique_ptr<Child>> children_;
    int nextId_ = 1;
};

class QtProgramControl final : public ProgramControl {
public:
    QString programFolder() override;
    [[noreturn]] void endProgram() override;
};

// The host of the running program.
class RealHost {
public:
    RealHost();
    ~RealHost();
    Host host();

private:
    std::unique_ptr<MediaCommands> media_;
    QtClock clock_;
    QtEventPump pump_;
    QtMessageBoxes messages_;
    QtFileDialogs dialogs_;
    QtProcessLauncher processes_;
    QtProgramControl program_;
};

// Converts a dialog filter in the "description|pattern|description|pattern" form to Qt's
// "description (pattern);;..." form, keeping the entries in order.
QString toQtFilter(const QString& filter, QString* selected, int filterIndex);

} // namespace snipora
