// The pieces of a source: split points kept in order and merged when closer than one frame.
#include "core/pieces.h"

#include <algorithm>

namespace snipora {

PieceList::PieceList(std::int64_t lengthMs, std::int64_t minimumGapMs)
    : lengthMs_(lengthMs), minimumGapMs_(std::max<std::int64_t>(minimumGapMs, 1)), titles_(1),
      enabled_(1, true) {}

std::vector<Piece> PieceList::pieces() const {
    std::vector<Piece> result;
    std::int64_t start = 0;
    for (std::size_t i = 0; i <= points_.size(); ++i) {
        const std::int64_t end = i < points_.size() ? points_[i] : lengthMs_;
        result.push_back(Piece{start, end, titles_[i], enabled_[i]});
        start = end;
    }
    return result;
}

bool PieceList::addSplitPoint(std::int64_t ms) {
    if (ms < minimumGapMs_ || ms > lengthMs_ - minimumGapMs_) {
        return false;
    }
    const auto next = std::lower_bound(points_.begin(), points_.end(), ms);
    if ((next != points_.end() && *next - ms < minimumGapMs_) ||
        (next != points_.begin() && ms - *std::prev(next) < minimumGapMs_)) {
        return false;
    }
    const auto piece = static_cast<std::size_t>(next - points_.begin());
    points_.insert(next, ms);
    titles_.insert(titles_.begin() + static_cast<std::ptrdiff_t>(piece) + 1, QString());
    enabled_.insert(enabled_.begin() + static_cast<std::ptrdiff_t>(piece) + 1, true);
    return true;
}

void PieceList::removeSplitPoint(std::size_t index) {
    if (index >= points_.size()) {
        return;
    }
    // The two pieces become one, which keeps the first one's title and switch.
    points_.erase(points_.begin() + static_cast<std::ptrdiff_t>(index));
    titles_.erase(titles_.begin() + static_cast<std::ptrdiff_t>(index) + 1);
    enabled_.erase(enabled_.begin() + static_cast<std::ptrdiff_t>(index) + 1);
}

bool PieceList::moveSplitPoint(std::size_t index, std::int64_t ms) {
    if (index >= points_.size()) {
        return false;
    }
    const std::int64_t lowest = index == 0 ? minimumGapMs_ : points_[index - 1] + minimumGapMs_;
    const std::int64_t highest = index + 1 == points_.size() ? lengthMs_ - minimumGapMs_
                                                             : points_[index + 1] - minimumGapMs_;
    points_[index] = std::clamp(ms, lowest, std::max(lowest, highest));
    return true;
}

void PieceList::setSplitPoints(const std::vector<std::int64_t>& points) {
    points_.clear();
    titles_.assign(1, QString());
    enabled_.assign(1, true);
    // In the caller's order, so that of two points within a frame the earlier named one stays.
    for (const std::int64_t point : points) {
        addSplitPoint(point);
    }
}

void PieceList::setTitle(std::size_t piece, const QString& title) {
    if (piece < titles_.size()) {
        titles_[piece] = title;
    }
}

void PieceList::setEnabled(std::size_t piece, bool enabled) {
    if (piece < enabled_.size()) {
        enabled_[piece] = enabled;
    }
}

} // namespace snipora
