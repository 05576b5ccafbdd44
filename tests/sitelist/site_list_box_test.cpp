// The site list as a user drives it: real mouse and key events and real dropped files on the
// offscreen platform; the check worker is a stand-in so that no network is needed. Where sites go
// and which stays selected is the core test's; here, which event does what, and how the search bar
// is drawn.
#include "sitelist/SiteListBox.h"

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "res/Menus.h"
#include "sitelist/SiteEdit.h"
#include "sitelist/TextProgressCtrl.h"
#include "support/temp_dir.h"
#include "workers/SiteChecker.h"

namespace torv {
namespace {

// Keeps the check requests, and the window to answer, as the worker thread would.
class FakeChecker : public ISiteChecker {
public:
    void PostCheckSite(QObject* to, std::unique_ptr<CSiteCheckRequest> request) override {
        window = to;
        requests.push_back(std::move(request));
    }
    void PostQuit() override { quit = true; }

    std::vector<std::unique_ptr<CSiteCheckRequest>> requests;
    QObject* window = nullptr;
    bool quit = false;
};

// What the search bar showed at one of its position changes.
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

class ListTest : public ::testing::Test {
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
        QApplication::setActiveWindow(list.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(list.get()));
        list->Progress()->installEventFilter(&counter);
        QObject::connect(list->Progress(), &QProgressBar::valueChanged, list.get(), [this] {
            const CTextProgressCtrl* bar = list->Progress();
            shots.push_back({bar->windowTitle(), bar->maximum(), bar->value(), bar->isVisible(),
                             bar->geometry()});
            if (onProgress) {
                onProgress();
            }
        });
    }

    void AddSites(const QStringList& urls) {
        for (const QString& url : urls) {
            list->AppendSite(url);
        }
    }

    QPoint RowPoint(int row, int x = 60) {
        return QPoint(x, list->visualItemRect(list->item(row)).center().y());
    }

    void DoubleClick(int row, int x = 60) {
        const QPoint point = RowPoint(row, x);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, point);
    }

    QUrl File(const std::string& name, const std::string& bytes) {
        return QUrl::fromLocalFile(QString::fromStdString(dir.write(name, bytes)));
    }

    // Enter and drop on the top row, as Qt delivers a drag from the file manager, and let the
    // queued search run to its end; true when both were accepted, false when neither was.
    bool Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = list->visualItemRect(list->item(0)).center();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, Qt::NoModifier);
        int accepted = 0;
        for (QDropEvent* event : std::initializer_list<QDropEvent*>{&enter, &drop}) {
            event->ignore();
            QApplication::sendEvent(list->viewport(), event);
            accepted += event->isAccepted();
        }
        EXPECT_NE(accepted, 1) << "one of two accepted";
        QCoreApplication::processEvents();
        return accepted == 2;
    }

    test::TempDir dir;
    FakeChecker checker;
    std::unique_ptr<CSiteListBox> list;
    EventCounter counter;
    std::vector<BarShot> shots;
    std::function<void()> onProgress;
};

TEST_F(ListTest, DoubleClickEditsTheSiteOrANewLineOnThePromptLine) {
    struct Case {
        const char* name;
        bool onSite;  // a valid http://a/ is double-clicked; else the prompt line
        bool paste;   // after what the editor holds; else typed over it
        QString text;
        Qt::Key key;
        QStringList sites;
        size_t checks;
        int state = SITE_UNCHECKED;  // of row 1 afterwards, if there is one
    };
    // clang-format off
    const Case cases[] = {
        {"a typed site is added, trimmed, and checked", false, false, "  http://b/  ", Qt::Key_Enter, {"http://b/"}, 1},
        {"spaces only become an empty site", false, false, "   ", Qt::Key_Return, {""}, 1},
        {"a pasted https address loses the pre-filled scheme", false, true, "https://host/path/", Qt::Key_Return, {"https://host/path/"}, 1},
        {"a pasted bare scheme leaves a blank line, which goes", false, true, "http://", Qt::Key_Return, {}, 0},
        {"a scheme further in is kept", false, true, "mirror.example/http://x/", Qt::Key_Return, {"http://mirror.example/http://x/"}, 1},
        {"same text keeps its state and is not checked", true, false, "http://a/", Qt::Key_Return, {"http://a/"}, 0, SITE_VALID},
        {"a change of letter case is a change", true, false, "http://A/", Qt::Key_Return, {"http://A/"}, 1, SITE_UNCHECKED},
        {"Esc keeps the old text and state", true, false, "http://z/", Qt::Key_Escape, {"http://a/"}, 0, SITE_VALID},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        if (row.onSite) {
            AddSites({"http://a/"});
            const uint32_t valid = MakeWParam(SITESTATE_VALID, checker.requests[0]->m_nId);
            QCoreApplication::postEvent(checker.window, new CSiteStateEvent(valid));
            QCoreApplication::processEvents();
            checker.requests.clear();
        }
        DoubleClick(row.onSite ? 1 : 0);
        ASSERT_TRUE(list->IsEditing());
        EXPECT_TRUE(list->Editor()->hasFocus());
        EXPECT_EQ(list->Editor()->text(), row.onSite ? "http://a/" : "http://");
        EXPECT_EQ(list->GetCurSel(), 1);
        if (row.paste) {
            QGuiApplication::clipboard()->setText(row.text);
            QTest::keyClick(list->Editor(), Qt::Key_V, Qt::ControlModifier);
        } else {
            list->Editor()->selectAll();
            QTest::keyClicks(list->Editor(), row.text);
        }
        QTest::keyClick(list->Editor(), row.key);
        EXPECT_FALSE(list->IsEditing());
        EXPECT_FALSE(list->Editor()->isVisible());
        EXPECT_TRUE(list->hasFocus()) << "the focus goes back to the list";
        EXPECT_EQ(list->Sites(), row.sites);
        EXPECT_EQ(checker.requests.size(), row.checks);
        EXPECT_EQ(list->GetSiteState(1), row.state);
    }
}

TEST_F(ListTest, KeysAndADoubleClickOnTheStateImage) {
    struct Case {
        const char* name;
        int current;
        Qt::Key key;  // Qt::Key_unknown: a double-click on the state image of row 1
        Qt::KeyboardModifiers modifiers;
        QStringList sites;
        int selected;
        size_t checks = 3;  // one for each site added
    };
    const QStringList abc = {"a", "b", "c"};
    // clang-format off
    const Case cases[] = {
        {"keypad minus moves up", 2, Qt::Key_Minus, Qt::KeypadModifier, {"b", "a", "c"}, 1},
        {"keypad plus moves down", 2, Qt::Key_Plus, Qt::KeypadModifier, {"a", "c", "b"}, 3},
        {"the main keyboard's plus does not move", 2, Qt::Key_Plus, Qt::NoModifier, abc, 2},
        {"Delete removes the current site", 2, Qt::Key_Delete, Qt::NoModifier, {"a", "c"}, 2},
        {"Delete on the last site selects the one before", 3, Qt::Key_Delete, Qt::NoModifier, {"a", "b"}, 2},
        {"Delete on the prompt line does nothing", 0, Qt::Key_Delete, Qt::NoModifier, abc, 0},
        {"Insert with the prompt line current inserts at 1", 0, Qt::Key_Insert, Qt::NoModifier, {"http://", "a", "b", "c"}, 1},
        {"Insert inserts before the current site", 2, Qt::Key_Insert, Qt::NoModifier, {"a", "http://", "b", "c"}, 2},
        {"Insert with nothing current appends", -1, Qt::Key_Insert, Qt::NoModifier, {"a", "b", "c", "http://"}, 4},
        {"Enter on the prompt line appends", 0, Qt::Key_Return, Qt::NoModifier, {"a", "b", "c", "http://"}, 4},
        {"Enter on a site edits it", 1, Qt::Key_Return, Qt::NoModifier, abc, 1},
        {"a double-click on the state image checks the site again", 2, Qt::Key_unknown, {}, abc, 1, 4},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        AddSites(abc);
        list->SetCurSel(row.current);
        if (row.key == Qt::Key_unknown) {
            DoubleClick(1, 5);
        } else {
            QTest::keyClick(list.get(), row.key, row.modifiers);
        }
        EXPECT_EQ(list->Sites(), row.sites);
        EXPECT_EQ(list->GetCurSel(), row.selected);
        EXPECT_EQ(checker.requests.size(), row.checks);
        const bool edits = row.key == Qt::Key_Insert || row.key == Qt::Key_Return;
        ASSERT_EQ(list->IsEditing(), edits);
        if (edits) {
            EXPECT_EQ(list->Editor()->text(), list->item(row.selected)->text());
        }
    }
}

// Presses go through the window, as the windowing system delivers them: Qt moves the focus and
// sends the context menu event itself.
TEST_F(ListTest, AnEditIgnoresTheWheelAndARightPressWhileOtherClicksCommitIt) {
    enum Action { kWheelOverRows, kWheelOverBar, kClickOnBar, kRightPress, kLeftPress };
    struct Case {
        const char* name;
        bool editing;
        Action action;
        bool scrolls;
        bool stillEditing;
    };
    const Case cases[] = {
        {"the wheel over the rows while editing", true, kWheelOverRows, false, true},
        {"the wheel over the scroll bar while editing", true, kWheelOverBar, false, true},
        {"the wheel over the rows when not editing", false, kWheelOverRows, true, false},
        {"a click on the scroll bar ends the edit", true, kClickOnBar, true, false},
        {"a right press leaves it open and shows no menu", true, kRightPress, false, true},
        {"a left press on another row ends it", true, kLeftPress, false, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        for (int i = 0; i < 30; ++i) {
            list->AppendSite(QString("http://site%1/").arg(i));
        }
        list->resize(320, 100);
        QCoreApplication::processEvents();
        if (row.editing) {
            DoubleClick(1);
            list->Editor()->selectAll();
            QTest::keyClicks(list->Editor(), "http://edited/");
        }
        const int top = list->GetTopIndex();
        QScrollBar* bar = list->verticalScrollBar();
        ASSERT_TRUE(bar->isVisible());
        bool menuShown = false;
        QTimer::singleShot(200, list.get(), [&menuShown] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuShown = true;
                popup->close();
            }
        });
        const QPoint point = list->viewport()->mapTo(list.get(), RowPoint(2));
        const Qt::MouseButton button = row.action == kRightPress ? Qt::RightButton : Qt::LeftButton;
        if (row.action == kClickOnBar) {
            QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 4));
        } else if (row.action == kRightPress || row.action == kLeftPress) {
            QTest::mousePress(list->windowHandle(), button, {}, point);
            QTest::mouseRelease(list->windowHandle(), button, {}, point);
        } else {
            QWidget* target = row.action == kWheelOverBar ? bar : list->viewport();
            const QPoint at = row.action == kWheelOverBar ? bar->rect().center() : RowPoint(1);
            QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, -240), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(target, &event);
        }
        if (row.action == kRightPress) {
            QContextMenuEvent key(QContextMenuEvent::Keyboard, point, list->mapToGlobal(point));
            QApplication::sendEvent(list.get(), &key);
        }
        QTest::qWait(250);
        EXPECT_FALSE(menuShown);
        EXPECT_EQ(list->GetTopIndex() > top, row.scrolls);
        EXPECT_EQ(list->IsEditing(), row.stillEditing);
        EXPECT_EQ(list->Editor()->isVisible(), row.stillEditing);
        EXPECT_EQ(list->Editor()->hasFocus(), row.stillEditing);
        if (row.stillEditing) {
            EXPECT_EQ(list->Editor()->text(), "http://edited/") << "what was typed stays there";
            QTest::mouseClick(list->windowHandle(), Qt::LeftButton, {}, point);
            EXPECT_FALSE(list->IsEditing()) << "a left click still ends the edit";
        }
        if (row.editing) {
            EXPECT_EQ(list->Sites().first(), "http://edited/");
        }
    }
}

// A right click offers the menu for the row under it, below the rows for the last one. What cannot
// be done there is greyed; Delete is chosen where it can be.
TEST_F(ListTest, TheContextMenuGreysWhatCannotBeDoneAndCarriesOutTheChoice) {
    using namespace res;
    struct Case {
        const char* name;
        QStringList sites;
        int row;  // -1: below the last row
        bool autoOrderOff;
        std::set<int> greyed;
        QStringList after;
    };
    // clang-format off
    const Case cases[] = {
        {"prompt line", {"a", "b"}, 0, false, {ID_SITE_INSERT, ID_SITE_DELETE, ID_SITE_MOVEUP, ID_SITE_MOVEDOWN, ID_SITE_REVALIDATE}, {"a", "b"}},
        {"middle site", {"a", "b", "c"}, 2, false, {}, {"a", "c"}},
        {"below the last row: the last site", {"a", "b", "c"}, -1, false, {ID_SITE_MOVEDOWN}, {"a", "b"}},
        {"a single site with auto-ordering off", {"a"}, 1, true, {ID_SITE_MOVEUP}, {}},
    };
    // clang-format on
    const QString items =
        "Add Site|Insert Site\tINS|Delete Site\tDEL||Move Site Up\t-|Move Site Down\t+||"
        "Re-Validate Site|Re-Validate All Sites|Delete Invalid Sites|Auto-Order Sites";
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        AddSites(row.sites);
        if (row.autoOrderOff) {
            list->OnCommand(ID_SITE_AUTOORDER);
        }
        QStringList texts;
        std::set<int> greyed;
        bool autoOrderChecked = false;
        QTimer::singleShot(0, list.get(), [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            QAction* remove = nullptr;
            for (QAction* action : menu->actions()) {
                const int id = action->data().toInt();
                texts << action->text();
                if (!action->isEnabled()) {
                    greyed.insert(id);
                } else if (id == ID_SITE_DELETE) {
                    remove = action;
                }
                autoOrderChecked =
                    autoOrderChecked || (id == ID_SITE_AUTOORDER && action->isChecked());
            }
            if (remove) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(remove).center());
            } else {
                menu->close();
            }
        });
        const QPoint at =
            row.row < 0 ? QPoint(60, list->viewport()->height() - 5) : RowPoint(row.row);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &event);
        EXPECT_EQ(greyed, row.greyed);
        EXPECT_EQ(autoOrderChecked, row.row != 0 && !row.autoOrderOff);
        const QString edit = row.row == 0 ? "" : "Edit Site|";
        EXPECT_EQ(texts.join('|'), QString(items).replace("Add Site|", "Add Site|" + edit));
        EXPECT_EQ(list->Sites(), row.after);
    }
}

// Each site's state image has a transparent background; the prompt line has none, and its text
// starts at the left edge.
TEST_F(ListTest, StateImagesAreDrawnWithTransparentBackgroundsAndNotOnThePromptLine) {
    const struct {
        int state;
        QRgb centre;  // the image's middle pixel; 0: no image drawn there
    } sites[] = {
        {SITE_UNCHECKED, qRgb(236, 196, 0)},  // yellow disc
        {SITE_CHECKING, qRgb(0, 0, 0)},       // black arrow
        {SITE_INVALID, qRgb(214, 36, 30)},    // red disc
        {SITE_VALID, qRgb(36, 176, 48)},      // green disc, on the selected row
        {SITE_EDITING, 0},
    };
    AddSites({"http://a/", "http://b/", "http://c/", "http://d/", "http://e/"});
    for (int i = 1; i <= 5; ++i) {
        list->SetSiteState(i, sites[i - 1].state);
    }
    list->SetCurSel(4);
    const QImage picture = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        const QPoint corner = list->visualItemRect(list->item(i)).topLeft();
        const QRgb background =
            list->palette().color(i == 4 ? QPalette::Highlight : QPalette::Base).rgb();
        EXPECT_EQ(picture.pixel(corner), background) << "corner not transparent";
        EXPECT_EQ(picture.pixel(corner + QPoint(14, 0)), background);
        const QRgb centre = sites[i - 1].centre;
        EXPECT_EQ(picture.pixel(corner + QPoint(7, 7)), centre ? centre : background);
    }
    EXPECT_EQ(list->item(0)->text(), "<Doubleclick to add new site or drop file to search>");
    const QRect prompt = list->visualItemRect(list->item(0));
    QImage blank(4, prompt.height(), QImage::Format_RGB32);
    blank.fill(list->palette().color(QPalette::Base));
    EXPECT_NE(picture.copy(prompt.left(), prompt.top(), 4, prompt.height()), blank)
        << "the prompt text should start at the left edge";
}

TEST_F(ListTest, DroppedFilesAddTheSitesTheyNameThatNoSiteBeginsWith) {
    using Files = std::vector<std::pair<std::string, std::string>>;  // name, contents
    enum Kind { kFile, kFolder, kPipe, kGone };
    const std::string mn3 = "http://plain.example/x/\nURL http://marked.example/m/p.zip\n";
    const std::string txt = "Home page:\r\nhttp://b.example/t/readme.txt\r\n";
    const QUrl web("http://w.example/pack.mn3");
    struct Case {
        const char* name;
        Files files;
        QUrl webUrl;
        QStringList after;
        Kind kind = kFile;  // of every file dropped
    };
    // Which extension takes which scanner, and which site a URL begins, are the scanner's and the
    // list-box semantics' tables; one of each kind shows that the drop follows them. Files not
    // searched add nothing and show no bar.
    // clang-format off
    const Case cases[] = {
        {"a mission file is read for its marked URLs", {{"a.mn3", mn3}}, {}, {"http://marked.example/m/"}},
        {"a web address is refused", {}, web, {}},
        {"a web address beside a local file: only the file is searched", {{"b.txt", txt}}, web, {"http://b.example/t/"}},
        {"several files, searched in the order dropped", {{"b.txt", txt}, {"a.mn3", mn3}}, {}, {"http://b.example/t/", "http://marked.example/m/"}},
        {"a URL that a site already begins with is not added", {{"f.txt", "http://a/b/1.zip\nagain: http://a/b/2.zip\n"}}, {}, {"http://a/b/"}},
        {"a zip archive is not searched", {{"pack.zip", txt}}, {}, {}},
        {"nor a folder named like a mission", {{"maps.mn3", mn3}}, {}, {}, kFolder},
        {"nor a pipe (opening it would wait for a writer)", {{"fifo.txt", txt}}, {}, {}, kPipe},
        {"nor a file that is gone", {{"gone.txt", txt}}, {}, {}, kGone},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        QList<QUrl> urls;
        for (const auto& [name, contents] : row.files) {
            if (row.kind == kFolder) {
                dir.write(name + "/inner.txt", contents);
            } else if (row.kind == kPipe) {
                ASSERT_EQ(mkfifo(dir.file(name).c_str(), 0600), 0);
            } else if (row.kind == kFile) {
                dir.write(name, contents);
            }
            urls.append(QUrl::fromLocalFile(QString::fromStdString(dir.file(name))));
        }
        if (!row.webUrl.isEmpty()) {
            urls.append(row.webUrl);
        }
        EXPECT_EQ(Drop(urls), !row.files.empty());
        EXPECT_EQ(list->Sites(), row.after);
        EXPECT_EQ(checker.requests.size(), size_t(row.after.size())) << "each added is checked";
        EXPECT_EQ(counter.shows, row.after.isEmpty() ? 0 : int(row.files.size()))
            << "the bar is shown for each file searched";
        EXPECT_FALSE(list->IsSearching());
        EXPECT_FALSE(list->Progress()->isVisible());
    }
}

TEST_F(ListTest, TheBarCoversTheTopRowWithTheFileNameAndItsProgress) {
    std::string big(300 << 14, 'x');  // the bar moves in 1/300 steps of the length
    big.replace(big.size() / 2, 21, "URL http://a/b/c.zip\n");
    const struct {
        const char* name;
        std::string file;
        std::string contents;
        int paints;  // at least
    } cases[] = {
        {"a text file shorter than one counted line still reaches its end", "notes.txt",
         "short\nhttp://a/b/c\n", 1},
        {"a large file keeps the bar repainting", "big.hog", big, 100},
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
        Drop({File(row.file, row.contents)});
        ASSERT_FALSE(shots.empty());
        const int length = int(row.contents.size());
        for (const BarShot& shot : shots) {
            EXPECT_EQ(shot.caption, "Searching " + QString::fromStdString(row.file));
            EXPECT_EQ(shot.maximum, length);
            EXPECT_TRUE(shot.visible);
            EXPECT_EQ(shot.geometry, top);
        }
        EXPECT_EQ(shots.back().value, length) << "the bar ends full";
        EXPECT_EQ(list->Progress()->TextMode(), 1) << "with the percentage shown";
        EXPECT_GE(counter.paints, row.paints);
        EXPECT_EQ(list->Sites().last(), "http://a/b/");
        EXPECT_FALSE(list->Progress()->isVisible());
    }
}

TEST_F(ListTest, ADropDuringASearchIsSearchedInsideItUnderTheOuterCaption) {
    std::string outer = "http://outer.example/1/\n";
    for (int i = 0; i < 50; ++i) {
        outer += "filler line\n";
    }
    outer += "http://outer.example/2/\n";
    const QUrl outerFile = File("outer.txt", outer);
    const QUrl innerFile =
        File("inner.mn3", "xxURL http://inner.example/a/p.zip\nyyURL http://inner.example/b/q\n");
    std::vector<bool> barWhenAdded;
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, list.get(),
                     [&] { barWhenAdded.push_back(list->Progress()->isVisible()); });
    size_t innerFrom = 0;
    onProgress = [&] {
        if (innerFrom == 0) {
            innerFrom = shots.size();
            EXPECT_TRUE(Drop({innerFile}));
        }
    };
    Drop({outerFile});

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

TEST_F(ListTest, DestroyingTheListDuringASearchEndsTheSearch) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "http://s" + std::to_string(i) + ".example/\n";
    }
    onProgress = [&] {
        if (shots.size() == 1) {
            QTimer::singleShot(0, [&] { list.reset(); });
        }
    };
    Drop({File("many.txt", text)});
    EXPECT_FALSE(list);
    EXPECT_TRUE(checker.quit);
    EXPECT_LT(checker.requests.size(), 200u);
}

const QRgb kWindow = qRgb(255, 255, 255);
const QRgb kWindowText = qRgb(0, 0, 0);
const int kBarRow = 26;  // below the text

// Pixels of the text rows between two widget columns in the window colour and in the text colour.
std::pair<int, int> CountInk(const QImage& picture, int fromX, int toX) {
    std::pair<int, int> count;
    for (int y = 2; y < 14; ++y) {
        for (int x = fromX; x < toX; ++x) {
            count.first += picture.pixel(x, y) == kWindow;
            count.second += picture.pixel(x, y) == kWindowText;
        }
    }
    return count;
}

// The bar fills from the left in proportion to the position; the text over it is in the window
// colour, elsewhere in the text colour; the percentage is truncated.
TEST(TextProgress, TheBarFillsInProportionUnderTheCaptionAndPercentage) {
    struct Case {
        const char* name;
        int upper;
        int position;
        int filled;  // columns, from the left edge of the bar
        QString percent;
    };
    const Case cases[] = {
        {"at 0 one column", 1000, 0, 1, "  [0%]"},
        {"two thirds, truncated", 3, 2, 101, "  [66%]"},
        {"full: to the right edge", 1000, 1000, 151, "  [100%]"},
        {"an empty range: none", 0, 0, 0, "  [0%]"},
    };
    const QString caption = "Searching a_rather_long_pack.mn3";
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        // 154 wide: a one-pixel border around a client area whose bar spans client x 1..151.
        CTextProgressCtrl bar;
        QPalette palette = bar.palette();
        palette.setColor(QPalette::Base, kWindow);
        palette.setColor(QPalette::Text, kWindowText);
        bar.setPalette(palette);
        bar.resize(154, 30);
        bar.setWindowTitle(caption);
        bar.ShowPercent();
        bar.setRange(0, row.upper);
        bar.setValue(row.position);
        const QImage picture = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int x = 2; x <= 152; ++x) {
            ASSERT_EQ(picture.pixel(x, kBarRow) != kWindow, x < 2 + row.filled) << "x " << x;
        }
        const auto [windowOverBar, textOverBar] = CountInk(picture, 2, 2 + row.filled);
        EXPECT_EQ(textOverBar, 0) << "text-coloured ink over the bar";
        EXPECT_EQ(windowOverBar > 0, row.filled > 1) << "window-coloured text over the bar";
        EXPECT_EQ(CountInk(picture, 2 + row.filled, 153).second > 0, row.filled < 151)
            << "text-coloured text beside the bar";
        EXPECT_EQ(CTextProgressCtrl::FormatText(caption, 1, 0, row.upper, row.position),
                  caption + row.percent);
    }
}

}  // namespace
}  // namespace torv
