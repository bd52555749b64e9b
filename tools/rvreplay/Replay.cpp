#include "rvreplay/Replay.h"
#include "admission/CRVClientConnection.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>

#include "runtime/CRVServer.h"

namespace fs = std::filesystem;

namespace {

std::string folderPath(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace

RecordingScan scanRecording(const std::string& path) {
    RecordingScan scan;
    RecordingReader reader(path);
    scan.fileSize = reader.fileSize();
    RecordedMessage m;
    for (;;) {
        const uint64_t at = reader.offset();
        const RecordingReader::Next next = reader.next(m);
        std::string damage;
        if (next == RecordingReader::Next::End)
            break;
        if (next == RecordingReader::Next::Cut)
            damage = "ends inside a record";
        else if (next == RecordingReader::Next::Oversized)
            damage = "holds a record of " + std::to_string(reader.declaredSize()) + " bytes";
        else if (m.data.empty())
            damage = "holds an empty record";
        else if (scan.messages > 0 && m.time < scan.lastTime)
            damage = "goes back in time";
        if (!damage.empty()) {
            scan.damage = damage + " at byte " + std::to_string(at);
            break;
        }
        ++scan.messages;
        scan.lastTime = m.time;
    }
    return scan;
}

Replay::Replay(ReplayOptions options) : options_(std::move(options)) {}

Replay::~Replay() = default;

bool Replay::prepare() {
    const std::string dir = folderPath(options_.workdir);
    recording_ = options_.recording.empty() ? dir + "server/replay/out.rvsr" : options_.recording;
    out_ = folderPath(options_.out.empty() ? dir + "server/replayed" : options_.out);
    std::error_code ec;
    if (!fs::is_directory(options_.workdir, ec)) {
        error_ = "no working folder " + options_.workdir;
        return false;
    }
    if (!fs::is_regular_file(dir + "cfg/rvservercfg.ini", ec)) {
        error_ = "no configuration: " + dir + "cfg/rvservercfg.ini is missing";
        return false;
    }
    if (!RecordingReader(recording_).isOpen()) {
        error_ = "cannot read the recording " + recording_;
        return false;
    }
    scan_ = scanRecording(recording_);
    if (scan_.messages == 0) {
        error_ = "the recording " + recording_ + " holds no message" +
                 (scan_.damage.empty() ? "" : " (it " + scan_.damage + ")");
        return false;
    }
    fs::create_directories(out_, ec);
    if (!fs::is_directory(out_, ec)) {
        error_ = "cannot create the output folder " + out_;
        return false;
    }
    const auto written = fs::last_write_time(recording_, ec);
    const auto wall = std::chrono::system_clock::now() +
                      std::chrono::duration_cast<std::chrono::system_clock::duration>(
                          written - fs::file_time_type::clock::now());
    liveStart_ = std::chrono::system_clock::to_time_t(wall) - std::time_t(scan_.lastTime / 1000);
    return true;
}

std::string Replay::localTimeText(const char* format) const {
    const std::time_t t = liveStart_ + std::time_t(clock_.now() / 1000);
    char text[128] = {};
    if (const std::tm* local = std::localtime(&t))
        std::strftime(text, sizeof text, format, local);
    return text;
}

void Replay::run(const std::function<void(uint64_t)>& progress) {
    feed_ = std::make_unique<RecordingFeed>(recording_, scan_.messages);
    ServerEnvironment env;
    env.clock = &clock_;
    env.root = folderPath(options_.workdir);
    env.localTime = [this](const char* format) { return localTimeText(format); };
    env.feed = feed_.get();
    env.outputFolder = out_;
    server_ = std::make_unique<CRVServer>(env);
    server_->loadConfiguration();
    // The live server is still listed (or was); only it may take itself off the lobby.
    server_->config.registerWithLobby = false;
    server_->initialize();

    // Reported every so many messages, or turns while the recording is quiet.
    constexpr uint64_t kProgressEvery = 1 << 16;
    uint64_t reported = 0;
    uint64_t turns = 0;
    uint32_t t = 0;
    for (;;) {
        clock_.set(t);
        feed_->setNow(t);
        server_->update();
        if (progress && (feed_->delivered() - reported >= kProgressEvery ||
                         ++turns % (kProgressEvery * 16) == 0)) {
            reported = feed_->delivered();
            progress(reported);
        }
        if ((options_.until && t >= *options_.until) || feed_->exhausted())
            break;
        if (feed_->nextTime() <= t)
            continue;  // more arrived in this millisecond than one turn takes in
        // The live loop rests 10 ms a turn while fewer than two clients are connected and
        // hardly at all otherwise: a per-turn step (countdown, lost clients, session end) acts
        // on the same turns here, and between messages the clock moves on as the loop did.
        const uint32_t step = server_->clients.size() < 2 ? 10 : 1;
        t = std::min(feed_->nextTime(), t + step);
        if (options_.until)
            t = std::min(t, *options_.until);
    }
    // Drivers who signed off with the last messages leave in the turns right after them, as they
    // did on the live server.
    auto leaving = [this] {
        for (const CRVClientConnection* c : server_->clients)
            if (c->hasLeft)
                return true;
        return false;
    };
    while (!options_.until && leaving()) {
        clock_.set(++t);
        server_->update();
    }
    server_->flushOutput();
    if (progress)
        progress(feed_->delivered());
}
