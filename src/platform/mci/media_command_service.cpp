// The string-command media service.
#include "platform/mci/media_command_service.h"

#include "platform/mci/mci_command.h"
#include "platform/mci/mci_status.h"
#include "platform/mci/mpeg_video_device.h"

#include <sys/stat.h>

#include <cstring>
#include <exception>
#include <limits>
#include <vector>

namespace snipora::mci {

namespace {
void writeReply(const std::string& text, char* reply, std::uint32_t replyLength) {
    if (reply == nullptr || replyLength == 0) {
        return;
    }
    const std::size_t length = std::min<std::size_t>(text.size(), replyLength - 1);
    std::memcpy(reply, text.data(), length);
    reply[length] = '\0';
}
} // namespace

MediaCommandService::MediaCommandService(AudioOutputFactory outputs)
    : outputs_(std::move(outputs)) {}

MediaCommandService::~MediaCommandService() {
    std::map<QByteArray, std::shared_ptr<MpegVideoDevice>> devices;
    {
        const std::lock_guard lock(mutex_);
        devices.swap(devices_);
    }
}

std::uint32_t MediaCommandService::sendString(std::string_view command, char* reply,
                                              std::uint32_t replyLength) {
    try {
        const ParsedCommand parsed = parseCommand(command);
        if (!parsed.command) {
            return parsed.status;
        }
        std::string answer;
        const std::uint32_t status = execute(*parsed.command, answer);
        if (status == Ok) {
            writeReply(answer, reply, replyLength);
        }
        return status;
    } catch (const std::exception&) {
        // Out of memory or a failing thread start: the caller gets a status, never a crash.
        return Internal;
    }
}

std::uint32_t MediaCommandService::open(const MciCommand& command) {
    {
        const std::lock_guard lock(mutex_);
        if (devices_.count(command.device) != 0) {
            return DuplicateAlias;
        }
        devices_.emplace(command.device, nullptr); // "not ready" while the file is scanned
    }
    // The name's bytes as the file system spells them: a decode to text and back would lose a
    // name that is not valid in the locale's encoding.
    struct stat file {};
    MpegVideoDevice::OpenResult opened;
    if (::stat(command.element.constData(), &file) != 0) {
        opened.status = FileNotFound;
    } else if (!S_ISREG(file.st_mode)) {
        opened.status = InvalidFile;
    } else {
        try {
            opened = MpegVideoDevice::open(command.element, outputs_);
        } catch (const std::exception&) {
            opened.status = Internal;
        }
    }
    const std::lock_guard lock(mutex_);
    if (opened.device) {
        devices_[command.device] = std::move(opened.device);
    } else {
        devices_.erase(command.device);
    }
    return opened.status;
}

std::uint32_t MediaCommandService::close(const MciCommand& command) {
    std::vector<std::shared_ptr<MpegVideoDevice>> closing;
    {
        const std::lock_guard lock(mutex_);
        if (command.device == "all") {
            for (auto entry = devices_.begin(); entry != devices_.end();) {
                if (entry->second) {
                    closing.push_back(std::move(entry->second));
                    entry = devices_.erase(entry);
                } else {
                    ++entry; // still opening: its open is not finished yet
                }
            }
        } else {
            const auto found = devices_.find(command.device);
            if (found == devices_.end()) {
                return InvalidDeviceName;
            }
            if (!found->second) {
                return DeviceNotReady;
            }
            closing.push_back(std::move(found->second));
            devices_.erase(found);
        }
    }
    // Stopping the outputs happens here, outside the lock.
    closing.clear();
    return Ok;
}

std::uint32_t MediaCommandService::execute(const MciCommand& command, std::string& reply) {
    if (command.verb == Verb::Open) {
        return open(command);
    }
    if (command.verb == Verb::Close) {
        return close(command);
    }
    std::shared_ptr<MpegVideoDevice> device;
    {
        const std::lock_guard lock(mutex_);
        const auto found = devices_.find(command.device);
        if (found == devices_.end()) {
            return InvalidDeviceName;
        }
        device = found->second;
    }
    if (!device) {
        if (command.verb == Verb::Status && command.item == StatusItem::Mode) {
            reply = "not ready";
            return Ok;
        }
        return DeviceNotReady;
    }
    switch (command.verb) {
    case Verb::Play:
        if ((command.from && *command.from < 0) || (command.skipAt && *command.skipAt < 0) ||
            (command.skipTo && *command.skipTo < 0)) {
            return OutOfRange;
        }
        if (command.skipAt) {
            return device->play(command.from,
                                MpegVideoDevice::Skip{*command.skipAt, *command.skipTo});
        }
        return device->play(command.from);
    case Verb::Seek:
        switch (command.seekTarget) {
        case SeekTarget::Start:
            return device->seek(0);
        case SeekTarget::End:
            return device->seek(std::numeric_limits<std::int32_t>::max());
        case SeekTarget::Position:
            break;
        }
        if (command.to < 0) {
            return OutOfRange;
        }
        return device->seek(command.to);
    case Verb::Stop:
        return device->stop();
    case Verb::Pause:
        return device->pause();
    case Verb::Resume:
        return device->resume();
    case Verb::Set:
        return Ok; // milliseconds, the only format, are always in force
    case Verb::Status:
        switch (command.item) {
        case StatusItem::Length:
            reply = std::to_string(device->lengthMs());
            break;
        case StatusItem::Position:
            reply = std::to_string(device->positionMs());
            break;
        case StatusItem::Mode:
            reply = std::string(device->mode());
            break;
        }
        return Ok;
    case Verb::Open:
    case Verb::Close:
        break;
    }
    return UnrecognizedCommand;
}

} // namespace snipora::mci
