#include "remote/warning_limit.h"

namespace morvane::remote {

bool WarningLimit::allow(int* heldBack) {
    const auto now = std::chrono::steady_clock::now();
    if (m_said && now - m_last < m_interval) {
        ++m_heldBack;
        return false;
    }
    *heldBack = m_heldBack;
    m_heldBack = 0;
    m_last = now;
    m_said = true;
    return true;
}

}  // namespace morvane::remote
