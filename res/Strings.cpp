#include "res/Strings.h"

#include "res/Version.h"

namespace torv::res {

QString String(int id) {
    switch (id) {
        case IDS_ABOUTBOX:
            return QStringLiteral("&About TORV...");
        case IDS_CONFIGURE:
            return QStringLiteral("Configure...");
        case IDS_VERSION:
            return QString::fromLatin1(kVersionText);
        case IDS_INVALID_D3_PATH:
            return QStringLiteral("<invalid d3 path, please correct>");
        case IDS_SITELIST_TIP:
            return QStringLiteral(
                "Configured mission sites.  Drop files to search for URLs or right-click for more "
                "options.");
        default:
            return {};
    }
}

}  // namespace torv::res
