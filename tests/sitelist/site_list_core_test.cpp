// The site list without a window: where sites go, what the worker's answers do, and the search of
// dropped files, which never touches a list that went away during it.
#include "sitelist/SiteListCore.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <QListWidget>
#include <algorithm>
#include <memory>
#include <vector>

#include "sitelist/DroppedFileSearch.h"
#include "sitelist/ListWidgetItems.h"
#include "support/temp_dir.h"

namespace torv {
namespace {

// Rows are written as "aV bI cU": a site http://a/ (or an empty one, with no name) in state
// V(alid), I(nvalid), U(nchecked), C(hecking) or E(diting), the letters in the order of the states'
// values.
constexpr char kLetters[] = "UCIVE";

QString UrlOf(const QString& name) {
    return name.isEmpty() ? QString() : "http://" + name + "/";
}

class Harness {
public:
    explicit Harness(bool autoOrder = true, bool withWorker = true) {
        core.AddPromptLine();
        if (!autoOrder) {
            core.OnAutoOrderSites();
        }
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
            core.SetSiteState(index, int(QString(kLetters).indexOf(token.back())));
        }
    }

    QString Layout() const {
        QStringList tokens;
        for (int i = 1; i < rows.GetCount(); ++i) {
            const int state = rows.GetItemData(i);
            QString name = rows.GetText(i).mid(7);
            name.chop(1);
            tokens << name + (state >= 0 && state < 5 ? QChar(kLetters[state]) : QChar('?'));
        }
        return tokens.join(' ');
    }

    // Commands on the list separated by "; ", as the menu, the keys, the editor or the worker give
    // them: "up", "down", "delete invalid", "auto-order", "revalidate" on the current row,
    // "revalidate all", "append <url>", "select <row>", "edit <row>", "end <editor text>",
    // "discard" (the edit), or "<site> <answer>" from the worker.
    void Do(const QString& commands) {
        for (const QString& command : commands.split("; ")) {
            const int current = rows.GetCurSel();
            const QString arg = command.section(' ', 1);
            if (command == "up") {
                core.MoveSiteUp(current);
            } else if (command == "down") {
                core.MoveSiteDown(current);
            } else if (command == "delete invalid") {
                core.OnDeleteInvalidSites();
            } else if (command == "auto-order") {
                core.OnAutoOrderSites();
            } else if (command == "revalidate") {
                core.OnRevalidateSite();
            } else if (command == "revalidate all") {
                core.OnRevalidateAllSites();
            } else if (command.startsWith("append ")) {
                core.AppendSite(arg);
            } else if (command.startsWith("edit ")) {
                core.BeginEdit(arg.toInt());
            } else if (command.startsWith("end ")) {
                core.EndEdit(true, arg);
            } else if (command == "discard") {
                core.EndEdit(false, {});
            } else if (command.startsWith("select ")) {
                rows.SetCurSel(arg.toInt());
            } else {
                const uint code = arg == "valid"      ? uint(SITESTATE_VALID)
                                  : arg == "invalid"  ? uint(SITESTATE_INVALID)
                                  : arg == "checking" ? uint(SITESTATE_CHECKING)
                                                      : arg.toUInt();
                const QString url = UrlOf(command.section(' ', 0, 0));
                const auto request = std::find_if(posted.rbegin(), posted.rend(),
                                                  [&url](auto& r) { return r->m_strUrl == url; });
                ASSERT_NE(request, posted.rend()) << "no request for " << url.toStdString();
                core.OnSiteState(MakeWParam(uint16_t(code), (*request)->m_nId), 0);
            }
        }
    }

    QListWidget list;
    CListWidgetItems rows{&list};
    CSiteListCore core{rows};
    std::vector<std::unique_ptr<CSiteCheckRequest>> posted;
};

TEST(SiteOrder, CommandsEditsAndAnswersPlaceSitesAndKeepTheSelection) {
    struct Case {
        const char* name;
        bool autoOrder;
        QString before;
        int current;
        QString command;
        QString after;
        int selected;
    };
    // clang-format off
    const Case cases[] = {
        {"auto-ordering on sorts stably by state", false, "aI bI cC dC eU fV", 1, "auto-order", "fV cC dC eU aI bI", 1},
        {"valid rises to below the nearest valid", true, "aV bU cC dU eI", 2, "d valid", "aV dV bU cC eI", 2},
        {"valid with no valid above rises to the top", true, "aU bC cI dU", 2, "d valid", "dV aU bC cI", 2},
        {"invalid sinks to above the nearest invalid", true, "aU bC cU dI", 2, "a invalid", "bC cU aI dI", 2},
        {"invalid with no invalid below sinks to the end", true, "aV bU cU", 2, "a invalid", "bU cU aI", 2},
        {"an answer lands on the first site its URL begins", false, "a/bU aU", 1, "a valid", "a/bV aU", 1},
        {"an empty site's answer stays with the empty site", false, "aU U", 1, " valid", "aU V", 1},
        {"an answer after the first final one is ignored", true, "aU bU", 2, "a checking; a valid; a invalid", "aV bU", 2},
        {"checking only changes the image", true, "aU bV", 2, "a checking", "aC bV", 2},
        {"an unknown code counts as unchecked", true, "aC bU", 2, "a 7", "aU bU", 2},
        {"auto-ordering off: image changes, place stays", false, "aU bC cI", 2, "c valid", "aU bC cV", 2},
        {"an edited site is a barrier", true, "aU bE cU", 2, "c valid", "aU bE cV", 2},
        {"invalid cannot pass a valid one upwards", true, "aV bI", 2, "up", "aV bI", 2},
        {"valid cannot pass an invalid one downwards", true, "aV bI", 1, "down", "aV bI", 1},
        {"without auto-ordering it can go up", false, "aV bI", 2, "up", "bI aV", 1},
        {"without auto-ordering it can go down", false, "aV bI", 1, "down", "bI aV", 2},
        {"unchecked passes valid", true, "aV bU", 2, "up", "bU aV", 1},
        {"first site does not move up", true, "aU bU", 1, "up", "aU bU", 1},
        {"last site does not move down", true, "aU bU", 2, "down", "aU bU", 2},
        {"the prompt line does not move", true, "aU", 0, "down", "aU", 0},
        {"deleting the current invalid site selects the prompt line", true, "aV bI cI", 2, "delete invalid", "aV", 0},
        {"deleting invalid sites moves the selection with its site", true, "aI bV cI", 2, "delete invalid", "bV", 1},
        {"adjacent invalid sites all go", true, "aI bI cI dU", 4, "delete invalid", "dU", 1},
        {"deleting invalid sites with nothing selected selects the prompt line", true, "aI bU", -1, "delete invalid", "bU", 0},
        {"deleting the current invalid site selects one beginning with its text in any case", true, "A/bV aI", 2, "delete invalid", "A/bV", 1},
        {"revalidating checks the site again, in place", false, "aI bV cI", 3, "revalidate", "aI bV cU", 3},
        {"revalidating all skips sites being checked or edited", true, "aU bC cE dI eV", 1, "revalidate all", "aU bC cE dU eU", 1},
        {"revalidating turns auto-ordering on", false, "aI bV cU", 3, "revalidate; auto-order", "aI bV cU", 3},
        {"a site being checked cannot be edited", true, "aC bU", 1, "edit 1; edit 2", "aC bE", 1},
        {"nor the prompt line", true, "aU", 0, "edit 0; edit 1", "aE", 0},
        {"only one site at a time is edited", true, "aU bU", 2, "edit 2; edit 1", "aU bE", 2},
        {"an answer for the edited site waits: unchanged text takes it", true, "aU bV", 2, "edit 2; b invalid; end http://b/", "aU bI", 2},
        {"a discarded edit takes it too, and ends the edit", true, "aU bV", 2, "edit 2; b invalid; discard; edit 1", "aE bI", 2},
        {"changed text, not checked during the edit, drops it for a new check", true, "aU bV", 2, "edit 2; revalidate; b invalid; end http://x/; x valid", "xV aU", 2},
        {"a neighbour answered during an edit is placed when it ends", true, "aU bU", 1, "edit 1; b valid; end http://a/", "bV aU", -1},
        {"so is one above it", true, "aU bU", 2, "edit 2; a invalid; end http://b/", "bU aI", -1},
        {"an edit ending in a bare scheme removes the site, and the selection with it", true, "aU bU", 1, "edit 1; end http://", "bU", -1},
        {"an edit whose row lost the selection still ends", true, "aV bU", 1, "edit 1; select -1; end http://a/", "aV bU", -1},
        {"or whose selection moved to another row", true, "aV bU", 1, "edit 1; select 2; end http://a/", "aV bU", 2},
        {"an id still in flight is not given to a new site", true, "aU bU", 0, "b valid; append http://c/; a invalid", "bV cU aI", 0},
        {"a new site goes above the invalid ones, bare schemes are ignored", true, "aV bI", 1, "append http://c/; append http://; append https://; append http://a/", "aV cU aU bI", 1},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Harness h(row.autoOrder);
        h.Rows(row.before);
        h.rows.SetCurSel(row.current);
        h.Do(row.command);
        EXPECT_EQ(h.Layout(), row.after);
        EXPECT_EQ(h.rows.GetCurSel(), row.selected);
    }
}

TEST(SiteChecks, WithoutAWorkerSitesStayUncheckedAndIdsWrapAroundAfter65535) {
    Harness alone(true, false);
    alone.Do("append http://a/; revalidate all");
    EXPECT_EQ(alone.Layout(), "aU") << "without a worker sites stay unchecked";
    EXPECT_EQ(alone.core.IdMap().count(), 0) << "and take no id";

    CSiteIdMap map;
    for (int i = 0; i < 65535; ++i) {
        map.Add("http://filler/");
    }
    EXPECT_EQ(map.Add("http://last/"), 65535);
    EXPECT_EQ(map.Add("http://wrapped/"), 0);
    QString url;
    ASSERT_TRUE(map.Lookup(0, url));
    EXPECT_EQ(url, "http://wrapped/") << "an id still in flight has its URL replaced";
}

// Every call that changes the list or its bar is written to the log, and any call once the list
// went away, which it does at the given pump.
class RecordingTarget : public IDropSearchTarget {
public:
    explicit RecordingTarget(int goneAtPump) : m_pumpsLeft(goneAtPump) {}

    int FindString(const QString&) const override {
        Touch();
        return LB_ERR;
    }
    void AppendSite(const QString& url) override { Touch("add " + url); }
    void ShowSearchProgress(const QString& path, qint64 length) override {
        Touch(QString("show %1 %2").arg(QFileInfo(path).fileName()).arg(length));
    }
    void SetSearchProgress(int) override { Touch(); }
    void HideSearchProgress() override { Touch("hide"); }
    bool PumpMessages() override {
        Touch();
        return --m_pumpsLeft > 0;
    }

    mutable QStringList log;

private:
    void Touch(const QString& entry = {}) const {
        if (m_pumpsLeft <= 0) {
            log << "touched when gone";
        } else if (!entry.isEmpty()) {
            log << entry;
        }
    }

    int m_pumpsLeft;
};

TEST(DroppedFileSearch, AListThatWentAwayIsNotTouchedAgain) {
    const struct {
        const char* name;
        int goneAtPump;
        QStringList log;
    } cases[] = {
        {"right after the bar is shown", 1, {"show a.txt 36"}},
        {"while a line is read", 2, {"show a.txt 36"}},
        {"after a site was added", 3, {"show a.txt 36", "add http://a/1/"}},
        // clang-format off
        {"after the bar is hidden: the next file is not searched", 7, {"show a.txt 36", "add http://a/1/", "add http://b/2/", "hide"}},
        // clang-format on
    };
    test::TempDir dir;
    const QString first =
        QString::fromStdString(dir.write("a.txt", "http://a/1/\nhttp://b/2/\nno url here\n"));
    const QString second = QString::fromStdString(dir.write("b.txt", "http://c/3/\n"));
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        RecordingTarget target(row.goneAtPump);
        EXPECT_FALSE(SearchDroppedFiles({first, second}, target));
        EXPECT_EQ(target.log, row.log);
    }
}

}  // namespace
}  // namespace torv
