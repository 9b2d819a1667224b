#include "operations/coordinate_send.h"

#include "mount/link.h"

namespace morvane::operations {

std::optional<QString> sendCoordinates(MountLink& link, char letter,
                                       const codec::SexagesimalEntry& entry,
                                       ExchangeCallback done) {
    const codec::Encoding pair = codec::coordinatePair(letter, entry);
    if (!pair.ok()) {
        return QString::fromStdString(pair.error);
    }
    link.submit(Exchange::settle(QByteArray::fromStdString(pair.field)), std::move(done));
    return std::nullopt;
}

}  // namespace morvane::operations
