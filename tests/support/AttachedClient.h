#pragma once
// Puts a client record straight into a running server's lists, as admission would, so client
// message handling can be tested without the connection handshake. The server owns it.

#include <string>

#include "admission/CRVClientConnection.h"
#include "runtime/CRVServer.h"

CRVClientConnection* attachClient(CRVServer& server, const SocketAddress& address,
                                  const std::string& name, bool spectator = false);
