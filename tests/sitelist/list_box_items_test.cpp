#include <gtest/gtest.h>
#include <QListWidget>
#include <functional>
#include <memory>

#include "sitelist/ListWidgetItems.h"
#include "sitelist/VectorListBox.h"

namespace torv {
namespace {

// The site logic runs on either implementation; both must keep list-box semantics.
struct Rows {
    std::unique_ptr<QListWidget> widget;
    std::unique_ptr<IListBoxItems> items;
};

Rows MakeVector() {
    return {nullptr, std::make_unique<CVectorListBox>()};
}
Rows MakeWidget() {
    auto widget = std::make_unique<QListWidget>();
    auto items = std::make_unique<CListWidgetItems>(widget.get());
    return {std::move(widget), std::move(items)};
}

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

class ListBoxSemantics : public ::testing::TestWithParam<std::function<Rows()>> {};

TEST_P(ListBoxSemantics, BehaveLikeAListBox) {
    const auto fill = [](IListBoxItems& items) {
        for (const char* text : {"prompt", "a", "b", "c"}) {
            items.AddString(text);
        }
    };
    const SemanticsCase cases[] = {
        {"insert -1 appends",
         [](IListBoxItems& l) { l.InsertString(-1, "x"); },
         {"prompt", "a", "b", "c", "x"},
         -1},
        {"insert beyond the count fails",
         [](IListBoxItems& l) { EXPECT_EQ(l.InsertString(9, "x"), LB_ERR); },
         {"prompt", "a", "b", "c"},
         -1},
        {"deleting the selected row leaves no selection",
         [](IListBoxItems& l) {
             l.SetCurSel(2);
             l.DeleteString(2);
         },
         {"prompt", "a", "c"},
         -1},
        {"selection follows its row when a row above goes",
         [](IListBoxItems& l) {
             l.SetCurSel(3);
             l.DeleteString(1);
         },
         {"prompt", "b", "c"},
         2},
        {"selection follows its row when a row is inserted above",
         [](IListBoxItems& l) {
             l.SetCurSel(2);
             l.InsertString(1, "x");
         },
         {"prompt", "x", "a", "b", "c"},
         3},
        {"replacing the selected row drops the selection",
         [](IListBoxItems& l) {
             l.SetCurSel(2);
             l.ReplaceString(2, "x");
         },
         {"prompt", "a", "x", "c"},
         -1},
        {"replacing another row keeps the selection",
         [](IListBoxItems& l) {
             l.SetCurSel(2);
             l.ReplaceString(3, "x");
         },
         {"prompt", "a", "b", "x"},
         2},
        {"selecting -1 clears",
         [](IListBoxItems& l) {
             l.SetCurSel(2);
             l.SetCurSel(-1);
         },
         {"prompt", "a", "b", "c"},
         -1},
    };
    for (const SemanticsCase& row : cases) {
        SCOPED_TRACE(row.name);
        Rows rows = GetParam()();
        fill(*rows.items);
        row.act(*rows.items);
        EXPECT_EQ(Texts(*rows.items), row.texts);
        EXPECT_EQ(rows.items->GetCurSel(), row.selected);
    }
}

TEST_P(ListBoxSemantics, FindStringSearchesFromIndexOneAndWrapsToZero) {
    struct FindCase {
        const char* name;
        QString prefix;
        int found;
    };
    const FindCase cases[] = {
        {"prefix of a later row", "HTTP://A/", 1},
        {"case ignored", "http://a/B", 2},
        {"index 0 comes last", "<double", 0},
        {"no match", "ftp://", LB_ERR},
        {"longer than any text", "http://a/b/c/d/", LB_ERR},
    };
    Rows rows = GetParam()();
    for (const char* text : {"<doubleclick>", "http://a/", "http://a/b/c/"}) {
        rows.items->AddString(text);
    }
    for (const FindCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(rows.items->FindString(row.prefix), row.found);
    }
}

INSTANTIATE_TEST_SUITE_P(Implementations, ListBoxSemantics,
                         ::testing::Values(std::function<Rows()>(MakeVector),
                                           std::function<Rows()>(MakeWidget)),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "Vector" : "ListWidget");
                         });

}  // namespace
}  // namespace torv
