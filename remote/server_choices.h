// Which remote servers start and where they listen: what a run uses, and
// what the settings file keeps for the next start.
#pragma once

#include <QHostAddress>

namespace morvane::remote {

struct ServerChoice {
    bool enabled = false;
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 0;
    bool operator==(const ServerChoice&) const = default;
};

struct ServerChoices {
    ServerChoice alpaca{false, QHostAddress(QHostAddress::LocalHost), 11111};
    quint16 alpacaDiscoveryPort = 32227;
    ServerChoice stellarium{false, QHostAddress(QHostAddress::LocalHost), 10001};
    bool operator==(const ServerChoices&) const = default;
};

}  // namespace morvane::remote
