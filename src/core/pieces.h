// The pieces of a source: ordered split points, and the pieces between them with titles and on/off.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace snipora {

struct Piece {
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;
    QString title;
    bool enabled = true; // a piece switched off is not saved (an advert, a pause)

    std::int64_t lengthMs() const { return endMs - startMs; }
    bool operator==(const Piece&) const = default;
};

// Split points strictly inside (0, length) in milliseconds, kept in order. Two points closer than
// `minimumGapMs` (one MPEG frame) would make a piece no frame cut can hold, so they are one
// point; so is a point that close to either end of the source. Adding a point splits one piece
// in two: the first half keeps the piece's title and switch, the second is untitled and on.
class PieceList {
public:
    PieceList() = default;
    PieceList(std::int64_t lengthMs, std::int64_t minimumGapMs);

    std::int64_t lengthMs() const { return lengthMs_; }
    const std::vector<std::int64_t>& splitPoints() const { return points_; }
    // Always splitPoints().size() + 1 pieces, covering the source without gap or overlap.
    std::vector<Piece> pieces() const;
    std::size_t pieceCount() const { return points_.size() + 1; }

    // False (and nothing changes) when the point is merged into an existing one or an end.
    bool addSplitPoint(std::int64_t ms);
    void removeSplitPoint(std::size_t index);
    // Moves a point (a drag) and keeps every title and switch; it stays between its neighbours,
    // one frame from each and from the ends. False when there is no such point.
    bool moveSplitPoint(std::size_t index, std::int64_t ms);
    // Replaces every split point (added in the order given) and resets titles and switches.
    void setSplitPoints(const std::vector<std::int64_t>& points);

    void setTitle(std::size_t piece, const QString& title);
    void setEnabled(std::size_t piece, bool enabled);

private:
    std::int64_t lengthMs_ = 0;
    std::int64_t minimumGapMs_ = 1;
    std::vector<std::int64_t> points_;
    std::vector<QString> titles_; // one per piece
    std::vector<bool> enabled_;   // one per piece
};

} // namespace snipora
