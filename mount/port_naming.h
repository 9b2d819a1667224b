// Which device "port 1", "port 2" and "port 3" open on this machine.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace morvane {

struct PortEnvironment {
    // MORVANE_COM<N> and friends; empty optional when unset.
    std::function<std::optional<QString>(const QString& name)> variable;
    bool windows = false;
    // USB serial adapters present now, by device path.
    QStringList usbSerialDevices;
};

// Port N opens: the device named by MORVANE_COM<N> if set; on Windows COM<N>;
// elsewhere the N-th USB serial adapter by device name, else /dev/ttyS<N-1>.
QString deviceForPort(int number, const PortEnvironment& environment);

// The environment of this process and the adapters plugged in right now.
PortEnvironment currentPortEnvironment();

}  // namespace morvane
