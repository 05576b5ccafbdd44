// The messages between the site list and its check worker, and the record of one check.
#pragma once

#include <QEvent>
#include <QString>
#include <cstdint>

namespace torv {

// Message numbers kept from the original protocol; here they name a queued call (check) and a
// posted event type (answer).
enum SiteCheckMessage : uint32_t {
    WM_INET_CHECKSITE = 0x321,
    WM_INET_SITESTATE = 0x322,
};

// Answer codes in the low word of a WM_INET_SITESTATE; not the list's own site states.
enum SiteCheckState : uint16_t {
    SITESTATE_CHECKING = 0,
    SITESTATE_VALID = 1,
    SITESTATE_INVALID = 2,
};

// One check: owned by the list until it is posted, by the worker afterwards.
class CSiteCheckRequest {
public:
    virtual ~CSiteCheckRequest() = default;

    QString m_strUrl;
    uint16_t m_nId = 0;
};

constexpr uint32_t MakeWParam(uint16_t low, uint16_t high) {
    return uint32_t(low) | (uint32_t(high) << 16);
}
constexpr uint16_t LowWord(uint32_t value) {
    return uint16_t(value & 0xFFFFu);
}
constexpr uint16_t HighWord(uint32_t value) {
    return uint16_t(value >> 16);
}

// WM_INET_SITESTATE as delivered to the answer window.
class CSiteStateEvent : public QEvent {
public:
    explicit CSiteStateEvent(uint32_t wParam) : QEvent(EventType()), m_wParam(wParam) {}

    static QEvent::Type EventType() {
        return QEvent::Type(int(QEvent::User) + int(WM_INET_SITESTATE));
    }
    uint32_t wParam() const { return m_wParam; }

private:
    uint32_t m_wParam;
};

}  // namespace torv
