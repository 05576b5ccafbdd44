// Files dropped on the site list, as a user drops them: real files, real drag events, the real
// bar; the check worker is a stand-in so that no network is needed.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <vector>

#include "sitelist/SiteListBox.h"
#include "sitelist/TextProgressCtrl.h"
#include "sitelist/fake_checker.h"
#include "support/temp_dir.h"

namespace torv {
namespace {

using test::FakeChecker;

struct DropResult {
    bool enter = false;
    bool move = false;
    bool drop = false;
};

// What the bar showed at one of its position changes.
struct BarShot {
    QString caption;
    int maximum = 0;
    int value = 0;
    bool visible = false;
    QRect geometry;
};

// Counts how often the bar is shown and painted.
class EventCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        shows += event->type() == QEvent::Show;
        paints += event->type() == QEvent::Paint;
        return false;
    }
    int shows = 0;
    int paints = 0;
};

class DropTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Table rows start afresh.
        list.reset();
        checker.requests.clear();
        checker.quit = false;
        counter.shows = counter.paints = 0;
        shots.clear();
        onProgress = nullptr;
        list = std::make_unique<CSiteListBox>(&checker, nullptr);
        list->resize(320, 160);
        list->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
        list->Progress()->installEventFilter(&counter);
        QObject::connect(list->Progress(), &QProgressBar::valueChanged, &context, [this](int) {
            CTextProgressCtrl* bar = list->Progress();
            shots.push_back({bar->windowTitle(), bar->maximum(), bar->value(), bar->isVisible(),
                             bar->geometry()});
            if (onProgress) {
                onProgress();
            }
        });
    }

    QString File(const std::string& name, const std::string& bytes) {
        return QString::fromStdString(dir.write(name, bytes));
    }

    // Enter, move and drop on the top row, as Qt delivers a drag from the file manager.
    DropResult SendDrop(const QList<QUrl>& urls, const QString& text = {}) {
        QMimeData data;
        if (!urls.isEmpty()) {
            data.setUrls(urls);
        }
        if (!text.isEmpty()) {
            data.setText(text);
        }
        const QPoint at = list->visualItemRect(list->item(0)).center();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        DropResult result;
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QApplication::sendEvent(list->viewport(), &enter);
        result.enter = enter.isAccepted();
        QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        move.ignore();
        QApplication::sendEvent(list->viewport(), &move);
        result.move = move.isAccepted();
        QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, Qt::NoModifier);
        drop.ignore();
        QApplication::sendEvent(list->viewport(), &drop);
        result.drop = drop.isAccepted();
        return result;
    }

    DropResult DropFiles(const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& path : paths) {
            urls.append(QUrl::fromLocalFile(path));
        }
        return SendDrop(urls);
    }

    // Lets the queued search run to its end.
    static void Settle() {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    test::TempDir dir;
    FakeChecker checker;
    std::unique_ptr<CSiteListBox> list;
    EventCounter counter;
    QObject context;
    std::vector<BarShot> shots;
    std::function<void()> onProgress;
};

struct DragCase {
    const char* name;
    QStringList localFiles;  // names inside the temporary folder
    QStringList webUrls;
    QString text;
    bool accepted;
    QStringList sites;
};

TEST_F(DropTest, OnlyDragsOfLocalFilesAreTaken) {
    // clang-format off
    const DragCase cases[] = {
        {"a local mission file", {"a.mn3"}, {}, "", true, {"http://a.example/m/"}},
        {"plain text", {}, {}, "http://t.example/x/", false, {}},
        {"a web address", {}, {"http://w.example/pack.mn3"}, "", false, {}},
        {"a web address beside a local file: only the file is searched", {"b.txt"}, {"http://w.example/pack.mn3"}, "", true, {"http://b.example/t/"}},
        {"several files, searched in the order dropped", {"b.txt", "a.mn3"}, {}, "", true, {"http://b.example/t/", "http://a.example/m/"}},
    };
    // clang-format on
    for (const DragCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        File("a.mn3", std::string("\x01\x02URL http://a.example/m/pack.zip\n\x03", 35));
        File("b.txt", "Home page:\r\nhttp://b.example/t/readme.txt\r\n");
        QList<QUrl> urls;
        for (const QString& name : row.localFiles) {
            urls.append(
                QUrl::fromLocalFile(QDir(QString::fromStdString(dir.path())).filePath(name)));
        }
        for (const QString& web : row.webUrls) {
            urls.append(QUrl(web));
        }
        const DropResult result = SendDrop(urls, row.text);
        EXPECT_EQ(result.enter, row.accepted);
        EXPECT_EQ(result.move, row.accepted);
        EXPECT_EQ(result.drop, row.accepted);
        Settle();
        EXPECT_EQ(list->Sites(), row.sites);
        EXPECT_FALSE(list->IsSearching());
        EXPECT_FALSE(list->Progress()->isVisible());
    }
}

struct MergeCase {
    const char* name;
    QStringList before;
    std::string file;
    std::string contents;
    QStringList after;
};

TEST_F(DropTest, FoundSitesJoinTheListUnlessASiteBeginsWithThem) {
    const std::string mixed = "http://plain.example/x/\nURL http://marked.example/m/p.zip\n";
    // Which extension takes which scanner is the scanner table's; one of each kind shows the
    // drop follows it.
    // clang-format off
    const MergeCase cases[] = {
        {"LEVEL.MN3 is read as a marked file", {}, "LEVEL.MN3", mixed, {"http://marked.example/m/"}},
        {"notes.TXT is read line by line", {}, "notes.TXT", mixed, {"http://plain.example/x/", "http://marked.example/m/"}},
        {"a longer site already there keeps the shorter URL out", {"http://a/b/c/"}, "f.txt", "http://a/b/x.zip\n", {"http://a/b/c/"}},
        {"a shorter site already there does not keep the longer URL out", {"http://a/b/"}, "f.txt", "http://a/b/c/x.zip\n", {"http://a/b/", "http://a/b/c/"}},
        {"letter case does not matter in the comparison", {"HTTP://A.example/M/"}, "f.txt", "http://a.example/m/x.zip\n", {"HTTP://A.example/M/"}},
        {"the same URL twice in one file is added once", {}, "f.txt", "http://a/b/1.zip\nagain: http://a/b/2.zip\n", {"http://a/b/"}},
        {"a bare http:// is never added", {}, "f.txt", "see http://example\n", {}},
        {"nor a bare https://", {}, "f.txt", "see https://example\n", {}},
        {"https sites are found beside http ones", {}, "f.txt", "https://s.example/m/a.zip\nhttp://p.example/n/\n", {"https://s.example/m/", "http://p.example/n/"}},
        {"found sites come after the sites already there", {"http://z/"}, "f.txt", "http://y/1/\nhttp://x/2/\n", {"http://z/", "http://y/1/", "http://x/2/"}},
    };
    // clang-format on
    for (const MergeCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        for (const QString& site : row.before) {
            list->AppendSite(site);
        }
        DropFiles({File(row.file, row.contents)});
        Settle();
        EXPECT_EQ(list->Sites(), row.after);
        EXPECT_EQ(counter.shows, 1) << "the bar is shown for the file";
        EXPECT_FALSE(list->Progress()->isVisible());
    }
}

struct SkipCase {
    const char* name;
    std::string file;
    bool folder;
    bool pipe;
};

TEST_F(DropTest, FilesThatAreNotSearchedAddNothingAndShowNoBar) {
    const SkipCase cases[] = {
        // Which names are searched is the scanner table's; one that is not stands for all.
        {"a zip archive", "pack.zip", false, false},
        {"a folder named like a mission", "maps.mn3", true, false},
        {"a pipe named like a text file (opening it would wait for a writer)", "fifo.txt", false,
         true},
        {"a file that is gone", "gone.txt", false, false},
    };
    const std::string contents = "URL http://a.example/m/\nhttp://b.example/t/\n";
    for (const SkipCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        QString path = QString::fromStdString(dir.file(row.file));
        if (row.folder) {
            dir.write(row.file + "/inner.txt", contents);
        } else if (row.pipe) {
            ASSERT_EQ(mkfifo(dir.file(row.file).c_str(), 0600), 0);
        } else if (row.file != "gone.txt") {
            path = File(row.file, contents);
        }
        DropFiles({path});
        Settle();
        EXPECT_TRUE(list->Sites().isEmpty());
        EXPECT_EQ(counter.shows, 0);
        EXPECT_TRUE(shots.empty());
        EXPECT_TRUE(checker.requests.empty());
    }
}

struct BarCase {
    const char* name;
    std::string file;
    std::string contents;
    QString caption;
};

TEST_F(DropTest, TheBarCoversTheTopRowWithTheFileNameAndItsProgress) {
    const std::string marked = std::string(200, 'x') + "URL http://a/b/c.zip\n" + "tail";
    const BarCase cases[] = {
        {"a marked file in a sub-folder", "sub/deeper/pack.mn3", marked, "Searching pack.mn3"},
        {"a text file shorter than one counted line still reaches its end", "notes.txt",
         "short\nhttp://a/b/c\n", "Searching notes.txt"},
    };
    for (const BarCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        for (int i = 0; i < 20; ++i) {
            list->AppendSite(QString("http://site%1.example/").arg(i));
        }
        list->scrollToItem(list->item(8), QAbstractItemView::PositionAtTop);
        const int top = list->GetTopIndex();
        ASSERT_GT(top, 0);
        DropFiles({File(row.file, row.contents)});
        Settle();
        ASSERT_FALSE(shots.empty());
        const int length = int(row.contents.size());
        for (const BarShot& shot : shots) {
            EXPECT_EQ(shot.caption, row.caption);
            EXPECT_EQ(shot.maximum, length);
            EXPECT_TRUE(shot.visible);
            EXPECT_EQ(shot.geometry, list->visualItemRect(list->item(top)));
        }
        EXPECT_EQ(shots.back().value, length) << "the bar ends full";
        EXPECT_EQ(CTextProgressCtrl::FormatText(row.caption, list->Progress()->TextMode(), 0,
                                                length, shots.back().value),
                  row.caption + "  [100%]");
        EXPECT_EQ(list->Sites().last(), "http://a/b/");
        EXPECT_FALSE(list->Progress()->isVisible());
    }
}

TEST_F(DropTest, DroppedSitesAreCheckedAndPlacedLikeAnyOther) {
    list->AppendSite("http://valid.example/");
    list->AppendSite("http://invalid.example/");
    checker.Answer(0, SITESTATE_VALID);
    checker.Answer(1, SITESTATE_INVALID);
    Settle();
    DropFiles({File("f.txt", "http://new1.example/d3/\nhttp://new2.example/d3/\n")});
    Settle();
    ASSERT_EQ(list->Sites(), QStringList({"http://valid.example/", "http://new1.example/d3/",
                                          "http://new2.example/d3/", "http://invalid.example/"}));
    EXPECT_EQ(list->GetSiteState(2), SITE_UNCHECKED);
    EXPECT_EQ(list->GetSiteState(3), SITE_UNCHECKED);
    ASSERT_EQ(checker.requests.size(), 4u);
    EXPECT_EQ(checker.requests[2]->m_strUrl, "http://new1.example/d3/");
    EXPECT_EQ(checker.requests[3]->m_strUrl, "http://new2.example/d3/");

    checker.Answer(3, SITESTATE_CHECKING);
    Settle();
    EXPECT_EQ(list->GetSiteState(3), SITE_CHECKING);
    checker.Answer(3, SITESTATE_VALID);
    Settle();
    EXPECT_EQ(list->Sites(), QStringList({"http://valid.example/", "http://new2.example/d3/",
                                          "http://new1.example/d3/", "http://invalid.example/"}));
    EXPECT_EQ(list->GetSiteState(2), SITE_VALID);
}

TEST_F(DropTest, ADropDuringASearchIsSearchedInsideItUnderTheOuterCaption) {
    std::string outer = "http://outer.example/1/\n";
    for (int i = 0; i < 50; ++i) {
        outer += "filler line\n";
    }
    outer += "http://outer.example/2/\n";
    const QString outerPath = File("outer.txt", outer);
    const QString innerPath =
        File("inner.mn3", "xxURL http://inner.example/a/p.zip\nyyURL http://inner.example/b/q\n");

    struct Added {
        QString url;
        bool barVisible;
    };
    std::vector<Added> added;
    QObject::connect(
        list->model(), &QAbstractItemModel::rowsInserted, &context,
        [&](const QModelIndex&, int first, int) {
            added.push_back({list->item(first)->text(), list->Progress()->isVisible()});
        });
    size_t innerFrom = 0;
    onProgress = [&] {
        if (innerFrom == 0) {
            innerFrom = shots.size();
            EXPECT_TRUE(DropFiles({innerPath}).drop);
        }
    };
    DropFiles({outerPath});
    Settle();

    EXPECT_EQ(list->Sites(), QStringList({"http://inner.example/a/", "http://inner.example/b/",
                                          "http://outer.example/1/", "http://outer.example/2/"}));
    ASSERT_GT(shots.size(), innerFrom);
    for (size_t i = innerFrom; i < shots.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(shots[i].caption, "Searching outer.txt");
        EXPECT_EQ(shots[i].maximum, int(outer.size()));
        EXPECT_TRUE(shots[i].visible);
    }
    EXPECT_EQ(shots[innerFrom].value, 1) << "the inner file's own position";
    ASSERT_EQ(added.size(), 4u);
    EXPECT_TRUE(added[0].barVisible);
    EXPECT_TRUE(added[1].barVisible);
    EXPECT_FALSE(added[2].barVisible) << "the outer search goes on without a bar";
    EXPECT_FALSE(added[3].barVisible);
    EXPECT_FALSE(list->IsSearching());
}

TEST_F(DropTest, ALargeFileKeepsTheBarRepainting) {
    std::string big(4 << 20, 'x');
    big.replace(big.size() / 2, 26, "URL http://half.example/d/");
    DropFiles({File("big.hog", big)});
    Settle();
    EXPECT_EQ(list->Sites(), QStringList({"http://half.example/d/"}));
    EXPECT_GE(counter.paints, 100);
    EXPECT_GE(shots.size(), 250u);
}

TEST_F(DropTest, DestroyingTheListDuringASearchEndsTheSearch) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "http://s" + std::to_string(i) + ".example/\n";
    }
    onProgress = [&] {
        if (shots.size() == 1) {
            QTimer::singleShot(0, [&] { list.reset(); });
        }
    };
    DropFiles({File("many.txt", text)});
    Settle();
    EXPECT_FALSE(list);
    EXPECT_TRUE(checker.quit);
    EXPECT_LT(checker.requests.size(), 200u);
}

}  // namespace
}  // namespace torv
