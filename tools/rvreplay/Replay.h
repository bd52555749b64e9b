#pragma once
// Replays a recorded event offline with the server's own code: the working folder's
// configuration, race control and files, fed the recording's messages on a virtual clock, so
// that what the live event decided (who joined, lapped, timed out, won) is decided again and
// written again, however the live server ended.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "rvreplay/RecordingFeed.h"
#include "transport/Clock.h"

class CRVServer;

struct ReplayOptions {
    std::string workdir{};
    std::string recording{};          // "": WORKDIR/server/replay/out.rvsr
    std::string out{};                // "": WORKDIR/server/replayed/
    std::optional<uint32_t> until{};  // server time in ms at which to stop
};

// What a first reading found in the recording.
struct RecordingScan {
    uint64_t messages = 0;  // readable messages, from the start up to any damage
    uint32_t lastTime = 0;
    uint64_t fileSize = 0;
    std::string damage;  // "" or why reading stops early, with the byte where it does
};

class Replay {
  public:
    explicit Replay(ReplayOptions options);
    ~Replay();

    // Checks the working folder, the configuration and the recording and creates the output
    // folder; false with a one-line error() when the replay cannot start.
    bool prepare();
    const std::string& error() const { return error_; }
    const RecordingScan& scan() const { return scan_; }
    const std::string& outFolder() const { return out_; }

    // Runs the event to the end of the recording or to `until`. `progress` is called now and
    // then with the messages replayed so far.
    void run(const std::function<void(uint64_t messages)>& progress = {});
    uint32_t endTime() const { return clock_.now(); }
    uint64_t messages() const { return feed_ ? feed_->delivered() : 0; }
    CRVServer& server() { return *server_; }

  private:
    std::string localTimeText(const char* format) const;

    ReplayOptions options_;
    std::string recording_;
    std::string out_;
    std::string error_;
    RecordingScan scan_;
    // Wall-clock time of the live server's start, guessed from when the recording was last
    // written: results files are named by local time, and the replay names them alike.
    std::time_t liveStart_ = 0;
    // The clock the replayed server reads: it stands wherever the replay puts it.
    ManualClock clock_{0};
    std::unique_ptr<RecordingFeed> feed_;
    std::unique_ptr<CRVServer> server_;
};

// Reads the recording once without replaying it. A recording ends, for the replay, at the first
// record the recorder could not have written: cut short, empty, larger than any message, or
// older than the one before.
RecordingScan scanRecording(const std::string& path);
