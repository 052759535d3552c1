// The cut from the command line: the same Direct Save and Convert Save as the buttons, no window.
#pragma once

#include "platform/host.h"

#include <QStringList>

#include <cstdio>
#include <functional>
#include <optional>

namespace snipora {

// What `snipora --cut START END INPUT -o OUTPUT [--format FORMAT --bitrate RATE]` asks for.
struct CutRequest {
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;
    QByteArray input; // the name's bytes
    QString output;
    QString format; // empty: Direct Save
    QString bitrate;
};

// Reads the arguments after "--cut"; on a mistake, the message to print.
std::optional<CutRequest> parseCutArguments(const QStringList& arguments, QString* error);

// Starts the cut; `done` gets the exit status, 0 only when the output was written and checked,
// from the event loop (a Convert Save runs the encoder meanwhile). The failure message goes to
// `errors`.
void startCut(const CutRequest& request, MediaCommands& media, ProcessLauncher& processes,
              const QString& programFolder, std::FILE* errors, std::function<void(int)> done);

} // namespace snipora
