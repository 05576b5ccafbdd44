// The owner-drawn list of mission download sites: a prompt line on top, then one site per row with
// a state image; edited in place, checked in the background, kept in the order of the check
// results while auto-ordering is on, filled with the sites named in files dropped on it. The rows
// live in the widget; CSiteListCore holds the rules.
#pragma once

#include <QImage>
#include <QListWidget>
#include <array>
#include <memory>

#include "sitelist/DroppedFileSearch.h"
#include "sitelist/ListWidgetItems.h"
#include "sitelist/SiteListCore.h"

class QMenu;

namespace torv {

class CSiteEdit;
class CTextProgressCtrl;
class ISiteChecker;

class CSiteListBox : public QListWidget, public IDropSearchTarget {
    Q_OBJECT
public:
    // Starts its own check worker.
    explicit CSiteListBox(QWidget* parent = nullptr);
    // Uses checker (not owned; told to quit when the list goes); null: sites are never checked.
    CSiteListBox(ISiteChecker* checker, QWidget* parent);
    ~CSiteListBox() override;

    // Filling and reading back (the configuration dialog).
    void AppendSite(const QString& url) override;
    QStringList Sites() const;
    int FindString(const QString& prefix) const override { return m_items.FindString(prefix); }

    int GetSiteState(int index) const { return m_core.GetSiteState(index); }
    void SetSiteState(int index, int state) { m_core.SetSiteState(index, state); }
    int GetCurSel() const { return m_items.GetCurSel(); }
    void SetCurSel(int index) { m_items.SetCurSel(index); }
    int GetTopIndex() const;
    bool IsEditing() const { return m_core.IsEditing(); }

    void EditSite(int index);
    void BeginEdit(int index);
    void EndEdit(bool accept);

    // Menu 133's commands by id.
    void OnCommand(int id);
    virtual void OnAddSite();
    virtual void OnInsertSite();
    virtual void OnDeleteSite();
    virtual void OnEditSite();
    virtual void OnMoveSiteUp();
    virtual void OnMoveSiteDown();

    // The context menu as a right-click on item shows it.
    std::unique_ptr<QMenu> CreateContextMenu(int item) const;
    // The row nearest to a point of the viewport, inside a row or not; -1 in an empty list.
    int ItemFromPoint(const QPoint& point) const;

    // What a drop of these files does: each is searched in turn and its new sites appended.
    // Runs nested inside a search already under way; returns at once if the list is destroyed.
    void SearchDroppedFiles(const QStringList& paths);

    // The bar over the top row while a dropped file is searched.
    void ShowSearchProgress(const QString& path, qint64 length) override;
    // Out-of-range positions show as the nearest end of the range, as a list box's bar would.
    void SetSearchProgress(int position) override;
    void HideSearchProgress() override;
    bool IsSearching() const { return m_bSearching; }
    bool PumpMessages() override;

    CSiteEdit* Editor() const { return m_edit; }
    CTextProgressCtrl* Progress() const { return m_progress; }
    int ItemHeight() const { return m_itemHeight; }

    // One row, as the list paints it.
    void DrawItem(QPainter* painter, const QStyleOptionViewItem& option, int index);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class ItemDelegate;

    void Initialize(ISiteChecker* checker);
    void PlaceProgressOnTopItem(bool repaint);

    CListWidgetItems m_items;
    CSiteListCore m_core;
    CSiteEdit* m_edit = nullptr;              // child of the viewport
    CTextProgressCtrl* m_progress = nullptr;  // child of the viewport
    bool m_bSearching = false;
    std::array<QImage, 4> m_bmpState;
    std::array<QImage, 4> m_bmpMask;
    ISiteChecker* m_pCheckThread = nullptr;
    int m_itemHeight = 16;
};

}  // namespace torv
