#include "sitelist/SiteListBox.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <set>

#include "res/Menus.h"
#include "sitelist/SiteEdit.h"
#include "sitelist/fake_checker.h"

namespace torv {
namespace {

using test::FakeChecker;

const QColor kBase(255, 255, 255);
const QColor kHighlight(0, 0, 128);

class ListTest : public ::testing::Test {
protected:
    void SetUp() override {
        list = std::make_unique<CSiteListBox>(&checker, nullptr);
        QPalette palette = list->palette();
        palette.setColor(QPalette::Base, kBase);
        palette.setColor(QPalette::Highlight, kHighlight);
        palette.setColor(QPalette::HighlightedText, Qt::white);
        palette.setColor(QPalette::Text, Qt::black);
        list->setPalette(palette);
        list->resize(320, 160);
        list->show();
        QApplication::setActiveWindow(list.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(list.get()));
        list->setFocus();
    }

    void TearDown() override { list.reset(); }

    void AddSites(const QStringList& urls) {
        for (const QString& url : urls) {
            list->AppendSite(url);
        }
    }

    QPoint RowPoint(int row, int x = 60) {
        const QRect rect = list->visualItemRect(list->item(row));
        return QPoint(x, rect.center().y());
    }

    void DoubleClick(int row, int x = 60) {
        const QPoint point = RowPoint(row, x);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, point);
    }

    void Type(const QString& text) { QTest::keyClicks(list->Editor(), text); }
    void SelectAllInEditor() { list->Editor()->selectAll(); }
    void Key(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(target, key, modifiers);
    }

    QStringList Sites() const { return list->Sites(); }

    FakeChecker checker;
    std::unique_ptr<CSiteListBox> list;
};

TEST_F(ListTest, StartsWithThePromptLineOnly) {
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "<Doubleclick to add new site or drop file to search>");
    EXPECT_TRUE(Sites().isEmpty());
}

struct NewSiteCase {
    const char* name;
    bool clearFirst;
    QString typed;
    Qt::Key key;
    QStringList sites;
    size_t checks;
    bool pasted = false;  // through the clipboard and Ctrl+V instead of typed
};

TEST_F(ListTest, DoubleClickOnThePromptLineAddsALineAndEditsIt) {
    // clang-format off
    const NewSiteCase cases[] = {
        {"Enter on a fresh http:// removes the line", false, "", Qt::Key_Return, {}, 0},
        {"typed site is added and checked", false, "a.example/m/", Qt::Key_Return, {"http://a.example/m/"}, 1},
        {"blanks around the text are trimmed", true, "  http://b/  ", Qt::Key_Enter, {"http://b/"}, 1},
        {"spaces only become an empty site", true, "   ", Qt::Key_Return, {""}, 1},
        {"Esc discards what was typed", false, "zzz", Qt::Key_Escape, {"http://"}, 0},
        {"a pasted https address loses the pre-filled scheme", false, "https://host/path/", Qt::Key_Return, {"https://host/path/"}, 1, true},
        {"a pasted bare scheme leaves a blank line, which goes", false, "http://", Qt::Key_Return, {}, 0, true},
        {"a scheme further in is kept", false, "mirror.example/http://x/", Qt::Key_Return, {"http://mirror.example/http://x/"}, 1, true},
    };
    // clang-format on
    for (const NewSiteCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        DoubleClick(0);
        ASSERT_TRUE(list->IsEditing());
        ASSERT_TRUE(list->Editor()->isVisible());
        EXPECT_TRUE(list->Editor()->hasFocus());
        EXPECT_EQ(list->Editor()->text(), "http://");
        EXPECT_EQ(list->GetCurSel(), 1);
        if (row.clearFirst) {
            SelectAllInEditor();
        }
        if (row.pasted) {
            QGuiApplication::clipboard()->setText(row.typed);
            Key(list->Editor(), Qt::Key_V, Qt::ControlModifier);
        } else {
            Type(row.typed);
        }
        Key(list->Editor(), row.key);
        EXPECT_FALSE(list->IsEditing());
        EXPECT_FALSE(list->Editor()->isVisible());
        EXPECT_TRUE(list->hasFocus()) << "the focus goes back to the list";
        EXPECT_EQ(Sites(), row.sites);
        EXPECT_EQ(checker.requests.size(), row.checks);
        TearDown();
        checker.requests.clear();
    }
}

struct EditCase {
    const char* name;
    QString replacement;  // typed over the whole text; empty: nothing typed
    Qt::Key key;
    QStringList sites;
    int state;
    size_t newChecks;
};

TEST_F(ListTest, EditingASiteInPlace) {
    // clang-format off
    const EditCase cases[] = {
        {"same text keeps its state and is not checked", "http://a/", Qt::Key_Return, {"http://a/"}, SITE_VALID, 0},
        {"a change of letter case is a change", "http://A/", Qt::Key_Return, {"http://A/"}, SITE_UNCHECKED, 1},
        {"Esc keeps the old text and state", "http://z/", Qt::Key_Escape, {"http://a/"}, SITE_VALID, 0},
        {"editing back to http:// removes the site", "http://", Qt::Key_Return, {}, -1, 0},
    };
    // clang-format on
    for (const EditCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        AddSites({"http://a/"});
        checker.Answer(0, SITESTATE_VALID);
        QCoreApplication::processEvents();
        ASSERT_EQ(list->GetSiteState(1), SITE_VALID);
        const size_t before = checker.requests.size();

        DoubleClick(1);
        ASSERT_TRUE(list->IsEditing());
        EXPECT_EQ(list->GetSiteState(1), SITE_EDITING);
        EXPECT_EQ(list->Editor()->text(), "http://a/");
        SelectAllInEditor();
        Type(row.replacement);
        Key(list->Editor(), row.key);
        EXPECT_EQ(Sites(), row.sites);
        if (row.state >= 0) {
            EXPECT_EQ(list->GetSiteState(1), row.state);
        }
        EXPECT_EQ(checker.requests.size() - before, row.newChecks);
        TearDown();
        checker.requests.clear();
    }
}

TEST_F(ListTest, DoubleClickOnTheStateImageChecksTheSiteAgain) {
    AddSites({"http://a/"});
    checker.Answer(0, SITESTATE_INVALID);
    QCoreApplication::processEvents();
    DoubleClick(1, 5);
    EXPECT_FALSE(list->IsEditing());
    EXPECT_EQ(list->GetSiteState(1), SITE_UNCHECKED);
    ASSERT_EQ(checker.requests.size(), 2u);
    EXPECT_EQ(checker.requests[1]->m_strUrl, "http://a/");
}

TEST_F(ListTest, ClickingOutsideCommitsTheEdit) {
    AddSites({"http://a/", "http://b/"});
    DoubleClick(1);
    SelectAllInEditor();
    Type("http://c/");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowPoint(2));
    EXPECT_FALSE(list->IsEditing());
    EXPECT_EQ(Sites(), QStringList({"http://c/", "http://b/"}));
}

struct KeyCase {
    const char* name;
    int current;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QStringList sites;
    int selected;
};

TEST_F(ListTest, KeysOnTheList) {
    // Where a move stops at either end is the core's table; here, which key does what.
    const QStringList abc = {"http://a/", "http://b/", "http://c/"};
    // clang-format off
    const KeyCase cases[] = {
        {"keypad minus moves up", 2, Qt::Key_Minus, Qt::KeypadModifier, {"http://b/", "http://a/", "http://c/"}, 1},
        {"keypad plus moves down", 2, Qt::Key_Plus, Qt::KeypadModifier, {"http://a/", "http://c/", "http://b/"}, 3},
        {"the main keyboard's plus does not move", 2, Qt::Key_Plus, Qt::NoModifier, abc, 2},
        {"keypad minus with nothing selected does nothing", -1, Qt::Key_Minus, Qt::KeypadModifier, abc, -1},
        {"Delete removes the current site", 2, Qt::Key_Delete, Qt::NoModifier, {"http://a/", "http://c/"}, 2},
        {"Delete on the last site selects the one before", 3, Qt::Key_Delete, Qt::NoModifier, {"http://a/", "http://b/"}, 2},
        {"Delete on the prompt line does nothing", 0, Qt::Key_Delete, Qt::NoModifier, abc, 0},
    };
    // clang-format on
    for (const KeyCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        AddSites(abc);
        list->SetCurSel(row.current);
        Key(list.get(), row.key, row.modifiers);
        EXPECT_EQ(Sites(), row.sites);
        EXPECT_EQ(list->GetCurSel(), row.selected);
        TearDown();
    }
}

struct InsertCase {
    const char* name;
    int current;
    Qt::Key key;
    int editedRow;
};

TEST_F(ListTest, InsertAndEnterOpenANewLine) {
    const InsertCase cases[] = {
        {"Insert with the prompt line current inserts at 1", 0, Qt::Key_Insert, 1},
        {"Insert inserts before the current site", 2, Qt::Key_Insert, 2},
        {"Insert with nothing current appends", -1, Qt::Key_Insert, 3},
        {"Enter on the prompt line appends", 0, Qt::Key_Return, 3},
    };
    for (const InsertCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        AddSites({"http://a/", "http://b/"});
        list->SetCurSel(row.current);
        Key(list.get(), row.key);
        ASSERT_TRUE(list->IsEditing());
        EXPECT_EQ(list->item(row.editedRow)->text(), "http://");
        EXPECT_EQ(list->GetCurSel(), row.editedRow);
        Key(list->Editor(), Qt::Key_Escape);
        EXPECT_EQ(list->count(), 4);
        TearDown();
    }
}

TEST_F(ListTest, EnterOnASiteEditsIt) {
    AddSites({"http://a/"});
    list->SetCurSel(1);
    Key(list.get(), Qt::Key_Return);
    EXPECT_TRUE(list->IsEditing());
    EXPECT_EQ(list->Editor()->text(), "http://a/");
}

class ScrollTest : public ListTest {
protected:
    void SetUp() override {
        ListTest::SetUp();
        for (int i = 0; i < 30; ++i) {
            list->AppendSite(QString("http://site%1/").arg(i));
        }
        list->resize(320, 100);
        QCoreApplication::processEvents();
    }
};

TEST_F(ScrollTest, TheWheelScrollsOnlyWhenNotEditing) {
    struct WheelCase {
        const char* name;
        bool editing;
        bool overTheBar;
    };
    const WheelCase cases[] = {
        {"over the rows while editing", true, false},
        {"over the scroll bar while editing", true, true},
        {"over the rows when not editing", false, false},
    };
    for (const WheelCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        if (row.editing) {
            DoubleClick(1);
            ASSERT_TRUE(list->IsEditing());
        }
        const int top = list->GetTopIndex();
        QWidget* target = list->viewport();
        QPoint point = RowPoint(1);
        if (row.overTheBar) {
            target = list->verticalScrollBar();
            point = QPoint(target->width() / 2, target->height() / 2);
        }
        QWheelEvent event(point, target->mapToGlobal(point), QPoint(), QPoint(0, -240),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
        if (row.editing) {
            EXPECT_EQ(list->GetTopIndex(), top);
        } else {
            EXPECT_GT(list->GetTopIndex(), top);
        }
        EXPECT_EQ(list->IsEditing(), row.editing);
        EXPECT_EQ(list->Editor()->isVisible(), row.editing);
        TearDown();
    }
}

TEST_F(ScrollTest, ScrollingWithTheBarCommitsTheEdit) {
    DoubleClick(1);
    SelectAllInEditor();
    Type("http://edited/");
    const int top = list->GetTopIndex();
    QScrollBar* bar = list->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 4));
    EXPECT_FALSE(list->IsEditing());
    EXPECT_GT(list->GetTopIndex(), top);
    EXPECT_EQ(Sites().first(), "http://edited/");
}

struct MenuCase {
    const char* name;
    int sites;
    int row;
    bool autoOrderOff;
    std::set<int> greyed;
    bool hasEdit;
};

// Opens the context menu over a row as a right-click would and reads it while it is shown.
struct ShownMenu {
    QStringList texts;
    std::set<int> greyed;
    bool autoOrderChecked = false;
};

ShownMenu OpenContextMenu(CSiteListBox& list, const QPoint& point,
                          std::function<void(QMenu&)> choose = {}) {
    ShownMenu shown;
    QTimer::singleShot(0, &list, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            ADD_FAILURE() << "no menu shown";
            return;
        }
        for (QAction* action : menu->actions()) {
            shown.texts << action->text();
            if (!action->isEnabled()) {
                shown.greyed.insert(action->data().toInt());
            }
            if (action->data().toInt() == res::ID_SITE_AUTOORDER) {
                shown.autoOrderChecked = action->isChecked();
            }
        }
        if (choose) {
            choose(*menu);
        } else {
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, list.viewport()->mapToGlobal(point));
    QApplication::sendEvent(list.viewport(), &event);
    return shown;
}

TEST_F(ListTest, ContextMenuGreysWhatCannotBeDone) {
    using namespace res;
    // clang-format off
    const MenuCase cases[] = {
        {"prompt line", 2, 0, false, {ID_SITE_INSERT, ID_SITE_DELETE, ID_SITE_MOVEUP, ID_SITE_MOVEDOWN, ID_SITE_REVALIDATE}, false},
        {"middle site", 3, 2, false, {}, true},
        {"last site", 3, 3, false, {ID_SITE_MOVEDOWN}, true},
        {"a single site greys only moving up", 1, 1, false, {ID_SITE_MOVEUP}, true},
        {"auto-ordering off", 1, 1, true, {ID_SITE_MOVEUP}, true},
    };
    // clang-format on
    for (const MenuCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        for (int i = 0; i < row.sites; ++i) {
            list->AppendSite(QString("http://s%1/").arg(i));
        }
        if (row.autoOrderOff) {
            list->OnCommand(ID_SITE_AUTOORDER);
        }
        const ShownMenu shown = OpenContextMenu(*list, RowPoint(row.row));
        EXPECT_EQ(list->GetCurSel(), row.row) << "the right-click makes the row current";
        EXPECT_EQ(shown.greyed, row.greyed);
        QStringList expected = {"Add Site",
                                "Insert Site\tINS",
                                "Delete Site\tDEL",
                                "",
                                "Move Site Up\t-",
                                "Move Site Down\t+",
                                "",
                                "Re-Validate Site",
                                "Re-Validate All Sites",
                                "Delete Invalid Sites",
                                "Auto-Order Sites"};
        if (row.hasEdit) {
            expected.insert(1, "Edit Site");
        }
        EXPECT_EQ(shown.texts, expected);
        EXPECT_EQ(shown.autoOrderChecked, row.hasEdit && !row.autoOrderOff);
        TearDown();
    }
}

TEST_F(ListTest, ContextMenuBelowTheLastRowActsOnTheLastRow) {
    AddSites({"http://a/"});
    const ShownMenu shown = OpenContextMenu(*list, QPoint(60, list->viewport()->height() - 5));
    EXPECT_EQ(list->GetCurSel(), 1);
    EXPECT_EQ(shown.greyed, std::set<int>({res::ID_SITE_MOVEUP}));
}

TEST_F(ListTest, ChoosingFromTheContextMenuRunsTheCommand) {
    AddSites({"http://a/", "http://b/"});
    OpenContextMenu(*list, RowPoint(1), [](QMenu& menu) {
        for (QAction* action : menu.actions()) {
            if (action->data().toInt() == res::ID_SITE_DELETE) {
                QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
            }
        }
    });
    EXPECT_EQ(Sites(), QStringList({"http://b/"}));
}

TEST_F(ListTest, NoContextMenuWhileEditing) {
    AddSites({"http://a/"});
    DoubleClick(1);
    ASSERT_TRUE(list->IsEditing());
    QContextMenuEvent event(QContextMenuEvent::Keyboard, RowPoint(1),
                            list->viewport()->mapToGlobal(RowPoint(1)));
    QApplication::sendEvent(list.get(), &event);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(list->IsEditing());
}

// Presses go through the window, as the windowing system delivers them: Qt moves the focus and
// sends the context menu event itself.
TEST_F(ListTest, RightPressDuringAnEditLeavesItOpenWhileALeftPressEndsIt) {
    struct PressCase {
        const char* name;
        Qt::MouseButton button;
        bool editing;
    };
    const PressCase cases[] = {{"right", Qt::RightButton, true}, {"left", Qt::LeftButton, false}};
    for (const PressCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        AddSites({"http://a/", "http://b/"});
        DoubleClick(1);
        SelectAllInEditor();
        Type("http://c/");
        bool menuShown = false;
        QTimer::singleShot(200, list.get(), [&menuShown] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuShown = true;
                popup->close();
            }
        });
        const QPoint point = list->viewport()->mapTo(list.get(), RowPoint(2));
        QTest::mousePress(list->windowHandle(), row.button, {}, point);
        QTest::mouseRelease(list->windowHandle(), row.button, {}, point);
        QTest::qWait(250);
        EXPECT_FALSE(menuShown);
        EXPECT_EQ(list->IsEditing(), row.editing);
        EXPECT_EQ(list->Editor()->hasFocus(), row.editing);
        if (row.editing) {
            EXPECT_EQ(list->Editor()->text(), "http://c/") << "what was typed stays in the editor";
            QTest::mouseClick(list->windowHandle(), Qt::LeftButton, {}, point);
            EXPECT_FALSE(list->IsEditing()) << "a left click still ends the edit";
        }
        EXPECT_EQ(Sites(), QStringList({"http://c/", "http://b/"}));
        TearDown();
    }
}

TEST_F(ListTest, AnswersFromTheWorkerReorderTheList) {
    AddSites({"http://a/", "http://b/", "http://c/"});
    checker.Answer(0, SITESTATE_CHECKING);
    checker.Answer(0, SITESTATE_INVALID);
    checker.Answer(2, SITESTATE_CHECKING);
    checker.Answer(2, SITESTATE_VALID);
    QCoreApplication::processEvents();
    EXPECT_EQ(Sites(), QStringList({"http://c/", "http://b/", "http://a/"}));
    EXPECT_EQ(list->GetSiteState(1), SITE_VALID);
    EXPECT_EQ(list->GetSiteState(2), SITE_UNCHECKED);
    EXPECT_EQ(list->GetSiteState(3), SITE_INVALID);
}

struct ImageCase {
    const char* name;
    int state;
    bool selected;
    QRgb centre;  // the image's middle pixel; 0: no image drawn there
};

TEST_F(ListTest, StateImagesAreDrawnWithTransparentBackgrounds) {
    const ImageCase cases[] = {
        {"unchecked: yellow disc", SITE_UNCHECKED, false, qRgb(236, 196, 0)},
        {"checking: black arrow", SITE_CHECKING, false, qRgb(0, 0, 0)},
        {"invalid: red disc", SITE_INVALID, false, qRgb(214, 36, 30)},
        {"valid: green disc", SITE_VALID, false, qRgb(36, 176, 48)},
        {"valid and selected", SITE_VALID, true, qRgb(36, 176, 48)},
        {"editing: no image", SITE_EDITING, false, 0},
    };
    for (const ImageCase& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        list->AppendSite("http://a/");
        list->SetSiteState(1, row.state);
        list->SetCurSel(row.selected ? 1 : -1);
        const QImage picture =
            list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect rect = list->visualItemRect(list->item(1));
        const QRgb background = (row.selected ? kHighlight : kBase).rgb();
        EXPECT_EQ(picture.pixel(rect.topLeft()), background) << "corner not transparent";
        EXPECT_EQ(picture.pixel(rect.topLeft() + QPoint(14, 0)), background);
        const QRgb centre = picture.pixel(rect.topLeft() + QPoint(7, 7));
        if (row.centre) {
            EXPECT_EQ(centre, row.centre);
        } else {
            EXPECT_EQ(centre, background);
        }
        TearDown();
    }
}

TEST_F(ListTest, ThePromptLineHasNoImageAndNoIndent) {
    const QImage picture = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect rect = list->visualItemRect(list->item(0));
    int firstInk = -1;
    for (int x = rect.left(); x < rect.left() + 20 && firstInk < 0; ++x) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            if (picture.pixel(x, y) != kBase.rgb()) {
                firstInk = x;
                break;
            }
        }
    }
    EXPECT_GE(firstInk, rect.left());
    EXPECT_LT(firstInk, rect.left() + 4) << "the prompt text should start at the left edge";
}

}  // namespace
}  // namespace torv
