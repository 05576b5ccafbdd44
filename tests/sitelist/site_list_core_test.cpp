#include "sitelist/SiteListCore.h"

#include <gtest/gtest.h>
#include <QListWidget>
#include <memory>
#include <vector>

#include "sitelist/ListWidgetItems.h"

namespace torv {
namespace {

// Rows are written as "aV bI cU": a site http://a/ in state V(alid), I(nvalid), U(nchecked),
// C(hecking) or E(diting), the letters in the order of the states' values.
constexpr char kLetters[] = "UCIVE";

int StateOf(QChar letter) {
    return int(QString(kLetters).indexOf(letter));
}

QChar LetterOf(int state) {
    return state >= SITE_UNCHECKED && state <= SITE_EDITING ? QChar(kLetters[state]) : QChar('?');
}

QString UrlOf(const QString& name) {
    return "http://" + name + "/";
}

class Harness {
public:
    explicit Harness(bool withWorker = true) {
        core.AddPromptLine();
        if (withWorker) {
            core.SetCheckPoster([this](std::unique_ptr<CSiteCheckRequest> request) {
                posted.push_back(std::move(request));
            });
        }
    }

    // Lays the rows out exactly as written, each with a check in flight, bypassing placement.
    void Rows(const QString& layout) {
        for (const QString& token : layout.split(' ', Qt::SkipEmptyParts)) {
            const int index = rows.AddString(UrlOf(token.chopped(1)));
            core.CheckSite(index);
            core.SetSiteState(index, StateOf(token.back()));
        }
    }

    QString Layout() const {
        QStringList tokens;
        for (int i = 1; i < rows.GetCount(); ++i) {
            QString name = rows.GetText(i);
            if (name.startsWith("http://") && name.endsWith('/') && name.size() > 8) {
                name = name.mid(7).chopped(1);
            }
            tokens << name + LetterOf(rows.GetItemData(i));
        }
        return tokens.join(' ');
    }

    uint16_t LastIdFor(const QString& name) const {
        for (auto it = posted.rbegin(); it != posted.rend(); ++it) {
            if ((*it)->m_strUrl == UrlOf(name)) {
                return (*it)->m_nId;
            }
        }
        ADD_FAILURE() << "no request for " << name.toStdString();
        return 0xFFFF;
    }

    void Answer(const QString& name, uint16_t code) {
        core.OnSiteState(MakeWParam(code, LastIdFor(name)), 0);
    }

    QListWidget list;
    CListWidgetItems rows{&list};
    CSiteListCore core{rows};
    std::vector<std::unique_ptr<CSiteCheckRequest>> posted;
};

struct OrderCase {
    const char* name;
    QString before;
    QString after;
};

TEST(SiteOrder, TurningAutoOrderingOnSortsStablyByState) {
    const OrderCase cases[] = {
        {"the worked example", "aI bI cC dC eU fV", "fV cC dC eU aI bI"},
        {"equal ranks keep their order", "aC bU cC dU", "aC bU cC dU"},
        {"valid ones keep their order", "aI bV cU dV", "bV dV cU aI"},
        {"single site", "aI", "aI"},
        {"empty list", "", ""},
    };
    for (const OrderCase& row : cases) {
        SCOPED_TRACE(row.name);
        Harness h;
        h.core.OnAutoOrderSites();  // off
        h.Rows(row.before);
        h.rows.SetCurSel(1);
        h.core.OnAutoOrderSites();  // on
        EXPECT_TRUE(h.core.IsAutoOrder());
        EXPECT_EQ(h.Layout(), row.after);
        EXPECT_EQ(h.rows.GetCurSel(), h.rows.GetCount() > 1 ? 1 : -1)
            << "the selection stays on its index";
    }
}

struct ResultCase {
    const char* name;
    bool autoOrder;
    QString before;
    QString site;
    uint16_t code;
    QString after;
};

TEST(SiteOrder, AResultPlacesItsSite) {
    // clang-format off
    const ResultCase cases[] = {
        {"valid rises to below the nearest valid", true, "aV bU cC dU eI", "d", SITESTATE_VALID, "aV dV bU cC eI"},
        {"valid with no valid above rises to the top", true, "aU bC cI dU", "d", SITESTATE_VALID, "dV aU bC cI"},
        {"invalid sinks to above the nearest invalid", true, "aU bC cU dI", "a", SITESTATE_INVALID, "bC cU aI dI"},
        {"invalid sinks past a valid neighbour", true, "aU bV cI", "a", SITESTATE_INVALID, "bV aI cI"},
        {"invalid with no invalid below sinks to the end", true, "aV bU cU", "a", SITESTATE_INVALID, "bU cU aI"},
        {"checking only changes the image", true, "aU bV", "a", SITESTATE_CHECKING, "aC bV"},
        {"an unknown code counts as unchecked", true, "aC bU", "a", 7, "aU bU"},
        {"auto-ordering off: image changes, place stays", false, "aU bC cI", "c", SITESTATE_VALID, "aU bC cV"},
        {"an edited site is a barrier", true, "aU bE cU", "c", SITESTATE_VALID, "aU bE cV"},
    };
    // clang-format on
    for (const ResultCase& row : cases) {
        SCOPED_TRACE(row.name);
        Harness h;
        if (!row.autoOrder) {
            h.core.OnAutoOrderSites();
        }
        h.Rows(row.before);
        h.rows.SetCurSel(2);
        h.Answer(row.site, row.code);
        EXPECT_EQ(h.Layout(), row.after);
        EXPECT_EQ(h.rows.GetCurSel(), 2) << "the same index stays selected, not the moved site";
    }
}

TEST(SiteChecks, ResultsFindTheirSiteByUrlPrefix) {
    struct Case {
        const char* name;
        QStringList texts;
        QString url;       // the text the check was made for
        QString expected;  // states of the rows afterwards
    };
    const Case cases[] = {
        {"exact text", {"http://a/", "http://b/"}, "http://b/", "UV"},
        {"case ignored", {"http://A/", "http://b/"}, "http://a/", "VU"},
        {"prefix of an earlier site lands there", {"http://a/b/", "http://a/"}, "http://a/", "VU"},
        {"a site listed twice: the first gets it", {"http://a/", "http://a/"}, "http://a/", "VU"},
        {"gone site changes nothing", {"http://b/"}, "http://a/", "U"},
        {"an empty site's answer stays with the empty site", {"http://a/", ""}, "", "UV"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Harness h;
        h.core.OnAutoOrderSites();  // keep rows in place to read states by index
        for (const QString& text : row.texts) {
            h.rows.AddString(text);
        }
        const uint16_t id = h.core.IdMap().Add(row.url);
        h.core.OnSiteState(MakeWParam(SITESTATE_VALID, id), 0);
        QString states;
        for (int i = 1; i < h.rows.GetCount(); ++i) {
            states += LetterOf(h.core.GetSiteState(i));
        }
        EXPECT_EQ(states, row.expected);
        EXPECT_EQ(h.core.IdMap().count(), 0) << "a final answer releases its id";
    }
}

TEST(SiteChecks, AnIdLivesUntilItsFirstFinalAnswer) {
    Harness h;
    h.core.AppendSite("http://a/");
    h.core.AppendSite("http://b/");
    ASSERT_EQ(h.posted.size(), 2u);
    EXPECT_EQ(h.posted[0]->m_nId, 0);
    EXPECT_EQ(h.posted[1]->m_nId, 1);
    EXPECT_EQ(h.posted[1]->m_strUrl, "http://b/");

    h.Answer("a", SITESTATE_CHECKING);
    EXPECT_EQ(h.core.IdMap().count(), 2);
    h.Answer("a", SITESTATE_VALID);
    EXPECT_EQ(h.core.IdMap().count(), 1);
    h.Answer("a", SITESTATE_INVALID);  // the id is gone: ignored
    EXPECT_EQ(h.Layout(), "aV bU");
    h.Answer("b", SITESTATE_INVALID);
    EXPECT_EQ(h.core.IdMap().count(), 0);
    EXPECT_EQ(h.core.IdMap().nextId(), 0) << "ids start again at 0 once none is in flight";
}

TEST(SiteChecks, IdsWrapAroundAfter65535) {
    CSiteIdMap map;
    for (int i = 0; i < 65535; ++i) {
        map.Add("http://filler/");
    }
    EXPECT_EQ(map.Add("http://last/"), 65535);
    EXPECT_EQ(map.nextId(), 0);
    EXPECT_EQ(map.Add("http://wrapped/"), 0);
    QString url;
    ASSERT_TRUE(map.Lookup(0, url));
    EXPECT_EQ(url, "http://wrapped/") << "an id still in flight has its URL replaced";
    ASSERT_TRUE(map.Lookup(65535, url));
    EXPECT_EQ(url, "http://last/");
    map.RemoveKey(12);
    EXPECT_EQ(map.nextId(), 1) << "the counter only resets when the map is empty";
}

TEST(SiteChecks, CheckAllSitesSkipsSitesBeingCheckedOrEdited) {
    Harness h;
    h.Rows("aU bC cE dI eV");
    h.posted.clear();
    h.core.CheckAllSites();
    QStringList urls;
    for (const auto& request : h.posted) {
        urls << request->m_strUrl;
    }
    EXPECT_EQ(urls, QStringList({"http://a/", "http://d/", "http://e/"}))
        << "a site still waiting unchecked is asked again, one being checked is not";
    EXPECT_EQ(h.Layout(), "aU bC cE dU eU");
}

TEST(SiteChecks, WithoutAWorkerSitesStayUnchecked) {
    Harness h(false);
    h.core.AppendSite("http://a/");
    h.core.CheckAllSites();
    EXPECT_TRUE(h.posted.empty());
    EXPECT_EQ(h.Layout(), "aU");
    EXPECT_EQ(h.core.IdMap().count(), 0);
}

TEST(SiteChecks, RevalidateSiteTurnsAutoOrderingOnWithoutReordering) {
    Harness h;
    h.core.OnAutoOrderSites();
    h.Rows("aI bV cU");
    h.rows.SetCurSel(3);
    h.core.OnRevalidateSite();
    EXPECT_TRUE(h.core.IsAutoOrder());
    EXPECT_EQ(h.Layout(), "aI bV cU");
    EXPECT_EQ(h.posted.back()->m_strUrl, "http://c/");
    h.Answer("c", SITESTATE_VALID);
    EXPECT_EQ(h.Layout(), "aI bV cV") << "only its own result places it, below the valid one";
}

TEST(SiteList, AppendSitePlacesANewSiteAboveTheInvalidOnes) {
    Harness h;
    h.Rows("aV bI");
    h.core.AppendSite("http://c/");
    h.core.AppendSite("http://");
    h.core.AppendSite("http://a/");
    EXPECT_EQ(h.Layout(), "aV cU aU bI") << "bare http:// ignored, duplicates kept";
}

struct MoveCase {
    const char* name;
    bool autoOrder;
    QString before;
    int index;
    bool up;
    QString after;
    int selected;
};

TEST(SiteCommands, MovesRespectTheOrderOnlyWithAutoOrdering) {
    const MoveCase cases[] = {
        {"invalid cannot pass a valid one upwards", true, "aV bI", 2, true, "aV bI", 2},
        {"valid cannot pass an invalid one downwards", true, "aV bI", 1, false, "aV bI", 1},
        {"without auto-ordering it can go up", false, "aV bI", 2, true, "bI aV", 1},
        {"without auto-ordering it can go down", false, "aV bI", 1, false, "bI aV", 2},
        {"unchecked passes valid", true, "aV bU", 2, true, "bU aV", 1},
        {"first site does not move up", true, "aU bU", 1, true, "aU bU", 1},
        {"last site does not move down", true, "aU bU", 2, false, "aU bU", 2},
        {"the prompt line does not move", true, "aU", 0, false, "aU", 0},
    };
    for (const MoveCase& row : cases) {
        SCOPED_TRACE(row.name);
        Harness h;
        if (!row.autoOrder) {
            h.core.OnAutoOrderSites();
        }
        h.Rows(row.before);
        h.rows.SetCurSel(row.index);
        row.up ? h.core.MoveSiteUp(row.index) : h.core.MoveSiteDown(row.index);
        EXPECT_EQ(h.Layout(), row.after);
        EXPECT_EQ(h.rows.GetCurSel(), row.selected);
    }
}

struct DeleteInvalidCase {
    const char* name;
    QString before;
    int current;
    QString after;
    int selected;
};

TEST(SiteCommands, DeleteInvalidSitesKeepsTheSelectionOnItsSite) {
    const DeleteInvalidCase cases[] = {
        {"current invalid: prompt line", "aV bI cI", 2, "aV", 0},
        {"current valid moves up with its site", "aI bV cI", 2, "bV", 1},
        {"prompt line stays current", "aI bU", 0, "bU", 0},
        {"adjacent invalid sites all go", "aI bI cI dU", 4, "dU", 1},
        {"nothing selected: prompt line", "aI bU", -1, "bU", 0},
    };
    for (const DeleteInvalidCase& row : cases) {
        SCOPED_TRACE(row.name);
        Harness h;
        h.Rows(row.before);
        h.rows.SetCurSel(row.current);
        h.core.OnDeleteInvalidSites();
        EXPECT_EQ(h.Layout(), row.after);
        EXPECT_EQ(h.rows.GetCurSel(), row.selected);
    }
}

TEST(SiteCommands, DeleteInvalidSitesSelectsAnotherSiteThatBeginsWithTheCurrentText) {
    Harness h;
    h.rows.AddString("http://a/b/");
    h.rows.SetItemData(1, SITE_VALID);
    h.rows.AddString("http://a/");
    h.rows.SetItemData(2, SITE_INVALID);
    h.rows.SetCurSel(2);
    h.core.OnDeleteInvalidSites();
    EXPECT_EQ(h.rows.GetCount(), 2);
    EXPECT_EQ(h.rows.GetCurSel(), 1);
}

TEST(SiteEditing, AResultForTheEditedSiteWaitsForTheEditToEnd) {
    struct Case {
        const char* name;
        bool keep;
        QString editorText;
        QString afterResult;  // while the edit is open
        QString afterEdit;
        int checksAfterEdit;
    };
    const Case cases[] = {
        {"unchanged text takes the result", true, "http://b/", "aU bE", "aU bI", 0},
        {"discarded edit takes the result too", false, "http://x/", "aU bE", "aU bI", 0},
        {"changed text drops it for a new check", true, "http://x/", "aU bE", "aU xU", 1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Harness h;
        h.Rows("aU bV");
        h.rows.SetCurSel(2);
        ASSERT_TRUE(h.core.BeginEdit(2));
        h.core.CheckSite(2);  // left alone while editing
        const size_t posted = h.posted.size();
        h.core.OnSiteState(MakeWParam(SITESTATE_INVALID, h.LastIdFor("b")), 0);
        EXPECT_EQ(h.Layout(), row.afterResult);
        h.core.EndEdit(row.keep, row.editorText);
        EXPECT_FALSE(h.core.IsEditing());
        EXPECT_EQ(h.Layout(), row.afterEdit);
        EXPECT_EQ(int(h.posted.size() - posted), row.checksAfterEdit);
    }
}

TEST(SiteEditing, SitesBeingCheckedCannotBeEdited) {
    Harness h;
    h.Rows("aC bU");
    EXPECT_FALSE(h.core.BeginEdit(1));
    EXPECT_FALSE(h.core.BeginEdit(0)) << "the prompt line is never edited";
    EXPECT_TRUE(h.core.BeginEdit(2));
    EXPECT_FALSE(h.core.BeginEdit(2)) << "one edit at a time";
}

TEST(SiteEditing, EndingAnEditWhoseRowLostTheSelectionStillClosesThatRow) {
    Harness h;
    h.Rows("aV bU");
    h.rows.SetCurSel(1);
    ASSERT_TRUE(h.core.BeginEdit(1));
    h.rows.SetCurSel(-1);
    h.core.EndEdit(true, "http://a/");
    EXPECT_EQ(h.Layout(), "aV bU");
}

}  // namespace
}  // namespace torv
