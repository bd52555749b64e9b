#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "race/SessionRecord.h"

class ZTINIReader;

struct EntryListLine {
    std::string driver;  // guid, compared exactly
    int32_t ballast = 0;
};

// The values read from rvservercfg.ini, once, at start-up.
struct ServerConfig {
    static constexpr int kAcceptedVersion = 131;
    // Start-up replaces MAXVALIDLAPS with this, whatever the file says.
    static constexpr int kMaxValidLaps = 10000;

    std::string name;
    std::string track;
    std::string configuration;
    std::string car;
    std::string frontTyre;
    std::string rearTyre;
    std::string password;
    std::string admin;
    int32_t maxClients = 0;
    int32_t acceptVersion = kAcceptedVersion;
    int32_t port = 0;
    int32_t loop = 0;
    int32_t winnerBallast = 0;
    int32_t rain = 0;
    int32_t damage = 0;
    int32_t maxValidLaps = 0;
    float bandwidth = 0;
    bool registerWithLobby = false;
    bool fullMode = false;
    bool useForGrid = false;
    std::vector<EntryListLine> entryList;
    // [LOBBY]: the lobby's UDP endpoint ("a.b.c.d", port 32000 unless ":port" follows) and its
    // web host ("host[:port]").
    std::string lobbyUdpHost = "127.0.0.1";
    std::string lobbyHttpHost = "127.0.0.1";
    // [FLEET] SHUTDOWN_WHEN_FINISHED: ask the fleet host to end the event once the sequence is
    // over.
    bool shutdownWhenFinished = false;
    // Optional: a server chat line each client gets right after its acceptance.
    std::string motd;
    // The ban list's file, under the working folder unless absolute; events on one host may
    // share one.
    static constexpr char kDefaultBanList[] = "cfg/bans.ini";
    std::string banList = kDefaultBanList;
};

// Loads rvservercfg.ini from where the server looks: the documents folder's Ralvo/cfg first,
// then cfg/ under `root`. Returns the path loaded, or "" when neither exists.
std::string loadConfigurationFile(ZTINIReader& ini, const std::string& documentsFolder,
                                  const std::string& root);
// Every value of the configuration, read as start-up reads it, without console output.
void readServerConfiguration(const ZTINIReader& ini, ServerConfig& config,
                             std::vector<SessionRecord>& sessions);

// True when cfg/rvserverrecorder.ini under `root` asks for the last recording to be played back
// (LOAD=1) rather than a new one started.
bool recorderPlaybackConfigured(const std::string& root);
