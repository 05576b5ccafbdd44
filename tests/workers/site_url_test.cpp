#include "workers/SiteUrl.h"

#include <gtest/gtest.h>
#include <ostream>

namespace torv {
namespace {

struct UrlCase {
    const char* name;
    QByteArray line;
    bool found;
    QString url;  // when not found: the URL must stay as it was
};

void PrintTo(const UrlCase& row, std::ostream* out) {
    *out << row.name;
}

class ExtractSiteUrlTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ExtractSiteUrlTest, CutsTheSiteOutOfOneLine) {
    const UrlCase& row = GetParam();
    QString url = QStringLiteral("untouched");
    EXPECT_EQ(ExtractSiteUrl(row.line, url), row.found);
    EXPECT_EQ(url, row.found ? row.url : QStringLiteral("untouched"));
}

using namespace Qt::StringLiterals;

INSTANTIATE_TEST_SUITE_P(
    Lines, ExtractSiteUrlTest,
    ::testing::Values(
        UrlCase{"SecondSchemeOnlyLowerCaseCounts",
                "Get it at HTTP://a/ or http://Sites/Levels/pack.zip", true,
                u"http://sites/levels/"_s},
        UrlCase{"EverythingUpToTheLastSlashOfTheLine", "see http://a/b/ and c/d", true,
                u"http://a/b/ and c/"_s},
        UrlCase{"UpperCaseSchemeIsNoUrl", "Download: HTTP://A/B/", false, {}},
        UrlCase{"HostLettersBecomeLowerCase", "Download: http://A/B/", true, u"http://a/b/"_s},
        UrlCase{"NoSlashBehindTheHostGivesTheBareScheme", "http://a", true, u"http://"_s},
        UrlCase{"TrailingWhiteSpaceIsDropped", "http://a/b/ \t\r\n\v\f", true, u"http://a/b/"_s},
        UrlCase{"LeadingTextAndTabsAreDropped", "\t  mirror: http://x/y/z.zip", true,
                u"http://x/y/"_s},
        UrlCase{"OnlyTheFirstSchemeStartsTheUrl", "http://a/ http://b/c", true,
                u"http://a/ http://b/"_s},
        UrlCase{"SecureSchemeIsHarvested", "mirror: https://A/b/c.zip", true, u"https://a/b/"_s},
        UrlCase{"SecureSchemeFirstStartsTheUrl", "https://a/ or http://b/c", true,
                u"https://a/ or http://b/"_s},
        UrlCase{"PlainSchemeFirstStartsTheUrl", "http://a/ or https://b/c", true,
                u"http://a/ or https://b/"_s},
        UrlCase{"UpperCaseSecureSchemeIsNoUrl", "HTTPS://a/b/", false, {}},
        UrlCase{"SecureWithoutSlashBehindTheHostGivesTheBareScheme", "https://a", true,
                u"https://"_s},
        UrlCase{"IncompleteSchemeIsNoUrl", "http:/a/b/", false, {}},
        UrlCase{"NulEndsTheLineBeforeTheScheme", QByteArray("abc\0http://a/b/", 15), false, {}},
        UrlCase{"NulEndsTheLineBehindTheScheme", QByteArray("http://a/\0b/c/", 14), true,
                u"http://a/"_s},
        UrlCase{"EmptyLine", "", false, {}},
        UrlCase{"Utf8LettersStayAsTheyAre", "http://\xc3\x84Xy/L\xc3\xa9vels/", true,
                u"http://\u00c4xy/l\u00e9vels/"_s},
        UrlCase{"OtherBytesReadAsLatin1", "http://Caf\xe9/", true, u"http://caf\u00e9/"_s}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace torv
