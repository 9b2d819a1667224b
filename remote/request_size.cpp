#include "remote/request_size.h"

namespace morvane::remote {

RequestSize::Verdict RequestSize::feed(std::string_view bytes) {
    if (m_verdict != Verdict::Fine) {
        return m_verdict;
    }
    std::size_t i = 0;
    for (; i < bytes.size() && !m_inBody; ++i) {
        ++m_head;
        const char c = bytes[i];
        if (c == '\n') {
            m_inBody = ++m_lineEnds == 2;
        } else if (c != '\r') {
            m_lineEnds = 0;
        }
    }
    if (m_head > m_maximumHead) {
        m_verdict = Verdict::HeadTooLarge;
    }
    m_body += bytes.size() - i;
    if (m_body > m_maximumBody) {
        m_verdict = Verdict::BodyTooLarge;
    }
    return m_verdict;
}

void RequestSize::startNext() {
    *this = RequestSize(m_maximumHead, m_maximumBody);
}

}  // namespace morvane::remote
