#include "rvcheck/WorkingDirectory.h"

#include <filesystem>
#include <vector>

#include "admission/StartPoint.h"
#include "common/Cli.h"
#include "content/ContentChecksums.h"
#include "race/SessionRecord.h"
#include "race/VoteOptions.h"
#include "records/CRVServerRecorder.h"
#include "runtime/CRVServer.h"
#include "runtime/ServerConfig.h"
#include "runtime/ZTINIReader.h"
#include "rvcheck/BanListCheck.h"
#include "rvcheck/KeyProbe.h"

namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace {

constexpr size_t kNameLimit = 19;

struct Findings {
    ordered_json warnings = ordered_json::array();
    ordered_json errors = ordered_json::array();
    void warn(const std::string& text) { warnings.push_back(text); }
    void error(const std::string& text) { errors.push_back(text); }
};

// What a missing text key turns into, in the server's own words.
std::string missingTextConsequence(const std::string& key) {
    if (key == "PASSWORD")
        return "the join password becomes the whole section's text, so nobody can join";
    if (key == "NAME")
        return "the name becomes the section's text";
    return "its value becomes the whole section's text";
}

// Reports the reader's traps for each key the server reads from `section`.
void probeKeys(const ZTINIReader& ini, const std::string& section,
               const std::vector<std::pair<std::string, bool>>& keys, Findings& f) {
    if (!sectionPresent(ini, section))
        return;
    for (const auto& [key, isText] : keys) {
        const KeyProbe p = probeKey(ini, section, key);
        const std::string where = "[" + section + "] " + key;
        switch (p.found) {
            case KeyFound::kMissing:
                // A missing number reads as 0, which is what most files mean by leaving it out.
                if (key == "PASSWORD" && section == "CONFIGURATION")
                    f.error(where + " is missing: " + missingTextConsequence(key));
                else if (isText)
                    f.warn(where + " is missing: " + missingTextConsequence(key));
                break;
            case KeyFound::kInsideOther:
                f.warn(where + " is read from the line \"" + p.line +
                       "\": the key is found inside another key or value");
                break;
            case KeyFound::kOnSemicolonLine:
                f.warn(where + " is read from the line \"" + p.line +
                       "\": a \";\" line is not a comment");
                break;
            case KeyFound::kOwnLine:
            case KeyFound::kNoSection:
                break;
        }
    }
}

// MOTD and BANLIST are optional: their absence is silent, but either read from inside another
// line is a trap all the same.
const std::vector<std::pair<std::string, bool>> kConfigurationKeys = {
    {"MAXCLIENTS", false},    {"ACCEPTVERSION", false}, {"NAME", true},
    {"TRACK", true},          {"CONFIGURATION", true},  {"CAR", true},
    {"PASSWORD", true},       {"ADMIN", true},          {"REGISTER", false},
    {"PORT", false},          {"BANDWIDTH", false},     {"LOOP", false},
    {"WINNERBALLAST", false}, {"FULLMODE", false},      {"FRONTTIRE", true},
    {"REARTIRE", true},       {"RAIN", false},          {"DAMAGE", false},
    {"MAXVALIDLAPS", false},  {"SESSIONS", false},      {"MOTD", false},
    {"BANLIST", false}};
const std::vector<std::pair<std::string, bool>> kSessionKeys = {
    {"ESCMODE", false},  {"TYPE", false},    {"MAXLAPS", false},
    {"MINLAPS", false},  {"NAME", true},     {"RACELAPS", false},
    {"WAITTIME", false}, {"SESTIME", false}, {"ACCEPTNEW", false}};

ordered_json configurationValues(const ServerConfig& c, const ZTINIReader& ini) {
    return {{"MAXCLIENTS", c.maxClients},
            {"ACCEPTVERSION", ServerConfig::kAcceptedVersion},
            {"NAME", c.name},
            {"TRACK", c.track},
            {"CONFIGURATION", c.configuration},
            {"CAR", c.car},
            {"PASSWORD", c.password},
            {"ADMIN", c.admin},
            {"REGISTER", c.registerWithLobby},
            {"PORT", c.port},
            {"BANDWIDTH", int(c.bandwidth)},
            {"LOOP", c.loop},
            {"WINNERBALLAST", c.winnerBallast},
            {"FULLMODE", c.fullMode},
            {"FRONTTIRE", c.frontTyre},
            {"REARTIRE", c.rearTyre},
            {"RAIN", c.rain},
            {"DAMAGE", c.damage},
            {"MAXVALIDLAPS", ServerConfig::kMaxValidLaps},
            {"SESSIONS", ini.getInt("CONFIGURATION", "SESSIONS")}};
}

void checkConfiguration(const ZTINIReader& ini, const ServerConfig& c, Findings& f) {
    if (ini.content.find('\n') != std::string::npos &&
        ini.content.find("\r\n") == std::string::npos)
        f.error(
            "the configuration has LF-only line ends: every text value runs to the end of "
            "its section");
    else if (ini.content.find('\n') != std::string::npos) {
        for (size_t at = ini.content.find('\n'); at != std::string::npos;
             at = ini.content.find('\n', at + 1))
            if (at == 0 || ini.content[at - 1] != '\r') {
                f.error(
                    "the configuration mixes LF-only line ends with CR LF: a text value on "
                    "such a line runs on to the next CR");
                break;
            }
    }
    if (!sectionPresent(ini, "CONFIGURATION"))
        f.error("the configuration has no [CONFIGURATION] section");
    probeKeys(ini, "CONFIGURATION", kConfigurationKeys, f);
    const std::string fullName = ini.getString("CONFIGURATION", "NAME");
    if (fullName.size() > kNameLimit)
        f.warn("NAME is longer than 19 characters: the server shows \"" + c.name + "\"");
    const int version = ini.getInt("CONFIGURATION", "ACCEPTVERSION");
    if (probeKey(ini, "CONFIGURATION", "ACCEPTVERSION").found == KeyFound::kOwnLine &&
        version != ServerConfig::kAcceptedVersion)
        f.warn("ACCEPTVERSION=" + std::to_string(version) +
               " is ignored: the server admits client version 131 only");
    const int validLaps = ini.getInt("CONFIGURATION", "MAXVALIDLAPS");
    if (probeKey(ini, "CONFIGURATION", "MAXVALIDLAPS").found == KeyFound::kOwnLine &&
        validLaps != ServerConfig::kMaxValidLaps)
        f.warn("MAXVALIDLAPS=" + std::to_string(validLaps) + " is ignored: the server uses " +
               std::to_string(ServerConfig::kMaxValidLaps));
    if (c.maxClients > CRVServer::kSlots)
        f.warn("MAXCLIENTS=" + std::to_string(c.maxClients) +
               " is over 32: the server has 32 slots");
}

ordered_json sessionsOf(const ZTINIReader& ini, const std::vector<SessionRecord>& sessions,
                        Findings& f) {
    ordered_json out = ordered_json::array();
    if (sessions.empty())
        f.error("SESSIONS is " + std::to_string(ini.getInt("CONFIGURATION", "SESSIONS")) +
                ": the server has no session to run");
    for (size_t n = 0; n < sessions.size(); ++n) {
        const SessionRecord& s = sessions[n];
        const std::string section = "SESSION" + std::to_string(n);
        if (!sectionPresent(ini, section))
            f.error("SESSIONS counts [" + section +
                    "], which does not exist: the server runs it with every number 0");
        probeKeys(ini, section, kSessionKeys, f);
        out.push_back({{"section", section},
                       {"name", s.name},
                       {"type", s.type},
                       {"typeName", sessionTypeName(s.type)},
                       {"waitMs", s.waitTime},
                       {"timeMs", s.sessionTime},
                       {"raceLaps", s.raceLaps},
                       {"minLaps", s.minLaps},
                       {"maxLaps", s.maxLaps},
                       {"acceptNew", s.acceptNew != 0}});
    }
    return out;
}

ordered_json entryListOf(const ZTINIReader& ini, const ServerConfig& c, Findings& f) {
    std::vector<std::pair<std::string, bool>> keys = {{"ENTRIES", false}, {"USEFORGRID", false}};
    for (size_t i = 0; i < c.entryList.size(); ++i) {
        keys.push_back({"DRIVER" + std::to_string(i), true});
        keys.push_back({"BALLAST" + std::to_string(i), false});
    }
    probeKeys(ini, "ENTRYLIST", keys, f);
    ordered_json entries = ordered_json::array();
    for (size_t i = 0; i < c.entryList.size(); ++i) {
        ordered_json e = {{"driver", c.entryList[i].driver}, {"ballast", c.entryList[i].ballast}};
        // Without USEFORGRID the grid place is the first free one when the driver arrives.
        e["gridPlace"] = c.useForGrid ? ordered_json(int(i)) : ordered_json(nullptr);
        entries.push_back(e);
    }
    return {{"useForGrid", c.useForGrid}, {"entries", entries}};
}

ordered_json startPointsOf(const std::string& root, const std::string& track, Findings& f) {
    std::vector<StartPoint> grid, box, pit;
    const std::string newFile = startPointFile(track);
    if (readStartPoints(root + newFile, grid, box, pit))
        return {{"format", "new"},
                {"file", newFile},
                {"grid", grid.size()},
                {"box", box.size()},
                {"pit", pit.size()}};
    const std::string oldFile = oldStartPointFile(track);
    readOldStartPoints(root + oldFile, grid, box);
    if (!fs::exists(root + oldFile))
        f.warn("no start points: neither " + newFile + " nor " + oldFile +
               " exists, every car starts at the origin");
    return {{"format", "old"},
            {"file", oldFile},
            {"grid", grid.size()},
            {"box", box.size()},
            {"pit", 0}};
}

ordered_json checksumsOf(const std::string& root, const ServerConfig& c, Findings& f) {
    ordered_json out;
    const std::string car = firstCarName(c.car);
    for (const ChecksumSource& s : checksumSources(car, c.track, c.configuration, c.frontTyre)) {
        ordered_json& value = out[s.value];
        if (value.is_null())
            value = {{"value", 0}, {"files", ordered_json::array()}};
        const int32_t sum = checksumFile(root + s.path);
        value["value"] = int32_t(uint32_t(value["value"].get<int32_t>()) + uint32_t(sum));
        value["files"].push_back(
            {{"path", s.path}, {"present", fs::is_regular_file(root + s.path)}});
    }
    // Both tyres configured means every client's tyres are checked against the server's file.
    if (!c.frontTyre.empty() && !c.rearTyre.empty()) {
        for (const std::string& tyre : {c.frontTyre, c.rearTyre}) {
            const std::string path = "cars/" + car + "/tyres/" + tyre;
            if (!fs::is_regular_file(root + path))
                f.error("tyre rules name " + path +
                        ", which is missing: every client would be refused");
        }
    }
    return out;
}

void checkServerFolders(const std::string& root, Findings& f) {
    const std::pair<const char*, const char*> folders[] = {{"server/users", "no profiles"},
                                                           {"server/logs", "no event log"},
                                                           {"server/sessions", "no results"},
                                                           {"server/replay", "no recording"}};
    for (const auto& [folder, loss] : folders)
        if (!fs::is_directory(root + folder))
            f.warn(std::string(folder) + "/ is missing: " + loss + " would be written");
}

// Events run side by side as folders of one parent (the service unit's /srv/rvserver/NAME);
// two that name the same port leave one server without its socket.
void checkSiblingPorts(const std::string& dir, int port, Findings& f) {
    std::error_code ec;
    const fs::path here = fs::canonical(dir.empty() ? "." : dir, ec);
    if (ec || port == 0 || !here.has_parent_path())
        return;
    for (const fs::directory_entry& e : fs::directory_iterator(here.parent_path(), ec)) {
        const std::string root = e.path().string() + "/";
        if (e.path() == here || !fs::is_regular_file(root + "cfg/rvservercfg.ini", ec))
            continue;
        ZTINIReader ini;
        ServerConfig other;
        std::vector<SessionRecord> sessions;
        if (loadConfigurationFile(ini, root + "documents", root).empty())
            continue;
        readServerConfiguration(ini, other, sessions);
        if (other.port == port)
            f.warn("the event folder " + e.path().string() + " beside this one also uses PORT=" +
                   std::to_string(port) + ": only one of the two servers can bind it");
    }
}

}  // namespace

ordered_json checkWorkingDirectory(const std::string& dir, const std::string& documentsFolder) {
    ordered_json report = {{"directory", dir}};
    Findings f;
    const std::string root = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    std::error_code ec;
    fs::directory_iterator listing(dir.empty() ? "." : dir, ec);
    if (ec) {
        f.error("cannot read the working directory " + dir + ": " + ec.message());
        report["errors"] = f.errors;
        report["warnings"] = f.warnings;
        return report;
    }
    ZTINIReader ini;
    const std::string file = loadConfigurationFile(ini, documentsFolder, root);
    report["configurationFile"] = file.empty() ? ordered_json(nullptr) : ordered_json(file);
    if (file.empty())
        f.error("no configuration: neither " + documentsFolder +
                "/Ralvo/cfg/rvservercfg.ini nor cfg/rvservercfg.ini can be read");
    else if (file != root + "cfg/rvservercfg.ini")
        f.warn("the server reads " + file + " from the documents folder, not cfg/rvservercfg.ini");

    ServerConfig config;
    std::vector<SessionRecord> sessions;
    readServerConfiguration(ini, config, sessions);
    if (!file.empty())
        checkConfiguration(ini, config, f);
    report["configuration"] = configurationValues(config, ini);
    report["sessions"] = sessionsOf(ini, sessions, f);
    report["entryList"] = entryListOf(ini, config, f);
    report["startPoints"] = startPointsOf(root, config.track, f);
    report["checksums"] = checksumsOf(root, config, f);
    const VoteOptions votes = readVoteOptions(root);
    report["votes"] = {{"file", kVoteOptionsFile},
                       {"present", votes.fromFile},
                       {"quorum", votes.quorum},
                       {"durationMs", votes.durationMs}};
    report["motd"] = config.motd.empty() ? ordered_json(nullptr) : ordered_json(config.motd);
    // The server's chat lines hold 63 characters; a longer one is never sent.
    if (config.motd.size() > 63)
        f.warn("MOTD has " + std::to_string(config.motd.size()) +
               " characters: chat lines hold 63, so nobody would see it");
    std::vector<std::string> banWarnings;
    report["banList"] = banListOf(root, config, banWarnings);
    for (const std::string& w : banWarnings)
        f.warn(w);
    const bool playback = recorderPlaybackConfigured(root);
    report["recorder"] = {{"mode", playback ? "playback" : "record"},
                          {"file", CRVServerRecorder::kRecordingFile}};
    report["lobby"] = {{"register", config.registerWithLobby},
                       {"udpHost", config.lobbyUdpHost},
                       {"httpHost", config.lobbyHttpHost}};
    checkServerFolders(root, f);
    if (!file.empty())
        checkSiblingPorts(dir, config.port, f);
    report["errors"] = f.errors;
    report["warnings"] = f.warnings;
    return report;
}

namespace {

std::string text(const ordered_json& v) {
    return v.is_string() ? tool::printable(v.get<std::string>()) : v.dump();
}

}  // namespace

std::string describeCheck(const ordered_json& r) {
    std::string out = "directory: " + text(r["directory"]) + "\n";
    if (!r.contains("configuration")) {
        for (const auto& e : r["errors"])
            out += "error: " + text(e) + "\n";
        return out;
    }
    out += "configuration file: " +
           (r["configurationFile"].is_null() ? "none" : text(r["configurationFile"])) + "\n";
    out += "[CONFIGURATION] as the server reads it:\n";
    for (const auto& [key, value] : r["configuration"].items())
        out += "  " + key + "=" + text(value) + "\n";
    out += "sessions:\n";
    for (const auto& s : r["sessions"])
        out += "  " + text(s["section"]) + " \"" + text(s["name"]) + "\": " + text(s["typeName"]) +
               ", wait " + std::to_string(s["waitMs"].get<int>() / 1000) + " s, time " +
               std::to_string(s["timeMs"].get<int>() / 60000) + " min, race laps " +
               text(s["raceLaps"]) + ", laps " + text(s["minLaps"]) + " to " + text(s["maxLaps"]) +
               (s["acceptNew"].get<bool>() ? ", accepts new clients" : ", closed to new clients") +
               "\n";
    const auto& entries = r["entryList"]["entries"];
    out += "entry list: " + std::to_string(entries.size()) + " drivers" +
           (r["entryList"]["useForGrid"].get<bool>() ? ", grid places by entry" : "") + "\n";
    for (const auto& e : entries)
        out += "  " + text(e["driver"]) + ", ballast " + text(e["ballast"]) + " kg, grid place " +
               (e["gridPlace"].is_null() ? "first free" : text(e["gridPlace"])) + "\n";
    const auto& sp = r["startPoints"];
    out += "start points: " + text(sp["format"]) + " format, " + text(sp["file"]) + ": " +
           text(sp["grid"]) + " grid, " + text(sp["box"]) + " box, " + text(sp["pit"]) + " pit\n";
    out += "checksums:\n";
    for (const auto& [name, value] : r["checksums"].items()) {
        out += "  " + name + "=" + text(value["value"]) + " from";
        for (const auto& file : value["files"])
            out += " " + text(file["path"]) + (file["present"].get<bool>() ? "" : " (missing)");
        out += "\n";
    }
    const auto& v = r["votes"];
    out +=
        "votes: quorum " + text(v["quorum"]) + ", duration " + text(v["durationMs"]) + " ms" +
        (v["present"].get<bool>() ? " from " + text(v["file"]) : " (no " + text(v["file"]) + ")") +
        "\n";
    out += describeBansAndMotd(r);
    out += "recorder: " + text(r["recorder"]["mode"]) + ", " + text(r["recorder"]["file"]) + "\n";
    const auto& l = r["lobby"];
    out += "lobby: UDP " + text(l["udpHost"]) + ", HTTP " + text(l["httpHost"]) +
           (l["register"].get<bool>() ? ", registers at start-up" : ", not registering") + "\n";
    for (const auto& w : r["warnings"])
        out += "warning: " + text(w) + "\n";
    for (const auto& e : r["errors"])
        out += "error: " + text(e) + "\n";
    return out;
}
