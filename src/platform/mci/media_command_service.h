// The string-command media service: parses command texts and drives "mpegvideo" devices by name.
#pragma once

#include "platform/host.h"
#include "platform/mci/audio_output.h"

#include <QByteArray>

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace snipora::mci {

class MpegVideoDevice;
struct MciCommand;

// Safe to call from any thread. A command holds the service's own lock only to find its
// device; the slow parts (scanning a file on open, stopping an output on close) run outside it.
// Replies are written only when a command succeeds, so a refused query leaves the caller's
// buffer as it was.
class MediaCommandService final : public MediaCommands {
public:
    explicit MediaCommandService(AudioOutputFactory outputs);
    ~MediaCommandService() override;
    MediaCommandService(const MediaCommandService&) = delete;
    MediaCommandService& operator=(const MediaCommandService&) = delete;

    std::uint32_t sendString(std::string_view command, char* reply,
                             std::uint32_t replyLength) override;

private:
    std::uint32_t execute(const MciCommand& command, std::string& reply);
    std::uint32_t open(const MciCommand& command);
    std::uint32_t close(const MciCommand& command);

    AudioOutputFactory outputs_;
    std::mutex mutex_;
    // An empty pointer marks a device that is still opening.
    std::map<QByteArray, std::shared_ptr<MpegVideoDevice>> devices_;
};

} // namespace snipora::mci
