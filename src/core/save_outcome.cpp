// The words for how a save ended.
#include "core/save_outcome.h"
#include "core/core_text.h"

namespace snipora {

QString outcomeMessage(SaveKind save, const SaveOutcome& outcome) {
    switch (outcome.kind()) {
    case SaveOutcome::Kind::Done:
        return {};
    case SaveOutcome::Kind::Cancelled:
        return save == SaveKind::Direct ? CoreText::tr("Direct Save cancelled.")
                                        : CoreText::tr("Convert Save cancelled.");
    case SaveOutcome::Kind::Failed:
        return (save == SaveKind::Direct ? CoreText::tr("Save failed: ")
                                         : CoreText::tr("Convert Save failed: ")) +
               outcome.reason();
    }
    return {};
}

} // namespace snipora
