// What the window remembers from one run to the next: the last folders for opening and for
// saving, the last output format and bitrate, the fade lengths and whether marks snap to quiet.
#pragma once

#include <QString>

namespace snipora {

// The names the settings are kept under: ~/.config/<organisation>/<application>.conf.
inline constexpr const char* settingsOrganisation = "snipora";
inline constexpr const char* settingsApplication = "snipora";

enum class Remembered { OpenFolder, SaveFolder, Format, Bitrate, FadeIn, FadeOut, SnapToQuiet };

// The value last kept; empty when there is none.
QString remembered(Remembered what);
void remember(Remembered what, const QString& value);

} // namespace snipora
