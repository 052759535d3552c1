// What the program and the window's program first do with their command line: read it as the
// system gave it, and answer help, version or a mistake at once.
#pragma once

#include "core/command_line.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace snipora {

// The arguments as the system gave them, after whatever the application object took.
QList<QByteArray> argumentBytes(int argc, char* argv[]);

// The folder the program started in, as the file system spells it.
QByteArray workingFolder();

// Prints the help, the version or the line's mistake and gives the exit status; nullopt for a
// good line that asks for something else.
std::optional<int> answerAtOnce(const CommandLine& line);

} // namespace snipora
