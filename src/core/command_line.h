// The program's command line: the window with a file, a cut or a split without a window, help or
// version.
#pragma once

#include "core/selection.h"
#include "core/split_command.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace snipora {

// What `snipora --cut START END INPUT -o OUTPUT [--format FORMAT [--bitrate RATE]]` asks for
// (with --fade-in/--fade-out MS), or `snipora --remove START END [--remove START END...] INPUT
// -o OUTPUT` (with --join-fade, or --format and --bitrate).
// Names keep the bytes they were given, so that a name that is not valid text still names its
// file; both are absolute.
struct CutRequest {
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;
    QByteArray input;
    QByteArray output; // with the format's extension when converting
    QString format;    // empty: Direct Save
    QString bitrate;   // may be empty: the encoder's own choice, or its refusal
    // Direct Save only: fades at the section's edges, in milliseconds (0 for none).
    std::int64_t fadeInMs = 0;
    std::int64_t fadeOutMs = 0;
    // --remove: the input without the section, instead of the section.
    bool removeSection = false;
    // --snap: the marks first move to the quietest stretch near them.
    bool snapToQuiet = false;
    // Every section --remove names, the first being [startMs, endMs).
    std::vector<Selection> removedSections;
    // --join-fade: Direct Save softens each join by the gains of the granules beside it.
    bool joinFade = false;
};

struct CommandLine {
    enum class Action { Window, Cut, Split, Help, Version };
    // What was asked for, even when the line holds a mistake: Qt's own window options (which
    // a QApplication takes) are unknown here until one has taken them.
    Action action = Action::Window;
    QByteArray file; // the window's file, absolute; empty for none
    CutRequest cut;
    SplitRequest split;
    QString error; // the mistake to print; empty when the line is good
    // The mistake may be only an option of Qt's own that a QApplication takes (single-dash
    // words such as -stylesheet); any other mistake stands whatever Qt takes.
    bool windowOptionsMayRemedy = false;
};

// Reads the program's arguments (the program's name first) as the system gave them, after Qt
// has taken its own. `workingFolder` makes relative names absolute.
CommandLine parseCommandLine(const QList<QByteArray>& arguments, const QByteArray& workingFolder);

// The text --help prints.
QString usageText();

} // namespace snipora
