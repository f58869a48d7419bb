// What the files of the windowing layer share: the handles and their registries, the
// painter, the child and frame windows, the test driver's state and the string helpers.
// Private to platform/gui: never installed, never included from outside it, so no Qt type
// leaves the layer.
#pragma once

#include <QAccessible>
#include <QApplication>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"

namespace gui {

// ---- registries ----------------------------------------------------------------------

struct ClassEntry {
    WindowProc proc;
    Colour background;
};
std::map<std::string, ClassEntry, std::less<>>& Classes();

// Anything that has a handle and receives messages.
class Target {
public:
    virtual ~Target() = default;
    virtual long Deliver(const Message& m) = 0;
    virtual QWidget* Widget() = 0;
    Window m_Handle = 0;
};

Window Register(Target* t);
void Unregister(Target* t);
Target* Lookup(Window w);
QWidget* WidgetOf(Window w);

struct MenuData {
    const MenuTemplate* tpl = nullptr;
    std::map<int, bool> grey, checked;
    Window attachedTo = 0;
};
std::map<Menu, MenuData>& Menus();

std::map<Font, QFont>& Fonts();

extern std::unique_ptr<QApplication> g_App;
extern std::atomic<QObject*> g_Poster;
extern bool g_Wait;
extern QIcon* g_Icon;

QColor ToQColor(Colour c);
QString Q(std::string_view s);
std::string S(const QString& s);

// ---- test driver state ---------------------------------------------------------------

struct DriverState {
    bool enabled = false;
    std::multimap<int, test::DialogScript> scripts;  // in insertion order per id
    std::deque<std::optional<std::string>> openAnswers, saveAnswers;
    std::vector<test::FileDialogRecord> fileDialogs;
    std::vector<test::MessageRecord> boxes;
    std::vector<int> opened, unscripted;
    std::vector<std::string> statusTexts;
    std::vector<std::string> drawnTexts;
};
DriverState& Driver();

// ---- the painter ---------------------------------------------------------------------

QFont SystemFont();
QFont FixedFont();
int LineHeightOf(const QFont& f);

class QtPainter : public Painter {
public:
    explicit QtPainter(QPaintDevice* device);
    explicit QtPainter(QPainter* borrowed);
    QPainter* P() { return m_P; }

    void SelectSystemFont() override;
    void SelectFixedFont() override;
    void SelectFont(Font f) override;
    void SetTextColor(Colour c) override;
    void SetBkColor(Colour c) override;
    void SetBkTransparent(bool t) override;
    void TextOut(int x, int y, std::string_view text) override;
    void FrameRect(const Rect& r, Colour c) override;
    void FillRect(const Rect& r, Colour c) override;
    int LineHeight() override;
    int CharWidth() override;

private:
    void Init();
    std::unique_ptr<QPainter> m_Own;
    QPainter* m_P;
    QFont m_Font;
    Colour m_Text = RGB(0, 0, 0);
    Colour m_Bk = RGB(255, 255, 255);
    bool m_Transparent = false;
};

// ---- child windows -------------------------------------------------------------------

int VirtualKeyOf(int qtKey);
int QtKeyOf(int vk);

class ChildWindow : public QWidget, public Target {
public:
    ChildWindow(const ClassEntry& cls);
    ~ChildWindow() override;
    QWidget* Widget() override { return this; }
    long Deliver(const Message& m) override;

    QSize ClientSize() const;
    // The class's background; the palette's base where high contrast is asked for.
    QColor Background() const;
    void Relayout();
    void EnsureSurface();
    void SetBarWanted(bool want);
    void SendSize();
    void InvalidateRect(const QRect& r, bool erase);
    // Runs the Paint message for what is invalid.
    void DoPaint();
    Painter* BeginPaintHere();
    void EndPaintHere() { m_PaintPainter.reset(); }
    Painter* GetDCHere();
    void ReleaseDCHere();
    void ScrollBandHere(int top, int bottom, int dy);
    void UpdateNowHere();

    void OnBarAction(int action);
    void OnWheel(int delta);

    void Kill() { m_Dead = true; }

    const ClassEntry m_Class;
    QScrollBar* m_Bar = nullptr;
    bool m_BarWanted = false;
    QImage m_Surface;
    QRegion m_Invalid, m_Erase, m_PaintRegion;
    QRegion m_Shown;  // painted into the surface, not yet on the screen
    std::unique_ptr<QtPainter> m_PaintPainter, m_DCPainter;
    QSize m_LastSize{-1, -1};
    int m_PaintCount = 0;
    QRect m_LastPaint;
    bool m_Dead = false;
    QPointer<QMdiSubWindow> m_Sub;
    int m_WheelRest = 0;  // wheel movement short of a notch
    // What assistive tools read of a painted list (Accessible.cpp); null: a plain pane.
    std::unique_ptr<ListAccess> m_Access;

protected:
    void focusInEvent(QFocusEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
};

ChildWindow* ChildOf(Window w);

// ---- assistive technologies (Accessible.cpp) -----------------------------------------

void InstallAccessibility();
// Whether any assistive tool listens (Qt's bridge, or the tests' hook), and the telling:
// to the hook when the tests set one, else to Qt's bridge.
using AccessHook = void (*)(QAccessibleEvent* e);
extern AccessHook g_AccessHook;
bool AccessListening();
void Tell(QAccessibleEvent& e);
// The window's name changed (its title): told to the assistive tools.
void NotifyNameChanged(QWidget* w);
// A control's accessible name from the label that stands for it: no colon, no "&".
QString NameFromLabel(const QString& label);

// ---- menus (Menus.cpp) -------------------------------------------------------------------

// The text with an Alt mnemonic where it has none: the first letter of a word, else any
// letter, that its siblings have not taken (taken collects them).
QString WithMnemonic(const QString& text, QString& taken);
// The mnemonics that the texts have already.
QString MnemonicsOf(const std::vector<Popup>& popups);
QString MnemonicsOf(const std::vector<MenuItem>& items);

// ---- the frame -----------------------------------------------------------------------

class FrameWindow;

class MdiClientArea : public QMdiArea, public Target {
public:
    explicit MdiClientArea(FrameWindow* frame);
    ~MdiClientArea() override { Unregister(this); }
    QWidget* Widget() override { return this; }
    long Deliver(const Message& m) override;
    std::unique_ptr<QtPainter> m_Painter;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    FrameWindow* m_Frame;
};

class FrameWindow : public QMainWindow, public Target {
public:
    FrameWindow(const FrameSpec& spec, WindowProc proc);
    ~FrameWindow() override { Unregister(this); }
    QWidget* Widget() override { return this; }
    long Deliver(const Message& m) override;

    QRect Actual() const;
    void SetOuter(const QRect& outer);
    void NoteBaseline();
    QRect Placement() const;

    void Destroy();
    std::vector<Window> ChildHandles() const;

    // The menu bar, from the attached menu's data (in Menus.cpp).
    void RebuildMenu();
    void UpdateItem(int id);

    void OnActivated(QMdiSubWindow* sub);
    // The Window menu's list of the open windows, made as it opens.
    void FillWindowList(QMenu* menu);

    WindowProc m_Proc;
    MdiClientArea* m_Mdi = nullptr;
    QToolBar* m_Tools = nullptr;
    std::vector<ToolButton> m_Buttons;
    std::vector<QAction*> m_ButtonActions;
    Menu m_Menu = 0;
    std::map<int, QAction*> m_Actions;
    std::vector<QPointer<QMenu>> m_Popups;
    QRect m_Requested, m_Baseline;
    bool m_HaveBaseline = false;
    bool m_Destroyed = false;
    Window m_Active = 0;

    void ToggleToolbarFocus();
    void LeaveToolbar();
    std::vector<QToolButton*> ToolButtonWidgets() const;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
};

FrameWindow* FrameOf(Window w);

// ---- dialogs -------------------------------------------------------------------------

// After a modal dialog or box: the keyboard goes back to the window that opened it, also
// where no window manager hands it back.
void ReturnFocus(Window owner);

// A control of a running dialog, for the test driver; null when there is none.
QWidget* DialogControl(Window dialog, int id);

// ---- the code editor control (CodeEditor.cpp) ----------------------------------------

QWidget* MakeCodeEditor(QWidget* parent);
bool IsCodeEditor(const QWidget* w);
void CodeEditorSetText(QWidget* w, const QString& text);
QString CodeEditorText(const QWidget* w);
void CodeEditorSetLanguage(QWidget* w, CodeLanguage language);
CodeLanguage CodeEditorLanguage(const QWidget* w);
void CodeEditorCursor(const QWidget* w, int& line, std::string& selection);
void CodeEditorGoToLine(QWidget* w, int line);

}  // namespace gui
