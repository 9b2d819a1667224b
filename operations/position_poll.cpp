#include "operations/position_poll.h"

#include "mount/codec.h"
#include "mount/link.h"

namespace morvane::operations {

void pollPosition(MountLink& link, std::function<void(const PositionReading&)> done) {
    link.submit(Exchange::counted("E", kPositionReplyLength),
                [done = std::move(done)](const ExchangeResult& result) {
                    PositionReading reading{result.status, {}, result.error};
                    if (result.ok()) {
                        reading.text = QString::fromStdString(
                            codec::positionTextFromReply(result.reply.toStdString()));
                    }
                    done(reading);
                });
}

}  // namespace morvane::operations
