// One main per test executable: every test class registered with SNIPORA_TEST runs in turn.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace snipora::test {

using TestFactory = std::function<std::unique_ptr<QObject>()>;
int registerTest(TestFactory factory);

} // namespace snipora::test

#define SNIPORA_TEST(Class)                                                                        \
    static const int registered_##Class [[maybe_unused]] =                                         \
        snipora::test::registerTest([] { return std::make_unique<Class>(); });
