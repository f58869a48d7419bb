// The handles and the registries behind them: templates, window classes, the windows that
// have a handle, menus and fonts; and the state the whole layer shares.
#include "platform/gui/Internal.h"

namespace gui {

// ---- registries ----------------------------------------------------------------------

namespace {
std::vector<const MenuTemplate*>& MenuTemplates() {
    static auto* v = new std::vector<const MenuTemplate*>();
    return *v;
}
std::vector<const DialogTemplate*>& DialogTemplates() {
    static auto* v = new std::vector<const DialogTemplate*>();
    return *v;
}

std::map<Window, Target*>& Targets() {
    static auto* m = new std::map<Window, Target*>();
    return *m;
}
Window g_NextHandle = 1;
}  // namespace

std::map<std::string, ClassEntry, std::less<>>& Classes() {
    static auto* m = new std::map<std::string, ClassEntry, std::less<>>();
    return *m;
}

Window Register(Target* t) {
    t->m_Handle = g_NextHandle++;
    Targets()[t->m_Handle] = t;
    return t->m_Handle;
}
void Unregister(Target* t) {
    if (t->m_Handle) Targets().erase(t->m_Handle);
}
Target* Lookup(Window w) {
    auto it = Targets().find(w);
    return it == Targets().end() ? nullptr : it->second;
}
QWidget* WidgetOf(Window w) {
    Target* t = Lookup(w);
    return t ? t->Widget() : nullptr;
}

std::map<Menu, MenuData>& Menus() {
    static auto* m = new std::map<Menu, MenuData>();
    return *m;
}

std::map<Font, QFont>& Fonts() {
    static auto* m = new std::map<Font, QFont>();
    return *m;
}

std::unique_ptr<QApplication> g_App;
std::atomic<QObject*> g_Poster{nullptr};
bool g_Wait = false;
QIcon* g_Icon = nullptr;

QColor ToQColor(Colour c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}
QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString& s) {
    return s.toStdString();
}

// ---- templates -------------------------------------------------------------------------

void RegisterMenuTemplate(const MenuTemplate* tpl) {
    MenuTemplates().push_back(tpl);
}
void RegisterDialogTemplate(const DialogTemplate* tpl) {
    DialogTemplates().push_back(tpl);
}
const MenuTemplate* FindMenuTemplate(const char* name) {
    for (const MenuTemplate* t : MenuTemplates()) {
        if (name && std::string_view(t->name) == name) return t;
    }
    return nullptr;
}
const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate* t : DialogTemplates()) {
        if (t->id == id) return t;
    }
    return nullptr;
}

// ---- classes ---------------------------------------------------------------------------

void RegisterClass(std::string_view className, WindowProc proc, Colour background) {
    Classes()[std::string(className)] = ClassEntry{std::move(proc), background};
}

}  // namespace gui
