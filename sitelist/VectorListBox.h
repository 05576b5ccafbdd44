// List-box rows in plain memory, for logic that runs without a window.
#pragma once

#include <QList>

#include "sitelist/ListBoxItems.h"

namespace torv {

class CVectorListBox final : public IListBoxItems {
public:
    int GetCount() const override { return int(m_rows.size()); }
    int AddString(const QString& text) override;
    int InsertString(int index, const QString& text) override;
    void DeleteString(int index) override;
    void ReplaceString(int index, const QString& text) override;
    QString GetText(int index) const override;
    int GetItemData(int index) const override;
    void SetItemData(int index, int data) override;
    int GetCurSel() const override { return m_nCurSel; }
    void SetCurSel(int index) override;

private:
    struct Row {
        QString text;
        int data = 0;
    };

    bool valid(int index) const { return index >= 0 && index < GetCount(); }

    QList<Row> m_rows;
    int m_nCurSel = -1;
};

}  // namespace torv
