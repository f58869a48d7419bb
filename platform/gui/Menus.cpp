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
    for (const Popup& pop : md.tpl->popups) {
        QMenu* qm = menuBar()->addMenu(QString::fromUtf8(pop.title));
        m_Popups.emplace_back(qm);
        for (const MenuItem& item : pop.items) {
            if (item.id == 0) {
                qm->addSeparator();
                continue;
            }
            QAction* a = qm->addAction(QString::fromUtf8(item.text));
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

bool PressMenuItem(Window frame, int id) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return false;
    auto it = f->m_Actions.find(id);
    if (it == f->m_Actions.end() || !it->second->isEnabled()) return false;
    it->second->trigger();
    return true;
}

}  // namespace gui
