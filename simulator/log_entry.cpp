#include "simulator/log_entry.h"

#include "simulator/command_meaning.h"

namespace morvane::sim {

QString LogEntry::toLine() const {
    const std::string hex = hexBytes(std::string_view(bytes.constData(), size_t(bytes.size())));
    return QStringLiteral("%1 ms  %2  %3")
        .arg(qlonglong(time.count()), 7)
        .arg(QString::fromStdString(hex))
        .arg(meaning);
}

}  // namespace morvane::sim
