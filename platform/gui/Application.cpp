// The application loop, posting across threads, the questions any window answers, and the
// cursors.
#include "platform/gui/Internal.h"

namespace gui {
namespace {

// Quit outside Run is kept for the next Run: Qt would otherwise end every later modal
// loop at once (its "quit now" flag stays set until the next exec).
bool g_Running = false;
bool g_QuitPending = false;
int g_QuitCode = 0;

}  // namespace

// ---- application -----------------------------------------------------------------------

Application::Application(int& argc, char** argv) {
    if (!g_App) {
        g_App = std::make_unique<QApplication>(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        g_Poster = g_App.get();
        InstallAccessibility();
    }
}
Application::~Application() {
    g_Poster = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<QPointer<QWidget>> left;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->parentWidget()) left.emplace_back(w);
    }
    for (auto& w : left) delete w.data();
    Fonts().clear();
    delete g_Icon;
    g_Icon = nullptr;
    g_App.reset();
}
int Application::Run() {
    if (g_QuitPending) {
        g_QuitPending = false;
        return g_QuitCode;
    }
    g_Running = true;
    int rc = QApplication::exec();
    g_Running = false;
    return rc;
}
void Quit(int code) {
    if (!g_Running) {
        g_QuitPending = true;
        g_QuitCode = code;
        return;
    }
    QCoreApplication::exit(code);
}
void ProcessEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}
void SetAppIcon(const char* const* xpm) {
    delete g_Icon;
    g_Icon = new QIcon(QPixmap(xpm));
    QApplication::setWindowIcon(*g_Icon);
}

// ---- messages --------------------------------------------------------------------------

void PostCommand(Window target, int id, long wParam) {
    QObject* poster = g_Poster.load();
    if (!poster) return;
    QMetaObject::invokeMethod(
        poster,
        [target, id, wParam] {
            if (Target* t = Lookup(target)) t->Deliver({Msg::Command, id, wParam, 0});
        },
        Qt::QueuedConnection);
}
long SendCommand(Window target, int id, long wParam) {
    Target* t = Lookup(target);
    return t ? t->Deliver({Msg::Command, id, wParam, 0}) : 0;
}
bool IsWindow(Window w) {
    return Lookup(w) != nullptr;
}
Rect ClientRect(Window w) {
    if (ChildWindow* c = ChildOf(w)) {
        QSize s = c->ClientSize();
        return {0, 0, s.width(), s.height()};
    }
    if (FrameWindow* f = FrameOf(w)) return {0, 0, f->width(), f->height()};
    if (auto* m = dynamic_cast<MdiClientArea*>(Lookup(w))) {
        return {0, 0, m->viewport()->width(), m->viewport()->height()};
    }
    QWidget* q = WidgetOf(w);
    return q ? Rect{0, 0, q->width(), q->height()} : Rect{};
}
bool IsIconic(Window w) {
    if (ChildWindow* c = ChildOf(w)) return c->m_Sub && c->m_Sub->isMinimized();
    QWidget* q = WidgetOf(w);
    return q && q->isMinimized();
}
void SetFocus(Window w) {
    if (QWidget* q = WidgetOf(w)) q->setFocus();
}

// ---- cursors ----------------------------------------------------------------------------

void SetWaitCursor() {
    if (g_Wait || !g_App) return;
    g_Wait = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
void SetArrowCursor() {
    if (!g_Wait || !g_App) return;
    g_Wait = false;
    QApplication::restoreOverrideCursor();
}
bool IsWaitCursor() {
    return g_Wait;
}

}  // namespace gui
