// A fresh main window on fresh fakes for every test function.
#pragma once

#include "app/main_window.h"
#include "app/remembered_choices.h"
#include "support/fake_host.h"

#include <QFile>
#include <QObject>
#include <QSettings>
#include <QTest>

#include <memory>

namespace snipora::test {

class WindowFixture : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<MainWindow> window;

    // A file open and playing on the scripted device: `lengthMs` long, at `positionMs`.
    void openPlaying(std::int32_t lengthMs = 60000, std::int32_t positionMs = 0) {
        fakes->media.setLength(lengthMs);
        fakes->media.setPosition(positionMs);
        fakes->media.setMode("playing");
        QVERIFY(!window->session().open(
            QFile::encodeName(QStringLiteral(SNIPORA_PROGRAM_DIR "/thanks.txt")), 1));
    }

private slots:
    void init() {
        // Each test starts from a program that remembers nothing.
        QSettings(QString::fromLatin1(settingsOrganisation),
                  QString::fromLatin1(settingsApplication))
            .clear();
        fakes = std::make_unique<FakeHost>();
        window = std::make_unique<MainWindow>(fakes->host());
    }
    void cleanup() {
        window.reset();
        fakes.reset();
    }
};

} // namespace snipora::test
