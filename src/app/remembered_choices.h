// What the window remembers from one run to the next: the last folders for opening and for
// saving, the last output format and bitrate, the fade lengths, whether marks snap to quiet and
// the pattern that names the pieces of a split.
#pragma once

#include <QString>

namespace snipora {

// The names the settings are kept under: ~/.config/<organisation>/<application>.conf.
inline constexpr const char* settingsOrganisation = "snipora";
inline constexpr const char* settingsApplication = "snipora";

enum class Remembered {
    OpenFolder,
    SaveFolder,
    Format,
    Bitrate,
    FadeIn,
    FadeOut,
    SnapToQuiet,
    PieceNames
};

// The value last kept; empty when there is none.
QString remembered(Remembered what);
void remember(Remembered what, const QString& value);

} // namespace snipora
