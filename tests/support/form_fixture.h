// A fresh main window on fresh fakes for every test function.
#pragma once

#include "app/form1.h"
#include "platform/qt_host.h"
#include "support/fake_host.h"

#include <QObject>

#include <memory>

namespace snipora::test {

class FormFixture : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<Form1> form;

private slots:
    void init() {
        fakes = std::make_unique<FakeHost>();
        form = std::make_unique<Form1>(fakes->host());
    }
    void cleanup() {
        form.reset();
        fakes.reset();
    }
};

// As FormFixture, but time, waiting and child processes are real: for tests that run real
// programs and wait for them.
class RealProcessFormFixture : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<QtClock> clock;
    std::unique_ptr<QtEventPump> pump;
    std::unique_ptr<QtProcessLauncher> launcher;
    std::unique_ptr<Form1> form;

private slots:
    void init() {
        fakes = std::make_unique<FakeHost>();
        clock = std::make_unique<QtClock>();
        pump = std::make_unique<QtEventPump>();
        launcher = std::make_unique<QtProcessLauncher>();
        form = std::make_unique<Form1>(Host{fakes->media, *clock, *pump, fakes->messages,
                                            fakes->dialogs, *launcher, fakes->program,
                                            fakes->advertisementPage});
    }
    void cleanup() {
        form.reset();
        launcher.reset();
        fakes.reset();
    }
};

} // namespace snipora::test
