// rvlive's parts on their own: the stream's delay, resume and slow viewers on a fake clock, and
// the timing table and race-control feed folded from event-log lines.
#include <gtest/gtest.h>

#include "rvlive/Broadcast.h"
#include "rvlive/EventModel.h"

using nlohmann::ordered_json;

namespace {

std::string idOf(const live::Broadcast::Text& text) {
    return text->substr(4, text->find('\n') - 4);
}

live::EventModel fold(const std::vector<std::string>& lines, bool chat = false) {
    live::EventModel model(chat);
    for (const std::string& line : lines) {
        LogEvent e;
        EXPECT_TRUE(readEventLine(line, e)) << line;
        model.apply(e);
    }
    return model;
}

std::vector<std::string> column(const ordered_json& state, const char* key) {
    std::vector<std::string> out;
    for (const auto& row : state["standings"])
        out.push_back(row[key].is_null() ? "-" : row[key].dump());
    return out;
}

}  // namespace

TEST(LiveBroadcast, HoldsUpdatesBackByTheDelayResumesExactlyAndDropsViewersLeftBehind) {
    int64_t now = 0;
    live::Broadcast stream([&] { return now; }, 30000, 4);
    stream.publish({{"n", 1}}, ordered_json::array({{{"seq", 1}}}));
    now = 29999;
    stream.release();
    EXPECT_EQ(stream.lastId(), 0u) << "nothing before the delay is over";
    now = 30000;
    stream.release();
    EXPECT_EQ(stream.lastId(), 1u);
    EXPECT_EQ(stream.latest()["readAt"], 0) << "stamped when read, not when released";

    uint64_t at = 0;
    const auto snapshot = stream.catchUp("", at);
    ASSERT_EQ(snapshot.size(), 1u);
    EXPECT_NE(snapshot[0]->find("event: snapshot"), std::string::npos);
    const std::string seen = idOf(snapshot[0]);
    for (int n = 2; n <= 4; ++n)
        stream.publish({{"n", n}}, ordered_json::array());
    now += 30000;
    stream.release();
    const auto missed = stream.catchUp(seen, at);
    ASSERT_EQ(missed.size(), 3u);
    EXPECT_EQ(at, 4u);
    EXPECT_NE(missed[0]->find("\"state\":{\"n\":2}"), std::string::npos);
    EXPECT_EQ(stream.catchUp(idOf(missed[2]), at).size(), 0u) << "nothing twice";
    EXPECT_NE(stream.catchUp("9-1", at)[0]->find("event: snapshot"), std::string::npos);

    uint64_t slow = 1;
    std::vector<live::Broadcast::Text> out;
    for (int n = 5; n <= 6; ++n)
        stream.publish({{"n", n}}, ordered_json::array());
    now += 30000;
    stream.release();
    EXPECT_FALSE(stream.next(slow, out)) << "update 2 is no longer held: the viewer is dropped";
    uint64_t keeping = 4;
    EXPECT_TRUE(stream.next(keeping, out));
    EXPECT_EQ(out.size(), 2u);
    EXPECT_EQ(keeping, 6u);
}

// Laps stamped by the server: gaps to the leader and intervals at each car's own crossing, a
// lapped car as "+N L", the finish, and race control's new lines without drivers' addresses.
TEST(LiveModel, RaceGapsIntervalsLappedCarsAndRaceControl) {
    const std::vector<std::string> lines = {"0:00:001,SESSION,Race,2,0,1,0,0,0,3,0",
                                            "0:00:002,SESSION_START",
                                            "0:01:000,JOIN,Al,7,T,m,g-al,GB",
                                            "0:01:000,JOIN,Bo,12,T,m,g-bo,GB",
                                            "0:01:000,JOIN,Cy,3,T,m,g-cy,GB",
                                            "1:30:000,LAP,g-al,1:29:000,0:44:000,1",
                                            "1:31:500,LAP,g-bo,1:30:500,0:45:000,1",
                                            "1:45:000,LAP,g-cy,1:44:000,0:50:000,1",
                                            "3:00:000,LAP,g-al,1:30:000,0:44:000,2",
                                            "3:02:000,LAP,g-bo,1:30:500,0:45:000,2",
                                            "4:29:000,LAP,g-al,1:28:500,0:44:000,3",
                                            "4:29:000,RACEEND,g-al",
                                            "4:30:000,LAP,g-cy,2:45:000,0:50:000,2",
                                            "4:35:000,KICK,g-cy,10.0.0.9:5000,boss,rude, twice",
                                            "4:36:000,BAN,10.0.0.0/24,boss,60,flood",
                                            "4:37:000,UNBAN,g-bo,boss",
                                            "4:38:000,BANNED,g-cy,10.0.0.9:5000,kicked",
                                            "4:39:000,CHAT,g-bo,hello, all"};
    auto model = fold(lines);
    const ordered_json s = model.state();
    EXPECT_EQ(column(s, "name"), (std::vector<std::string>{"\"Al\"", "\"Bo\"", "\"Cy\""}));
    EXPECT_EQ(column(s, "gap"), (std::vector<std::string>{"-", "\"+2.000\"", "\"+1 L\""}));
    EXPECT_EQ(column(s, "interval"),
              (std::vector<std::string>{"-", "\"+2.000\"", "\"+1:28.000\""}));
    EXPECT_EQ(column(s, "status"),
              (std::vector<std::string>{"\"finished\"", "\"\"", "\"kicked\""}));
    EXPECT_EQ(column(s, "lastMark"), (std::vector<std::string>{"\"sb\"", "\"\"", "\"\""}));
    EXPECT_EQ(s["standings"][0]["bestMark"], "sb");
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
    std::vector<std::string> lines = {"0:00:001,SESSION,Race,2,20000,1,0,0,0,1,0",
                                      "0:20:001,SESSION_START",
                                      "0:21:000,JOIN,Al,7,T,m,g-al,GB",
                                      "1:50:000,LAP,g-al,1:29:000,0:44:000,1",
                                      "1:50:000,RACEEND,g-al",
                                      "1:52:000,SESSION,Race,2,20000,1,0,0,0,1,0"};
    ordered_json s = fold(lines).state();
    EXPECT_TRUE(s["final"]);
    EXPECT_EQ(s["session"]["phase"], "over");
    EXPECT_EQ(s["session"]["next"]["phase"], "waiting");
    EXPECT_EQ(column(s, "laps"), std::vector<std::string>{"1"});
    lines.push_back("2:12:001,SESSION_START");
    s = fold(lines).state();
    EXPECT_FALSE(s["final"]);
    EXPECT_TRUE(s["standings"].empty());
}
