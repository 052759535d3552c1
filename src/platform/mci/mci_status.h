// Every status the media command service returns, with its meaning, in one table.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace snipora::mci {

// The platform's usual numbers, so callers that know them read ours the same way.
enum Status : std::uint32_t {
    Ok = 0,
    UnrecognizedKeyword = 259,
    UnrecognizedCommand = 261,
    InvalidDeviceName = 263,
    MissingCommandString = 267,
    MissingStringArgument = 269,
    BadInteger = 270,
    MissingParameter = 273,
    FileNotFound = 275,
    DeviceNotReady = 276,
    Internal = 277,
    CannotUseAll = 279,
    OutOfRange = 282,
    FlagsNotCompatible = 284,
    DuplicateAlias = 289,
    MissingDeviceName = 292,
    BadTimeFormat = 293,
    NoClosingQuote = 294,
    DuplicateFlags = 295,
    InvalidFile = 296,
    ExtraCharacters = 305,
};

struct StatusEntry {
    Status status;
    std::string_view text;
};

// The one list of what the service can answer; nothing returns a status missing here.
inline constexpr std::array<StatusEntry, 21> statusTable{{
    {Ok, "The command succeeded."},
    {UnrecognizedKeyword, "A word of the command is not known to the device."},
    {UnrecognizedCommand, "The command word is not known."},
    {InvalidDeviceName, "No device is open under that name, or the device type is unknown."},
    {MissingCommandString, "The command text is empty."},
    {MissingStringArgument, "A word that needs a text after it has none."},
    {BadInteger, "A number in the command is not a 32-bit decimal integer."},
    {MissingParameter, "A word that needs a value after it has none."},
    {FileNotFound, "The file does not exist."},
    {DeviceNotReady, "The device is still opening."},
    {Internal, "The service failed inside; the device is left as it was."},
    {CannotUseAll, "\"all\" cannot be used as a device name with this command."},
    {OutOfRange, "A position lies before the start of the media."},
    {FlagsNotCompatible, "Two words of the command cannot be used together."},
    {DuplicateAlias, "A device is already open under that name."},
    {MissingDeviceName, "The command names no device."},
    {BadTimeFormat, "The device supports milliseconds only."},
    {NoClosingQuote, "A quoted text has no closing quote."},
    {DuplicateFlags, "A word is given twice."},
    {InvalidFile, "The file cannot be played: it holds no MPEG audio that can be decoded."},
    {ExtraCharacters, "Characters follow a closing quote."},
}};

// The meaning of a status, or an empty text for a number not in the table.
constexpr std::string_view statusText(std::uint32_t status) {
    for (const StatusEntry& entry : statusTable) {
        if (entry.status == status) {
            return entry.text;
        }
    }
    return {};
}

} // namespace snipora::mci
