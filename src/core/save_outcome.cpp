// The words for how a save ended.
#include "core/save_outcome.h"

namespace snipora {

QString outcomeMessage(SaveKind save, const SaveOutcome& outcome) {
    switch (outcome.kind()) {
    case SaveOutcome::Kind::Done:
        return {};
    case SaveOutcome::Kind::Cancelled:
        return save == SaveKind::Direct ? QStringLiteral("Direct Save cancelled.")
                                        : QStringLiteral("Convert Save cancelled.");
    case SaveOutcome::Kind::Failed:
        return (save == SaveKind::Direct ? QStringLiteral("Save failed: ")
                                         : QStringLiteral("Convert Save failed: ")) +
               outcome.reason();
    }
    return {};
}

} // namespace snipora
