// A Convert Save's reported outcome as the message the user would see; nothing when done.
#pragma once

#include "core/save_outcome.h"

#include <QVariant>

#include <optional>

namespace snipora::test {

inline std::optional<QString> reportedFailure(const QVariant& reported) {
    const auto outcome = reported.value<SaveOutcome>();
    return outcome.isDone() ? std::nullopt
                            : std::optional(outcomeMessage(SaveKind::Convert, outcome));
}

} // namespace snipora::test
