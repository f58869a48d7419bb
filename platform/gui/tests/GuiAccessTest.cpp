// What assistive tools get through Qt's accessibility interfaces: a painted list as a list
// of rows with cells, its events; dialog fields named and tabbed as seen; menus with
// mnemonics and the list of open windows.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QMenuBar>
#include <QShortcut>

#include "platform/gui/Internal.h"
#include "platform/gui/tests/TestApp.h"

namespace {

using namespace gui;

struct Heard {
    QAccessible::Event type;
    QString name;  // of the object the event is about
};
std::vector<Heard> g_Heard;

void Listen(QAccessibleEvent* e) {
    QAccessibleInterface* i = e->accessibleInterface();
    g_Heard.push_back({e->type(), i ? i->text(QAccessible::Name) : QString()});
}

// Qt's bridge is off in tests; a hook of our own stands for it.
class Listening {
public:
    Listening() {
        g_Heard.clear();
        g_AccessHook = Listen;
    }
    ~Listening() { g_AccessHook = nullptr; }
    bool Heard(QAccessible::Event type, const QString& name) const {
        for (const auto& h : g_Heard) {
            if (h.type == type && h.name == name) return true;
        }
        return false;
    }
};

// A list of 1000 records, 10 on the screen from the top one.
struct Model {
    long current = 0, top = 0;
    ListAccess Access() {
        ListAccess a;
        a.count = [] { return 1000L; };
        a.current = [this] { return current; };
        a.top = [this] { return top; };
        a.shown = [] { return 10L; };
        a.rowRect = [this](long i) {
            const int y = 20 + 16 * int(i - top);
            return Rect{0, y, 300, y + 16};
        };
        a.line = [](long i) {
            return "rec" + std::to_string(i) + "  Text " + std::to_string(i) + "   ";
        };
        a.columns = {"Name", "Description"};
        a.cells = [](long i) {
            return std::vector<std::string>{"rec" + std::to_string(i), "Text " + std::to_string(i)};
        };
        return a;
    }
};

Window Frame() {
    static Window frame =
        CreateFrame({"A11y", 0, 0, 800, 600}, [](Window, const Message&) -> long { return 0; });
    static bool registered = false;
    if (!registered) {
        registered = true;
        RegisterClass(
            "A11yList", [](Window, const Message&) -> long { return 0; }, RGB(192, 192, 192));
    }
    return frame;
}

TEST(GuiAccess, PaintedListReadsAsRowsAndCellsUnderHeaders) {
    Model model;
    Window w = CreateChild(Frame(), "A11yList", "Requests [1000]", 1, 1, 400, 300);
    ChildWindow* c = ChildOf(w);
    ASSERT_NE(c, nullptr);
    // Before it has a model the window is a plain pane with no children.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(c);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::Pane);
    EXPECT_EQ(list->childCount(), 0);

    SetListAccess(w, model.Access());
    model.current = 3;
    EXPECT_EQ(list->role(), QAccessible::List);
    EXPECT_EQ(list->text(QAccessible::Name), QStringLiteral("Requests [1000]"));
    EXPECT_EQ(list->childCount(), 1000);  // the whole list, not the screen
    QAccessibleInterface* row = list->child(3);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->role(), QAccessible::ListItem);
    EXPECT_EQ(row->text(QAccessible::Name), QStringLiteral("rec3  Text 3"));
    EXPECT_EQ(row->parent(), list);
    EXPECT_EQ(list->indexOfChild(row), 3);
    EXPECT_TRUE(row->state().selected);
    EXPECT_FALSE(list->child(4)->state().selected);
    EXPECT_TRUE(list->child(500)->state().offscreen);
    EXPECT_FALSE(row->state().offscreen);
    EXPECT_EQ(list->child(1000), nullptr);

    ASSERT_EQ(row->childCount(), 2);
    EXPECT_EQ(row->child(1)->text(QAccessible::Name), QStringLiteral("Text 3"));
    EXPECT_EQ(row->child(1)->text(QAccessible::Description), QStringLiteral("Description"));
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->columnCount(), 2);
    EXPECT_EQ(table->rowCount(), 1000);
    EXPECT_EQ(table->columnDescription(0), QStringLiteral("Name"));
    EXPECT_EQ(table->selectedRows(), QList<int>{3});
    EXPECT_EQ(table->cellAt(3, 0)->text(QAccessible::Name), QStringLiteral("rec3"));
    QAccessibleTableCellInterface* cell = table->cellAt(3, 0)->tableCellInterface();
    ASSERT_NE(cell, nullptr);
    ASSERT_EQ(cell->columnHeaderCells().size(), 1);
    EXPECT_EQ(cell->columnHeaderCells()[0]->text(QAccessible::Name), QStringLiteral("Name"));
    EXPECT_EQ(cell->rowIndex(), 3);
    MdiDestroy(w);
    ProcessEvents();
}

TEST(GuiAccess, MovesRefillsAndTitlesAreAnnounced) {
    Model model;
    Window w = CreateChild(Frame(), "A11yList", "Files [1000]", 1, 1, 400, 300);
    ChildWindow* c = ChildOf(w);
    ASSERT_NE(c, nullptr);
    SetListAccess(w, model.Access());
    ShowFrame(Frame());
    c->setFocus();
    ProcessEvents();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(c);
    {
        Listening l;
        model.current = 1;
        NotifyList(w, ListChange::Current);
        // The focus goes with the current record while the list has it.
        EXPECT_EQ(l.Heard(QAccessible::Focus, QStringLiteral("rec1  Text 1")), c->hasFocus());
        EXPECT_TRUE(l.Heard(QAccessible::Selection, QStringLiteral("rec1  Text 1")));
        EXPECT_TRUE(list->child(1)->state().selected);

        // A long walk keeps a page or so of row objects: far rows are let go and made anew.
        QAccessibleInterface* far = list->child(900);
        const QAccessible::Id farId = QAccessible::uniqueId(far);
        model.current = 2;
        NotifyList(w, ListChange::Current);
        EXPECT_EQ(QAccessible::accessibleInterface(farId), nullptr);
        EXPECT_NE(list->child(900), nullptr);

        NotifyList(w, ListChange::Contents);
        bool reset = false;
        for (const auto& h : g_Heard) reset |= h.type == QAccessible::TableModelChanged;
        EXPECT_TRUE(reset);

        SetTitle(w, "Files [999]");
        EXPECT_TRUE(l.Heard(QAccessible::NameChanged, QStringLiteral("Files [999]")));
    }
    MdiDestroy(w);
    ProcessEvents();
}

const DialogTemplate kForm{
    7701,
    "Connect",
    200,
    130,
    {
        // Listed out of their visual order: Tab follows what is seen, not this list.
        {ControlKind::DefButton, 1, "OK", 84, 108, 50, 15},
        {ControlKind::Frame, -1, "", 5, 60, 190, 40},
        {ControlKind::Label, -1, "Users :", 10, 62, 60, 10},
        {ControlKind::ListBox, 301, "", 10, 72, 80, 24},
        {ControlKind::Label, -1, "&Address :", 6, 10, 64, 12, kAlignRight},
        {ControlKind::Edit, 201, "", 76, 10, 24, 12},
        {ControlKind::Label, -1, ".", 100, 10, 6, 12},
        {ControlKind::Edit, 202, "", 106, 10, 24, 12},
        {ControlKind::Label, -1, "Port :", 6, 28, 64, 12, kAlignRight},
        {ControlKind::Label, 209, "status", 150, 28, 40, 12},
        {ControlKind::Edit, 205, "", 76, 28, 36, 12},
        {ControlKind::Button, 2, "Cancel", 140, 108, 50, 15},
    }};

TEST(GuiAccess, DialogFieldsAreNamedByTheirLabelsAndTabbedAsSeen) {
    RegisterDialogTemplate(&kForm);
    QStringList names, order;
    test::OnDialog(7701, [&](Dialog& d) {
        for (int id : {201, 202, 205, 301})
            names << DialogControl(d.Handle(), id)->accessibleName();
        QWidget* first = DialogControl(d.Handle(), 201);
        QWidget* w = first;
        do {
            if (w->focusPolicy() & Qt::TabFocus)
                order << w->accessibleName() + w->property("text").toString();
            w = w->nextInFocusChain();
        } while (w && w != first && order.size() < 20);
        d.End(1);
    });
    DialogBox(0, 7701, [](Dialog&, const DialogEvent&) { return false; });
    EXPECT_EQ(names, (QStringList{"Address", "Address 2", "Port", "Users"}));
    EXPECT_EQ(order, (QStringList{"Address", "Address 2", "Port", "Users", "OK", "Cancel"}));
}

const MenuTemplate kPlainMenu{
    "A11Y_MENU",
    {{"File",
      {{1, "Open"}, {2, "Data &Sources"}, {3, "Delete"}, {4, "Download"}, {0}, {5, "Exit"}}},
     {"&Window", {{6, "Cascade", true}}, true}}};

TEST(GuiAccess, MenusGetMnemonicsAndListTheOpenWindows) {
    RegisterMenuTemplate(&kPlainMenu);
    Window frame = Frame();
    AttachMenu(frame, LoadMenu("A11Y_MENU"));
    FrameWindow* f = FrameOf(frame);
    QList<QAction*> bar = f->menuBar()->actions();
    ASSERT_EQ(bar.size(), 2);
    EXPECT_EQ(bar[0]->text(), QStringLiteral("&File"));
    QStringList items;
    for (QAction* a : bar[0]->menu()->actions()) {
        if (!a->isSeparator()) items << a->text();
    }
    // Each letter once; the texts otherwise as they were.
    EXPECT_EQ(items, (QStringList{"&Open", "Data &Sources", "&Delete", "Do&wnload", "&Exit"}));

    Window a = CreateChild(frame, "A11yList", "Applications", 1, 1, 200, 100);
    Window b = CreateChild(frame, "A11yList", "Requests [2]", 1, 1, 200, 100);
    ProcessEvents();
    QMenu* window = bar[1]->menu();
    emit window->aboutToShow();
    emit window->aboutToShow();  // filled anew each time, never twice
    QStringList listed;
    QAction* first = nullptr;
    for (QAction* act : window->actions()) {
        if (act->isSeparator() || !act->property("qvWindowList").toBool()) continue;
        listed << act->text() + (act->isChecked() ? "*" : "");
        if (!first) first = act;
    }
    EXPECT_EQ(listed, (QStringList{"&1 Applications", "&2 Requests [2]*"}));
    ASSERT_NE(first, nullptr);
    first->trigger();
    ProcessEvents();
    EXPECT_EQ(ActiveChild(frame), a);

    // Ctrl+F6 and Ctrl+Shift+F6 go round the windows.
    auto press = [f](QKeySequence keys) {
        for (QShortcut* sc : f->findChildren<QShortcut*>()) {
            if (sc->key() == keys) emit sc->activated();
        }
        ProcessEvents();
    };
    press(QKeySequence(Qt::CTRL | Qt::Key_F6));
    EXPECT_EQ(ActiveChild(frame), b);
    press(QKeySequence(Qt::CTRL | Qt::Key_F6));
    EXPECT_EQ(ActiveChild(frame), a);
    press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6));
    EXPECT_EQ(ActiveChild(frame), b);
    MdiDestroy(a);
    MdiDestroy(b);
    ProcessEvents();
}

TEST(GuiAccess, HighContrastPaintsWithThePaletteAndTheGreyStaysTheDefault) {
    auto background = [](bool contrast) {
        if (contrast)
            qputenv("QV_HIGH_CONTRAST", "1");
        else
            qunsetenv("QV_HIGH_CONTRAST");
        Window w = CreateChild(Frame(), "A11yList", "x", 1, 1, 200, 100);
        Invalidate(w, nullptr, true);
        UpdateNow(w);
        const Colour c = test::SurfacePixel(w, 5, 5);
        MdiDestroy(w);
        return c;
    };
    const bool was = qEnvironmentVariableIsSet("QV_HIGH_CONTRAST");
    ASSERT_FALSE(was);
    EXPECT_EQ(background(false), RGB(192, 192, 192));
    EXPECT_FALSE(HighContrast());
    EXPECT_EQ(background(true), PaletteColour(SysColour::Base));
    EXPECT_TRUE(HighContrast());
    qunsetenv("QV_HIGH_CONTRAST");
    ProcessEvents();
}

}  // namespace
