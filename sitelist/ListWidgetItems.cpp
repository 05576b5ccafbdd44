#include "sitelist/ListWidgetItems.h"

#include <QListWidget>
#include <memory>

namespace torv {

namespace {

bool Valid(const QListWidget* list, int index) {
    return index >= 0 && index < list->count();
}

}  // namespace

int CListWidgetItems::GetCount() const {
    return m_list->count();
}

int CListWidgetItems::AddString(const QString& text) {
    return InsertString(-1, text);
}

int CListWidgetItems::InsertString(int index, const QString& text) {
    if (index == -1) {
        index = m_list->count();
    }
    if (index < 0 || index > m_list->count()) {
        return LB_ERR;
    }
    auto* item = new QListWidgetItem(text);  // the list takes it over at once
    item->setData(Qt::UserRole, 0);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    m_list->insertItem(index, item);
    return index;
}

void CListWidgetItems::DeleteString(int index) {
    if (!Valid(m_list, index)) {
        return;
    }
    const bool wasSelected = GetCurSel() == index;
    const std::unique_ptr<QListWidgetItem> taken(m_list->takeItem(index));
    if (wasSelected) {
        // The view would move the selection to a neighbour; a list box drops it.
        SetCurSel(-1);
    }
}

void CListWidgetItems::ReplaceString(int index, const QString& text) {
    if (!Valid(m_list, index)) {
        return;
    }
    // In place: the view neither relayouts nor scrolls, which keeps long reorders cheap.
    const bool wasSelected = GetCurSel() == index;
    QListWidgetItem* item = m_list->item(index);
    item->setText(text);
    item->setData(Qt::UserRole, 0);
    if (wasSelected) {
        SetCurSel(-1);
    }
}

QString CListWidgetItems::GetText(int index) const {
    return Valid(m_list, index) ? m_list->item(index)->text() : QString();
}

int CListWidgetItems::GetItemData(int index) const {
    return Valid(m_list, index) ? m_list->item(index)->data(Qt::UserRole).toInt() : LB_ERR;
}

void CListWidgetItems::SetItemData(int index, int data) {
    if (Valid(m_list, index)) {
        m_list->item(index)->setData(Qt::UserRole, data);
    }
}

int CListWidgetItems::GetCurSel() const {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->row(selected.first());
}

void CListWidgetItems::SetCurSel(int index) {
    if (Valid(m_list, index)) {
        m_list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    } else {
        m_list->clearSelection();
        m_list->setCurrentItem(nullptr);
    }
}

}  // namespace torv
