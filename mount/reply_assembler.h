// Collects the bytes of one reply as they arrive in pieces, and says when the
// reply is complete by its exchange's rule. Bounded: beyond its capacity
// further bytes are dropped, so a device that never stops sending costs at
// most one buffer.
#pragma once

#include "mount/exchange.h"
#include "mount/link_limits.h"

#include <QByteArray>
#include <QByteArrayView>

namespace morvane {

class ReplyAssembler {
public:
    explicit ReplyAssembler(std::size_t capacity = kReplyCapacity) : m_capacity(capacity) {}

    void start(ReplyRule rule, int count);
    void append(QByteArrayView bytes);

    // Counted: enough characters. Answer: something arrived (the quiet gap
    // that ends an answer is timed by the link). Settle: never by input.
    bool complete() const;
    bool started() const { return !m_reply.isEmpty(); }
    bool overflowed() const { return m_overflowed; }
    const QByteArray& reply() const { return m_reply; }

private:
    std::size_t m_capacity;
    ReplyRule m_rule = ReplyRule::Settle;
    int m_count = 0;
    QByteArray m_reply;
    bool m_overflowed = false;
};

}  // namespace morvane
