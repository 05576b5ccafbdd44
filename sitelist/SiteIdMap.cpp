#include "sitelist/SiteIdMap.h"

namespace torv {

uint16_t CSiteIdMap::Add(const QString& url) {
    const uint16_t id = m_nNextId;
    m_map.insert(id, url);
    m_nNextId = uint16_t(m_nNextId + 1);
    return id;
}

bool CSiteIdMap::Lookup(uint16_t id, QString& url) const {
    const auto found = m_map.constFind(id);
    if (found == m_map.cend()) {
        return false;
    }
    url = *found;
    return true;
}

void CSiteIdMap::RemoveKey(uint16_t id) {
    m_map.remove(id);
    if (m_map.isEmpty()) {
        m_nNextId = 0;
    }
}

}  // namespace torv
