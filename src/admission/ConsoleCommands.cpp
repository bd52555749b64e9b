// Commands from the operator's remote console, after the admin password has been checked.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admission/CRVClientConnection.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"
#include "runtime/CRVServer.h"
#include "util/PrintableText.h"
#include "util/RecordText.h"

namespace {

// The next word of `text`, ended by one of `delimiters`; null when there is none.
char* nextWord(char*& text, const char* delimiters) {
    text += std::strspn(text, delimiters);
    if (*text == '\0')
        return nullptr;
    char* word = text;
    text += std::strcspn(text, delimiters);
    if (*text != '\0')
        *text++ = '\0';
    return word;
}

// A whole decimal number, and nothing else.
bool parseIndex(const char* word, long& value) {
    char* end = nullptr;
    value = std::strtol(word, &end, 10);
    return end != word && *end == '\0';
}

// Kilograms are announced as a whole number, so only values that have one are taken.
bool parseKilograms(const char* word, float& value) {
    char* end = nullptr;
    value = std::strtof(word, &end);
    return end != word && *end == '\0' && std::isfinite(value) && std::fabs(value) < 1e9f;
}

}  // namespace

void CRVServer::runCommand(char* text) {
    char* rest = text;
    const char* command = nextWord(rest, " \n");
    std::printf("parsing command: %s\n", printable(command != nullptr ? command : "").c_str());
    if (command == nullptr)
        return;
    if (std::strcmp(command, "reset") == 0) {
        resetRace(false);
    } else if (std::strcmp(command, "setBallast") == 0) {
        const char* indexWord = nextWord(rest, " ");
        const char* kgWord = indexWord != nullptr ? nextWord(rest, " \n") : nullptr;
        long index = -1;
        float kg = 0;
        if (kgWord == nullptr || !parseIndex(indexWord, index) || !parseKilograms(kgWord, kg))
            return;
        if (index < 0 || size_t(index) >= clients.size())
            return;
        CRVClientConnection* client = clients[size_t(index)];
        sendServerChat("Setting " + std::to_string(int(kg)) + " Kg of ballast for " +
                           recordText(client->userName),
                       nullptr);
        const BallastMessage ballast(kg);
        router.send(client, ballast.bytes, msgsize::kBallast, 1, false);
        client->ballast = kg;
    } else if (std::strcmp(command, "pings") == 0) {
        for (const CRVClientConnection* c : clients)
            std::printf("%s %d %d\n", printable(recordText(c->userName)).c_str(), int(c->ping),
                        int(c->id));
    } else if (std::strcmp(command, "startRaceSequence") == 0) {
        SessionRecord* session = current();
        if (session != nullptr)
            session->startTime = uint64_t(serverTime + Countdown::kCommandedStartDelayMs);
        std::printf("Admin: startRaceSequence\n");
    } else if (std::strcmp(command, "drain") == 0) {
        startDraining();
    } else {
        runBanCommand(std::string(command) + " " + rest, nullptr);
    }
}
