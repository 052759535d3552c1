// Putting the sections to take out in order and merging those that overlap or touch.
#include "core/removed_sections.h"
#include "core/core_text.h"

#include "core/direct_save.h"
#include "core/mp3_frame_map.h"

#include <algorithm>

namespace snipora {

std::vector<Selection> mergedSections(std::span<const Selection> sections) {
    std::vector<Selection> sorted;
    for (const Selection& section : sections) {
        if (section.isValid()) {
            sorted.push_back(section);
        }
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const Selection& a, const Selection& b) { return a.start < b.start; });
    std::vector<Selection> merged;
    for (const Selection& section : sorted) {
        if (!merged.empty() && section.start <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, section.end);
        } else {
            merged.push_back(section);
        }
    }
    return merged;
}

std::int64_t keptLengthMs(const Selection& selection, std::span<const Selection> sections) {
    std::int64_t kept = selection.lengthMs();
    for (const Selection& section : mergedSections(sections)) {
        kept -= std::max<std::int64_t>(0, std::min(section.end, selection.end) -
                                              std::max(section.start, selection.start));
    }
    return kept;
}

std::optional<QString> removalRefusal(std::span<const Selection> sections, const Mp3FrameMap& map) {
    if (sections.empty()) {
        return CoreText::tr("no section to take out");
    }
    for (const Selection& section : sections) {
        if (map.sampleAtMs(section.end) <= map.sampleAtMs(section.start)) {
            return CoreText::tr("the section to take out is empty");
        }
        if (const auto outside = selectionOutsideSource(section, map)) {
            return outside;
        }
    }
    std::int64_t kept = map.lengthSamples();
    for (const Selection& section : mergedSections(sections)) {
        kept -= map.sampleAtMs(section.end) - map.sampleAtMs(section.start);
    }
    if (kept <= 0) {
        return CoreText::tr("the section takes out the whole file");
    }
    if (kept < map.samplesPerFrame()) {
        return CoreText::tr("the section leaves less than one MP3 frame of sound");
    }
    return std::nullopt;
}

} // namespace snipora
