// What assistive technologies (screen readers, magnifiers, automation) see of the windows
// that paint their own lines: Qt's bridge reads Qt's widgets by itself, but a child window
// drawing records into a surface would be an empty pane. A window with a ListAccess shows
// itself as a list of its records, each row with its line and its cells by column.
// Also: high contrast, and the palette colours painted windows take then.
#include <QAccessibleWidget>
#include <QFocusEvent>
#include <QPalette>

#include "platform/gui/Internal.h"

namespace gui {

AccessHook g_AccessHook = nullptr;

bool AccessListening() {
    return g_AccessHook || QAccessible::isActive();
}
void Tell(QAccessibleEvent& e) {
    if (g_AccessHook)
        g_AccessHook(&e);
    else
        QAccessible::updateAccessibility(&e);
}

namespace {

class ListIface;

// What the painted parts of a list share: no object of their own, no children, read only.
class LeafIface : public QAccessibleInterface {
public:
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}
};

// A column header: reachable from the table and from every cell of its column.
class HeaderIface : public LeafIface {
public:
    HeaderIface(ListIface* list, int column) : m_List(list), m_Column(column) {}
    bool isValid() const override;
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    QAccessible::State state() const override { return {}; }

private:
    ListIface* m_List;
    int m_Column;
};

class RowIface;

// One text of a record, under the column's header.
class CellIface : public LeafIface, public QAccessibleTableCellInterface {
public:
    CellIface(RowIface* row, int column) : m_Row(row), m_Column(column) {}
    bool isValid() const override;
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::TableCellInterface
                   ? static_cast<QAccessibleTableCellInterface*>(this)
                   : nullptr;
    }
    bool isSelected() const override;
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_Column; }
    int rowIndex() const override;
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override;

private:
    RowIface* m_Row;
    int m_Column;
};

// One record: its line as the name; the cells as children where the columns are known.
class RowIface : public QAccessibleInterface {
public:
    RowIface(ListIface* list, long index) : m_List(list), m_Index(index) {}
    ~RowIface() override {
        for (QAccessibleInterface* c : m_Cells) {
            if (c) QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(c));
        }
    }
    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* c) const override {
        for (int i = 0; i < int(m_Cells.size()); ++i) {
            if (m_Cells[size_t(i)] == c) return i;
        }
        return -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;

    ListIface* List() const { return m_List; }
    long Index() const { return m_Index; }
    QString Cell(int column) const;

private:
    ListIface* m_List;
    long m_Index;
    mutable std::vector<QAccessibleInterface*> m_Cells;
};

// The window itself: a list of its records; a plain pane while it has no ListAccess.
class ListIface : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ListIface(ChildWindow* w) : QAccessibleWidget(w, QAccessible::List), m_Window(w) {}
    ~ListIface() override { DropAll(); }

    const ListAccess* Access() const { return m_Window ? m_Window->m_Access.get() : nullptr; }
    ChildWindow* Window() const { return m_Window; }

    long Count() const {
        const ListAccess* a = Access();
        return a && a->count ? std::max(0L, a->count()) : 0;
    }
    long Current() const {
        const ListAccess* a = Access();
        return a && a->current ? a->current() : -1;
    }
    bool Shown(long index) const {
        const ListAccess* a = Access();
        if (!a || !a->top || !a->shown) return false;
        const long top = a->top();
        return index >= top && index < top + a->shown();
    }
    QRect GlobalRect(const Rect& r) const {
        if (!m_Window) return {};
        return QRect(m_Window->mapToGlobal(QPoint(r.left, r.top)), QSize(r.Width(), r.Height()));
    }
    int Columns() const {
        const ListAccess* a = Access();
        return a ? int(a->columns.size()) : 0;
    }

    RowIface* Row(long index) const {
        if (index < 0 || index >= Count()) return nullptr;
        auto it = m_Rows.find(index);
        if (it != m_Rows.end()) return it->second;
        auto* row = new RowIface(const_cast<ListIface*>(this), index);
        QAccessible::registerAccessibleInterface(row);
        m_Rows[index] = row;
        return row;
    }
    HeaderIface* Header(int column) const {
        if (column < 0 || column >= Columns()) return nullptr;
        if (m_Headers.size() < size_t(Columns())) m_Headers.resize(size_t(Columns()), nullptr);
        HeaderIface*& h = m_Headers[size_t(column)];
        if (!h) {
            h = new HeaderIface(const_cast<ListIface*>(this), column);
            QAccessible::registerAccessibleInterface(h);
        }
        return h;
    }
    // Rows far from the screen are let go as the view moves, so a long walk through a big
    // list keeps a page or so of row objects.
    void DropFar() {
        const ListAccess* a = Access();
        const long top = a && a->top ? a->top() : 0;
        const long page = std::max(1L, a && a->shown ? a->shown() : 1);
        const long current = Current();
        for (auto it = m_Rows.begin(); it != m_Rows.end();) {
            const long i = it->first;
            if (i == current || (i >= top - page && i < top + 2 * page)) {
                ++it;
                continue;
            }
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(it->second));
            it = m_Rows.erase(it);
        }
    }
    // All go when the records are replaced, and with the window (which is then half gone:
    // nothing of it is asked).
    void DropAll() {
        for (auto& [i, row] : m_Rows)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(row));
        m_Rows.clear();
        for (HeaderIface*& h : m_Headers) {
            if (h) QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(h));
            h = nullptr;
        }
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableInterface && Columns() > 0)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QAccessible::Role role() const override {
        return Access() ? QAccessible::List : QAccessible::Pane;
    }
    QString text(QAccessible::Text t) const override {
        if (m_Window && t == QAccessible::Name) {
            const QString own = m_Window->accessibleName();
            if (!own.isEmpty()) return own;
            return m_Window->m_Sub ? m_Window->m_Sub->windowTitle() : m_Window->windowTitle();
        }
        if (t == QAccessible::Description && Columns() > 0) {
            QStringList names;
            for (const std::string& c : Access()->columns) names << Q(c);
            return QStringLiteral("Columns: ") + names.join(QStringLiteral(", "));
        }
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return Access() ? int(std::min(Count(), 0x7FFFFFFFL)) : 0; }
    QAccessibleInterface* child(int index) const override {
        return Access() ? Row(index) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* c) const override {
        for (const auto& [i, row] : m_Rows) {
            if (row == c) return int(i);
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const ListAccess* a = Access();
        if (!a || !a->top || !a->shown || !a->rowRect) return nullptr;
        for (long i = a->top(), end = a->top() + a->shown(); i < end && i < Count(); ++i) {
            if (GlobalRect(a->rowRect(i)).contains(x, y)) return Row(i);
        }
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        if (!m_Window || !m_Window->hasFocus()) return nullptr;
        return Row(Current());
    }

    // The table: rows of records, columns of the header.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        RowIface* r = Row(row);
        return r ? r->child(column) : nullptr;
    }
    int selectedCellCount() const override { return Current() >= 0 ? Columns() : 0; }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> out;
        for (int c = 0; c < Columns(); ++c) {
            if (QAccessibleInterface* i = cellAt(int(Current()), c)) out << i;
        }
        return out;
    }
    QString columnDescription(int column) const override {
        return column >= 0 && column < Columns() ? Q(Access()->columns[size_t(column)]) : QString();
    }
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return Current() >= 0 ? 1 : 0; }
    int columnCount() const override { return Columns(); }
    int rowCount() const override { return int(std::min(Count(), 0x7FFFFFFFL)); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override {
        return Current() >= 0 ? QList<int>{int(Current())} : QList<int>{};
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override { return row >= 0 && row == Current(); }
    // The current record is moved with the keys, as a person does; not from outside.
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

private:
    QPointer<ChildWindow> m_Window;
    mutable std::map<long, RowIface*> m_Rows;
    mutable std::vector<HeaderIface*> m_Headers;
};

bool HeaderIface::isValid() const {
    return m_List->Window() && m_Column < m_List->Columns();
}
QWindow* HeaderIface::window() const {
    return m_List->window();
}
QAccessibleInterface* HeaderIface::parent() const {
    return m_List;
}
QString HeaderIface::text(QAccessible::Text t) const {
    return t == QAccessible::Name ? m_List->columnDescription(m_Column) : QString();
}
QRect HeaderIface::rect() const {
    const ListAccess* a = m_List->Access();
    if (!a || !a->rowRect || !m_List->Window()) return {};
    // The header band lies above the first line on the screen.
    const Rect first = a->rowRect(a->top ? a->top() : 0);
    return m_List->GlobalRect({first.left, 0, first.right, first.top});
}

bool CellIface::isValid() const {
    return m_Row->isValid() && m_Column < m_Row->List()->Columns();
}
QWindow* CellIface::window() const {
    return m_Row->window();
}
QAccessibleInterface* CellIface::parent() const {
    return m_Row;
}
QString CellIface::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) return m_Row->Cell(m_Column);
    if (t == QAccessible::Description) return m_Row->List()->columnDescription(m_Column);
    return {};
}
QRect CellIface::rect() const {
    return m_Row->rect();
}
QAccessible::State CellIface::state() const {
    QAccessible::State s = m_Row->state();
    s.focused = false;
    return s;
}
bool CellIface::isSelected() const {
    return m_Row->Index() == m_Row->List()->Current();
}
QList<QAccessibleInterface*> CellIface::columnHeaderCells() const {
    if (HeaderIface* h = m_Row->List()->Header(m_Column)) return {h};
    return {};
}
int CellIface::rowIndex() const {
    return int(m_Row->Index());
}
QAccessibleInterface* CellIface::table() const {
    return m_Row->List();
}

bool RowIface::isValid() const {
    return m_List->Window() && m_Index < m_List->Count();
}
QWindow* RowIface::window() const {
    return m_List->window();
}
QAccessibleInterface* RowIface::parent() const {
    return m_List;
}
int RowIface::childCount() const {
    return m_List->Columns();
}
QAccessibleInterface* RowIface::child(int index) const {
    if (index < 0 || index >= childCount()) return nullptr;
    if (m_Cells.size() < size_t(childCount())) m_Cells.resize(size_t(childCount()), nullptr);
    QAccessibleInterface*& c = m_Cells[size_t(index)];
    if (!c) {
        c = new CellIface(const_cast<RowIface*>(this), index);
        QAccessible::registerAccessibleInterface(c);
    }
    return c;
}
QString RowIface::text(QAccessible::Text t) const {
    const ListAccess* a = m_List->Access();
    if (t != QAccessible::Name || !a || !a->line || !isValid()) return {};
    // The line without the padding its columns end in.
    QString line = Q(a->line(m_Index));
    while (line.endsWith(QLatin1Char(' '))) line.chop(1);
    return line;
}
QString RowIface::Cell(int column) const {
    const ListAccess* a = m_List->Access();
    if (!a || !a->cells || !isValid()) return {};
    const std::vector<std::string> cells = a->cells(m_Index);
    return column < int(cells.size()) ? Q(cells[size_t(column)]).trimmed() : QString();
}
QRect RowIface::rect() const {
    const ListAccess* a = m_List->Access();
    if (!a || !a->rowRect || !m_List->Shown(m_Index)) return {};
    return m_List->GlobalRect(a->rowRect(m_Index));
}
QAccessible::State RowIface::state() const {
    QAccessible::State s;
    s.selectable = true;
    s.focusable = true;
    const bool current = m_Index == m_List->Current();
    s.selected = current;
    s.active = current;
    s.focused = current && m_List->Window() && m_List->Window()->hasFocus();
    s.invisible = !m_List->Shown(m_Index);
    s.offscreen = s.invisible;
    return s;
}

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* w = dynamic_cast<ChildWindow*>(object)) return new ListIface(w);
    return nullptr;
}

ListIface* IfaceOf(ChildWindow* c) {
    return dynamic_cast<ListIface*>(QAccessible::queryAccessibleInterface(c));
}

// The current record gets the focus and the selection, as a list view's item does.
void AnnounceCurrent(ChildWindow* c) {
    ListIface* list = IfaceOf(c);
    if (!list) return;
    RowIface* row = list->Row(list->Current());
    if (!row) return;
    if (c->hasFocus()) {
        QAccessibleEvent focus(row, QAccessible::Focus);
        Tell(focus);
    }
    QAccessibleEvent selection(row, QAccessible::Selection);
    Tell(selection);
}

}  // namespace

void InstallAccessibility() {
    QAccessible::installFactory(Factory);
}

void ChildWindow::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    // Qt tells of the window once this has returned; a reader then wants the record the
    // cursor is on.
    if (!m_Access || !AccessListening()) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (hasFocus()) AnnounceCurrent(this);
        },
        Qt::QueuedConnection);
}

void SetListAccess(Window w, ListAccess access) {
    ChildWindow* c = ChildOf(w);
    if (!c) return;
    c->m_Access = std::make_unique<ListAccess>(std::move(access));
}

void NotifyList(Window w, ListChange change) {
    ChildWindow* c = ChildOf(w);
    if (!c || !c->m_Access || !AccessListening()) return;
    ListIface* list = IfaceOf(c);
    if (!list) return;
    if (change == ListChange::Contents) {
        list->DropAll();
        QAccessibleTableModelChangeEvent reset(c, QAccessibleTableModelChangeEvent::ModelReset);
        Tell(reset);
        QAccessibleEvent reorder(c, QAccessible::ObjectReorder);
        Tell(reorder);
    } else {
        list->DropFar();
    }
    AnnounceCurrent(c);
}

void NotifyNameChanged(QWidget* w) {
    if (!w || !AccessListening()) return;
    QAccessibleEvent e(w, QAccessible::NameChanged);
    Tell(e);
}

void ReturnFocus(Window owner) {
    QWidget* w = WidgetOf(owner);
    if (w && w->window()->isVisible()) w->window()->activateWindow();
}

QString NameFromLabel(const QString& label) {
    QString name = label;
    name.remove(QLatin1Char('&'));
    name = name.trimmed();
    if (name.endsWith(QLatin1Char(':'))) name.chop(1);
    return name.trimmed();
}

// ---- high contrast ------------------------------------------------------------------------

bool HighContrast() {
    // Asked for by the desktop's theme (GNOME's HighContrast and HighContrastInverse, or
    // any "contrast" theme named for GTK), or for this program alone.
    const QByteArray own = qgetenv("QV_HIGH_CONTRAST");
    if (!own.isEmpty()) return own != "0";
    return qgetenv("GTK_THEME").toLower().contains("contrast");
}

Colour PaletteColour(SysColour which) {
    const QPalette p = QApplication::palette();
    QColor c;
    switch (which) {
        case SysColour::Text:
            c = p.color(QPalette::Active, QPalette::Text);
            break;
        case SysColour::Base:
            c = p.color(QPalette::Active, QPalette::Base);
            break;
        case SysColour::Highlight:
            c = p.color(QPalette::Active, QPalette::Highlight);
            break;
        case SysColour::HighlightedText:
            c = p.color(QPalette::Active, QPalette::HighlightedText);
            break;
    }
    return RGB(c.red(), c.green(), c.blue());
}

}  // namespace gui
