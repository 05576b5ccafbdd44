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
#include <utility>
#include <vector>

#include "sitelist/SiteListBox.h"
#include "sitelist/TextProgressCtrl.h"
#include "sitelist/fake_checker.h"
#include "support/temp_dir.h"

namespace torv {
namespace {

using test::FakeChecker;

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
    // Table rows start afresh with SetUp().
    void SetUp() override {
        list.reset();
        checker.requests.clear();
        counter.shows = counter.paints = 0;
        shots.clear();
        onProgress = nullptr;
        list = std::make_unique<CSiteListBox>(&checker, nullptr);
        list->resize(320, 160);
        list->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
        list->Progress()->installEventFilter(&counter);
        QObject::connect(list->Progress(), &QProgressBar::valueChanged, &context, [this](int) {
            const CTextProgressCtrl* bar = list->Progress();
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

    // Enter, move and drop on the top row, as Qt delivers a drag from the file manager; true when
    // all three were accepted, false when none was.
    bool Drop(const QList<QUrl>& urls, const QString& text = {}) {
        QMimeData data;
        if (!urls.isEmpty()) {
            data.setUrls(urls);
        }
        if (!text.isEmpty()) {
            data.setText(text);
        }
        const QPoint at = list->visualItemRect(list->item(0)).center();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, Qt::NoModifier);
        int accepted = 0;
        for (QDropEvent* event : std::initializer_list<QDropEvent*>{&enter, &move, &drop}) {
            event->ignore();
            QApplication::sendEvent(list->viewport(), event);
            accepted += event->isAccepted();
        }
        EXPECT_TRUE(accepted == 0 || accepted == 3) << accepted << " of 3 accepted";
        return accepted == 3;
    }

    bool DropFiles(const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& path : paths) {
            urls.append(QUrl::fromLocalFile(path));
        }
        return Drop(urls);
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

TEST_F(DropTest, DroppedFilesAddTheSitesTheyNameThatNoSiteBeginsWith) {
    using Files = std::vector<std::pair<std::string, std::string>>;  // name, contents
    const std::string mn3 = "\x01\x02URL http://a.example/m/pack.zip\n\x03";
    const std::string txt = "Home page:\r\nhttp://b.example/t/readme.txt\r\n";
    const std::string mixed = "http://plain.example/x/\nURL http://marked.example/m/p.zip\n";
    const QString web = "http://w.example/pack.mn3";
    struct Case {
        const char* name;
        QStringList before;
        Files files;
        QString webUrl;
        QString text;
        QStringList after;
    };
    // Which extension takes which scanner is the scanner table's; one of each kind shows that
    // the drop follows it.
    // clang-format off
    const Case cases[] = {
        {"a local mission file", {}, {{"a.mn3", mn3}}, "", "", {"http://a.example/m/"}},
        {"plain text is refused", {}, {}, "", "http://t.example/x/", {}},
        {"a web address is refused", {}, {}, web, "", {}},
        {"a web address beside a local file: only the file is searched", {}, {{"b.txt", txt}}, web, "", {"http://b.example/t/"}},
        {"several files, searched in the order dropped", {}, {{"b.txt", txt}, {"a.mn3", mn3}}, "", "", {"http://b.example/t/", "http://a.example/m/"}},
        {"LEVEL.MN3 is read as a marked file", {}, {{"LEVEL.MN3", mixed}}, "", "", {"http://marked.example/m/"}},
        {"notes.TXT is read line by line", {}, {{"notes.TXT", mixed}}, "", "", {"http://plain.example/x/", "http://marked.example/m/"}},
        {"a longer site already there keeps the shorter URL out", {"http://a/b/c/"}, {{"f.txt", "http://a/b/x.zip\n"}}, "", "", {"http://a/b/c/"}},
        {"a shorter site already there does not keep the longer URL out", {"http://a/b/"}, {{"f.txt", "http://a/b/c/x.zip\n"}}, "", "", {"http://a/b/", "http://a/b/c/"}},
        {"letter case does not matter in the comparison", {"HTTP://A.example/M/"}, {{"f.txt", "http://a.example/m/x.zip\n"}}, "", "", {"HTTP://A.example/M/"}},
        {"the same URL twice in one file is added once", {}, {{"f.txt", "http://a/b/1.zip\nagain: http://a/b/2.zip\n"}}, "", "", {"http://a/b/"}},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        for (const QString& site : row.before) {
            list->AppendSite(site);
        }
        QList<QUrl> urls;
        for (const auto& [name, contents] : row.files) {
            urls.append(QUrl::fromLocalFile(File(name, contents)));
        }
        if (!row.webUrl.isEmpty()) {
            urls.append(QUrl(row.webUrl));
        }
        EXPECT_EQ(Drop(urls, row.text), !row.files.empty());
        Settle();
        EXPECT_EQ(list->Sites(), row.after);
        EXPECT_EQ(checker.requests.size(), size_t(row.after.size())) << "each added is checked";
        EXPECT_EQ(counter.shows, int(row.files.size())) << "the bar is shown for each file";
        EXPECT_FALSE(list->IsSearching());
        EXPECT_FALSE(list->Progress()->isVisible());
    }
}

TEST_F(DropTest, FilesThatAreNotSearchedAddNothingAndShowNoBar) {
    enum Kind { kFile, kFolder, kPipe, kGone };
    const struct {
        const char* name;
        std::string file;
        Kind kind;
    } cases[] = {
        // Which names are searched is the scanner table's; one that is not stands for all.
        {"a zip archive", "pack.zip", kFile},
        {"a folder named like a mission", "maps.mn3", kFolder},
        {"a pipe named like a text file (opening it would wait for a writer)", "fifo.txt", kPipe},
        {"a file that is gone", "gone.txt", kGone},
    };
    const std::string contents = "URL http://a.example/m/\nhttp://b.example/t/\n";
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        if (row.kind == kFolder) {
            dir.write(row.file + "/inner.txt", contents);
        } else if (row.kind == kPipe) {
            ASSERT_EQ(mkfifo(dir.file(row.file).c_str(), 0600), 0);
        } else if (row.kind == kFile) {
            File(row.file, contents);
        }
        DropFiles({QString::fromStdString(dir.file(row.file))});
        Settle();
        EXPECT_TRUE(list->Sites().isEmpty());
        EXPECT_EQ(counter.shows, 0);
        EXPECT_TRUE(shots.empty());
    }
}

TEST_F(DropTest, TheBarCoversTheTopRowWithTheFileNameAndItsProgress) {
    const std::string marked = std::string(200, 'x') + "URL http://a/b/c.zip\n" + "tail";
    const struct {
        const char* name;
        std::string file;
        std::string contents;
        QString caption;
    } cases[] = {
        {"a marked file in a sub-folder", "sub/deeper/pack.mn3", marked, "Searching pack.mn3"},
        {"a text file shorter than one counted line still reaches its end", "notes.txt",
         "short\nhttp://a/b/c\n", "Searching notes.txt"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        for (int i = 0; i < 20; ++i) {
            list->AppendSite(QString("http://site%1.example/").arg(i));
        }
        list->scrollToItem(list->item(8), QAbstractItemView::PositionAtTop);
        const QRect top = list->visualItemRect(list->item(list->GetTopIndex()));
        ASSERT_GT(list->GetTopIndex(), 0);
        DropFiles({File(row.file, row.contents)});
        Settle();
        ASSERT_FALSE(shots.empty());
        const int length = int(row.contents.size());
        for (const BarShot& shot : shots) {
            EXPECT_EQ(shot.caption, row.caption);
            EXPECT_EQ(shot.maximum, length);
            EXPECT_TRUE(shot.visible);
            EXPECT_EQ(shot.geometry, top);
        }
        EXPECT_EQ(shots.back().value, length) << "the bar ends full";
        EXPECT_EQ(CTextProgressCtrl::FormatText(row.caption, list->Progress()->TextMode(), 0,
                                                length, shots.back().value),
                  row.caption + "  [100%]");
        EXPECT_EQ(list->Sites().last(), "http://a/b/");
        EXPECT_FALSE(list->Progress()->isVisible());
    }
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
    std::vector<bool> barWhenAdded;
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, &context,
                     [&] { barWhenAdded.push_back(list->Progress()->isVisible()); });
    size_t innerFrom = 0;
    onProgress = [&] {
        if (innerFrom == 0) {
            innerFrom = shots.size();
            EXPECT_TRUE(DropFiles({innerPath}));
        }
    };
    DropFiles({outerPath});
    Settle();

    EXPECT_EQ(list->Sites(), QStringList({"http://inner.example/a/", "http://inner.example/b/",
                                          "http://outer.example/1/", "http://outer.example/2/"}));
    ASSERT_GT(shots.size(), innerFrom);
    for (size_t i = innerFrom; i < shots.size(); ++i) {
        EXPECT_EQ(shots[i].caption, "Searching outer.txt");
        EXPECT_EQ(shots[i].maximum, int(outer.size()));
    }
    EXPECT_EQ(shots[innerFrom].value, 1) << "the inner file's own position";
    EXPECT_EQ(barWhenAdded, std::vector<bool>({true, true, false, false}))
        << "the outer search goes on without a bar";
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
