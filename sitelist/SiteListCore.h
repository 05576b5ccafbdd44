// The site list without its window: the rows (row 0 the prompt line, then one site each with its
// state as item data), editing state, check requests and results, and the site order. The widget
// CSiteListBox turns mouse, keys and menu into calls on this.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "sitelist/ListBoxItems.h"
#include "sitelist/SiteIdMap.h"
#include "workers/SiteCheckRequest.h"

namespace torv {

enum SiteState {
    SITE_UNCHECKED = 0,
    SITE_CHECKING = 1,
    SITE_INVALID = 2,
    SITE_VALID = 3,
    SITE_EDITING = 4,
};

inline const QString kSitePromptLine =
    QStringLiteral("<Doubleclick to add new site or drop file to search>");
inline const QString kBlankSite = QStringLiteral("http://");

class CSiteListCore {
public:
    // Hands a request to the check worker; empty when there is none.
    using PostCheck = std::function<void(std::unique_ptr<CSiteCheckRequest>)>;

    explicit CSiteListCore(IListBoxItems& items) : m_items(items) {}

    void SetCheckPoster(PostCheck post) { m_post = std::move(post); }

    const CSiteIdMap& IdMap() const { return m_idMap; }
    CSiteIdMap& IdMap() { return m_idMap; }

    void AddPromptLine();
    int GetSiteState(int index) const;
    void SetSiteState(int index, int state);

    // Appends url as an unchecked site, checks and places it; a bare "http://" or "https://" is
    // ignored.
    void AppendSite(const QString& url);

    int AddBlankSite();
    int InsertBlankSite(int index);
    void DeleteSite(int index);
    void SwapItems(int i, int j);
    void ReplaceItem(int index, const QString& text, int state);
    void MoveSiteUp(int index);
    void MoveSiteDown(int index);

    // True when the site at index is now open for editing.
    bool BeginEdit(int index);
    // Closes the edit of the current site: keep false discards it, editorText is what the editor
    // holds. A result that arrived for the site during the edit is applied now.
    void EndEdit(bool keep, const QString& editorText);
    bool IsEditing() const { return m_bEditing; }

    void CheckSite(int index);
    void CheckAllSites();
    // WM_INET_SITESTATE: low word the answer code, high word the request id. Returns 1.
    int OnSiteState(uint32_t wParam, intptr_t lParam);
    int CompareSites(int a, int b) const;
    void PlaceSite(int index);

    void OnRevalidateSite();
    void OnRevalidateAllSites() { CheckAllSites(); }
    void OnDeleteInvalidSites();
    void OnAutoOrderSites();
    bool IsAutoOrder() const { return m_bAutoOrder; }

private:
    int FindSite(const QString& url) const;
    int FindEditedSite() const;
    void ApplyFinalState(int index, int state);

    IListBoxItems& m_items;
    PostCheck m_post;
    CSiteIdMap m_idMap;
    bool m_bAutoOrder = true;
    bool m_bEditing = false;
    int m_nEditSavedState = 0;
    std::optional<int> m_heldState;  // a result for the edited site, held until the edit ends
};

}  // namespace torv
