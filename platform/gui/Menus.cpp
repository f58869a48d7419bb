// Menus: loaded by name from their templates, greyed and checked by id, attached to a
// frame whose menu bar shows them.
#include <QMenuBar>

#include "platform/gui/Internal.h"

namespace gui {
namespace {
Menu g_NextMenu = 1;
}  // namespace

// ---- menus ---------------------------------------------------------------------------

Menu LoadMenu(std::string_view name) {
    std::string n(name);
    const MenuTemplate* t = FindMenuTemplate(n.c_str());
    if (!t) return 0;
    MenuData md;
    md.tpl = t;
    for (const Popup& p : t->popups) {
        for (const MenuItem& i : p.items) {
            if (i.id == 0) continue;
            md.grey[i.id] = i.grey;
            md.checked[i.id] = i.checked;
        }
    }
    Menu h = g_NextMenu++;
    Menus()[h] = std::move(md);
    return h;
}
void DestroyMenu(Menu m) {
    auto it = Menus().find(m);
    if (it == Menus().end()) return;
    if (FrameWindow* f = FrameOf(it->second.attachedTo); f && f->m_Menu == m) {
        f->m_Menu = 0;
        f->RebuildMenu();
    }
    Menus().erase(it);
}
void AttachMenu(Window frame, Menu m) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    if (auto old = Menus().find(f->m_Menu); old != Menus().end()) old->second.attachedTo = 0;
    f->m_Menu = m;
    if (auto it = Menus().find(m); it != Menus().end()) it->second.attachedTo = frame;
    f->RebuildMenu();
}
Menu AttachedMenu(Window frame) {
    FrameWindow* f = FrameOf(frame);
    return f ? f->m_Menu : 0;
}
std::string MenuName(Menu m) {
    auto it = Menus().find(m);
    return it == Menus().end() ? std::string() : std::string(it->second.tpl->name);
}
static void SetItemState(Menu m, int id, bool value, bool grey) {
    auto it = Menus().find(m);
    if (it == Menus().end() || !it->second.grey.count(id)) return;
    (grey ? it->second.grey : it->second.checked)[id] = value;
    if (FrameWindow* f = FrameOf(it->second.attachedTo); f && f->m_Menu == m) f->UpdateItem(id);
}
void GreyItem(Menu m, int id, bool grey) {
    SetItemState(m, id, grey, true);
}
void CheckItem(Menu m, int id, bool checked) {
    SetItemState(m, id, checked, false);
}
bool IsItemGrey(Menu m, int id) {
    auto it = Menus().find(m);
    return it != Menus().end() && it->second.grey.count(id) && it->second.grey[id];
}
bool IsItemChecked(Menu m, int id) {
    auto it = Menus().find(m);
    return it != Menus().end() && it->second.checked.count(id) && it->second.checked[id];
}
bool HasItem(Menu m, int id) {
    auto it = Menus().find(m);
    return it != Menus().end() && it->second.grey.count(id);
}

// ---- mnemonics -------------------------------------------------------------------------

namespace {
QChar MnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toLower();
        ++i;  // "&&" is an ampersand shown
    }
    return {};
}
}  // namespace

QString MnemonicsOf(const std::vector<Popup>& popups) {
    QString taken;
    for (const Popup& p : popups) {
        if (QChar c = MnemonicOf(QString::fromUtf8(p.title)); !c.isNull()) taken += c;
    }
    return taken;
}
QString MnemonicsOf(const std::vector<MenuItem>& items) {
    QString taken;
    for (const MenuItem& i : items) {
        if (QChar c = MnemonicOf(QString::fromUtf8(i.text)); !c.isNull()) taken += c;
    }
    return taken;
}

QString WithMnemonic(const QString& text, QString& taken) {
    if (!MnemonicOf(text).isNull()) return text;
    auto free = [&taken](QChar c) { return c.isLetterOrNumber() && !taken.contains(c.toLower()); };
    qsizetype at = -1;
    for (qsizetype i = 0; i < text.size() && at < 0; ++i) {
        if ((i == 0 || text[i - 1].isSpace()) && free(text[i])) at = i;
    }
    for (qsizetype i = 0; i < text.size() && at < 0; ++i) {
        if (free(text[i])) at = i;
    }
    if (at < 0) return text;
    taken += text[at].toLower();
    return text.left(at) + QLatin1Char('&') + text.mid(at);
}

// ---- the frame's menu bar ------------------------------------------------------------

void FrameWindow::RebuildMenu() {
    menuBar()->clear();
    m_Actions.clear();
    // The old popups go once the action that switched the menus has returned: it may be
    // one of their own items.
    for (QPointer<QMenu>& old : m_Popups) {
        if (old) old->deleteLater();
    }
    m_Popups.clear();
    auto it = Menus().find(m_Menu);
    if (it == Menus().end() || !it->second.tpl) return;
    MenuData& md = it->second;
    QString titles = MnemonicsOf(md.tpl->popups);
    for (const Popup& pop : md.tpl->popups) {
        QMenu* qm = menuBar()->addMenu(WithMnemonic(QString::fromUtf8(pop.title), titles));
        m_Popups.emplace_back(qm);
        QString taken = MnemonicsOf(pop.items);
        if (pop.windowList)
            connect(qm, &QMenu::aboutToShow, this, [this, qm] { FillWindowList(qm); });
        for (const MenuItem& item : pop.items) {
            if (item.id == 0) {
                qm->addSeparator();
                continue;
            }
            QAction* a = qm->addAction(WithMnemonic(QString::fromUtf8(item.text), taken));
            int id = item.id;
            a->setEnabled(!md.grey[id]);
            if (item.shortcut) a->setShortcut(QKeySequence(QString::fromUtf8(item.shortcut)));
            if (md.checked[id]) {
                a->setCheckable(true);
                a->setChecked(true);
            }
            connect(a, &QAction::triggered, this, [this, id] {
                Deliver({Msg::Command, id, 0, 0});
            });
            m_Actions[id] = a;
        }
    }
}
void FrameWindow::UpdateItem(int id) {
    auto a = m_Actions.find(id);
    auto md = Menus().find(m_Menu);
    if (a == m_Actions.end() || md == Menus().end()) return;
    a->second->setEnabled(!md->second.grey[id]);
    bool checked = md->second.checked[id];
    a->second->setCheckable(checked);
    a->second->setChecked(checked);
}

void FrameWindow::FillWindowList(QMenu* menu) {
    for (QAction* a : menu->actions()) {
        if (a->property("qvWindowList").toBool()) {
            menu->removeAction(a);
            a->deleteLater();
        }
    }
    const std::vector<Window> children = ChildHandles();
    if (children.empty()) return;
    auto add = [menu](QAction* a) {
        a->setProperty("qvWindowList", true);
        menu->addAction(a);
    };
    auto* sep = new QAction(menu);
    sep->setSeparator(true);
    add(sep);
    const Window active = ActiveChild(m_Handle);
    int n = 0;
    for (Window w : children) {
        ChildWindow* c = ChildOf(w);
        if (!c || !c->m_Sub) continue;
        ++n;
        // "&1 Applications": the number is the key, as in other MDI programs.
        QString title = c->m_Sub->windowTitle();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* a = new QAction(
            (n < 10 ? QStringLiteral("&%1 ").arg(n) : QStringLiteral("%1 ").arg(n)) + title, menu);
        a->setCheckable(true);
        a->setChecked(w == active);
        QPointer<QMdiSubWindow> sub = c->m_Sub;
        connect(a, &QAction::triggered, this, [this, sub] {
            if (!sub) return;
            if (sub->isMinimized()) sub->showNormal();
            m_Mdi->setActiveSubWindow(sub);
            if (sub->widget()) sub->widget()->setFocus();
        });
        add(a);
    }
}

bool PressMenuItem(Window frame, int id) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return false;
    auto it = f->m_Actions.find(id);
    if (it == f->m_Actions.end() || !it->second->isEnabled()) return false;
    it->second->trigger();
    return true;
}

}  // namespace gui
