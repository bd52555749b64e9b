// Kicks and bans: the commands of admins and of the remote console, the kick vote's request,
// the ban check at admission and the upkeep of the ban list's file.
#include <chrono>
#include <cstdio>
#include <vector>

#include "admission/BanCommand.h"
#include "admission/CRVClientConnection.h"
#include "admission/ConnectRequest.h"
#include "platform/Files.h"
#include "protocol/ByteWriter.h"
#include "protocol/ChatMessage.h"
#include "runtime/CRVServer.h"
#include "util/PrintableText.h"
#include "util/RecordText.h"

namespace {

constexpr char kConsoleAdmin[] = "console";
constexpr int64_t kCheckEveryMs = 1000;
// Turned-away counts are news for the file, not worth a write per refusal.
constexpr int64_t kCountsSavedEveryMs = 60000;
// A file full of typos should not bury the console.
constexpr size_t kProblemLinesShown = 10;
constexpr size_t kAnnouncementMax = 63;

std::string cut(const std::string& text, size_t n) {
    return text.size() > n ? text.substr(0, n) : text;
}

}  // namespace

void CRVServer::openBanList() {
    bans.clockAtStart = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count() -
                        serverTime / 1000;
    const std::string& where = config.banList;
    bans.file.setPath(!where.empty() && where.front() == '/' ? where : path(where));
    bans.readOnly = feed != nullptr;
    readBanFile("");
}

void CRVServer::readBanFile(const char* why) {
    bans.file.read(bans.list);
    // Without a ban file there is nothing to tell at start-up.
    if (*why == '\0' && bans.list.bans.empty() && bans.list.problems.empty())
        return;
    const int active = bans.list.activeCount(bans.now(serverTime));
    std::printf("Ban list %s%s: %d active, %d expired\n", config.banList.c_str(), why, active,
                int(bans.list.bans.size()) - active);
    const auto& problems = bans.list.problems;
    for (size_t i = 0; i < problems.size() && i < kProblemLinesShown; ++i)
        std::printf("Ban list %s: %s\n", config.banList.c_str(), problems[i].c_str());
    if (problems.size() > kProblemLinesShown)
        std::printf("Ban list %s: %d more sections ignored\n", config.banList.c_str(),
                    int(problems.size() - kProblemLinesShown));
}

void CRVServer::saveBanList() {
    if (bans.readOnly)
        return;
    int error = 0;
    platform::Files& disk = bans.files != nullptr ? *bans.files : files;
    // A disk that refuses the file is tried again with the next change, or the counts' minute.
    bans.lastSaveMs = serverTime;
    if (!bans.file.write(bans.list, disk, error)) {
        std::printf("Ban list %s could not be saved (%s): its bans apply until the server stops\n",
                    config.banList.c_str(), platform::errorText(error).c_str());
        return;
    }
    bans.countsUnsaved = false;
}

void CRVServer::stepBanList() {
    if (serverTime - bans.lastCheckMs < kCheckEveryMs)
        return;
    bans.lastCheckMs = serverTime;
    if (bans.file.changedOnDisk())
        readBanFile(" changed on disk");
    const bool countsDue =
        bans.countsUnsaved && serverTime - bans.lastSaveMs >= kCountsSavedEveryMs;
    if (bans.list.expire(bans.now(serverTime)) > 0 || countsDue)
        saveBanList();
}

bool CRVServer::refuseBanned(const ConnectRequest& q, const SocketAddress* sender) {
    Ban* b = bans.list.find(q.guid, sender != nullptr ? sender->ip() : 0, bans.now(serverTime));
    if (b == nullptr)
        return false;
    ++b->refused;
    bans.countsUnsaved = true;
    sendRefusalText("[RVSERVER]: Banned: " + b->reason +
                        (b->minutes != 0 ? " (until " + banEndText(*b) + ")" : "") +
                        ". Connection refused",
                    sender);
    if (!bans.lineBudget.take(serverTime)) {
        bans.lineDrops.count(serverTime);
        return true;
    }
    std::printf("Client %s refused, banned (%s)\n", printable(q.userName).c_str(),
                printable(b->target()).c_str());
    logger.log(
        "BANNED," + q.guid + "," + (sender != nullptr ? sender->dotted() : "") + "," + b->reason,
        1);
    return true;
}

void CRVServer::kickClient(CRVClientConnection* client, const std::string& admin,
                           const std::string& reason) {
    const std::string name = recordText(client->userName);
    // The announcement is one chat line: a long reason is cut to fit it, the log keeps it whole.
    const std::string head = "KICKED: " + name + " (";
    const std::string line =
        head +
        cut(reason, kAnnouncementMax > head.size() + 1 ? kAnnouncementMax - head.size() - 1 : 0) +
        ")";
    sendServerChat(line, nullptr);
    // The kicked client's copy cannot wait in the queue it is about to leave.
    if (!client->isReplayed && client->address.port() != 0 && line.size() <= kAnnouncementMax) {
        uint8_t buffer[3 + 64];
        ByteWriter w(buffer, sizeof buffer);
        writeChat(w, line);
        router.socket.setTarget(client->address, 0);
        router.socket.send(buffer, int(w.size()));
    }
    std::printf("Client %s kicked by %s (%s)\n", printable(name).c_str(), admin.c_str(),
                reason.c_str());
    logger.log("KICK," + recordText(client->guid) + "," + client->address.dotted() + "," + admin +
                   "," + reason,
               1);
    removeClient(client);
    std::printf("Clients=%d\n", int(clients.size()));
}

bool CRVServer::runBanCommand(const std::string& text, CRVClientConnection* admin) {
    const size_t space = std::min(text.find(' '), text.size());
    const BanCommand c = parseBanCommand(text.substr(0, space), text.substr(space));
    if (c.kind == BanCommand::Kind::kNone)
        return false;
    auto reply = [&](const std::string& line) {
        if (admin != nullptr)
            sendServerChat("[SERVER]: " + line, admin);
        else
            std::printf("%s\n", line.c_str());
    };
    if (!c.error.empty()) {
        reply(c.error);
        return true;
    }
    const std::string by =
        admin != nullptr ? printable(recordText(admin->userName)) : kConsoleAdmin;
    const int64_t now = bans.now(serverTime);
    CRVClientConnection* client = c.clientId > 0 ? findClient(c.clientId) : nullptr;
    if (c.clientId > 0 && client == nullptr) {
        reply("NO CLIENT WITH ID " + std::to_string(c.clientId));
        return true;
    }
    if (client != nullptr && client == admin) {
        reply(c.kind == BanCommand::Kind::kKick ? "YOU CANNOT KICK YOURSELF"
                                                : "YOU CANNOT BAN YOURSELF");
        return true;
    }
    switch (c.kind) {
        case BanCommand::Kind::kKick:
            kickClient(client, by, c.reason);
            return true;
        case BanCommand::Kind::kList:
            printBans();
            if (admin != nullptr)
                reply(std::to_string(bans.list.activeCount(now)) +
                      " ACTIVE BANS, LISTED ON THE "
                      "SERVER CONSOLE");
            return true;
        default:
            break;
    }
    // Another server sharing the file may have written it since it was last read.
    if (bans.file.changedOnDisk())
        readBanFile(" changed on disk");
    BanTarget target = c.target;
    if (client != nullptr) {
        target = BanTarget{printable(recordText(client->guid)), 0, -1};
        if (target.guid.empty()) {
            reply("CLIENT " + std::to_string(c.clientId) + " HAS NO GUID");
            return true;
        }
    }
    if (c.kind == BanCommand::Kind::kUnban) {
        Ban* b = bans.list.activeOn(target, now);
        if (b == nullptr) {
            reply("NO BAN ON " + cut(target.ban().target(), 30));
            return true;
        }
        bans.list.lift(*b, by);
        logger.log("UNBAN," + b->target() + "," + by, 1);
        std::printf("Ban on %s lifted by %s\n", b->target().c_str(), by.c_str());
        if (admin != nullptr)
            reply("BAN ON " + cut(b->target(), 30) + " LIFTED");
        saveBanList();
        return true;
    }
    if (admin != nullptr && target.ban().covers(recordText(admin->guid), admin->address.ip())) {
        reply("THAT BAN WOULD TURN YOU AWAY");
        return true;
    }
    const Ban& b = bans.list.add(target, now, c.minutes, c.reason, by);
    const std::string minutes = std::to_string(c.minutes);
    logger.log("BAN," + b.target() + "," + by + "," + minutes + "," + c.reason, 1);
    std::printf("Ban on %s for %s by %s (%s)\n", b.target().c_str(),
                c.minutes == 0 ? "good" : (minutes + " minutes").c_str(), by.c_str(),
                c.reason.c_str());
    if (admin != nullptr)
        reply("BANNED " + cut(b.target(), 30) +
              (c.minutes == 0 ? " FOR GOOD" : " FOR " + minutes + " MIN"));
    const Ban kept = b;
    const std::vector<CRVClientConnection*> connected = clients;
    for (CRVClientConnection* each : connected)
        if (kept.covers(recordText(each->guid), each->address.ip()))
            kickClient(each, by, c.reason);
    saveBanList();
    return true;
}

void CRVServer::printBans() {
    const int64_t now = bans.now(serverTime);
    for (const Ban& b : bans.list.bans)
        if (b.activeAt(now))
            std::printf("BAN %s %s by %s, %lld turned away: %s\n", b.target().c_str(),
                        b.minutes == 0 ? "for good" : ("until " + banEndText(b)).c_str(),
                        b.admin.c_str(), static_cast<long long>(b.refused), b.reason.c_str());
    const int active = bans.list.activeCount(now);
    std::printf("%d active bans, %d expired\n", active, int(bans.list.bans.size()) - active);
}

bool CRVServer::voteKick(CRVClientConnection* voter, const std::string& text) {
    const size_t space = std::min(text.find(' '), text.size());
    if (text.substr(0, space) != "kick")
        return false;
    const BanCommand c = parseBanCommand("kick", text.substr(space));
    CRVClientConnection* target = c.error.empty() ? findClient(c.clientId) : nullptr;
    std::string refusal = c.error;
    if (refusal.empty() && target == nullptr)
        refusal = "NO CLIENT WITH ID " + std::to_string(c.clientId);
    else if (target == voter)
        refusal = "YOU CANNOT VOTE ON YOURSELF";
    else if (target != nullptr && target->isAdmin)
        refusal = "ADMINS CANNOT BE VOTED OUT";
    if (refusal.empty()) {
        addVote(voter, Vote::kKick, target);
    } else if (voter->mayFanOut(voter->broadcastBudget)) {
        sendServerChat("[SERVER]: " + refusal, voter);
    }
    return true;
}
