#include <filesystem>

#include "support/RaceFixture.h"

namespace {

const std::string kPlayback = crlf("[CONFIG]\nLOAD=1\n");

// One record as the recorder writes it; `size` overrides the message's own.
std::string recordBytes(uint32_t time, const SocketAddress& from, const Bytes& message,
                        uint32_t size = 0) {
    Bytes r(28, 0);
    putU32(r, 0, time);
    putU32(r, 4, size != 0 ? size : uint32_t(message.size()));
    std::copy(from.raw, from.raw + 16, r.begin() + 8);
    r.insert(r.end(), message.begin(), message.end());
    return std::string(r.begin(), r.end());
}

std::string logOf(ServerHarness& h) {
    h.server->flushOutput();
    return h.folder.read(h.server->logger.fileName());
}

}  // namespace

// Playback rebuilds the event, sends no byte to the recorded addresses and drops no car.
TEST(Replay, PlaybackRebuildsTheRecordedEventAndAnswersNoOne) {
    ServerHarness first;
    first.start();
    TestClient a(first.port()), b(first.port());
    const int32_t tyres = first.server->checksums.tyres;
    StdoutCapture quiet;
    for (auto [client, message] : std::vector<std::pair<TestClient*, Bytes>>{
             {&a, connectRequest({.guid = "guid-a", .userName = "Ann", .tyreChecksum = tyres})},
             {&b, connectRequest({.guid = "guid-b", .userName = "Bob", .tyreChecksum = tyres})},
             {&a, Bytes(23, 0)},
             {&b, chat("hello")}}) {
        client->sendRaw(message);
        first.clock.advance(100);
        ASSERT_TRUE(first.receiveTurn());
    }
    quiet.take();
    const std::string log = logOf(first);
    EXPECT_EQ(log,
              "0:00:000,START,testring,short,gt1;gt2;\n"
              "0:00:000,SESSION,Practice,0,30000,1,0,0,0,5,600000\n"
              "0:00:100,JOIN,Ann,7,Team,gt1,guid-a,IT\n0:00:200,JOIN,Bob,7,Team,gt1,guid-b,IT\n"
              "0:00:400,CHAT,guid-b,hello\n");
    first.server.reset();  // shut-down closes the recording

    ServerHarness second;
    second.folder.write("cfg/rvserverrecorder.ini", kPlayback);
    second.folder.write(kRecording, first.folder.read(kRecording));
    second.start();
    a.drain(1), b.drain(1);
    a.received.clear(), b.received.clear();
    printed([&] {
        for (uint32_t step : {100, 100, 100, 100, 70000, 10})  // then long past the link watchdog
            second.advance(step);
    });
    ASSERT_EQ(second.server->clients.size(), 2u);
    EXPECT_TRUE(second.server->clients[0]->isReplayed && second.server->clients[1]->isReplayed);
    a.drain(20), b.drain(1);
    EXPECT_TRUE(a.received.empty() && b.received.empty());
    EXPECT_EQ(second.folder.read(kRecording), first.folder.read(kRecording)) << "left as it was";
    EXPECT_EQ(logOf(second), log + "1:10:400,SESSION_START\n");
}

// A new recording replaces the last one; each message is kept with time, size and sender.
TEST(Replay, RecordsEachMessageWithTimeSizeAndSenderAndRefusesOversizedOnes) {
    ServerHarness h;
    h.folder.write(kRecording, "an older recording");
    h.start();
    TestClient peer(h.port());
    Bytes big(1000, 0x5a);
    big[0] = 99;  // a type nobody handles
    peer.sendRaw(big);
    h.clock.advance(1234);
    ASSERT_TRUE(h.receiveTurn());
    const SocketAddress other = SocketAddress::fromHost(0x0a000001, 6666);
    Bytes largest(1023, 7), tooLarge(1024, 7);
    StdoutCapture out;
    h.server->router.onMessage(largest.data(), 1023, &other);
    h.server->router.onMessage(tooLarge.data(), 1024, &other);
    EXPECT_EQ(out.take(), "SUSPICIOUS MESSAGE WITH SIZE=1024, IGNORE AND DON'T RECORD IT\n");
    h.server->flushOutput();
    EXPECT_EQ(h.folder.read(kRecording),
              recordBytes(1234, peer.address(), big) + recordBytes(1234, other, largest));

    ServerHarness unwritable;
    std::filesystem::remove_all(unwritable.folder.path() + "/server/replay");
    EXPECT_TRUE(has(unwritable.start(), "Error opening out.rvsr\nInitializing message router\n"));
}

TEST(Replay, LoadingSkipsDamagedRecordsAndStopsAtALongGap) {
    const SocketAddress from = SocketAddress::fromHost(0x7f000001, 5000);
    const Bytes echo = {RV_ECHO};
    ServerHarness h;
    h.folder.write("cfg/rvserverrecorder.ini", kPlayback);
    h.folder.write(kRecording,
                   recordBytes(500, from, echo) + recordBytes(600, from, {}) +
                       recordBytes(700, from, Bytes(5000, 1)) + recordBytes(20600, from, echo) +
                       recordBytes(40601, from, {RV_GETSTATUS}) + recordBytes(40700, from, echo) +
                       recordBytes(40800, from, echo, 0xffffffffu));
    EXPECT_TRUE(has(h.start(), "LOADING " + h.folder.path() + "/" + kRecording +
                                   "\nMessage size is 0 600\n"
                                   "SUSPICIOUS MESSAGE WITH SIZE=5000, IGNORE AND DON'T RECORD IT\n"
                                   "st: 40601 lt:20600 110\nst: 40700 lt:20600 105\n"));
    std::deque<RecordedMessage>& list = h.server->recorder->playList;
    ASSERT_EQ(list.size(), 3u);
    StdoutCapture quiet;
    h.advance(499);
    EXPECT_EQ(list.size(), 3u) << "nothing before its time";
    h.advance(101);
    EXPECT_EQ(list.size(), 2u) << "two are due, one is played per turn";
}
