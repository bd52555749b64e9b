// Kicks, bans, the kick vote and the message of the day, on a server with loopback clients.
#include "admission/BanList.h"
#include "platform/Files.h"
#include "support/RaceFixture.h"

namespace {

constexpr int64_t kNoon = 1796644800;  // 2026-12-07 12:00:00 UTC
const std::string kStart = "START=2026-12-07 12:00:00 UTC\n";

std::string banSection(int n, const std::string& target, int minutes, const std::string& more) {
    return "[BAN" + std::to_string(n) + "]\n" + target + "\n" + kStart +
           "MINUTES=" + std::to_string(minutes) + "\n" + more;
}

struct ReadOnlyDisk : platform::Files {
    bool rename(const std::string&, const std::string&, int& error) override {
        error = EROFS;
        return false;
    }
};

struct KickAndBan : RaceFixture {
    // A server of a long practice whose ban file holds `file`, its calendar at noon.
    void begin(const std::string& file, const std::vector<std::string>& edits = {}) {
        peers.clear();
        harness = std::make_unique<ServerHarness>(withEdits(defaultConfig(), edits));
        if (!file.empty())
            harness->folder.write("cfg/bans.ini", file);
        harness->start();
        server().bans.clockAtStart = kNoon;
    }
    // A driver asking to join from loopback; the console, and what came back is in its peer.
    std::string join(const std::string& guid) {
        peers.push_back(std::make_unique<TestClient>(harness->port()));
        peers.back()->sendRaw(connectRequest(
            {.guid = guid, .userName = guid, .tyreChecksum = server().checksums.tyres}));
        const std::string text = printed([&] { EXPECT_TRUE(harness->receiveTurn()); });
        peers.back()->drain();
        return text;
    }
    // The chat lines the last peer got, "|" after each.
    std::string chats() {
        std::string lines;
        for (const Received& r : peers.back()->received)
            if (r.type() == RV_CHAT)
                lines += std::string(r.bytes.begin() + 3, r.bytes.begin() + 3 + r.bytes[2]) + "|";
        return lines;
    }
    std::string console(std::string text) {
        return printed([&] { server().runCommand((text += '\0').data()); });
    }
    // What `from` says in an admin command, and the chat lines it got back, "|" after each.
    std::string command(CRVClientConnection* from, const std::string& text) {
        deliver(from, adminCommand("", text));
        std::string lines;
        for (auto& [client, bytes] : take(RV_CHAT))
            if (client == from)
                lines += std::string(bytes.begin() + 3, bytes.begin() + 3 + bytes[2]) + "|";
        return lines;
    }
    std::string banFile() { return harness->folder.read("cfg/bans.ini"); }
};

TEST_F(KickAndBan, EveryBadCommandFormDrawsOneReplyAndNothingElse) {
    begin("");
    CRVClientConnection* boss = attach("Boss");
    boss->isAdmin = true;
    attach("D2");
    take();
    const std::string guid64(64, 'g');
    for (const auto& [text, reply] : std::vector<std::pair<std::string, std::string>>{
             {"kick", "USAGE: kick ID [REASON]"},
             {"kick 0", "NO CLIENT WITH ID 0"},
             {"kick 256 x", "NO CLIENT WITH ID 256"},
             {"kick 9", "NO CLIENT WITH ID 9"},
             {"kick D2", "NO CLIENT WITH ID D2"},
             {"kick 1", "YOU CANNOT KICK YOURSELF"},
             {"ban 2", "USAGE: ban ID|GUID|ADDRESS[/BITS] MINUTES [REASON]"},
             {"ban 2 -1", "MINUTES: 0 (FOR GOOD) TO 5256000"},
             {"ban 2 5256001", "MINUTES: 0 (FOR GOOD) TO 5256000"},
             {"ban 10.0.0.256 5", "BAD ADDRESS 10.0.0.256"},
             {"ban 10.0.0.0/33 5", "BAD ADDRESS 10.0.0.0/33"},
             {"ban " + guid64 + " 5", "A GUID HAS AT MOST 63 CHARACTERS"},
             {"ban 127.0.0.0/8 5", "THAT BAN WOULD TURN YOU AWAY"},
             {"unban", "USAGE: unban GUID|ADDRESS[/BITS]"},
             {"unban ghost", "NO BAN ON ghost"}}) {
        EXPECT_EQ(command(boss, text), "[SERVER]: " + reply + "|") << text;
        if (!reply.starts_with("YOU") && !reply.starts_with("THAT")) {  // the console is nobody
            EXPECT_EQ(console(text),
                      "parsing command: " + text.substr(0, text.find(' ')) + "\n" + reply + "\n");
        }
    }
    EXPECT_EQ(std::tuple(server().clients.size(), take().size(), logged("KICK"), banFile()),
              std::tuple(2u, 0u, "", ""));
}

TEST_F(KickAndBan, AdminConsoleAndVoteKicksAnnounceLogAndFreeTheSlot) {
    begin("", {"PASSWORD=\r\nMOTD=Welcome"});
    const auto d = attachDrivers(4);
    d[0]->isAdmin = true;
    at(1000);
    take();
    at(1100);
    EXPECT_EQ(take(RV_MEGAPACKET).at(0).bytes.size(), 2u + 23u * 3);
    const std::string reason = "wrecking \x1b[2J" + std::string(300, 'r');
    const std::string cleaned = "wrecking ?[2J" + std::string(300, 'r');
    EXPECT_EQ(command(d[0], "kick 4 " + reason), "KICKED: D4 (" + cleaned.substr(0, 50) + ")|");
    EXPECT_TRUE(peers[3]->waitFor(RV_CHAT));  // the kicked driver's own copy, straight away
    EXPECT_EQ(std::tuple(server().clients.size(), server().slotTaken[3], !server().findClient(4)),
              std::tuple(3u, false, true));
    at(1200);
    EXPECT_EQ(take(RV_MEGAPACKET).at(0).bytes.size(), 2u + 23u * 2);
    EXPECT_EQ(console("kick 3"),
              "parsing command: kick\nClient D3 kicked by console "
              "(no reason given)\nClients=2\n");

    // A kick vote: the target votes for nothing, an admin cannot be voted out.
    for (const std::string name : {"E3", "E4"})
        attach(name);
    at(11000);  // past the window every server starts with
    take();
    server().vote.voteQuorum = 0.5f;
    EXPECT_EQ(command(d[1], "kick 1"), "[SERVER]: ADMINS CANNOT BE VOTED OUT|");
    EXPECT_EQ(command(d[1], "kick 6"), "[SERVER]: D2 VOTES TO KICK (1/2)|");
    EXPECT_EQ(command(server().findClient(6), "kick 6"), "[SERVER]: YOU CANNOT VOTE ON YOURSELF|");
    EXPECT_EQ(command(server().findClient(6), "restart"), "");
    EXPECT_EQ(command(server().findClient(5), "kick 2"), "");  // another target is another vote
    EXPECT_EQ(command(d[1], "ban 6 5"), "YOUR NOT AN ADMINISTRATOR IN THIS RACE|");
    EXPECT_EQ(command(server().findClient(5), "kick 6"),
              "[SERVER]: E3 VOTES TO KICK (2/2)|KICKED: E4 (vote)|");
    EXPECT_EQ(logged("KICK"), ("KICK,guid-D4,127.0.0.1,D1," + cleaned).substr(0, 255) +
                                  "\nKICK,guid-D3,127.0.0.1,console,no reason given\n"
                                  "KICK,guid-E4,127.0.0.1,vote,vote\n");

    join("newcomer");  // the message of the day follows the acceptance
    for (int i = 0; i < 20; ++i)
        harness->advance(61);
    peers.back()->drain();
    EXPECT_EQ(chats(), "7 newcomer [Team] JOINS THE RACE|Welcome|");
}

TEST_F(KickAndBan, BansTurnAwayByIdAddressAndFileSurviveRestartsEndInTimeAndFollowTheFile) {
    begin("", {"SESTIME=600"});
    attachDrivers(2);
    take();
    at(30000);
    EXPECT_EQ(console("ban 2 60 wrecking"),
              "parsing command: ban\nBan on guid-D2 for 60 minutes by console (wrecking)\n"
              "Client D2 kicked by console (wrecking)\nClients=1\n");
    EXPECT_EQ(banFile(), crlf("[BAN0]\nGUID=guid-D2\nSTART=2026-12-07 12:00:30 UTC\nMINUTES=60\n"
                              "REASON=wrecking\nADMIN=console\nREFUSED=0\n"));

    begin(banFile(), {"SESTIME=600"});  // the next run of the server
    EXPECT_EQ(join("guid-D2"), "RV_CONNECT\nClient guid-D2 refused, banned (guid-D2)\n");
    EXPECT_EQ(chats(),
              "[RVSERVER]: Banned: wrecking (until 2026-12-07 13:01 UTC). Connection refused|");
    at(3631000);  // the hour is up: admitted, and the file keeps the ban marked
    EXPECT_TRUE(has(join("guid-D2"), "creating client guid-D2"));
    EXPECT_TRUE(has(banFile(), "REFUSED=1\r\nEXPIRED=1\r\n"));

    EXPECT_EQ(console("ban 127.0.0.0/8 0"),
              "parsing command: ban\nBan on 127.0.0.0/8 for good by console (no reason given)\n"
              "Client guid-D2 kicked by console (no reason given)\nClients=0\n");
    join("other");
    EXPECT_EQ(chats(), "[RVSERVER]: Banned: no reason given. Connection refused|");
    console("unban 127.0.0.0/8");
    server().bans.files = new ReadOnlyDisk;  // nothing more reaches the disk
    EXPECT_EQ(console("ban cheat 0 bot"),
              "parsing command: ban\nBan on cheat for good by console (bot)\n"
              "Ban list cfg/bans.ini could not be saved (Read-only file system): its bans apply "
              "until the server stops\n");
    join("cheat");
    EXPECT_TRUE(has(chats(), "Banned: bot."));
    EXPECT_EQ(console("bans"),
              "parsing command: bans\nBAN cheat for good by console, 1 turned "
              "away: bot\n1 active bans, 2 expired\n");
    EXPECT_EQ(logged("BAN") + logged("UNBAN") + logged("BANNED"),
              "BAN,127.0.0.0/8,console,0,no reason given\n"
              "BAN,cheat,console,0,bot\nUNBAN,127.0.0.0/8,console\n"
              "BANNED,guid-D2,127.0.0.1,wrecking\nBANNED,other,127.0.0.1,no reason given\n"
              "BANNED,cheat,127.0.0.1,bot\n");

    // An operator's edit on disk: read within a second, bad sections named, good ones applied.
    harness->folder.write("cfg/bans.ini", crlf(banSection(0, "GUID=late", 0, "REASON=edited\n") +
                                               banSection(1, "ADDRESS=10.0.0.0/40", 0, "")));
    EXPECT_EQ(at(3632000),
              "Ban list cfg/bans.ini changed on disk: 1 active, 0 expired\n"
              "Ban list cfg/bans.ini: [BAN1] ignored: ADDRESS 10.0.0.0/40 is not a.b.c.d or "
              "a.b.c.d/bits\n");
    join("late");
    EXPECT_TRUE(has(chats(), "Banned: edited."));
    int answered = 0;  // refusals spend the answer budget of the address like any other answer
    for (int i = 0; i < 20; ++i)
        answered += (join("late"), chats().empty() ? 0 : 1);
    EXPECT_EQ(std::pair(answered, server().limits.answerDrops.total()), std::pair(15, uint64_t(5)));
    delete server().bans.files;
    server().bans.files = nullptr;
}

TEST(BanListFile, UnreadableSectionsAreKeptAndAHundredThousandBansAreOneLookUpAway) {
    BanList list;
    const std::string good = banSection(0, "GUID=a", 0, "REASON=r\nADMIN=b\nREFUSED=2\n");
    list.parse(crlf("junk\n" + good + banSection(1, "GUID=b", 0, "COLOUR=red\n") +
                    banSection(2, "GUID=c\nADDRESS=1.2.3.4", 0, "") + "[BAN3]\nGUID=d\nbroken\n" +
                    banSection(4, "ADDRESS=10.1.2.3/16", 5, "")));
    EXPECT_EQ(list.problems,
              (std::vector<std::string>{"text before the first section ignored: \"junk\"",
                                        "[BAN1] ignored: unknown key COLOUR",
                                        "[BAN2] ignored: a ban names either a GUID or an ADDRESS",
                                        "[BAN3] ignored: the line \"broken\" is not KEY=value"}));
    EXPECT_EQ(list.find("x", 0x0a01ffff, kNoon + 299)->target(), "10.1.0.0/16");
    EXPECT_EQ(list.find("x", 0x0a01ffff, kNoon + 300), nullptr);
    EXPECT_EQ(list.expire(kNoon + 300), 1);
    BanList again;
    again.parse(list.render());
    EXPECT_EQ(again.render(), list.render());
    EXPECT_TRUE(list.render().starts_with(crlf(good)));
    EXPECT_TRUE(has(list.render(), "[BAN1]\r\nGUID=b\r\n"));  // kept as it was

    BanList big;
    for (uint32_t i = 0; i < 100000; ++i)
        big.add({i % 2 ? "guid-" + std::to_string(i) : "", i << 8, i % 2 ? -1 : 24}, kNoon, 0, "",
                "");
    big.parse(big.render());
    EXPECT_EQ(std::tuple(big.bans.size(), big.find("guid-99999", 0, kNoon)->target(),
                         big.find("", (99998u << 8) + 7, kNoon)->target(),
                         !big.find("guid-2", ~0u, kNoon)),
              std::tuple(100000u, "guid-99999", "1.134.158.0/24", true));
}

}  // namespace
