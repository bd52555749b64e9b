#include "CheckEvent.h"

#include "protocol/ByteWriter.h"
#include "records/RecordingReader.h"

namespace {

const std::vector<std::string> kConfiguration = {
    "[CONFIGURATION]",  "MAXCLIENTS=8",     "ACCEPTVERSION=131",
    "NAME=Test Server", "TRACK=testring",   "CONFIGURATION=short",
    "CAR=gt1;gt2;",     "PASSWORD=",        "ADMIN=boss",
    "REGISTER=0",       "PORT=0",           "BANDWIDTH=10000",
    "LOOP=0",           "WINNERBALLAST=0",  "FULLMODE=1",
    "FRONTTIRE=",       "REARTIRE=",        "RAIN=0",
    "DAMAGE=1",         "MAXVALIDLAPS=100",
};

}  // namespace

std::string checkEventConfig(const std::vector<std::string>& sessions,
                             const std::vector<std::string>& edits) {
    std::vector<std::string> lines = kConfiguration;
    for (const std::string& edit : edits) {
        const std::string key = edit.substr(0, edit.find('=') + 1);
        for (std::string& line : lines)
            if (line.compare(0, key.size(), key) == 0)
                line = edit;
    }
    lines.push_back("SESSIONS=" + std::to_string(sessions.size()));
    std::string out;
    for (const std::string& line : lines)
        out += line + "\r\n";
    for (const std::string& s : sessions)
        out += s;
    return out;
}

std::string checkSession(int n, int type, const std::string& name, int waitSeconds, int minutes,
                         int raceLaps) {
    return "[SESSION" + std::to_string(n) + "]\r\nESCMODE=0\r\nTYPE=" + std::to_string(type) +
           "\r\nMAXLAPS=0\r\nMINLAPS=0\r\nNAME=" + name +
           "\r\nRACELAPS=" + std::to_string(raceLaps) +
           "\r\nWAITTIME=" + std::to_string(waitSeconds) +
           "\r\nSESTIME=" + std::to_string(minutes) + "\r\nACCEPTNEW=1\r\n";
}

void writeRecord(std::FILE* f, uint32_t time, const SocketAddress& from,
                 const std::vector<uint8_t>& message) {
    uint8_t header[RecordingReader::kHeaderSize] = {};
    ByteWriter w(header, sizeof header);
    w.u32(time);
    w.u32(uint32_t(message.size()));
    w.bytes(from.raw, sizeof from.raw);
    std::fwrite(header, 1, sizeof header, f);
    std::fwrite(message.data(), 1, message.size(), f);
}
