// The string table.
#pragma once

#include <QString>

namespace torv::res {

enum StringId {
    IDS_ABOUTBOX = 101,
    IDS_CONFIGURE = 102,
    IDS_VERSION = 103,
    IDS_INVALID_D3_PATH = 104,
    IDS_SITELIST_TIP = 1002,
};

// The text of a string id; empty for an id the table does not hold.
QString String(int id);

}  // namespace torv::res
