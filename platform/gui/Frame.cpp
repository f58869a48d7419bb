// The frame: a main window around the MDI client, with the toolbar and the status bar, and
// the MDI children it holds.
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>

#include "platform/gui/Internal.h"

namespace gui {
namespace {

constexpr int kPlacementWaitMs = 1000;

QIcon StdIcon(int image) {
    struct Pair {
        const char* theme;
        QStyle::StandardPixmap fallback;
    };
    static const Pair pairs[] = {
        {"document-open", QStyle::SP_DialogOpenButton},
        {"document-new", QStyle::SP_FileIcon},
        {"document-properties", QStyle::SP_FileDialogDetailedView},
        {"edit-delete", QStyle::SP_TrashIcon},
        {"edit-find", QStyle::SP_FileDialogContentsView},
        {"edit-find-replace", QStyle::SP_BrowserReload},
        {"go-up", QStyle::SP_ArrowUp},
        {"go-down", QStyle::SP_ArrowDown},
    };
    if (image < 0 || image >= int(std::size(pairs))) return QIcon();
    QIcon fallback = QApplication::style()->standardIcon(pairs[image].fallback);
    return QIcon::fromTheme(QString::fromLatin1(pairs[image].theme), fallback);
}

}  // namespace

// ---- the frame -----------------------------------------------------------------------

FrameWindow::FrameWindow(const FrameSpec& spec, WindowProc proc) : m_Proc(std::move(proc)) {
    Register(this);
    setWindowTitle(Q(spec.title));
    if (g_Icon) setWindowIcon(*g_Icon);
    m_Mdi = new MdiClientArea(this);
    m_Mdi->setBackground(ToQColor(spec.clientBackground));
    setCentralWidget(m_Mdi);
    m_Tools = addToolBar(QStringLiteral("Toolbar"));
    m_Tools->setMovable(false);
    m_Tools->setFloatable(false);
    m_Tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_Tools->setContextMenuPolicy(Qt::PreventContextMenu);
    // The button that shows the buttons a narrow frame has no room for.
    if (auto* more = m_Tools->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("More buttons"));
    setContextMenuPolicy(Qt::NoContextMenu);
    statusBar()->setSizeGripEnabled(true);
    menuBar()->setNativeMenuBar(false);
    connect(m_Mdi, &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow* sub) { OnActivated(sub); });
    // From window to window without the mouse, as in other MDI programs.
    auto keys = [this](std::initializer_list<QKeySequence> seqs, bool next) {
        for (const QKeySequence& seq : seqs) {
            auto* sc = new QShortcut(seq, this);
            sc->setAutoRepeat(false);
            connect(sc, &QShortcut::activated, this, [this, next] {
                if (next)
                    m_Mdi->activateNextSubWindow();
                else
                    m_Mdi->activatePreviousSubWindow();
                if (QMdiSubWindow* sub = m_Mdi->activeSubWindow(); sub && sub->widget())
                    sub->widget()->setFocus(Qt::TabFocusReason);
            });
        }
    };
    keys({QKeySequence(Qt::CTRL | Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::Key_Tab)}, true);
    keys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)},
         false);
    // F6 takes the focus to the toolbar and back: its buttons are reachable without the mouse.
    auto* toTools = new QShortcut(QKeySequence(Qt::Key_F6), this);
    toTools->setAutoRepeat(false);
    connect(toTools, &QShortcut::activated, this, [this] { ToggleToolbarFocus(); });
    m_Requested = QRect(spec.x, spec.y, spec.width, spec.height);
    move(spec.x, spec.y);
    resize(spec.width, spec.height);
}
long FrameWindow::Deliver(const Message& m) {
    if (m_Destroyed && m.msg != Msg::Destroy) return 0;
    return m_Proc ? m_Proc(m_Handle, m) : 0;
}

// Placements are outer rectangles, title bar and borders included, as the configuration
// keeps them.
QRect FrameWindow::Actual() const {
    return frameGeometry();
}
void FrameWindow::SetOuter(const QRect& outer) {
    const QSize borders = frameGeometry().size() - size();
    move(outer.topLeft());
    resize(outer.width() - borders.width(), outer.height() - borders.height());
}
void FrameWindow::NoteBaseline() {
    if (!m_HaveBaseline) {
        m_Baseline = Actual();
        m_HaveBaseline = true;
    }
}
QRect FrameWindow::Placement() const {
    if (!m_HaveBaseline || Actual() == m_Baseline) return m_Requested;
    return Actual();
}

void FrameWindow::Destroy() {
    if (m_Destroyed) return;
    for (Window c : ChildHandles()) MdiDestroy(c);
    Deliver({Msg::Destroy, 0, 0, 0});
    m_Destroyed = true;
    Unregister(this);
    m_Handle = 0;
    hide();
    deleteLater();
}
std::vector<Window> FrameWindow::ChildHandles() const {
    std::vector<Window> out;
    for (QMdiSubWindow* sub : m_Mdi->subWindowList()) {
        if (auto* c = dynamic_cast<ChildWindow*>(sub->widget()); c && !c->m_Dead)
            out.push_back(c->m_Handle);
    }
    return out;
}

void FrameWindow::OnActivated(QMdiSubWindow* sub) {
    Window now = 0;
    if (sub) {
        if (auto* c = dynamic_cast<ChildWindow*>(sub->widget())) now = c->m_Handle;
    }
    if (now == m_Active) return;
    Window before = m_Active;
    m_Active = now;
    if (ChildWindow* b = ChildOf(before)) b->Deliver({Msg::MdiActivate, 0, 0, 0});
    if (ChildWindow* n = ChildOf(now)) n->Deliver({Msg::MdiActivate, 0, 1, 0});
}

std::vector<QToolButton*> FrameWindow::ToolButtonWidgets() const {
    std::vector<QToolButton*> out;
    for (QAction* a : m_ButtonActions) {
        auto* b = qobject_cast<QToolButton*>(m_Tools->widgetForAction(a));
        if (b && b->isEnabled() && b->isVisible()) out.push_back(b);
    }
    return out;
}

void FrameWindow::ToggleToolbarFocus() {
    const std::vector<QToolButton*> buttons = ToolButtonWidgets();
    QWidget* focus = QApplication::focusWidget();
    if (focus && m_Tools->isAncestorOf(focus)) {
        LeaveToolbar();
        return;
    }
    if (!buttons.empty()) buttons.front()->setFocus(Qt::ShortcutFocusReason);
}

void FrameWindow::LeaveToolbar() {
    if (QMdiSubWindow* sub = m_Mdi->activeSubWindow(); sub && sub->widget())
        sub->widget()->setFocus(Qt::ShortcutFocusReason);
    else
        m_Mdi->setFocus(Qt::ShortcutFocusReason);
}

// On the toolbar: Left and Right go from button to button, Enter presses, Escape goes back.
bool FrameWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* b = qobject_cast<QToolButton*>(watched);
        const std::vector<QToolButton*> buttons = ToolButtonWidgets();
        auto at = std::find(buttons.begin(), buttons.end(), b);
        if (b && at != buttons.end()) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            const long i = at - buttons.begin(), n = long(buttons.size());
            switch (key) {
                case Qt::Key_Left:
                case Qt::Key_Right:
                    buttons[size_t((i + (key == Qt::Key_Right ? 1 : n - 1)) % n)]->setFocus(
                        Qt::TabFocusReason);
                    return true;
                case Qt::Key_Return:
                case Qt::Key_Enter:
                    b->click();
                    return true;
                case Qt::Key_Escape:
                    LeaveToolbar();
                    return true;
                default:
                    break;
            }
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void FrameWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
    Destroy();
}

MdiClientArea::MdiClientArea(FrameWindow* frame) : m_Frame(frame) {
    Register(this);
}
long MdiClientArea::Deliver(const Message& m) {
    return m_Frame->Deliver(m);
}
void MdiClientArea::paintEvent(QPaintEvent* e) {
    QMdiArea::paintEvent(e);
    QPainter p(viewport());
    m_Painter = std::make_unique<QtPainter>(&p);
    m_Frame->Deliver({Msg::Paint, 0, 0, 0});
    m_Painter.reset();
}

FrameWindow* FrameOf(Window w) {
    return dynamic_cast<FrameWindow*>(Lookup(w));
}

Window CreateFrame(const FrameSpec& spec, WindowProc proc) {
    auto* f = new FrameWindow(spec, std::move(proc));
    f->Deliver({Msg::Create, 0, 0, 0});
    return f->m_Handle;
}
Window MdiClient(Window frame) {
    FrameWindow* f = FrameOf(frame);
    return f ? f->m_Mdi->m_Handle : 0;
}
void ShowFrame(Window frame) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    f->show();
    // The keyboard works in the frame from the start, also where no window manager
    // hands out the focus.
    f->activateWindow();
    // The windows' area has the focus, not the first toolbar button (F6 goes there).
    f->m_Mdi->setFocus(Qt::OtherFocusReason);
    // The window system places, decorates and exposes the window in its own time; only
    // after that is the baseline taken, so its placement does not count as a move.
    QElapsedTimer waited;
    waited.start();
    for (QWindow* handle = f->windowHandle();
         handle && !handle->isExposed() && waited.elapsed() < kPlacementWaitMs;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents();
    if (f->frameGeometry().size() != f->size()) {  // decorated: the borders come off the size
        f->SetOuter(f->m_Requested);
        QCoreApplication::processEvents();
    }
    f->NoteBaseline();
}
void DestroyWindow(Window w) {
    if (FrameWindow* f = FrameOf(w))
        f->Destroy();
    else if (ChildOf(w))
        MdiDestroy(w);
}
void SetTitle(Window w, std::string_view title) {
    if (QWidget* q = WidgetOf(w)) {
        if (ChildWindow* c = ChildOf(w); c && c->m_Sub) {
            c->m_Sub->setWindowTitle(Q(title));
            NotifyNameChanged(c);  // the list is named by its window's title
        } else
            q->setWindowTitle(Q(title));
    }
}
std::string GetTitle(Window w) {
    if (ChildWindow* c = ChildOf(w); c && c->m_Sub) return S(c->m_Sub->windowTitle());
    QWidget* q = WidgetOf(w);
    return q ? S(q->windowTitle()) : std::string();
}
void GetFramePlacement(Window frame, int& x, int& y, int& width, int& height) {
    FrameWindow* f = FrameOf(frame);
    QRect r = f ? f->Placement() : QRect();
    x = r.x();
    y = r.y();
    width = r.width();
    height = r.height();
}
void MoveFrame(Window frame, int x, int y, int width, int height) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    f->NoteBaseline();
    f->SetOuter(QRect(x, y, width, height));
    QCoreApplication::processEvents();
}
void SetStatusText(Window frame, std::string_view text) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    f->statusBar()->showMessage(Q(text));
    f->statusBar()->repaint();
    if (Driver().enabled) Driver().statusTexts.emplace_back(text);
}

// ---- toolbar ---------------------------------------------------------------------------

void ClearToolbar(Window frame) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    // From the last button to the first.
    while (!f->m_ButtonActions.empty()) {
        QAction* a = f->m_ButtonActions.back();
        f->m_ButtonActions.pop_back();
        f->m_Tools->removeAction(a);
        a->deleteLater();  // the button pressed may be the one that cleared the toolbar
    }
    f->m_Buttons.clear();
}
void AddToolButtons(Window frame, std::span<const ToolButton> buttons) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    for (const ToolButton& b : buttons) {
        auto* a = new QAction(StdIcon(b.image), Q(b.label), f->m_Tools);
        // The label shows as it is: a "&" in a profile name is no keyboard mnemonic.
        a->setIconText(Q(b.label).replace(QLatin1Char('&'), QStringLiteral("&&")));
        a->setToolTip(Q(b.label));
        a->setEnabled(b.enabled);
        int id = b.id;
        QObject::connect(a, &QAction::triggered, f, [f, id] {
            f->Deliver({Msg::Command, id, 1, 0});
        });
        f->m_Tools->addAction(a);
        f->m_ButtonActions.push_back(a);
        // Reached with F6 and the arrow keys; named for screen readers by the label.
        if (QWidget* w = f->m_Tools->widgetForAction(a)) {
            w->setFocusPolicy(Qt::TabFocus);
            w->setAccessibleName(Q(b.label));
            w->installEventFilter(f);
        }
        f->m_Buttons.push_back(b);
    }
    f->m_Tools->show();
}
std::vector<ToolButton> ToolButtons(Window frame) {
    FrameWindow* f = FrameOf(frame);
    return f ? f->m_Buttons : std::vector<ToolButton>{};
}
void SetToolButtonTip(Window frame, int id, std::string_view tip) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    for (std::size_t i = 0; i < f->m_Buttons.size() && i < f->m_ButtonActions.size(); ++i)
        if (f->m_Buttons[i].id == id) f->m_ButtonActions[i]->setToolTip(Q(tip));
}
std::string ToolButtonTip(Window frame, int id) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return {};
    for (std::size_t i = 0; i < f->m_Buttons.size() && i < f->m_ButtonActions.size(); ++i)
        if (f->m_Buttons[i].id == id) return f->m_ButtonActions[i]->toolTip().toStdString();
    return {};
}
void PressToolButton(Window frame, int index) {
    FrameWindow* f = FrameOf(frame);
    if (!f || index < 0 || index >= int(f->m_ButtonActions.size())) return;
    QAction* a = f->m_ButtonActions[size_t(index)];
    if (a->isEnabled()) a->trigger();
}

// ---- MDI children ----------------------------------------------------------------------

Window CreateChild(Window frame, std::string_view className, std::string_view title, int x, int y,
                   int w, int h) {
    FrameWindow* f = FrameOf(frame);
    auto cls = Classes().find(className);
    if (!f || cls == Classes().end()) return 0;
    auto* child = new ChildWindow(cls->second);
    Window handle = child->m_Handle;
    // A title the window sets while it is created wins over the creation title.
    child->setWindowTitle(Q(title));
    child->Deliver({Msg::Create, 0, 0, 0});
    if (!IsWindow(handle)) return 0;
    QMdiSubWindow* sub = f->m_Mdi->addSubWindow(child);
    child->m_Sub = sub;
    sub->setWindowTitle(child->windowTitle());
    sub->setWindowIcon(QApplication::style()->standardIcon(QStyle::SP_FileDialogListView));
    sub->setGeometry(x, y, w, h);
    // A click on the child's close box ends it as MdiDestroy does.
    class CloseFilter : public QObject {
    public:
        explicit CloseFilter(Window h, QObject* parent) : QObject(parent), m_H(h) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Close) {
                e->ignore();
                MdiDestroy(m_H);
                return true;
            }
            return false;
        }
        Window m_H;
    };
    sub->installEventFilter(new CloseFilter(handle, sub));
    sub->show();
    child->setFocus();
    return handle;
}
Window ActiveChild(Window frame) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return 0;
    QMdiSubWindow* sub = f->m_Mdi->currentSubWindow();
    if (!sub) return 0;
    auto* c = dynamic_cast<ChildWindow*>(sub->widget());
    return c && !c->m_Dead ? c->m_Handle : 0;
}
void MdiDestroy(Window child) {
    ChildWindow* c = ChildOf(child);
    if (!c || c->m_Dead) return;
    c->Deliver({Msg::Destroy, 0, 0, 0});
    c->Kill();
    Unregister(c);
    c->m_Handle = 0;
    if (c->m_Sub) {
        QMdiSubWindow* sub = c->m_Sub;
        sub->hide();
        if (QMdiArea* area = sub->mdiArea()) area->removeSubWindow(sub);
        sub->deleteLater();
    } else {
        c->deleteLater();
    }
}
void Cascade(Window frame) {
    if (FrameWindow* f = FrameOf(frame)) f->m_Mdi->cascadeSubWindows();
}
void Tile(Window frame, bool horizontal) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    std::vector<QMdiSubWindow*> subs;
    for (QMdiSubWindow* s : f->m_Mdi->subWindowList()) {
        if (s->isVisible() && !s->isMinimized()) subs.push_back(s);
    }
    if (subs.empty()) return;
    QRect area = f->m_Mdi->viewport()->rect();
    int n = int(subs.size());
    for (int i = 0; i < n; ++i) {
        if (subs[size_t(i)]->isMaximized()) subs[size_t(i)]->showNormal();
        // Horizontally: one above the other; vertically: side by side.
        QRect r = horizontal
                      ? QRect(0, area.height() * i / n, area.width(),
                              area.height() * (i + 1) / n - area.height() * i / n)
                      : QRect(area.width() * i / n, 0,
                              area.width() * (i + 1) / n - area.width() * i / n, area.height());
        subs[size_t(i)]->setGeometry(r);
    }
}
void ArrangeIcons(Window frame) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    int x = 0;
    QRect area = f->m_Mdi->viewport()->rect();
    for (QMdiSubWindow* s : f->m_Mdi->subWindowList()) {
        if (!s->isMinimized()) continue;
        s->move(x, area.height() - s->height());
        x += s->width();
    }
}
std::vector<Window> Children(Window frame) {
    FrameWindow* f = FrameOf(frame);
    return f ? f->ChildHandles() : std::vector<Window>{};
}
Rect WindowRectOf(Window w) {
    QWidget* q = WidgetOf(w);
    if (ChildWindow* c = ChildOf(w); c && c->m_Sub) q = c->m_Sub;
    if (!q) return {};
    QRect g = q->frameGeometry();
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

}  // namespace gui
