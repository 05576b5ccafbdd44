// List-box semantics over a QListWidget: the row text is the item text, the item data sits in
// Qt::UserRole, and "selected" is the single selected row.
#pragma once

#include "sitelist/ListBoxItems.h"

class QListWidget;

namespace torv {

class CListWidgetItems final : public IListBoxItems {
public:
    explicit CListWidgetItems(QListWidget* list) : m_list(list) {}

    int GetCount() const override;
    int AddString(const QString& text) override;
    int InsertString(int index, const QString& text) override;
    void DeleteString(int index) override;
    void ReplaceString(int index, const QString& text) override;
    QString GetText(int index) const override;
    int GetItemData(int index) const override;
    void SetItemData(int index, int data) override;
    int GetCurSel() const override;
    void SetCurSel(int index) override;

private:
    QListWidget* m_list;  // not owned
};

}  // namespace torv
