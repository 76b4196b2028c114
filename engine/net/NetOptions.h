#pragma once
#include <cstddef>
#include <string>

// How an endpoint meets the network. The defaults keep every session on this machine: the
// server listens on 127.0.0.1 and nothing broadcasts. LAN play binds the server to every
// interface and lets an empty host name search the local network.
struct NetOptions {
    bool lanPlay = false;
    // Peer slots of a server; sessions may ask for fewer players, never more.
    size_t maxClients = 8;
    // Bytes a second the endpoint hands each peer at most (a slow link); 0 sends at once. While
    // messages wait for their turn their timeouts and priorities apply.
    uint32_t sendRate = 0;

    static NetOptions Lan() {
        NetOptions o;
        o.lanPlay = true;
        return o;
    }
    std::string BindAddress() const { return lanPlay ? "0.0.0.0" : "127.0.0.1"; }
};
