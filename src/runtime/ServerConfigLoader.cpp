// Reading rvservercfg.ini: every key once, in file-format order, with the conversions existing
// configuration files rely on.
#include <cstdio>
#include <string>

#include "runtime/CRVServer.h"
#include "runtime/ZTINIReader.h"

namespace {

const char* const kConfig = "CONFIGURATION";
// A mistyped count must not keep the server reading for hours before it starts.
constexpr int kMaxListLength = 1000;

// An optional key: the reader hands back the whole section (or nothing) when a key is missing,
// and no host name holds a line end.
std::string optionalValue(const ZTINIReader& ini, const char* section, const char* key,
                          const std::string& fallback) {
    std::string value = ini.getString(section, key);
    if (value.empty() || value.find_first_of("\r\n") != std::string::npos)
        return fallback;
    return value;
}

SessionRecord readSession(const ZTINIReader& ini, int index) {
    std::string section = "SESSION" + std::to_string(index);
    SessionRecord s;
    s.escMode = uint8_t(ini.getInt(section, "ESCMODE"));
    s.type = uint8_t(ini.getInt(section, "TYPE"));
    s.maxLaps = uint8_t(ini.getInt(section, "MAXLAPS"));
    s.minLaps = uint8_t(ini.getInt(section, "MINLAPS"));
    std::string name = ini.getString(section, "NAME");
    // The name field holds 69 characters; a missing NAME yields the whole section text.
    name = name.substr(0, SessionRecord::kNameSize - 1);
    std::snprintf(s.name, sizeof s.name, "%s", name.c_str());
    s.raceLaps = uint8_t(ini.getInt(section, "RACELAPS"));
    s.waitTime = int32_t(uint32_t(ini.getInt(section, "WAITTIME")) * 1000u);
    s.sessionTime = int32_t(uint32_t(ini.getInt(section, "SESTIME")) * 60000u);
    s.acceptNew = ini.getInt(section, "ACCEPTNEW") != 0 ? 1 : 0;
    s.started = 0;
    return s;
}

}  // namespace

std::string loadConfigurationFile(ZTINIReader& ini, const std::string& documentsFolder,
                                  const std::string& root) {
    // Without a documents folder (an offline replay) only the working folder counts.
    if (!documentsFolder.empty()) {
        const std::string documents = documentsFolder + "/Ralvo" + "/cfg/rvservercfg.ini";
        ini.load(documents);
        if (ini.loaded)
            return documents;
    }
    const std::string local = root + "cfg/rvservercfg.ini";
    ini.load(local);
    return ini.loaded ? local : std::string();
}

void readServerConfiguration(const ZTINIReader& ini, ServerConfig& config,
                             std::vector<SessionRecord>& sessions) {
    config.maxClients = ini.getInt(kConfig, "MAXCLIENTS");
    config.acceptVersion = ini.getInt(kConfig, "ACCEPTVERSION");
    // Only one client version speaks this protocol, whatever the file says.
    config.acceptVersion = ServerConfig::kAcceptedVersion;
    config.name = ini.getString(kConfig, "NAME").substr(0, 19);
    config.track = ini.getString(kConfig, "TRACK");
    config.configuration = ini.getString(kConfig, "CONFIGURATION");
    config.car = ini.getString(kConfig, "CAR");
    config.password = ini.getString(kConfig, "PASSWORD");
    config.admin = ini.getString(kConfig, "ADMIN");
    config.registerWithLobby = ini.getInt(kConfig, "REGISTER") != 0;
    config.lobbyUdpHost = optionalValue(ini, "LOBBY", "UDPHOST", "127.0.0.1");
    config.lobbyHttpHost = optionalValue(ini, "LOBBY", "HTTPHOST", "127.0.0.1");
    config.shutdownWhenFinished = ini.getInt("FLEET", "SHUTDOWN_WHEN_FINISHED") != 0;
    config.motd = optionalValue(ini, kConfig, "MOTD", "");
    config.banList = optionalValue(ini, kConfig, "BANLIST", ServerConfig::kDefaultBanList);
    config.port = ini.getInt(kConfig, "PORT");
    config.bandwidth = float(ini.getInt(kConfig, "BANDWIDTH"));
    config.loop = ini.getInt(kConfig, "LOOP");
    config.winnerBallast = ini.getInt(kConfig, "WINNERBALLAST");
    config.fullMode = ini.getInt(kConfig, "FULLMODE") != 0;
    config.frontTyre = ini.getString(kConfig, "FRONTTIRE");
    config.rearTyre = ini.getString(kConfig, "REARTIRE");
    config.rain = ini.getInt(kConfig, "RAIN");
    config.damage = ini.getInt(kConfig, "DAMAGE");
    config.maxValidLaps = ini.getInt(kConfig, "MAXVALIDLAPS");

    int count = ini.getInt(kConfig, "SESSIONS");
    sessions.clear();
    for (int n = 0; n < count && n < kMaxListLength; ++n)
        sessions.push_back(readSession(ini, n));

    int entries = ini.getInt("ENTRYLIST", "ENTRIES");
    config.useForGrid = ini.getInt("ENTRYLIST", "USEFORGRID") != 0;
    config.entryList.clear();
    for (int i = 0; i < entries && i < kMaxListLength; ++i) {
        EntryListLine line;
        line.driver = ini.getString("ENTRYLIST", "DRIVER" + std::to_string(i));
        line.ballast = ini.getInt("ENTRYLIST", "BALLAST" + std::to_string(i));
        config.entryList.push_back(line);
    }
}

bool recorderPlaybackConfigured(const std::string& root) {
    ZTINIReader ini;
    ini.load(root + "cfg/rvserverrecorder.ini");
    return ini.getInt("CONFIG", "LOAD") == 1;
}

void CRVServer::loadConfiguration() {
    std::printf("Docs folder is %s\n", documentsFolder.c_str());
    ZTINIReader ini;
    loadConfigurationFile(ini, documentsFolder, root);
    readServerConfiguration(ini, config, sessions);
    // Reading prints nothing, so the start-up lines come in the same order after it.
    std::printf("RAIN=%d\n", config.rain);
    std::printf("DAMAGE=%d\n", config.damage);
    for (const SessionRecord& s : sessions) {
        std::printf("Session %s\n", s.name);
        std::printf("Type=%d\n", s.type);
        std::printf("Time=%d\n", s.sessionTime);
        std::printf("Laps=%d\n", s.raceLaps);
    }
    for (const EntryListLine& line : config.entryList)
        std::printf("ADDED DRIVER %s (%dkg)TO ENTRY LIST\n", line.driver.c_str(), line.ballast);

    if (!loadStartPoints(path(startPointFile(config.track))))
        loadOldStartPoints(path(oldStartPointFile(config.track)));
    computeContentChecksums(checksums, root, firstCarName(config.car), config.track,
                            config.configuration, config.frontTyre, config.rearTyre);
}
