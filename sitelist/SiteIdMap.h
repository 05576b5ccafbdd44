// The URLs of the checks in flight, by 16-bit request id.
#pragma once

#include <QHash>
#include <QString>
#include <cstdint>

namespace torv {

class CSiteIdMap {
public:
    virtual ~CSiteIdMap() = default;

    // Stores url under the next id (replacing what an id still in flight held after a
    // wrap-around) and returns that id; ids run 0..65535 and wrap to 0.
    uint16_t Add(const QString& url);
    bool Lookup(uint16_t id, QString& url) const;
    // Once no check is in flight the ids start again at 0.
    void RemoveKey(uint16_t id);

    int count() const { return int(m_map.size()); }
    uint16_t nextId() const { return m_nNextId; }

private:
    QHash<uint16_t, QString> m_map;
    uint16_t m_nNextId = 0;
};

}  // namespace torv
