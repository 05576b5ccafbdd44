// The site list as a user drives it: real mouse and key events on the offscreen platform. Where
// sites go and which stays selected is the core test's; here, which event does what.
#include "sitelist/SiteListBox.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
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
    // Table rows start afresh with SetUp().
    void SetUp() override {
        list.reset();
        checker.requests.clear();
        list = std::make_unique<CSiteListBox>(&checker, nullptr);
        QPalette palette = list->palette();
        palette.setColor(QPalette::Base, kBase);
        palette.setColor(QPalette::Highlight, kHighlight);
        list->setPalette(palette);
        list->resize(320, 160);
        list->show();
        QApplication::setActiveWindow(list.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(list.get()));
        list->setFocus();
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

    void Retype(const QString& text) {
        list->Editor()->selectAll();
        QTest::keyClicks(list->Editor(), text);
    }

    FakeChecker checker;
    std::unique_ptr<CSiteListBox> list;
};

TEST_F(ListTest, DoubleClickEditsTheSiteOrANewLineOnThePromptLine) {
    enum Input { kType, kRetype, kPaste };
    struct Case {
        const char* name;
        bool onSite;  // a valid http://a/ is double-clicked; else the prompt line
        Input input;
        QString text;
        Qt::Key key;
        QStringList sites;
        size_t checks;
        int state = -1;  // of row 1 afterwards; -1: not looked at
    };
    // clang-format off
    const Case cases[] = {
        {"Enter on a fresh http:// removes the line", false, kType, "", Qt::Key_Return, {}, 0},
        {"typed site is added and checked", false, kType, "a.example/m/", Qt::Key_Return, {"http://a.example/m/"}, 1},
        {"blanks around the text are trimmed", false, kRetype, "  http://b/  ", Qt::Key_Enter, {"http://b/"}, 1},
        {"spaces only become an empty site", false, kRetype, "   ", Qt::Key_Return, {""}, 1},
        {"Esc discards what was typed", false, kType, "zzz", Qt::Key_Escape, {"http://"}, 0},
        {"a pasted https address loses the pre-filled scheme", false, kPaste, "https://host/path/", Qt::Key_Return, {"https://host/path/"}, 1},
        {"a pasted bare scheme leaves a blank line, which goes", false, kPaste, "http://", Qt::Key_Return, {}, 0},
        {"a scheme further in is kept", false, kPaste, "mirror.example/http://x/", Qt::Key_Return, {"http://mirror.example/http://x/"}, 1},
        {"same text keeps its state and is not checked", true, kRetype, "http://a/", Qt::Key_Return, {"http://a/"}, 0, SITE_VALID},
        {"a change of letter case is a change", true, kRetype, "http://A/", Qt::Key_Return, {"http://A/"}, 1, SITE_UNCHECKED},
        {"Esc keeps the old text and state", true, kRetype, "http://z/", Qt::Key_Escape, {"http://a/"}, 0, SITE_VALID},
        {"editing back to http:// removes the site", true, kRetype, "http://", Qt::Key_Return, {}, 0},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        if (row.onSite) {
            AddSites({"http://a/"});
            checker.Answer(0, SITESTATE_VALID);
            QCoreApplication::processEvents();
            checker.requests.clear();
        }
        DoubleClick(row.onSite ? 1 : 0);
        ASSERT_TRUE(list->IsEditing());
        EXPECT_TRUE(list->Editor()->hasFocus());
        EXPECT_EQ(list->Editor()->text(), row.onSite ? "http://a/" : "http://");
        EXPECT_EQ(list->GetCurSel(), 1);
        if (row.input == kPaste) {
            QGuiApplication::clipboard()->setText(row.text);
            QTest::keyClick(list->Editor(), Qt::Key_V, Qt::ControlModifier);
        } else if (row.input == kRetype) {
            Retype(row.text);
        } else {
            QTest::keyClicks(list->Editor(), row.text);
        }
        QTest::keyClick(list->Editor(), row.key);
        EXPECT_FALSE(list->IsEditing());
        EXPECT_FALSE(list->Editor()->isVisible());
        EXPECT_TRUE(list->hasFocus()) << "the focus goes back to the list";
        EXPECT_EQ(list->Sites(), row.sites);
        EXPECT_EQ(checker.requests.size(), row.checks);
        if (row.state >= 0) {
            EXPECT_EQ(list->GetSiteState(1), row.state);
        }
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

TEST_F(ListTest, KeysOnTheList) {
    struct Case {
        const char* name;
        int current;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QStringList sites;
        int selected;
    };
    const QStringList abc = {"a", "b", "c"};
    // clang-format off
    const Case cases[] = {
        {"keypad minus moves up", 2, Qt::Key_Minus, Qt::KeypadModifier, {"b", "a", "c"}, 1},
        {"keypad plus moves down", 2, Qt::Key_Plus, Qt::KeypadModifier, {"a", "c", "b"}, 3},
        {"the main keyboard's plus does not move", 2, Qt::Key_Plus, Qt::NoModifier, abc, 2},
        {"keypad minus with nothing selected does nothing", -1, Qt::Key_Minus, Qt::KeypadModifier, abc, -1},
        {"Delete removes the current site", 2, Qt::Key_Delete, Qt::NoModifier, {"a", "c"}, 2},
        {"Delete on the last site selects the one before", 3, Qt::Key_Delete, Qt::NoModifier, {"a", "b"}, 2},
        {"Delete on the prompt line does nothing", 0, Qt::Key_Delete, Qt::NoModifier, abc, 0},
        {"Insert with the prompt line current inserts at 1", 0, Qt::Key_Insert, Qt::NoModifier, {"http://", "a", "b", "c"}, 1},
        {"Insert inserts before the current site", 2, Qt::Key_Insert, Qt::NoModifier, {"a", "http://", "b", "c"}, 2},
        {"Insert with nothing current appends", -1, Qt::Key_Insert, Qt::NoModifier, {"a", "b", "c", "http://"}, 4},
        {"Enter on the prompt line appends", 0, Qt::Key_Return, Qt::NoModifier, {"a", "b", "c", "http://"}, 4},
        {"Enter on a site edits it", 1, Qt::Key_Return, Qt::NoModifier, abc, 1},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        AddSites(abc);
        list->SetCurSel(row.current);
        QTest::keyClick(list.get(), row.key, row.modifiers);
        EXPECT_EQ(list->Sites(), row.sites);
        EXPECT_EQ(list->GetCurSel(), row.selected);
        const bool edits = row.key == Qt::Key_Insert || row.key == Qt::Key_Return;
        ASSERT_EQ(list->IsEditing(), edits);
        if (edits) {
            EXPECT_EQ(list->Editor()->text(), list->item(row.selected)->text());
        }
    }
}

TEST_F(ListTest, TheWheelScrollsOnlyWhenNotEditingAndTheBarCommitsTheEdit) {
    enum Action { kWheelOverRows, kWheelOverBar, kClickOnBar };
    struct Case {
        const char* name;
        bool editing;
        Action action;
        bool scrolls;
    };
    const Case cases[] = {
        {"the wheel over the rows while editing", true, kWheelOverRows, false},
        {"the wheel over the scroll bar while editing", true, kWheelOverBar, false},
        {"the wheel over the rows when not editing", false, kWheelOverRows, true},
        {"a click on the scroll bar ends the edit", true, kClickOnBar, true},
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
            Retype("http://edited/");
        }
        const int top = list->GetTopIndex();
        QScrollBar* bar = list->verticalScrollBar();
        ASSERT_TRUE(bar->isVisible());
        if (row.action == kClickOnBar) {
            QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 4));
        } else {
            QWidget* target = row.action == kWheelOverBar ? bar : list->viewport();
            const QPoint point = row.action == kWheelOverBar ? bar->rect().center() : RowPoint(1);
            QWheelEvent event(point, target->mapToGlobal(point), QPoint(), QPoint(0, -240),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(target, &event);
        }
        EXPECT_EQ(list->GetTopIndex() > top, row.scrolls);
        const bool stillEditing = row.editing && row.action != kClickOnBar;
        EXPECT_EQ(list->IsEditing(), stillEditing);
        EXPECT_EQ(list->Editor()->isVisible(), stillEditing);
        if (row.editing) {
            EXPECT_EQ(list->Sites().first(), stillEditing ? "http://site0/" : "http://edited/");
        }
    }
}

TEST_F(ListTest, ContextMenuGreysWhatCannotBeDone) {
    using namespace res;
    struct Case {
        const char* name;
        int sites;
        int row;
        bool autoOrderOff;
        std::set<int> greyed;
    };
    // clang-format off
    const Case cases[] = {
        {"prompt line", 2, 0, false, {ID_SITE_INSERT, ID_SITE_DELETE, ID_SITE_MOVEUP, ID_SITE_MOVEDOWN, ID_SITE_REVALIDATE}},
        {"middle site", 3, 2, false, {}},
        {"last site", 3, 3, false, {ID_SITE_MOVEDOWN}},
        {"a single site greys only moving up", 1, 1, false, {ID_SITE_MOVEUP}},
        {"auto-ordering off", 1, 1, true, {ID_SITE_MOVEUP}},
    };
    // clang-format on
    const QString items =
        "Add Site|Insert Site\tINS|Delete Site\tDEL||Move Site Up\t-|Move Site Down\t+||"
        "Re-Validate Site|Re-Validate All Sites|Delete Invalid Sites|Auto-Order Sites";
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        for (int i = 0; i < row.sites; ++i) {
            list->AppendSite(QString("http://s%1/").arg(i));
        }
        if (row.autoOrderOff) {
            list->OnCommand(ID_SITE_AUTOORDER);
        }
        const std::unique_ptr<QMenu> menu = list->CreateContextMenu(row.row);
        QStringList texts;
        std::set<int> greyed;
        for (QAction* action : menu->actions()) {
            texts << action->text();
            if (!action->isEnabled()) {
                greyed.insert(action->data().toInt());
            }
            if (action->data().toInt() == ID_SITE_AUTOORDER) {
                EXPECT_EQ(action->isChecked(), row.row != 0 && !row.autoOrderOff);
            }
        }
        EXPECT_EQ(greyed, row.greyed);
        const QString edit = row.row == 0 ? "" : "Edit Site|";
        EXPECT_EQ(texts.join('|'), QString(items).replace("Add Site|", "Add Site|" + edit));
    }
}

TEST_F(ListTest, ARightClickBelowTheLastRowOffersTheMenuForTheLastRow) {
    AddSites({"http://a/", "http://b/"});
    QTimer::singleShot(0, list.get(), [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            if (action->data().toInt() == res::ID_SITE_DELETE) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            }
        }
    });
    const QPoint below(60, list->viewport()->height() - 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, below, list->viewport()->mapToGlobal(below));
    QApplication::sendEvent(list->viewport(), &event);
    EXPECT_EQ(list->Sites(), QStringList({"http://a/"}));
}

// Presses go through the window, as the windowing system delivers them: Qt moves the focus and
// sends the context menu event itself.
TEST_F(ListTest, RightPressDuringAnEditLeavesItOpenWhileALeftPressEndsIt) {
    for (const Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
        const bool right = button == Qt::RightButton;
        SCOPED_TRACE(right ? "right" : "left");
        SetUp();
        AddSites({"http://a/", "http://b/"});
        DoubleClick(1);
        Retype("http://c/");
        bool menuShown = false;
        QTimer::singleShot(200, list.get(), [&menuShown] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuShown = true;
                popup->close();
            }
        });
        const QPoint point = list->viewport()->mapTo(list.get(), RowPoint(2));
        QTest::mousePress(list->windowHandle(), button, {}, point);
        QTest::mouseRelease(list->windowHandle(), button, {}, point);
        if (right) {
            QContextMenuEvent key(QContextMenuEvent::Keyboard, point, list->mapToGlobal(point));
            QApplication::sendEvent(list.get(), &key);
        }
        QTest::qWait(250);
        EXPECT_FALSE(menuShown);
        EXPECT_EQ(list->IsEditing(), right);
        EXPECT_EQ(list->Editor()->hasFocus(), right);
        if (right) {
            EXPECT_EQ(list->Editor()->text(), "http://c/") << "what was typed stays in the editor";
            QTest::mouseClick(list->windowHandle(), Qt::LeftButton, {}, point);
            EXPECT_FALSE(list->IsEditing()) << "a left click still ends the edit";
        }
        EXPECT_EQ(list->Sites(), QStringList({"http://c/", "http://b/"}));
    }
}

TEST_F(ListTest, StateImagesAreDrawnWithTransparentBackgrounds) {
    struct Case {
        const char* name;
        int state;
        bool selected;
        QRgb centre;  // the image's middle pixel; 0: no image drawn there
    };
    const Case cases[] = {
        {"unchecked: yellow disc", SITE_UNCHECKED, false, qRgb(236, 196, 0)},
        {"checking: black arrow", SITE_CHECKING, false, qRgb(0, 0, 0)},
        {"invalid: red disc", SITE_INVALID, false, qRgb(214, 36, 30)},
        {"valid: green disc", SITE_VALID, false, qRgb(36, 176, 48)},
        {"valid and selected", SITE_VALID, true, qRgb(36, 176, 48)},
        {"editing: no image", SITE_EDITING, false, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        list->AppendSite("http://a/");
        list->SetSiteState(1, row.state);
        list->SetCurSel(row.selected ? 1 : -1);
        const QImage picture =
            list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QPoint corner = list->visualItemRect(list->item(1)).topLeft();
        const QRgb background = (row.selected ? kHighlight : kBase).rgb();
        EXPECT_EQ(picture.pixel(corner), background) << "corner not transparent";
        EXPECT_EQ(picture.pixel(corner + QPoint(14, 0)), background);
        EXPECT_EQ(picture.pixel(corner + QPoint(7, 7)), row.centre ? row.centre : background);
    }
}

TEST_F(ListTest, ThePromptLineHasNoImageAndNoIndent) {
    EXPECT_EQ(list->item(0)->text(), "<Doubleclick to add new site or drop file to search>");
    const QImage picture = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect rect = list->visualItemRect(list->item(0));
    int firstInk = rect.left() + 20;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x < firstInk; ++x) {
            if (picture.pixel(x, y) != kBase.rgb()) {
                firstInk = x;
            }
        }
    }
    EXPECT_LT(firstInk, rect.left() + 4) << "the prompt text should start at the left edge";
}

}  // namespace
}  // namespace torv
