#include "mount/port_naming.h"

#include <QSerialPortInfo>
#include <QtGlobal>
#include <algorithm>

namespace morvane {

QString deviceForPort(int number, const PortEnvironment& environment) {
    if (environment.variable) {
        if (auto named = environment.variable(QStringLiteral("MORVANE_COM%1").arg(number))) {
            if (!named->trimmed().isEmpty()) {
                return named->trimmed();
            }
        }
    }
    if (environment.windows) {
        return QStringLiteral("COM%1").arg(number);
    }
    QStringList adapters = environment.usbSerialDevices;
    std::sort(adapters.begin(), adapters.end());
    if (number >= 1 && number <= adapters.size()) {
        return adapters.at(number - 1);
    }
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

PortEnvironment currentPortEnvironment() {
    PortEnvironment environment;
    environment.variable = [](const QString& name) -> std::optional<QString> {
        const QByteArray key = name.toLocal8Bit();
        if (!qEnvironmentVariableIsSet(key.constData())) {
            return std::nullopt;
        }
        return qEnvironmentVariable(key.constData());
    };
#ifdef Q_OS_WIN
    environment.windows = true;
#else
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        // Only adapters that report a USB vendor: built-in ttyS ports are the
        // fallback, not candidates.
        if (info.hasVendorIdentifier()) {
            environment.usbSerialDevices << info.systemLocation();
        }
    }
#endif
    return environment;
}

}  // namespace morvane
