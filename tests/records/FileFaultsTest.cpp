// What the disk does to the server: full, failing, short or gone, it keeps hosting, says so once
// a minute, never leaves a torn file and writes what it owes as soon as the disk takes it.
#include <unistd.h>

#include <cerrno>
#include <map>

#include "platform/Files.h"
#include "records/RecordingReader.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"

using platform::numberedName;

namespace {

// The system's files, but for paths holding `where` a disk with `space` bytes left (-1: no
// limit), one that fails with EIO, or one whose folder is gone.
struct Disk : platform::Files {
    std::string where = "\x01";
    long space = -1;
    bool broken = false;
    bool gone = false;

    bool hits(const std::string& path) const { return path.find(where) != std::string::npos; }
    int openForWrite(const std::string& path, bool append, int& error) override {
        if (gone && hits(path)) {
            error = ENOENT;
            return -1;
        }
        const int fd = Files::openForWrite(path, append, error);
        if (fd >= 0)
            paths[fd] = path;
        return fd;
    }
    long write(int fd, const void* data, size_t size, int& error) override {
        if (!hits(paths[fd]) || (space < 0 && !broken))
            return Files::write(fd, data, size, error);
        if (broken || space == 0) {
            error = broken ? EIO : ENOSPC;
            return -1;
        }
        const long n = Files::write(fd, data, std::min(size, size_t(space)), error);
        space -= n;
        return n;
    }
    void heal() { space = -1, broken = gone = false; }
    std::map<int, std::string> paths;
};

const std::string kResults = resultsPath("Practice");
const std::string kLog = std::string("server/logs/rvserverlog[") + kLocalTime + "].txt";

}  // namespace

TEST(FileFaults, ResultsAndProfilesWaitForTheDiskAndAreNeverTornOrOverwritten) {
    Disk disk;
    ServerHarness h(defaultConfig(), &disk);
    h.start();
    CRVServer& s = *h.server;
    const auto save = [&] { return printed([&] { s.saveSession(0); }); };
    // Two saves in one minute (the race reset of a looped event): both files are kept.
    save();
    const std::string first = h.folder.read(kResults);
    s.sessions[0].type = kQualifying;
    save();
    EXPECT_EQ(h.folder.read(numberedName(kResults, 1)), first);
    EXPECT_EQ(h.folder.read(kResults), "[HEADER]\nNAME=Practice\nTYPE=1\nCLIENTS=0\n");
    save();  // the same text again (an empty looped race) keeps no copy
    EXPECT_EQ(h.folder.list("server/sessions").size(), 2u);

    // A full disk: a line now, one a minute after, and the file is written once there is room.
    disk.where = "sessions/";
    disk.space = 20;
    s.sessions[0].type = kPractice;  // the first 20 bytes fit, the rest does not
    EXPECT_EQ(save(),
              "Could not write " + kResults + ": No space left on device (40 bytes not written)\n");
    EXPECT_EQ(printed([&] { h.advance(59000); }), "");
    disk.space = 0;
    EXPECT_EQ(printed([&] { h.advance(1000); }),
              "Could not write " + kResults +
                  ": No space left on device (40 bytes not written, 1 more failures)\n");
    EXPECT_FALSE(h.folder.exists(kResults));
    disk.heal();
    EXPECT_EQ(printed([&] { h.turn(); }), "");
    EXPECT_EQ(h.folder.read(kResults), first);
    EXPECT_EQ(h.folder.list("server/sessions").size(), 3u);  // no temp file left behind

    // A profile on a failing disk, then in a folder that was removed and made again.
    disk.where = "users/";
    disk.broken = true;
    EXPECT_EQ(printed([&] { s.saveUserProfile("guid-x"); }),
              "Could not write server/users/guid-x.rvuser: Input/output error (7 bytes not "
              "written)\n");
    s.saveUserProfile("guid-x");  // already waiting: not queued twice
    EXPECT_EQ(s.wholeFiles.waiting(), 1u);
    disk.broken = false;
    disk.gone = true;
    EXPECT_TRUE(has(printed([&] { h.advance(61000); }), "No such file or directory"));
    EXPECT_FALSE(h.folder.exists("server/users/guid-x.rvuser"));
    disk.heal();
    h.turn();
    EXPECT_EQ(h.folder.read("server/users/guid-x.rvuser"), "guid-x\n");
    EXPECT_EQ(s.wholeFiles.waiting(), 0u);
}

TEST(FileFaults, AppendedFilesCatchUpAndTheRecordingEndsOnAWholeMessage) {
    Disk disk;
    ServerHarness h(defaultConfig(), &disk);
    h.start();
    CRVServer& s = *h.server;
    disk.where = "logs/";
    disk.broken = true;
    s.logger.log("CHAT,one", 0);
    EXPECT_TRUE(has(printed([&] { s.flushOutput(); }),
                    "Could not write " + kLog + ": Input/output error ("));
    s.logger.log("CHAT,two", 0);
    EXPECT_EQ(printed([&] { s.flushOutput(); }), "");
    disk.heal();
    s.flushOutput();
    EXPECT_TRUE(h.folder.read(kLog).ends_with("0:00:000,CHAT,one\n0:00:000,CHAT,two\n"));
    // The statistics count every failure from then on.
    h.advance(10001);
    s.flushOutput();
    EXPECT_TRUE(has(h.folder.read("serverStats.txt"), "FILE WRITES FAILED: 2\n"));

    // 28 bytes of header and 10 of message a record: room for two and a half.
    disk.where = "replay/";
    disk.space = 95;
    const SocketAddress from = SocketAddress::fromHost(0x7f000001, 4000);
    const std::vector<uint8_t> message(10, 7);
    for (int i = 0; i < 4; ++i)
        s.onReceived(message.data(), int(message.size()), &from);
    EXPECT_EQ(printed([&] { s.flushOutput(); }),
              "Could not write out.rvsr: No space left on device (57 bytes not written)\n"
              "Recording stopped: No space left on device; out.rvsr ends at its last whole "
              "message\n");
    s.onReceived(message.data(), int(message.size()), &from);
    EXPECT_EQ(printed([&] { s.flushOutput(); }), "");
    RecordingReader reader(h.folder.path() + "/" + kRecording);
    RecordedMessage m;
    int whole = 0;
    while (reader.next(m) == RecordingReader::Next::Record)
        ++whole;
    EXPECT_EQ(whole, 2);
    EXPECT_EQ(reader.next(m), RecordingReader::Next::End);
}

TEST(FileFaults, AFullDeviceLeavesTheServerHostingAndAStartKeepsTheLastRunsFiles) {
    // The last run's log and recording under the names this start takes; an empty one is not
    // worth keeping.
    ServerHarness h;
    h.folder.write(kLog, "0:00:000,START,crashed\n");
    h.folder.write(numberedName(kRecording, 1), "older");
    h.folder.write(kRecording, std::string(40, 'r'));
    const std::string console = h.start();
    EXPECT_TRUE(has(console, "The earlier event log is kept as " + h.folder.path() + "/" +
                                 numberedName(kLog, 1) + "\n"));
    EXPECT_TRUE(has(console, "The earlier recording is kept as " + h.folder.path() + "/" +
                                 numberedName(kRecording, 2) + "\n"));
    EXPECT_EQ(h.folder.read(numberedName(kLog, 1)), "0:00:000,START,crashed\n");
    EXPECT_EQ(h.folder.read(numberedName(kRecording, 2)), std::string(40, 'r'));

    // A real full device under the event log and the recording.
    ServerHarness full;
    for (const std::string& f : {kLog, std::string(kRecording)})
        ASSERT_EQ(::symlink("/dev/full", (full.folder.path() + "/" + f).c_str()), 0);
    full.start();
    TestClient asker(full.port());
    asker.sendRaw({RV_ECHO});
    const std::string said = printed([&] {
        full.receiveTurn();
        full.server->flushOutput();
    });
    EXPECT_TRUE(has(said, "Could not write " + kLog + ": No space left on device"));
    EXPECT_TRUE(has(said, "Recording stopped: No space left on device"));
    EXPECT_TRUE(asker.waitFor(RV_ECHO));
}
