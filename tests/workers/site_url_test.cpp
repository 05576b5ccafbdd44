#include "workers/SiteUrl.h"

#include <gtest/gtest.h>

namespace torv {
namespace {

using namespace Qt::StringLiterals;

TEST(ExtractSiteUrl, CutsTheSiteOutOfOneLine) {
    struct Case {
        QByteArray line;
        QString url;  // null: no URL, and the caller's text stays as it was
    };
    // clang-format off
    const Case cases[] = {
        {"Get it at HTTP://a/ or http://Sites/Levels/pack.zip", u"http://sites/levels/"_s},
        {"see http://a/b/ and c/d \t\r\n", u"http://a/b/ and c/"_s},
        {"http:/a/b/", {}},
        {"http://a", u"http://"_s},
        {"mirror: https://A/b/c.zip", u"https://a/b/"_s},
        {"https://a/ or http://b/c", u"https://a/ or http://b/"_s},
        {"http://a/ or https://b/c", u"http://a/ or https://b/"_s},
        {QByteArray("abc\0http://a/b/", 15), {}},
        {QByteArray("http://a/\0b/c/", 14), u"http://a/"_s},
        {"http://\xc3\x84Xy/L\xc3\xa9vels/", u"http://\u00c4xy/l\u00e9vels/"_s},
        {"http://Caf\xe9/", u"http://caf\u00e9/"_s},  // not UTF-8: read as Latin-1
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line.toStdString());
        QString url = u"untouched"_s;
        EXPECT_EQ(ExtractSiteUrl(row.line, url), !row.url.isNull());
        EXPECT_EQ(url, row.url.isNull() ? u"untouched"_s : row.url);
    }
}

}  // namespace
}  // namespace torv
