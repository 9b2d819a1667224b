#include "remote/alpaca_identity.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <QUuid>

namespace morvane::remote {
namespace {

// This program's own namespace for name-based UUIDs (chosen once, never
// to change: every UniqueID derives from it).
const QUuid kNamespace(QStringLiteral("{5d0c8a3e-9b41-4f6e-a2c7-3e1f08b6d952}"));

}  // namespace

QString serverName() {
    return QStringLiteral("Morvane Control");
}

QString deviceName() {
    return QStringLiteral("Morvane Control telescope");
}

QString manufacturer() {
    return QStringLiteral("Morvane");
}

QString programVersion() {
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral(PROJECT_VERSION_TEXT) : version;
}

QString uniqueIdForMachine(const QByteArray& machineId) {
    return QUuid::createUuidV5(kNamespace, machineId + QByteArrayLiteral("/alpaca/telescope/0"))
        .toString(QUuid::WithoutBraces);
}

QString deviceUniqueId() {
    QByteArray machine = QSysInfo::machineUniqueId();
    if (machine.isEmpty()) {
        // No machine id (rare: a minimal container): the host name is the
        // next most lasting name of this computer.
        machine = QSysInfo::machineHostName().toUtf8();
    }
    return uniqueIdForMachine(machine);
}

}  // namespace morvane::remote
