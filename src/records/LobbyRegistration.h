#pragma once
// Telling the outside lobby about the server: the announcement over the server's own socket,
// and the withdrawal from the lobby's web service when the event ends.

#include <cstdint>
#include <string>

#include "platform/CHTTPReader.h"
#include "transport/OVSocket.h"

// The lobby's UDP port, where the further announcements go on this host.
constexpr uint16_t kLobbyPort = 32000;
constexpr int kLobbyPassesPerAttempt = 500;

// Sends the announcement to `lobby` and reads the socket until its handler sets `answered`;
// every `passesPerAttempt` passes (1 ms or more each) without an answer, one of five further
// copies goes to a lobby on this host.
void announceToLobby(OVSocket& socket, const SocketAddress& lobby, const uint8_t* message, int size,
                     bool& answered, int passesPerAttempt = kLobbyPassesPerAttempt);

// Asks the lobby's web service at `httpHost` ("host:port") to drop the server on `port` and
// returns its answer; "" when it gives none within the bounds, so a dead lobby delays the
// shut-down by at most `totalTimeoutMs`.
std::string requestLobbyRemoval(const std::string& httpHost, int port,
                                long connectTimeoutMs = CHTTPReader::kConnectTimeoutMs,
                                long totalTimeoutMs = CHTTPReader::kTotalTimeoutMs);
