#include "sitelist/VectorListBox.h"

namespace torv {

int CVectorListBox::AddString(const QString& text) {
    return InsertString(-1, text);
}

int CVectorListBox::InsertString(int index, const QString& text) {
    if (index == -1) {
        index = GetCount();
    }
    if (index < 0 || index > GetCount()) {
        return LB_ERR;
    }
    m_rows.insert(index, Row{text, 0});
    if (m_nCurSel >= index) {
        ++m_nCurSel;
    }
    return index;
}

void CVectorListBox::DeleteString(int index) {
    if (!valid(index)) {
        return;
    }
    m_rows.removeAt(index);
    if (m_nCurSel == index) {
        m_nCurSel = -1;
    } else if (m_nCurSel > index) {
        --m_nCurSel;
    }
}

void CVectorListBox::ReplaceString(int index, const QString& text) {
    if (!valid(index)) {
        return;
    }
    m_rows[index] = Row{text, 0};
    if (m_nCurSel == index) {
        m_nCurSel = -1;
    }
}

QString CVectorListBox::GetText(int index) const {
    return valid(index) ? m_rows[index].text : QString();
}

int CVectorListBox::GetItemData(int index) const {
    return valid(index) ? m_rows[index].data : LB_ERR;
}

void CVectorListBox::SetItemData(int index, int data) {
    if (valid(index)) {
        m_rows[index].data = data;
    }
}

void CVectorListBox::SetCurSel(int index) {
    m_nCurSel = valid(index) ? index : -1;
}

}  // namespace torv
