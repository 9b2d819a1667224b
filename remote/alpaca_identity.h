// Who the Alpaca server is: the names it gives and the device's UniqueID,
// which stays the same on every start on the same computer without the
// program writing anything down.
#pragma once

#include <QByteArray>
#include <QString>

namespace morvane::remote {

inline constexpr int kInterfaceVersion = 4;  // ITelescopeV4

QString serverName();      // "Morvane Control"
QString deviceName();      // "Morvane Control telescope"
QString manufacturer();    // "Morvane"
QString programVersion();  // the application's version

// A name-based (version 5) UUID of the machine's id, without braces.
QString deviceUniqueId();
QString uniqueIdForMachine(const QByteArray& machineId);

}  // namespace morvane::remote
