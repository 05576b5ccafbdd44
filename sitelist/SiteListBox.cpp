#include "sitelist/SiteListBox.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "common/PumpMessages.h"
#include "res/Menus.h"
#include "sitelist/SiteEdit.h"
#include "sitelist/TextProgressCtrl.h"
#include "workers/InternetThread.h"
#include "workers/MemDC.h"

// Resources compiled into a static library must be registered by name from linked code.
static void initSiteListResources() {
    Q_INIT_RESOURCE(sitelist);
}

namespace torv {

namespace {

constexpr int kImageIndent = 20;
constexpr int kImageHitWidth = 18;  // a double-click left of this re-checks the site
const QString kEditSiteText = QStringLiteral("Edit Site");

// Images by site state 0..3.
constexpr int kStateBitmaps[4] = {143, 141, 145, 147};

// The local files a drag carries, in its order.
QStringList DroppedPaths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    return paths;
}

}  // namespace

class CSiteListBox::ItemDelegate : public QStyledItemDelegate {
public:
    explicit ItemDelegate(CSiteListBox* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        m_list->DrawItem(painter, option, index.row());
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(1, m_list->ItemHeight());
    }

private:
    CSiteListBox* m_list;
};

CSiteListBox::CSiteListBox(QWidget* parent) : QListWidget(parent), m_items(this), m_core(m_items) {
    Initialize(CInternetThread::Begin());
}

CSiteListBox::CSiteListBox(ISiteChecker* checker, QWidget* parent)
    : QListWidget(parent), m_items(this), m_core(m_items) {
    Initialize(checker);
}

CSiteListBox::~CSiteListBox() {
    disconnect(m_edit, nullptr, this, nullptr);
    if (m_pCheckThread) {
        m_pCheckThread->PostQuit();
        m_pCheckThread = nullptr;
    }
}

void CSiteListBox::Initialize(ISiteChecker* checker) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setFocusPolicy(Qt::StrongFocus);
    m_itemHeight = std::max(fontMetrics().height(), 15) + 2;
    setItemDelegate(new ItemDelegate(this));

    m_core.AddPromptLine();

    m_edit = new CSiteEdit(this, viewport());
    m_edit->setGeometry(0, 0, 100, 10);
    connect(m_edit, &CSiteEdit::KillFocus, this, [this] { EndEdit(true); });

    m_progress = new CTextProgressCtrl(viewport());
    m_progress->hide();
    executeDelayedItemsLayout();
    m_progress->setGeometry(visualItemRect(item(0)));
    m_progress->raise();

    initSiteListResources();
    for (int state = 0; state < 4; ++state) {
        m_bmpState[state] =
            QImage(QStringLiteral(":/torv/bitmaps/%1.bmp").arg(kStateBitmaps[state]));
        CreateMaskBitmap(m_bmpState[state], m_bmpMask[state], QPoint(0, 0));
    }

    m_pCheckThread = checker;
    if (m_pCheckThread) {
        m_core.SetCheckPoster([this](std::unique_ptr<CSiteCheckRequest> request) {
            m_pCheckThread->PostCheckSite(this, std::move(request));
        });
    }

    // Scrolling with the bar commits an open edit before the bar moves.
    verticalScrollBar()->installEventFilter(this);

    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

bool CSiteListBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == verticalScrollBar()) {
        if (event->type() == QEvent::MouseButtonPress) {
            EndEdit(true);
        } else if (event->type() == QEvent::Wheel && IsEditing()) {
            return true;
        }
    }
    return QListWidget::eventFilter(watched, event);
}

void CSiteListBox::AppendSite(const QString& url) {
    m_core.AppendSite(url);
}

QStringList CSiteListBox::Sites() const {
    QStringList sites;
    for (int i = 1; i < count(); ++i) {
        sites.append(item(i)->text());
    }
    return sites;
}

int CSiteListBox::GetTopIndex() const {
    const QModelIndex top = indexAt(QPoint(0, 0));
    return top.isValid() ? top.row() : 0;
}

void CSiteListBox::EditSite(int index) {
    if (index != m_items.GetCurSel()) {
        m_items.SetCurSel(index);
    }
    BeginEdit(index);
}

void CSiteListBox::BeginEdit(int index) {
    if (!m_core.BeginEdit(index)) {
        return;
    }
    // Qt hands the focus to whatever takes clicks before the list sees the button, and losing it
    // ends the edit: a right-click must leave it open, so the list takes the focus itself, for
    // the other buttons only (mousePressEvent).
    setFocusPolicy(Qt::TabFocus);
    executeDelayedItemsLayout();
    scrollToItem(item(index));
    const QRect R = visualItemRect(item(index));
    const QRect L = viewport()->rect();
    const int f = m_edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, m_edit);
    const int d = (2 * f - R.height() + m_itemHeight) / 2;
    m_edit->setGeometry(QRect(QPoint(R.left(), R.top() - d), QPoint(L.right(), R.bottom() + d)));
    m_edit->setText(m_items.GetText(index));
    m_edit->show();
    m_edit->setFocus(Qt::OtherFocusReason);
}

void CSiteListBox::EndEdit(bool accept) {
    if (!m_core.IsEditing()) {
        return;
    }
    setFocusPolicy(Qt::StrongFocus);
    const bool keep = accept && !m_edit->m_bCancel;
    const bool editorHadFocus = m_edit->hasFocus();
    m_core.EndEdit(keep, m_edit->ConfirmedText());
    if (editorHadFocus) {
        setFocus(Qt::OtherFocusReason);  // not wherever hiding the editor would send it
    }
    m_edit->hide();
}

void CSiteListBox::OnCommand(int id) {
    switch (id) {
        case res::ID_SITE_ADD:
            OnAddSite();
            break;
        case res::ID_SITE_EDIT:
            OnEditSite();
            break;
        case res::ID_SITE_INSERT:
            OnInsertSite();
            break;
        case res::ID_SITE_DELETE:
            OnDeleteSite();
            break;
        case res::ID_SITE_MOVEUP:
            OnMoveSiteUp();
            break;
        case res::ID_SITE_MOVEDOWN:
            OnMoveSiteDown();
            break;
        case res::ID_SITE_REVALIDATE:
            m_core.OnRevalidateSite();
            break;
        case res::ID_SITE_REVALIDATEALL:
            m_core.OnRevalidateAllSites();
            break;
        case res::ID_SITE_DELETEINVALID:
            m_core.OnDeleteInvalidSites();
            break;
        case res::ID_SITE_AUTOORDER:
            m_core.OnAutoOrderSites();
            break;
        default:
            break;
    }
}

void CSiteListBox::OnAddSite() {
    EditSite(m_core.AddBlankSite());
}
void CSiteListBox::OnInsertSite() {
    EditSite(m_core.InsertBlankSite(GetCurSel()));
}
void CSiteListBox::OnDeleteSite() {
    m_core.DeleteSite(GetCurSel());
}
void CSiteListBox::OnEditSite() {
    EditSite(GetCurSel());
}
void CSiteListBox::OnMoveSiteUp() {
    m_core.MoveSiteUp(GetCurSel());
}
void CSiteListBox::OnMoveSiteDown() {
    m_core.MoveSiteDown(GetCurSel());
}

std::unique_ptr<QMenu> CSiteListBox::CreateContextMenu(int item) const {
    auto menu = std::make_unique<QMenu>();
    const res::MenuTemplate* resource = res::FindMenu(res::IDR_SITELIST_MENU);
    if (!resource) {
        return menu;
    }
    menu->setTitle(QString::fromUtf8(resource->popupTitle));
    for (const res::MenuItemTemplate& entry : resource->items) {
        if (entry.id == 0) {
            menu->addSeparator();
        } else {
            menu->addAction(QString::fromUtf8(entry.text))->setData(entry.id);
        }
    }
    const auto action = [&menu](int id) -> QAction* {
        for (QAction* candidate : menu->actions()) {
            if (candidate->data().toInt() == id) {
                return candidate;
            }
        }
        return nullptr;
    };
    const auto grey = [&action](int id) {
        if (QAction* found = action(id)) {
            found->setEnabled(false);
        }
    };

    if (item == 0) {
        grey(res::ID_SITE_INSERT);
        grey(res::ID_SITE_DELETE);
        grey(res::ID_SITE_MOVEUP);
        grey(res::ID_SITE_MOVEDOWN);
        grey(res::ID_SITE_REVALIDATE);
        return menu;
    }
    if (item == 1) {
        grey(res::ID_SITE_MOVEUP);
    } else if (item == count() - 1) {
        grey(res::ID_SITE_MOVEDOWN);
    }
    const QList<QAction*> actions = menu->actions();
    auto* edit = new QAction(kEditSiteText, menu.get());
    edit->setData(int(res::ID_SITE_EDIT));
    menu->insertAction(actions.size() > 1 ? actions[1] : nullptr, edit);
    if (QAction* autoOrder = action(res::ID_SITE_AUTOORDER)) {
        autoOrder->setCheckable(true);
        autoOrder->setChecked(m_core.IsAutoOrder());
    }
    return menu;
}

int CSiteListBox::ItemFromPoint(const QPoint& point) const {
    if (count() == 0) {
        return -1;
    }
    const QModelIndex hit = indexAt(point);
    if (hit.isValid()) {
        return hit.row();
    }
    const int row = GetTopIndex() + (point.y() < 0 ? -1 : point.y() / std::max(m_itemHeight, 1));
    return std::clamp(row, 0, count() - 1);
}

void CSiteListBox::ShowSearchProgress(const QString& path, qint64 length) {
    if (m_bSearching) {
        return;
    }
    m_bSearching = true;
    m_progress->setWindowTitle(QStringLiteral("Searching %1").arg(QFileInfo(path).fileName()));
    m_progress->ShowPercent();
    PlaceProgressOnTopItem(true);
    m_progress->setValue(0);
    m_progress->setRange(0, int(std::clamp<qint64>(length, 0, INT_MAX)));
    m_progress->show();
    viewport()->update();
}

void CSiteListBox::SetSearchProgress(int position) {
    if (m_bSearching) {
        // The coarse line counts overshoot the length; the bar would ignore such a value.
        m_progress->setValue(std::clamp(position, m_progress->minimum(), m_progress->maximum()));
    }
}

void CSiteListBox::HideSearchProgress() {
    if (!m_bSearching) {
        return;
    }
    m_bSearching = false;
    m_progress->hide();
    viewport()->update();
}

void CSiteListBox::SearchDroppedFiles(const QStringList& paths) {
    torv::SearchDroppedFiles(paths, *this);
}

bool CSiteListBox::PumpMessages() {
    const QPointer<CSiteListBox> self(this);
    torv::PumpMessages();
    return !self.isNull();
}

void CSiteListBox::PlaceProgressOnTopItem(bool repaint) {
    if (count() == 0) {
        return;
    }
    const QRect top = visualItemRect(item(GetTopIndex()));
    if (m_progress->geometry() != top) {
        m_progress->setGeometry(top);
    }
    if (repaint) {
        m_progress->update();
    }
}

void CSiteListBox::DrawItem(QPainter* painter, const QStyleOptionViewItem& option, int index) {
    QRect rc = option.rect;
    if (m_bSearching) {
        PlaceProgressOnTopItem(true);
        if (index == GetTopIndex()) {
            return;  // under the bar
        }
    }
    const QString text = m_items.GetText(index);
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QColor background = palette().color(selected ? QPalette::Highlight : QPalette::Base);
    painter->setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setBackground(background);
    painter->fillRect(rc, background);

    const int state = m_core.GetSiteState(index);
    if (index != 0 && state >= 0 && state < 4) {
        {
            CMemDC surface(painter, &rc);
            const QImage& image = m_bmpState[state];
            surface.DrawTransparent(QRect(rc.topLeft(), image.size()).intersected(rc), image,
                                    m_bmpMask[state], 0, 0);
        }
        rc.setLeft(rc.left() + kImageIndent);
    }
    painter->drawText(rc, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->restore();
}

bool CSiteListBox::event(QEvent* event) {
    if (event->type() == CSiteStateEvent::EventType()) {
        m_core.OnSiteState(static_cast<CSiteStateEvent*>(event)->wParam(), 0);
        return true;
    }
    return QListWidget::event(event);
}

void CSiteListBox::mousePressEvent(QMouseEvent* event) {
    if (IsEditing()) {
        if (event->button() == Qt::RightButton) {
            event->accept();  // no menu and no new selection while an edit is open
            return;
        }
        setFocus(Qt::MouseFocusReason);  // a click elsewhere in the list ends the edit
    }
    // Like a list box, a click below the last row selects the nearest row instead of nothing.
    if (!indexAt(event->position().toPoint()).isValid() && count() > 0) {
        m_items.SetCurSel(ItemFromPoint(event->position().toPoint()));
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void CSiteListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    const int current = GetCurSel();
    if (current == 0) {
        EditSite(m_core.AddBlankSite());
    } else if (event->position().x() < kImageHitWidth) {
        m_core.CheckSite(current);
    } else {
        EditSite(current);
    }
    event->accept();
}

void CSiteListBox::keyPressEvent(QKeyEvent* event) {
    int current = GetCurSel();
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (current == 0) {
                current = m_core.AddBlankSite();
            }
            EditSite(current);
            event->accept();  // an edit, not the dialog's default button
            return;
        case Qt::Key_Insert:
            EditSite(m_core.InsertBlankSite(current));
            break;
        case Qt::Key_Delete:
            m_core.DeleteSite(current);
            break;
        case Qt::Key_Plus:
            if (keypad) {
                m_core.MoveSiteDown(current);
                event->accept();
                return;
            }
            break;
        case Qt::Key_Minus:
            if (keypad) {
                m_core.MoveSiteUp(current);
                event->accept();
                return;
            }
            break;
        default:
            break;
    }
    QListWidget::keyPressEvent(event);
}

void CSiteListBox::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (IsEditing()) {
        return;
    }
    const int item = ItemFromPoint(viewport()->mapFromGlobal(event->globalPos()));
    m_items.SetCurSel(item);
    std::unique_ptr<QMenu> menu = CreateContextMenu(item);
    if (QAction* chosen = menu->exec(event->globalPos())) {
        OnCommand(chosen->data().toInt());
    }
}

void CSiteListBox::wheelEvent(QWheelEvent* event) {
    if (IsEditing()) {
        event->accept();  // the editor would be left behind its row
        return;
    }
    QListWidget::wheelEvent(event);
}

void CSiteListBox::scrollContentsBy(int dx, int dy) {
    QListWidget::scrollContentsBy(dx, dy);
    if (m_bSearching) {
        PlaceProgressOnTopItem(false);
    }
}

void CSiteListBox::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void CSiteListBox::dragMoveEvent(QDragMoveEvent* event) {
    if (DroppedPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void CSiteListBox::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The search runs from the queue, so the drag source is released at once; a drop during a
    // search still runs inside it, at its next pump.
    QMetaObject::invokeMethod(
        this, [this, paths] { SearchDroppedFiles(paths); }, Qt::QueuedConnection);
}

}  // namespace torv
