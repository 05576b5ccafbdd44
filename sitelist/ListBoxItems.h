// The list-box operations the site list relies on, over any ordered list of (text, state) rows
// with at most one selected row: the site logic runs on this, a widget or a plain vector.
#pragma once

#include <QString>

namespace torv {

constexpr int LB_ERR = -1;

class IListBoxItems {
public:
    virtual ~IListBoxItems() = default;

    virtual int GetCount() const = 0;
    // Appends; returns the new index.
    virtual int AddString(const QString& text) = 0;
    // Inserts before index; -1 appends; LB_ERR when index is beyond the count. Item data starts
    // at 0. A selected row stays selected as it moves.
    virtual int InsertString(int index, const QString& text) = 0;
    // Later rows move up; deleting the selected row leaves no selection.
    virtual void DeleteString(int index) = 0;
    // The row's text becomes text and its data 0, as deleting it and inserting text at its
    // index would (a selection on it is dropped), without moving any other row.
    virtual void ReplaceString(int index, const QString& text) = 0;
    // Empty for an index out of range.
    virtual QString GetText(int index) const = 0;
    // LB_ERR for an index out of range.
    virtual int GetItemData(int index) const = 0;
    virtual void SetItemData(int index, int data) = 0;
    // -1 when nothing is selected.
    virtual int GetCurSel() const = 0;
    // An index out of range (-1 included) clears the selection.
    virtual void SetCurSel(int index) = 0;

    // The first row, searching from index 1 to the end and then index 0, whose text begins with
    // prefix, letters compared without regard to case; LB_ERR when none.
    int FindString(const QString& prefix) const;
};

}  // namespace torv
