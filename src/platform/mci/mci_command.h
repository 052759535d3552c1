// The command texts the media service understands, parsed into values.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string_view>

namespace snipora::mci {

enum class Verb { Open, Close, Play, Seek, Stop, Pause, Resume, Set, Status };
enum class StatusItem { Length, Position, Mode };
enum class SeekTarget { Position, Start, End };

// One parsed command. Device names are lower case (they are matched without regard to case);
// "all" stands for every device where the command allows it.
struct MciCommand {
    Verb verb = Verb::Stop;
    QByteArray device;
    QByteArray element;               // open: the file, its bytes as given, quoting undone
    std::optional<std::int32_t> from; // play ... from N
    // play ... skip A to B: on reaching A, the sound goes on from B without a break.
    std::optional<std::int32_t> skipAt;
    std::optional<std::int32_t> skipTo;
    SeekTarget seekTarget = SeekTarget::Position;
    std::int32_t to = 0; // seek ... to N
    StatusItem item = StatusItem::Mode;
    bool wait = false;
};

struct ParsedCommand {
    std::optional<MciCommand> command; // empty when refused
    std::uint32_t status = 0;          // the refusal's status, 0 with a command
};

// Accepts, with keywords in any case, file names and device names quoted or not:
//   open <file> [type mpegvideo] [alias <name>] [parent <n>] [style <word>] [wait]
//   close <name>|all [wait]          play <name> [from <n>] [skip <a> to <b>] [wait]
//   seek <name> to <n>|start|end [wait]
//   stop|pause|resume <name> [wait]
//   set <name> time format ms|milliseconds [wait]
//   status <name> length|position|mode [wait]
// The text ends at its first zero character, as a C string would. Inside a double-quoted text a
// doubled quote ("") stands for one literal quote.
ParsedCommand parseCommand(std::string_view text);

} // namespace snipora::mci
