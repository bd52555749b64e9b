// Program entry: configuration, start-up, the main loop and the orderly end.
#include <csignal>

#include "platform/Platform.h"
#include "runtime/CRVServer.h"
#include "runtime/NextWake.h"

namespace {

// Set by signal handlers, read by the loop.
volatile sig_atomic_t quitFlag = 0;
volatile sig_atomic_t chordFlag = 0;
volatile sig_atomic_t drainFlag = 0;

// Constructed before main and destroyed at normal exit, which runs the shut-down.
CRVServer server;

}  // namespace

int main() {
    if (!platform::installConsoleHandlers(&quitFlag, &chordFlag))
        platform::alert("rvserver", "SetConsoleCtrlHandler failed");
    platform::installDrainSignal(&drainFlag);
    platform::installCrashHook();
    server.loadConfiguration();
    server.initialize();
    if (server.config.registerWithLobby)
        server.registerWithLobby();
    if (quitFlag)
        return 0;
    // Sends leave together when the loop rests (waitForNextTurn), not one system call each.
    server.router.socket.holdSends(true);
    do {
        if (drainFlag) {
            drainFlag = 0;
            server.startDraining();
        }
        server.update();
        if (server.drained())
            break;
        // A close event that came during the turn ends the loop without a rest first.
        if (!quitFlag && !chordFlag && !drainFlag)
            waitForNextTurn(server);
        if (chordFlag)
            break;
    } while (!quitFlag);
    server.router.socket.holdSends(false);
    return 0;
}
