#include "zip/ZipInflater.h"

namespace zip_detail {

bool ZipInflater::start() {
    end();
    m_stream = z_stream{};
    m_active = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
    return m_active;
}

void ZipInflater::end() {
    if (m_active) {
        inflateEnd(&m_stream);
        m_active = false;
    }
    m_stream = z_stream{};
}

}  // namespace zip_detail
