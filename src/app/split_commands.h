// The undoable edits of the marks and of the split points, as QUndoStack commands.
#pragma once

#include "core/pieces.h"
#include "core/selection.h"

#include <QUndoCommand>

#include <functional>

namespace snipora {

// Both marks as the user left them: where they are, and whether each is set.
struct MarksState {
    Selection selection;
    bool startSet = false;
    bool endSet = false;
    bool operator==(const MarksState&) const = default;
};

// Steps of one gesture (the moves of one drag) merge into one undo step; every other action
// has a gesture of its own.
class GestureCommand : public QUndoCommand {
public:
    GestureCommand(const QString& text, int gesture) : QUndoCommand(text), gesture_(gesture) {}
    int gesture() const { return gesture_; }

private:
    int gesture_;
};

// A change of the marks that the session has already made: the first redo does nothing.
class MarksCommand final : public GestureCommand {
public:
    using Apply = std::function<void(const MarksState&)>;
    MarksCommand(Apply apply, const MarksState& before, const MarksState& after, int gesture);

    void undo() override { apply_(before_); }
    void redo() override;
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    Apply apply_;
    MarksState before_;
    MarksState after_;
    bool done_ = true;
};

// A change of the split points, their titles or switches: redo puts `after` in place.
class PiecesCommand final : public GestureCommand {
public:
    using Apply = std::function<void(const PieceList&)>;
    PiecesCommand(const QString& text, Apply apply, const PieceList& before, const PieceList& after,
                  int gesture);

    void undo() override { apply_(before_); }
    void redo() override { apply_(after_); }
    int id() const override { return 2; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    Apply apply_;
    PieceList before_;
    PieceList after_;
};

} // namespace snipora
