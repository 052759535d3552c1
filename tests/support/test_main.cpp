// Runs every registered test class; the executable fails when any of them fails.
#include "support/test_main.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace snipora::test {

namespace {
std::vector<TestFactory>& registry() {
    static std::vector<TestFactory> tests;
    return tests;
}
} // namespace

int registerTest(TestFactory factory) {
    registry().push_back(std::move(factory));
    return static_cast<int>(registry().size());
}

} // namespace snipora::test

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Settings and caches go to a test folder, never the user's.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    // Whatever the program remembers goes to a folder of this run, never the user's settings.
    const QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    int failures = 0;
    for (const auto& factory : snipora::test::registry()) {
        const std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
