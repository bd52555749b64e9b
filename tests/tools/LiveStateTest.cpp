// rvlive's parts on their own: the stream's delay, resume and slow viewers on a fake clock, and
// the timing table and race-control feed folded from event-log lines.
#include <gtest/gtest.h>

#include <sstream>

#include "rvlive/Broadcast.h"
#include "rvlive/EventModel.h"

using nlohmann::ordered_json;

namespace {

// Log lines, separated by ";" here.
live::EventModel fold(const std::string& lines, bool chat = false) {
    live::EventModel model(chat);
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line, ';');) {
        LogEvent e;
        EXPECT_TRUE(readEventLine(line, e)) << line;
        model.apply(e);
    }
    return model;
}

// Each row as "name laps gap interval status last-lap-mark best-lap-mark", "-" for none.
std::vector<std::string> rows(const ordered_json& state) {
    std::vector<std::string> out;
    for (const auto& row : state["standings"]) {
        std::string text = row["name"];
        for (const char* key : {"laps", "gap", "interval", "status", "lastMark", "bestMark"})
            text += " " + (row[key].is_null() || row[key] == "" ? "-"
                           : row[key].is_string()               ? row[key].get<std::string>()
                                                                : row[key].dump());
        out.push_back(text);
    }
    return out;
}

}  // namespace

// The delay on a fake clock; a viewer that fell behind every held update is dropped, and one
// with an id of another run gets a snapshot.
TEST(LiveBroadcast, HoldsUpdatesBackByTheDelayAndDropsViewersLeftBehind) {
    int64_t now = 0;
    live::Broadcast stream([&] { return now; }, 30000, 4);
    stream.publish({{"n", 1}}, ordered_json::array());
    now = 29999;
    stream.release();
    EXPECT_EQ(stream.lastId(), 0u) << "nothing before the delay is over";
    now = 30000;
    stream.release();
    EXPECT_EQ(stream.lastId(), 1u);
    EXPECT_EQ(stream.latest()["readAt"], 0) << "stamped when read, not when released";

    for (int n = 2; n <= 6; ++n)
        stream.publish({{"n", n}}, ordered_json::array());
    now += 30000;
    stream.release();
    uint64_t slow = 1, keeping = 4;
    std::vector<live::Broadcast::Text> out;
    EXPECT_FALSE(stream.next(slow, out)) << "update 2 is no longer held";
    EXPECT_TRUE(stream.next(keeping, out));
    EXPECT_EQ(out.size(), 2u);
    EXPECT_EQ(keeping, 6u);
    EXPECT_NE(stream.catchUp("9-5", keeping)[0]->find("event: snapshot"), std::string::npos);
}

// Laps stamped by the server: gaps to the leader and intervals at each car's own crossing, a
// lapped car as "+N L", the finish, and race control's new lines without drivers' addresses.
TEST(LiveModel, RaceGapsIntervalsLappedCarsAndRaceControl) {
    const std::string lines =
        "0:00:001,SESSION,Race,2,0,1,0,0,0,3,0;0:00:002,SESSION_START;0:01:000,JOIN,Al,7,T,m,g-al,"
        "GB;"
        "0:01:000,JOIN,Bo,12,T,m,g-bo,GB;0:01:000,JOIN,Cy,3,T,m,g-cy,GB;"
        "1:30:000,LAP,g-al,1:29:000,0:44:000,1;1:31:500,LAP,g-bo,1:30:500,0:45:000,1;"
        "1:45:000,LAP,g-cy,1:44:000,0:50:000,1;3:00:000,LAP,g-al,1:30:000,0:44:000,2;"
        "3:02:000,LAP,g-bo,1:30:500,0:45:000,2;4:29:000,LAP,g-al,1:28:500,0:44:000,3;"
        "4:29:000,RACEEND,g-al;4:30:000,LAP,g-cy,2:45:000,0:50:000,2;"
        "4:35:000,KICK,g-cy,10.0.0.9:5000,boss,rude, twice;4:36:000,BAN,10.0.0.0/24,boss,60,flood;"
        "4:37:000,UNBAN,g-bo,boss;4:38:000,BANNED,g-cy,10.0.0.9:5000,kicked;"
        "4:39:000,CHAT,g-bo,hello, all";
    auto model = fold(lines);
    EXPECT_EQ(rows(model.state()),
              (std::vector<std::string>{"Al 3 - - finished sb sb", "Bo 2 +2.000 +2.000 - - -",
                                        "Cy 2 +1 L +1:28.000 kicked - -"}));
    std::vector<std::string> texts;
    const ordered_json feed = model.takeFeed();
    for (size_t i = feed.size() - 5; i < feed.size(); ++i)
        texts.push_back(feed[i]["text"]);
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Al wins the race", "Cy kicked by boss: rude, twice",
                                        "an address banned by boss for 60 min: flood",
                                        "Bo unbanned by boss", "Cy turned away (banned): kicked"}));
    EXPECT_EQ(fold(lines, true).takeFeed().back()["text"], "Bo: hello, all") << "chat with --chat";
}

// A looped race: the table of the race that ended, from its laps and order, stays up while the
// same race counts down again, and gives way when it starts.
TEST(LiveModel, FinishedSessionKeepsItsTableUntilTheNextStarts) {
    std::string lines =
        "0:00:001,SESSION,Race,2,20000,1,0,0,0,1,0;0:20:001,SESSION_START;"
        "0:21:000,JOIN,Al,7,T,m,g-al,GB;1:50:000,LAP,g-al,1:29:000,0:44:000,1;"
        "1:50:000,RACEEND,g-al;1:52:000,SESSION,Race,2,20000,1,0,0,0,1,0";
    ordered_json s = fold(lines).state();
    EXPECT_TRUE(s["final"]);
    EXPECT_EQ(s["session"]["phase"], "over");
    EXPECT_EQ(rows(s), std::vector<std::string>{"Al 1 - - finished sb sb"});
    lines += ";2:12:001,SESSION_START";
    s = fold(lines).state();
    EXPECT_FALSE(s["final"]);
    EXPECT_TRUE(s["standings"].empty());
}
