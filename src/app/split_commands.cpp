// The undoable edits of the marks and the split points: applying them and merging a drag.
#include "app/split_commands.h"

#include <QCoreApplication>

#include <utility>

namespace snipora {

MarksCommand::MarksCommand(Apply apply, const MarksState& before, const MarksState& after,
                           int gesture)
    : GestureCommand(QCoreApplication::translate("snipora::MarksCommand", "Move the marks"),
                     gesture),
      apply_(std::move(apply)), before_(before), after_(after) {}

void MarksCommand::redo() {
    // Pushed after the session made the change; only a redo after an undo applies it.
    if (done_) {
        done_ = false;
        return;
    }
    apply_(after_);
}

bool MarksCommand::mergeWith(const QUndoCommand* other) {
    const auto* later = static_cast<const MarksCommand*>(other);
    if (later->gesture() != gesture()) {
        return false;
    }
    after_ = later->after_;
    return true;
}

PiecesCommand::PiecesCommand(const QString& text, Apply apply, const PieceList& before,
                             const PieceList& after, int gesture)
    : GestureCommand(text, gesture), apply_(std::move(apply)), before_(before), after_(after) {}

bool PiecesCommand::mergeWith(const QUndoCommand* other) {
    const auto* later = static_cast<const PiecesCommand*>(other);
    if (later->gesture() != gesture()) {
        return false;
    }
    after_ = later->after_;
    return true;
}

} // namespace snipora
