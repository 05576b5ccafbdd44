#include "sitelist/SiteListCore.h"

namespace torv {

namespace {

bool IsFinal(int state) {
    return state == SITE_VALID || state == SITE_INVALID;
}

int SiteStateOfAnswer(uint16_t code) {
    switch (code) {
        case SITESTATE_CHECKING:
            return SITE_CHECKING;
        case SITESTATE_VALID:
            return SITE_VALID;
        case SITESTATE_INVALID:
            return SITE_INVALID;
        default:
            return SITE_UNCHECKED;
    }
}

}  // namespace

void CSiteListCore::AddPromptLine() {
    const int index = m_items.AddString(kSitePromptLine);
    m_items.SetItemData(index, 0);
}

int CSiteListCore::GetSiteState(int index) const {
    if (index < 0 || index >= m_items.GetCount()) {
        return SITE_UNCHECKED;
    }
    return m_items.GetItemData(index);
}

void CSiteListCore::SetSiteState(int index, int state) {
    if (index >= 0 && index < m_items.GetCount()) {
        m_items.SetItemData(index, state);
    }
}

void CSiteListCore::AppendSite(const QString& url) {
    if (url == kBlankSite || url == QLatin1String("https://")) {
        return;
    }
    const int index = m_items.AddString(url);
    SetSiteState(index, SITE_UNCHECKED);
    CheckSite(index);
    PlaceSite(index);
}

int CSiteListCore::AddBlankSite() {
    const int index = m_items.AddString(kBlankSite);
    SetSiteState(index, SITE_UNCHECKED);
    return index;
}

int CSiteListCore::InsertBlankSite(int index) {
    const int inserted = m_items.InsertString(index == 0 ? 1 : index, kBlankSite);
    SetSiteState(inserted, SITE_UNCHECKED);
    return inserted;
}

void CSiteListCore::DeleteSite(int index) {
    if (index < 1 || index >= m_items.GetCount()) {
        return;
    }
    m_items.DeleteString(index);
    m_items.SetCurSel(index < m_items.GetCount() ? index : index - 1);
}

void CSiteListCore::SwapItems(int i, int j) {
    const int count = m_items.GetCount();
    if (i < 1 || j < 1 || i >= count || j >= count) {
        return;
    }
    const QString textI = m_items.GetText(i);
    const QString textJ = m_items.GetText(j);
    const int stateI = GetSiteState(i);
    const int stateJ = GetSiteState(j);
    ReplaceItem(j, textI, stateI);
    ReplaceItem(i, textJ, stateJ);
}

void CSiteListCore::ReplaceItem(int index, const QString& text, int state) {
    // Beyond the last row there is nothing to replace (the delete would fail and the insert
    // would append a stray row).
    if (index < 1 || index >= m_items.GetCount()) {
        return;
    }
    m_items.ReplaceString(index, text);
    SetSiteState(index, state);
}

void CSiteListCore::MoveSiteUp(int index) {
    if (index < 2 || index >= m_items.GetCount()) {
        return;
    }
    if (m_bAutoOrder && GetSiteState(index) == SITE_INVALID &&
        GetSiteState(index - 1) == SITE_VALID) {
        return;
    }
    SwapItems(index - 1, index);
    m_items.SetCurSel(index - 1);
}

void CSiteListCore::MoveSiteDown(int index) {
    if (index < 1 || index >= m_items.GetCount() - 1) {
        return;
    }
    if (m_bAutoOrder && GetSiteState(index) == SITE_VALID &&
        GetSiteState(index + 1) == SITE_INVALID) {
        return;
    }
    SwapItems(index, index + 1);
    m_items.SetCurSel(index + 1);
}

bool CSiteListCore::BeginEdit(int index) {
    if (m_bEditing || index < 1 || index >= m_items.GetCount() ||
        GetSiteState(index) == SITE_CHECKING) {
        return false;
    }
    m_bEditing = true;
    m_nEditSavedState = GetSiteState(index);
    m_heldState.reset();
    SetSiteState(index, SITE_EDITING);
    return true;
}

void CSiteListCore::EndEdit(bool keep, const QString& editorText) {
    if (!m_bEditing) {
        return;
    }
    m_bEditing = false;
    const std::optional<int> held = std::exchange(m_heldState, std::nullopt);
    const int restored = held.value_or(m_nEditSavedState);
    m_nEditSavedState = 0;

    int i = m_items.GetCurSel();
    if (GetSiteState(i) != SITE_EDITING || i < 1) {
        // The selection moved off the edited row: the edit belongs to that row, not to the
        // selection, or the row would stay in the editing state for good.
        i = FindEditedSite();
        if (i < 1) {
            return;
        }
    }

    bool restore = !keep;
    if (keep) {
        const QString newText = editorText.trimmed();
        const QString oldText = m_items.GetText(i);
        if (newText == oldText && newText != kBlankSite) {
            restore = true;
        } else {
            m_items.DeleteString(i);
            if (newText != kBlankSite) {
                const int at = m_items.InsertString(i, newText);
                SetSiteState(at, SITE_UNCHECKED);
                m_items.SetCurSel(at);
                CheckSite(at);
            }
        }
    }
    if (restore) {
        if (held && IsFinal(restored)) {
            ApplyFinalState(i, restored);
        } else {
            SetSiteState(i, restored);
        }
    }

    if (i >= 2) {
        PlaceSite(i - 1);
    } else if (i + 1 < m_items.GetCount()) {
        PlaceSite(i + 1);
    }
}

int CSiteListCore::FindEditedSite() const {
    for (int i = 1; i < m_items.GetCount(); ++i) {
        if (GetSiteState(i) == SITE_EDITING) {
            return i;
        }
    }
    return -1;
}

void CSiteListCore::CheckSite(int index) {
    if (index < 1 || index >= m_items.GetCount()) {
        return;
    }
    const int state = GetSiteState(index);
    if (state == SITE_CHECKING || state == SITE_EDITING) {
        return;
    }
    SetSiteState(index, SITE_UNCHECKED);
    if (!m_post) {
        return;
    }
    auto request = std::make_unique<CSiteCheckRequest>();
    request->m_strUrl = m_items.GetText(index);
    request->m_nId = m_idMap.Add(request->m_strUrl);
    m_post(std::move(request));
}

void CSiteListCore::CheckAllSites() {
    for (int i = 1; i < m_items.GetCount(); ++i) {
        const int state = GetSiteState(i);
        if (state != SITE_CHECKING && state != SITE_EDITING) {
            CheckSite(i);
        }
    }
}

int CSiteListCore::FindSite(const QString& url) const {
    if (url.isEmpty()) {
        // Every text begins with the empty one; the answer for an empty site belongs to an empty
        // site only, not to whichever site comes first.
        for (int i = 1; i < m_items.GetCount(); ++i) {
            if (m_items.GetText(i).isEmpty()) {
                return i;
            }
        }
        return LB_ERR;
    }
    return m_items.FindString(url);
}

void CSiteListCore::ApplyFinalState(int index, int state) {
    SetSiteState(index, state);
    const int current = m_items.GetCurSel();
    PlaceSite(index);
    m_items.SetCurSel(current);
}

int CSiteListCore::OnSiteState(uint32_t wParam, intptr_t /*lParam*/) {
    const int newState = SiteStateOfAnswer(LowWord(wParam));
    const uint16_t id = HighWord(wParam);
    QString url;
    if (!m_idMap.Lookup(id, url)) {
        return 1;
    }
    const int index = FindSite(url);
    if (index > 0) {
        if (m_bEditing && GetSiteState(index) == SITE_EDITING) {
            m_heldState = newState;
        } else if (IsFinal(newState)) {
            ApplyFinalState(index, newState);
        } else {
            SetSiteState(index, newState);
        }
    }
    if (newState != SITE_CHECKING) {
        m_idMap.RemoveKey(id);
    }
    return 1;
}

int CSiteListCore::CompareSites(int a, int b) const {
    if (a == 0) {
        return -1;
    }
    if (b == 0) {
        return 1;
    }
    if (!m_bAutoOrder) {
        return 0;
    }
    const int stateA = GetSiteState(a);
    const int stateB = GetSiteState(b);
    if (stateA == SITE_EDITING || stateB == SITE_EDITING) {
        return 0;
    }
    if (stateA == SITE_VALID) {
        return stateB == SITE_VALID ? 0 : -1;
    }
    if (stateB == SITE_VALID) {
        return 1;
    }
    if (stateA == SITE_INVALID) {
        return stateB == SITE_INVALID ? 0 : 1;
    }
    if (stateB == SITE_INVALID) {
        return -1;
    }
    return 0;
}

void CSiteListCore::PlaceSite(int index) {
    const int count = m_items.GetCount();
    if (index < 1 || index >= count) {
        return;
    }
    while (CompareSites(index, index - 1) < 0) {
        SwapItems(index, index - 1);
        --index;
    }
    while (index + 1 < count && CompareSites(index, index + 1) > 0) {
        SwapItems(index, index + 1);
        ++index;
    }
}

void CSiteListCore::OnRevalidateSite() {
    m_bAutoOrder = true;
    CheckSite(m_items.GetCurSel());
}

void CSiteListCore::OnDeleteInvalidSites() {
    const int current = m_items.GetCurSel();
    const QString remembered = m_items.GetText(current);
    for (int i = m_items.GetCount() - 1; i >= 1; --i) {
        while (i < m_items.GetCount() && GetSiteState(i) == SITE_INVALID) {
            DeleteSite(i);
        }
    }
    const int found = current < 0 ? LB_ERR : m_items.FindString(remembered);
    m_items.SetCurSel(found >= 1 ? found : 0);
}

void CSiteListCore::OnAutoOrderSites() {
    m_bAutoOrder = !m_bAutoOrder;
    if (!m_bAutoOrder) {
        return;
    }
    const int selected = m_items.GetCurSel();
    const int count = m_items.GetCount();
    for (int j = 2; j < count; ++j) {
        for (int k = j; k > 1 && CompareSites(k, k - 1) < 0; --k) {
            SwapItems(k, k - 1);
        }
    }
    m_items.SetCurSel(selected);
}

}  // namespace torv
