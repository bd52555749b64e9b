// Program entry: configuration, start-up, the main loop and the orderly end.
#include "platform/Platform.h"
#include "runtime/CRVServer.h"
#include "runtime/NextWake.h"

namespace {

volatile bool quitFlag = false;
volatile bool chordFlag = false;

// Constructed before main and destroyed at normal exit, which runs the shut-down.
CRVServer server;

}  // namespace

int main() {
    if (!platform::installConsoleHandlers(&quitFlag, &chordFlag))
        platform::alert("rvserver", "SetConsoleCtrlHandler failed");
    platform::installCrashHook();
    server.loadConfiguration();
    server.initialize();
    if (server.config.registerWithLobby)
        server.registerWithLobby();
    if (quitFlag)
        return 0;
    do {
        server.update();
        // A close event that came during the turn ends the loop without a rest first.
        if (!quitFlag && !chordFlag)
            waitForNextTurn(server);
        if (chordFlag)
            break;
    } while (!quitFlag);
    return 0;
}
