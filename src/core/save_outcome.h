// How a save ended: done, stopped by the user, or failed for a reason the user is told.
#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace snipora {

class SaveOutcome {
public:
    enum class Kind { Done, Cancelled, Failed };

    SaveOutcome() = default; // done
    static SaveOutcome cancelled() { return SaveOutcome(Kind::Cancelled, {}); }
    static SaveOutcome failed(QString reason) {
        return SaveOutcome(Kind::Failed, std::move(reason));
    }
    // A step that gives the reason it failed, or nothing when it went well.
    static SaveOutcome from(const std::optional<QString>& failure) {
        return failure ? failed(*failure) : SaveOutcome();
    }

    Kind kind() const { return kind_; }
    bool isDone() const { return kind_ == Kind::Done; }
    bool isCancelled() const { return kind_ == Kind::Cancelled; }
    bool isFailed() const { return kind_ == Kind::Failed; }
    // Why it failed, in words for the user; empty unless it failed.
    const QString& reason() const { return reason_; }
    // True when the save did not succeed, so that a step's outcome reads as "if it went wrong".
    explicit operator bool() const { return kind_ != Kind::Done; }
    bool operator==(const SaveOutcome&) const = default;

private:
    SaveOutcome(Kind kind, QString reason) : kind_(kind), reason_(std::move(reason)) {}

    Kind kind_ = Kind::Done;
    QString reason_;
};

enum class SaveKind { Direct, Convert };

// What the user is told of an outcome other than done: "Direct Save cancelled.",
// "Save failed: <reason>", "Convert Save failed: <reason>", ...; empty when done.
QString outcomeMessage(SaveKind save, const SaveOutcome& outcome);

} // namespace snipora
