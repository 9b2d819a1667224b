#include "mount/reply_assembler.h"

namespace morvane {

void ReplyAssembler::start(ReplyRule rule, int count) {
    m_rule = rule;
    m_count = count;
    m_reply.clear();
    m_overflowed = false;
}

void ReplyAssembler::append(QByteArrayView bytes) {
    const auto room = static_cast<qsizetype>(m_capacity) - m_reply.size();
    if (bytes.size() > room) {
        m_overflowed = true;
        bytes = bytes.first(qMax<qsizetype>(room, 0));
    }
    m_reply.append(bytes);
}

bool ReplyAssembler::complete() const {
    switch (m_rule) {
        case ReplyRule::Counted:
            return m_reply.size() >= m_count;
        case ReplyRule::Answer:
            return started();
        case ReplyRule::Settle:
            return false;
    }
    return false;
}

}  // namespace morvane
