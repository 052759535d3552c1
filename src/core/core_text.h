// The core's words for the user (reasons, command-line messages), marked for translation.
#pragma once

#include <QCoreApplication>

namespace snipora {

struct CoreText {
    Q_DECLARE_TR_FUNCTIONS(snipora::Core)
};

} // namespace snipora
