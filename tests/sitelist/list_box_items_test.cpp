#include <gtest/gtest.h>
#include <QListWidget>
#include <functional>

#include "sitelist/ListWidgetItems.h"

namespace torv {
namespace {

// The site logic relies on list-box semantics that a QListWidget does not have by itself.
struct Rows {
    QListWidget widget;
    CListWidgetItems items{&widget};
};

QStringList Texts(const IListBoxItems& items) {
    QStringList texts;
    for (int i = 0; i < items.GetCount(); ++i) {
        texts << items.GetText(i);
    }
    return texts;
}

struct SemanticsCase {
    const char* name;
    std::function<void(IListBoxItems&)> act;
    QStringList texts;
    int selected;
};

TEST(ListBoxSemantics, BehaveLikeAListBox) {
    const auto fill = [](IListBoxItems& items) {
        for (const char* text : {"prompt", "a", "b", "c"}) {
            items.AddString(text);
        }
    };
    // clang-format off
    const SemanticsCase cases[] = {
        {"insert -1 appends", [](IListBoxItems& l) { l.InsertString(-1, "x"); }, {"prompt", "a", "b", "c", "x"}, -1},
        {"insert beyond the count fails", [](IListBoxItems& l) { EXPECT_EQ(l.InsertString(9, "x"), LB_ERR); }, {"prompt", "a", "b", "c"}, -1},
        {"deleting the selected row leaves no selection", [](IListBoxItems& l) { l.SetCurSel(2); l.DeleteString(2); }, {"prompt", "a", "c"}, -1},
        {"selection follows its row when a row above goes", [](IListBoxItems& l) { l.SetCurSel(3); l.DeleteString(1); }, {"prompt", "b", "c"}, 2},
        {"selection follows its row when a row is inserted above", [](IListBoxItems& l) { l.SetCurSel(2); l.InsertString(1, "x"); }, {"prompt", "x", "a", "b", "c"}, 3},
        {"replacing the selected row drops the selection", [](IListBoxItems& l) { l.SetCurSel(2); l.ReplaceString(2, "x"); }, {"prompt", "a", "x", "c"}, -1},
        {"replacing another row keeps the selection", [](IListBoxItems& l) { l.SetCurSel(2); l.ReplaceString(3, "x"); }, {"prompt", "a", "b", "x"}, 2},
    };
    // clang-format on
    for (const SemanticsCase& row : cases) {
        SCOPED_TRACE(row.name);
        Rows rows;
        fill(rows.items);
        row.act(rows.items);
        EXPECT_EQ(Texts(rows.items), row.texts);
        EXPECT_EQ(rows.items.GetCurSel(), row.selected);
    }
}

TEST(ListBoxSemantics, FindStringSearchesFromIndexOneAndWrapsToZero) {
    struct FindCase {
        const char* name;
        QString prefix;
        int found;
    };
    const FindCase cases[] = {
        {"prefix of a later row", "HTTP://A/", 1},
        {"case ignored", "http://a/B", 2},
        {"index 0 comes last", "<double", 0},
        {"longer than any text", "http://a/b/c/d/", LB_ERR},
    };
    Rows rows;
    for (const char* text : {"<doubleclick>", "http://a/", "http://a/b/c/"}) {
        rows.items.AddString(text);
    }
    for (const FindCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(rows.items.FindString(row.prefix), row.found);
    }
}

}  // namespace
}  // namespace torv
