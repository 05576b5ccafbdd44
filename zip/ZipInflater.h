// An owned zlib raw-inflate stream (no zlib header or trailer, as zip's method 8 stores it).
#pragma once

#include <zlib.h>

namespace zip_detail {

class ZipInflater {
public:
    ZipInflater() = default;
    ~ZipInflater() { end(); }
    ZipInflater(const ZipInflater&) = delete;
    ZipInflater& operator=(const ZipInflater&) = delete;

    bool start();
    void end();
    z_stream& stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_active = false;
};

}  // namespace zip_detail
