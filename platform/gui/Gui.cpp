// The windowing layer on Qt 6 Widgets. Child windows paint into a surface of their own
// (an image the size of the client area), so that drawing outside a paint message, moving
// a band of pixels and painting only what is invalid work exactly as the studio expects,
// and tests can read back what was drawn.
#include <cstdio>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <atomic>
#include <cmath>
#include <deque>
#include <map>
#include <memory>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"

namespace gui {
namespace {

// ---- registries ----------------------------------------------------------------------

std::vector<const MenuTemplate*>& MenuTemplates() {
    static auto* v = new std::vector<const MenuTemplate*>();
    return *v;
}
std::vector<const DialogTemplate*>& DialogTemplates() {
    static auto* v = new std::vector<const DialogTemplate*>();
    return *v;
}

struct ClassEntry {
    WindowProc proc;
    Colour background;
};
std::map<std::string, ClassEntry, std::less<>>& Classes() {
    static auto* m = new std::map<std::string, ClassEntry, std::less<>>();
    return *m;
}

// Anything that has a handle and receives messages.
class Target {
public:
    virtual ~Target() = default;
    virtual long Deliver(const Message& m) = 0;
    virtual QWidget* Widget() = 0;
    Window m_Handle = 0;
};

std::map<Window, Target*>& Targets() {
    static auto* m = new std::map<Window, Target*>();
    return *m;
}
Window g_NextHandle = 1;

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

struct MenuData {
    const MenuTemplate* tpl = nullptr;
    std::map<int, bool> grey, checked;
    Window attachedTo = 0;
};
std::map<Menu, MenuData>& Menus() {
    static auto* m = new std::map<Menu, MenuData>();
    return *m;
}
Menu g_NextMenu = 1;

std::map<Font, QFont>& Fonts() {
    static auto* m = new std::map<Font, QFont>();
    return *m;
}
Font g_NextFont = 1;

std::unique_ptr<QApplication> g_App;
std::atomic<QObject*> g_Poster{nullptr};
bool g_Wait = false;
// Quit outside Run is kept for the next Run: Qt would otherwise end every later modal
// loop at once (its "quit now" flag stays set until the next exec).
bool g_Running = false;
bool g_QuitPending = false;
int g_QuitCode = 0;
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

// ---- test driver state ---------------------------------------------------------------

struct DriverState {
    bool enabled = false;
    std::multimap<int, test::DialogScript> scripts;  // in insertion order per id
    std::deque<std::optional<std::string>> openAnswers, saveAnswers;
    std::vector<test::FileDialogRecord> fileDialogs;
    std::vector<test::MessageRecord> boxes;
    std::vector<int> opened, unscripted;
};
DriverState& Driver() {
    static DriverState d;
    return d;
}

// ---- fonts ---------------------------------------------------------------------------

QFont SystemFont() {
    return QApplication::font();
}

// The fixed-pitch font at a size whose lines are no taller than the system font's,
// so lists measured with one and drawn with the other line up.
QFont FixedFont() {
    static QFont cached;
    static bool made = false;
    if (!made) {
        made = true;
        cached = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        cached.setStyleHint(QFont::TypeWriter);
        QFontMetrics sys(SystemFont());
        int px = std::max(6, sys.height() * 3 / 4);
        cached.setPixelSize(px);
        while (px > 6 && QFontMetrics(cached).height() > sys.height()) {
            cached.setPixelSize(--px);
        }
        while (QFontMetrics([&] {
                   QFont f = cached;
                   f.setPixelSize(px + 1);
                   return f;
               }())
                       .height() <= sys.height() &&
               px < 64) {
            cached.setPixelSize(++px);
        }
    }
    return cached;
}

int LineHeightOf(const QFont& f) {
    QFontMetrics fm(f);
    return fm.height() + std::max(0, fm.leading());
}

// ---- the painter ---------------------------------------------------------------------

class QtPainter : public Painter {
public:
    explicit QtPainter(QPaintDevice* device)
        : m_Own(std::make_unique<QPainter>(device)), m_P(m_Own.get()) {
        Init();
    }
    explicit QtPainter(QPainter* borrowed) : m_P(borrowed) { Init(); }
    QPainter* P() { return m_P; }

    void SelectSystemFont() override { m_Font = SystemFont(); }
    void SelectFixedFont() override { m_Font = FixedFont(); }
    void SelectFont(Font f) override {
        auto it = Fonts().find(f);
        if (it != Fonts().end()) m_Font = it->second;
    }
    void SetTextColor(Colour c) override { m_Text = c; }
    void SetBkColor(Colour c) override { m_Bk = c; }
    void SetBkTransparent(bool t) override { m_Transparent = t; }
    void TextOut(int x, int y, std::string_view text) override {
        m_P->setFont(m_Font);
        QFontMetrics fm(m_Font);
        QString s = Q(text);
        if (!m_Transparent) {
            m_P->fillRect(QRect(x, y, fm.horizontalAdvance(s), fm.height()), ToQColor(m_Bk));
        }
        m_P->setPen(ToQColor(m_Text));
        m_P->drawText(QPointF(x, y + fm.ascent()), s);
    }
    void FrameRect(const Rect& r, Colour c) override {
        if (r.right <= r.left || r.bottom <= r.top) return;
        QColor q = ToQColor(c);
        m_P->fillRect(QRect(r.left, r.top, r.Width(), 1), q);
        m_P->fillRect(QRect(r.left, r.bottom - 1, r.Width(), 1), q);
        m_P->fillRect(QRect(r.left, r.top, 1, r.Height()), q);
        m_P->fillRect(QRect(r.right - 1, r.top, 1, r.Height()), q);
    }
    void FillRect(const Rect& r, Colour c) override {
        m_P->fillRect(QRect(r.left, r.top, r.Width(), r.Height()), ToQColor(c));
    }
    int LineHeight() override { return LineHeightOf(m_Font); }
    int CharWidth() override { return QFontMetrics(m_Font).horizontalAdvance(QLatin1Char('0')); }

private:
    void Init() { m_Font = SystemFont(); }
    std::unique_ptr<QPainter> m_Own;
    QPainter* m_P;
    QFont m_Font;
    Colour m_Text = RGB(0, 0, 0);
    Colour m_Bk = RGB(255, 255, 255);
    bool m_Transparent = false;
};

int VirtualKeyOf(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kVkReturn;
        case Qt::Key_Escape:
            return kVkEscape;
        case Qt::Key_PageUp:
            return kVkPrior;
        case Qt::Key_PageDown:
            return kVkNext;
        case Qt::Key_End:
            return kVkEnd;
        case Qt::Key_Home:
            return kVkHome;
        case Qt::Key_Left:
            return kVkLeft;
        case Qt::Key_Up:
            return kVkUp;
        case Qt::Key_Right:
            return kVkRight;
        case Qt::Key_Down:
            return kVkDown;
        case Qt::Key_Delete:
            return kVkDelete;
        default:
            return (qtKey >= 0x20 && qtKey < 0x7F) ? qtKey : 0;
    }
}
int QtKeyOf(int vk) {
    switch (vk) {
        case kVkReturn:
            return Qt::Key_Return;
        case kVkEscape:
            return Qt::Key_Escape;
        case kVkPrior:
            return Qt::Key_PageUp;
        case kVkNext:
            return Qt::Key_PageDown;
        case kVkEnd:
            return Qt::Key_End;
        case kVkHome:
            return Qt::Key_Home;
        case kVkLeft:
            return Qt::Key_Left;
        case kVkUp:
            return Qt::Key_Up;
        case kVkRight:
            return Qt::Key_Right;
        case kVkDown:
            return Qt::Key_Down;
        case kVkDelete:
            return Qt::Key_Delete;
        default:
            return vk;
    }
}

// ---- child windows -------------------------------------------------------------------

class ChildWindow : public QWidget, public Target {
public:
    ChildWindow(const ClassEntry& cls) : m_Class(cls) {
        Register(this);
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
        m_Bar = new QScrollBar(Qt::Vertical, this);
        m_Bar->hide();
        m_Bar->setFocusPolicy(Qt::NoFocus);
        connect(m_Bar, &QScrollBar::actionTriggered, this,
                [this](int action) { OnBarAction(action); });
        connect(m_Bar, &QScrollBar::sliderReleased, this, [this] {
            Deliver({Msg::VScroll, 0, MakeLong(kThumbPosition, m_Bar->sliderPosition()), 0});
        });
    }
    ~ChildWindow() override { Unregister(this); }
    QWidget* Widget() override { return this; }
    long Deliver(const Message& m) override {
        if (m_Dead) return 0;
        QPointer<QWidget> guard(this);
        long r = m_Class.proc ? m_Class.proc(m_Handle, m) : 0;
        (void)guard;
        return r;
    }

    QSize ClientSize() const {
        int w = width() - (m_Bar->isVisible() || m_BarWanted ? m_Bar->sizeHint().width() : 0);
        return QSize(std::max(0, w), height());
    }
    void Relayout() {
        int bw = m_Bar->sizeHint().width();
        m_Bar->setGeometry(width() - bw, 0, bw, height());
        m_Bar->setVisible(m_BarWanted);
    }
    void EnsureSurface() {
        QSize cs = ClientSize();
        qreal dpr = devicePixelRatioF();
        QSize px(std::max(1, int(std::ceil(cs.width() * dpr))),
                 std::max(1, int(std::ceil(cs.height() * dpr))));
        if (m_Surface.size() != px || m_Surface.devicePixelRatio() != dpr) {
            QImage next(px, QImage::Format_RGB32);
            next.setDevicePixelRatio(dpr);
            next.fill(ToQColor(m_Class.background));
            m_Surface = next;
            InvalidateRect(QRect(QPoint(0, 0), cs), true);
        }
    }
    void SetBarWanted(bool want) {
        if (want == m_BarWanted) return;
        m_BarWanted = want;
        Relayout();
        EnsureSurface();
        SendSize();
    }
    void SendSize() {
        QSize cs = ClientSize();
        if (cs == m_LastSize) return;
        m_LastSize = cs;
        Deliver({Msg::Size, 0, 0, MakeLong(cs.width(), cs.height())});
    }
    void InvalidateRect(const QRect& r, bool erase) {
        QRect clipped = r.intersected(QRect(QPoint(0, 0), ClientSize()));
        if (clipped.isEmpty()) return;
        m_Invalid += clipped;
        if (erase) m_Erase += clipped;
        update(clipped);
    }
    // Runs the Paint message for what is invalid.
    void DoPaint() {
        if (m_Invalid.isEmpty() || m_Dead) return;
        EnsureSurface();
        if (!m_Erase.isEmpty()) {
            QPainter p(&m_Surface);
            for (const QRect& r : m_Erase) p.fillRect(r, ToQColor(m_Class.background));
        }
        m_PaintRegion = m_Invalid;
        m_Invalid = QRegion();
        m_Erase = QRegion();
        ++m_PaintCount;
        m_LastPaint = m_PaintRegion.boundingRect();
        Deliver({Msg::Paint, 0, 0, 0});
        m_PaintPainter.reset();
        m_Shown += m_PaintRegion;
        m_PaintRegion = QRegion();
    }
    Painter* BeginPaintHere() {
        EnsureSurface();
        m_PaintPainter = std::make_unique<QtPainter>(&m_Surface);
        if (!m_PaintRegion.isEmpty()) m_PaintPainter->P()->setClipRegion(m_PaintRegion);
        return m_PaintPainter.get();
    }
    void EndPaintHere() { m_PaintPainter.reset(); }
    Painter* GetDCHere() {
        EnsureSurface();
        m_DCPainter = std::make_unique<QtPainter>(&m_Surface);
        return m_DCPainter.get();
    }
    void ReleaseDCHere() {
        m_DCPainter.reset();
        update();
    }
    void ScrollBandHere(int top, int bottom, int dy) {
        EnsureSurface();
        QSize cs = ClientSize();
        if (bottom <= top || dy == 0) return;
        m_DCPainter.reset();
        qreal dpr = m_Surface.devicePixelRatio();
        QRect band(0, top, cs.width(), bottom - top);
        QImage copy = m_Surface.copy(
            QRect(0, int(top * dpr), int(cs.width() * dpr), int((bottom - top) * dpr)));
        copy.setDevicePixelRatio(dpr);
        {
            QPainter p(&m_Surface);
            p.setClipRect(band);
            p.drawImage(QPointF(0, top + dy), copy);
        }
        // What was invalid moves with the pixels.
        QRegion moved = m_Invalid.intersected(band).translated(0, dy).intersected(band);
        m_Invalid = m_Invalid.subtracted(band) + moved;
        update();
    }
    void UpdateNowHere() {
        DoPaint();
        QRegion r = m_Shown;
        m_Shown = QRegion();
        if (!r.isEmpty()) repaint(r);
    }

    void OnBarAction(int action) {
        int code = -1;
        switch (action) {
            case QAbstractSlider::SliderSingleStepAdd:
                code = kLineDown;
                break;
            case QAbstractSlider::SliderSingleStepSub:
                code = kLineUp;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                code = kPageDown;
                break;
            case QAbstractSlider::SliderPageStepSub:
                code = kPageUp;
                break;
            case QAbstractSlider::SliderMove:
                Deliver({Msg::VScroll, 0, MakeLong(kThumbTrack, m_Bar->sliderPosition()), 0});
                return;
            default:
                return;
        }
        // The window decides where the bar goes: undo the bar's own step.
        m_Bar->setSliderPosition(m_Bar->value());
        Deliver({Msg::VScroll, 0, MakeLong(code, m_Bar->value()), 0});
    }

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

protected:
    void resizeEvent(QResizeEvent*) override {
        Relayout();
        EnsureSurface();
        // Resizing repaints the whole window, as the list windows expect.
        InvalidateRect(QRect(QPoint(0, 0), ClientSize()), true);
        SendSize();
    }
    void paintEvent(QPaintEvent* e) override {
        DoPaint();
        m_Shown = m_Shown.subtracted(e->region());
        QPainter p(this);
        p.setClipRect(e->rect());
        p.drawImage(QPointF(0, 0), m_Surface);
    }
    void keyPressEvent(QKeyEvent* e) override {
        int vk = VirtualKeyOf(e->key());
        if (vk) Deliver({Msg::KeyDown, 0, vk, 0});
    }
    void mousePressEvent(QMouseEvent* e) override {
        long pos = MakeLong(int(e->position().x()), int(e->position().y()));
        if (e->button() == Qt::LeftButton) Deliver({Msg::LButtonDown, 0, 0, pos});
        if (e->button() == Qt::RightButton) Deliver({Msg::RButtonDown, 0, 0, pos});
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) {
            Deliver({Msg::LButtonDblClk, 0, 0,
                     MakeLong(int(e->position().x()), int(e->position().y()))});
        }
    }
};

ChildWindow* ChildOf(Window w) {
    return dynamic_cast<ChildWindow*>(Lookup(w));
}

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
    FrameWindow(const FrameSpec& spec, WindowProc proc) : m_Proc(std::move(proc)) {
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
        setContextMenuPolicy(Qt::NoContextMenu);
        statusBar()->setSizeGripEnabled(true);
        menuBar()->setNativeMenuBar(false);
        connect(m_Mdi, &QMdiArea::subWindowActivated, this,
                [this](QMdiSubWindow* sub) { OnActivated(sub); });
        m_Requested = QRect(spec.x, spec.y, spec.width, spec.height);
        move(spec.x, spec.y);
        resize(spec.width, spec.height);
    }
    ~FrameWindow() override { Unregister(this); }
    QWidget* Widget() override { return this; }
    long Deliver(const Message& m) override {
        if (m_Destroyed && m.msg != Msg::Destroy) return 0;
        return m_Proc ? m_Proc(m_Handle, m) : 0;
    }

    QRect Actual() const {
        return QRect(frameGeometry().x(), frameGeometry().y(), width(), height());
    }
    void NoteBaseline() {
        if (!m_HaveBaseline) {
            m_Baseline = Actual();
            m_HaveBaseline = true;
        }
    }
    QRect Placement() const {
        if (!m_HaveBaseline || Actual() == m_Baseline) return m_Requested;
        return Actual();
    }

    void Destroy() {
        if (m_Destroyed) return;
        for (Window c : ChildHandles()) MdiDestroy(c);
        Deliver({Msg::Destroy, 0, 0, 0});
        m_Destroyed = true;
        Unregister(this);
        m_Handle = 0;
        hide();
        deleteLater();
    }
    std::vector<Window> ChildHandles() const {
        std::vector<Window> out;
        for (QMdiSubWindow* sub : m_Mdi->subWindowList()) {
            if (auto* c = dynamic_cast<ChildWindow*>(sub->widget()); c && !c->m_Dead)
                out.push_back(c->m_Handle);
        }
        return out;
    }

    void RebuildMenu() {
        menuBar()->clear();
        m_Actions.clear();
        auto it = Menus().find(m_Menu);
        if (it == Menus().end() || !it->second.tpl) return;
        MenuData& md = it->second;
        for (const Popup& pop : md.tpl->popups) {
            QMenu* qm = menuBar()->addMenu(QString::fromUtf8(pop.title));
            for (const MenuItem& item : pop.items) {
                if (item.id == 0) {
                    qm->addSeparator();
                    continue;
                }
                QAction* a = qm->addAction(QString::fromUtf8(item.text));
                int id = item.id;
                a->setEnabled(!md.grey[id]);
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
    void UpdateItem(int id) {
        auto a = m_Actions.find(id);
        auto md = Menus().find(m_Menu);
        if (a == m_Actions.end() || md == Menus().end()) return;
        a->second->setEnabled(!md->second.grey[id]);
        bool checked = md->second.checked[id];
        a->second->setCheckable(checked);
        a->second->setChecked(checked);
    }

    void OnActivated(QMdiSubWindow* sub) {
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

    WindowProc m_Proc;
    MdiClientArea* m_Mdi = nullptr;
    QToolBar* m_Tools = nullptr;
    std::vector<ToolButton> m_Buttons;
    std::vector<QAction*> m_ButtonActions;
    Menu m_Menu = 0;
    std::map<int, QAction*> m_Actions;
    QRect m_Requested, m_Baseline;
    bool m_HaveBaseline = false;
    bool m_Destroyed = false;
    Window m_Active = 0;

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        Destroy();
    }
};

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

// ---- dialogs -------------------------------------------------------------------------

// "512 bytes", "3.4 KB", "12.0 MB", "1.5 GB": what a progress bar writes on itself.
static std::string ByteFigure(long long n) {
    if (n < 1024) return std::to_string(n) + " bytes";
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
    double v = static_cast<double>(n) / 1024.0;
    int unit = 0;
    while (v >= 1024.0 && unit < 3) {
        v /= 1024.0;
        ++unit;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f %s", v, kUnits[unit]);
    return buf;
}

class DialogImpl : public QDialog, public Dialog, public Target {
public:
    DialogImpl(QWidget* owner, const DialogTemplate& tpl, DialogProc proc)
        : QDialog(owner), m_Tpl(tpl), m_Proc(std::move(proc)) {
        Register(this);
        setWindowTitle(QString::fromUtf8(tpl.title));
        setModal(true);
        if (g_Icon) setWindowIcon(*g_Icon);
        QFontMetrics fm(font());
        const int baseX = std::max(
            1, (fm.horizontalAdvance(
                    QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                    26 +
                1) /
                   2);
        const int baseY = std::max(1, fm.height());
        auto X = [&](int d) { return (d * baseX + 2) / 4; };
        auto Y = [&](int d) { return (d * baseY + 4) / 8; };
        int top = 0;
        if (tpl.menu) BuildMenu(tpl.menu, top);
        QButtonGroup* group = nullptr;
        for (const ControlTemplate& c : tpl.controls) {
            QRect r(X(c.x), top + Y(c.y), X(c.w), Y(c.h));
            QWidget* w = MakeControl(c, group);
            if (!w) continue;
            w->setGeometry(r);
            if (c.style & kDisabled) w->setEnabled(false);
            if (c.id != -1 && !m_Controls.count(c.id)) m_Controls[c.id] = w;
            if (c.kind == ControlKind::Frame) w->lower();
        }
        setFixedSize(X(tpl.w), top + Y(tpl.h));
    }
    ~DialogImpl() override { Unregister(this); }
    QWidget* Widget() override { return this; }
    long Deliver(const Message& m) override {
        if (m.msg != Msg::Command || m_Ended) return 0;
        return Fire({DialogEventKind::Command, m.id, 0, m.wParam}) ? 1 : 0;
    }
    bool Fire(const DialogEvent& e) { return m_Proc ? m_Proc(*this, e) : false; }

    // Dialog
    void SetText(int id, std::string_view text) override {
        QWidget* w = Control(id);
        if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(Q(text));
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            e->setText(Q(text));
        else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
            p->setPlainText(Q(text));
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            b->setText(Q(text));
        else if (auto* c = qobject_cast<QComboBox*>(w)) {
            if (c->isEditable())
                c->setEditText(Q(text));
            else
                c->setCurrentIndex(c->findText(Q(text)));
        }
    }
    std::string Text(int id, int maxChars) const override {
        QWidget* w = Control(id);
        QString s;
        if (auto* l = qobject_cast<QLabel*>(w))
            s = l->text();
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            s = e->text();
        else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
            s = p->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            s = b->text();
        else if (auto* c = qobject_cast<QComboBox*>(w))
            s = c->currentText();
        // Cut by bytes of the 8-bit text, never inside a character.
        std::string out = S(s);
        if (maxChars >= 0 && out.size() > static_cast<size_t>(maxChars)) {
            size_t cut = static_cast<size_t>(maxChars);
            while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
            out.resize(cut);
        }
        return out;
    }
    void Enable(int id, bool enable) override {
        if (QWidget* w = Control(id)) w->setEnabled(enable);
    }
    bool IsEnabled(int id) const override {
        QWidget* w = Control(id);
        return w && w->isEnabled();
    }
    void Check(int id, bool checked) override {
        if (auto* b = qobject_cast<QAbstractButton*>(Control(id))) b->setChecked(checked);
    }
    bool IsChecked(int id) const override {
        auto* b = qobject_cast<QAbstractButton*>(Control(id));
        return b && b->isChecked();
    }
    void ListAdd(int id, std::string_view text) override {
        m_Quiet = true;
        if (auto* l = qobject_cast<QListWidget*>(Control(id)))
            l->addItem(Q(text));
        else if (auto* c = qobject_cast<QComboBox*>(Control(id)))
            c->addItem(Q(text));
        m_Quiet = false;
    }
    void ListClear(int id) override {
        m_Quiet = true;
        if (auto* l = qobject_cast<QListWidget*>(Control(id)))
            l->clear();
        else if (auto* c = qobject_cast<QComboBox*>(Control(id)))
            c->clear();
        m_Quiet = false;
    }
    int ListCount(int id) const override {
        if (auto* l = qobject_cast<QListWidget*>(Control(id))) return l->count();
        if (auto* c = qobject_cast<QComboBox*>(Control(id))) return c->count();
        return 0;
    }
    std::string ListText(int id, int index) const override {
        if (auto* l = qobject_cast<QListWidget*>(Control(id))) {
            if (index >= 0 && index < l->count()) return S(l->item(index)->text());
        } else if (auto* c = qobject_cast<QComboBox*>(Control(id))) {
            if (index >= 0 && index < c->count()) return S(c->itemText(index));
        }
        return {};
    }
    void ListSelect(int id, int index) override {
        m_Quiet = true;
        if (auto* l = qobject_cast<QListWidget*>(Control(id))) {
            l->setCurrentRow(index >= 0 && index < l->count() ? index : -1);
        } else if (auto* c = qobject_cast<QComboBox*>(Control(id))) {
            c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
        }
        m_Quiet = false;
    }
    int ListSelection(int id) const override {
        if (auto* l = qobject_cast<QListWidget*>(Control(id))) {
            return l->currentItem() && l->currentItem()->isSelected() ? l->currentRow() : -1;
        }
        if (auto* c = qobject_cast<QComboBox*>(Control(id))) return c->currentIndex();
        return -1;
    }
    void SetTitle(std::string_view title) override { setWindowTitle(Q(title)); }
    std::string Title() const override { return S(windowTitle()); }
    void End(int result) override {
        if (m_Ended) return;
        m_Ended = true;
        m_Result = result;
        done(result);
    }
    bool Ended() const override { return m_Ended; }
    Window Handle() const override { return m_Handle; }
    int Id() const override { return m_Tpl.id; }
    bool Press(int id) override {
        if (m_Ended) return false;
        QWidget* w = Control(id);
        if (w && qobject_cast<QAbstractButton*>(w)) {
            if (!w->isEnabled()) return false;
            auto* b = static_cast<QAbstractButton*>(w);
            if (b->isCheckable() && !qobject_cast<QRadioButton*>(b))
                b->setChecked(!b->isChecked());
            else if (qobject_cast<QRadioButton*>(b))
                b->setChecked(true);
            Fire({DialogEventKind::Command, id, kClicked, 0});
            return true;
        }
        auto a = m_MenuActions.find(id);
        if (a != m_MenuActions.end()) {
            if (!a->second->isEnabled()) return false;
            Fire({DialogEventKind::Command, id, kClicked, 0});
            return true;
        }
        if (id == 2) {  // Escape works without a Cancel button
            Fire({DialogEventKind::Command, 2, kClicked, 0});
            return true;
        }
        return false;
    }
    void SetMenuItemGrey(int id, bool grey) override {
        auto a = m_MenuActions.find(id);
        if (a != m_MenuActions.end()) a->second->setEnabled(!grey);
    }
    void SetProgress(int id, long long value, long long total) override {
        auto* bar = qobject_cast<QProgressBar*>(Control(id));
        if (!bar) return;
        if (value < 0) {
            bar->hide();
            m_Progress.erase(id);
            return;
        }
        m_Progress[id] = value;
        // The bar counts in int; byte counts scale down to a fixed range, and the figures
        // themselves are written on the bar.
        if (total <= 0) {
            bar->setRange(0, 0);
            bar->setFormat(Q(ByteFigure(value)));
        } else {
            bar->setRange(0, 1000);
            bar->setValue(static_cast<int>(std::min<long long>(value, total) * 1000 / total));
            bar->setFormat(Q(ByteFigure(value) + " of " + ByteFigure(total)) +
                           QStringLiteral(" (%p%)"));
        }
        bar->show();
    }
    long long ProgressValue(int id) const override {
        auto it = m_Progress.find(id);
        return it == m_Progress.end() ? -1 : it->second;
    }
    bool IsShown(int id) const override {
        QWidget* w = Control(id);
        return w && !w->isHidden();
    }
    void Refresh() override { repaint(); }

    int m_Result = 0;

protected:
    void reject() override {
        if (!m_Ended) Fire({DialogEventKind::Command, 2, kClicked, 0});
    }
    void closeEvent(QCloseEvent* e) override {
        if (!m_Ended) {
            e->ignore();
            Fire({DialogEventKind::Command, 2, kClicked, 0});
        }
    }

private:
    QWidget* Control(int id) const {
        auto it = m_Controls.find(id);
        return it == m_Controls.end() ? nullptr : it->second;
    }
    void BuildMenu(const char* name, int& top) {
        const MenuTemplate* mt = FindMenuTemplate(name);
        if (!mt) return;
        auto* bar = new QMenuBar(this);
        bar->setNativeMenuBar(false);
        for (const Popup& pop : mt->popups) {
            QMenu* qm = bar->addMenu(QString::fromUtf8(pop.title));
            for (const MenuItem& item : pop.items) {
                if (item.id == 0) {
                    qm->addSeparator();
                    continue;
                }
                QAction* a = qm->addAction(QString::fromUtf8(item.text));
                a->setEnabled(!item.grey);
                int id = item.id;
                connect(a, &QAction::triggered, this, [this, id] {
                    if (!m_Ended) Fire({DialogEventKind::Command, id, kClicked, 0});
                });
                m_MenuActions[id] = a;
            }
        }
        bar->adjustSize();
        top = bar->sizeHint().height();
        bar->setGeometry(0, 0, 10000, top);
    }
    QWidget* MakeControl(const ControlTemplate& c, QButtonGroup*& group) {
        const int id = c.id;
        const QString text = QString::fromUtf8(c.text);
        switch (c.kind) {
            case ControlKind::Label: {
                auto* l = new QLabel(text, this);
                l->setAlignment(((c.style & kAlignRight) ? Qt::AlignRight : Qt::AlignLeft) |
                                Qt::AlignVCenter);
                l->setTextFormat(Qt::PlainText);
                return l;
            }
            case ControlKind::Edit: {
                if (c.style & kMultiLine) {
                    auto* p = new QPlainTextEdit(this);
                    p->setPlainText(text);
                    p->setReadOnly(c.style & kReadOnly);
                    p->setLineWrapMode((c.style & kNoHScroll) ? QPlainTextEdit::WidgetWidth
                                                              : QPlainTextEdit::NoWrap);
                    p->setTabChangesFocus(false);
                    return p;
                }
                auto* e = new QLineEdit(text, this);
                if (c.style & kPassword) e->setEchoMode(QLineEdit::Password);
                e->setReadOnly(c.style & kReadOnly);
                if (c.style & kNoHScroll) {
                    // Without horizontal scrolling, the box's width limits the text.
                    connect(e, &QLineEdit::textEdited, e, [e](const QString& s) {
                        QFontMetrics fm(e->font());
                        int room = e->width() - 8;
                        QString t = s;
                        while (!t.isEmpty() && fm.horizontalAdvance(t) > room) t.chop(1);
                        if (t != s) e->setText(t);
                    });
                }
                return e;
            }
            case ControlKind::Button:
            case ControlKind::DefButton: {
                auto* b = new QPushButton(text, this);
                b->setAutoDefault(false);
                if (c.kind == ControlKind::DefButton) b->setDefault(true);
                connect(b, &QPushButton::clicked, this, [this, id] {
                    if (!m_Ended) Fire({DialogEventKind::Command, id, kClicked, 0});
                });
                return b;
            }
            case ControlKind::ListBox: {
                auto* l = new QListWidget(this);
                l->setSortingEnabled(false);
                connect(l, &QListWidget::itemDoubleClicked, this, [this, id](QListWidgetItem*) {
                    if (!m_Ended) Fire({DialogEventKind::Command, id, kListDoubleClick, 0});
                });
                connect(l, &QListWidget::currentRowChanged, this, [this, id](int) {
                    if (!m_Quiet && !m_Ended)
                        Fire({DialogEventKind::Command, id, kSelectionChanged, 0});
                });
                return l;
            }
            case ControlKind::ComboBox: {
                auto* cb = new QComboBox(this);
                cb->setEditable(!(c.style & kDropDownList));
                cb->setInsertPolicy(QComboBox::NoInsert);
                connect(cb, &QComboBox::currentIndexChanged, this, [this, id](int) {
                    if (!m_Quiet && !m_Ended)
                        Fire({DialogEventKind::Command, id, kSelectionChanged, 0});
                });
                return cb;
            }
            case ControlKind::CheckBox: {
                auto* b = new QCheckBox(text, this);
                connect(b, &QCheckBox::clicked, this, [this, id] {
                    if (!m_Ended) Fire({DialogEventKind::Command, id, kClicked, 0});
                });
                return b;
            }
            case ControlKind::Radio: {
                auto* b = new QRadioButton(text, this);
                if (!group || (c.style & kGroupStart)) {
                    group = new QButtonGroup(this);
                    group->setExclusive(true);
                }
                group->addButton(b);
                connect(b, &QRadioButton::clicked, this, [this, id] {
                    if (!m_Ended) Fire({DialogEventKind::Command, id, kClicked, 0});
                });
                return b;
            }
            case ControlKind::Icon: {
                auto* l = new QLabel(this);
                if (g_Icon) l->setPixmap(g_Icon->pixmap(32, 32));
                l->setAlignment(Qt::AlignCenter);
                return l;
            }
            case ControlKind::Progress: {
                auto* bar = new QProgressBar(this);
                bar->setRange(0, 1000);
                bar->setValue(0);
                bar->setTextVisible(true);
                bar->hide();  // shown by the first SetProgress
                return bar;
            }
            case ControlKind::Frame: {
                auto* f = new QFrame(this);
                f->setFrameShape(QFrame::Box);
                f->setStyleSheet(QStringLiteral("QFrame { border: 1px solid black; }"));
                return f;
            }
        }
        return nullptr;
    }

    const DialogTemplate& m_Tpl;
    DialogProc m_Proc;
    std::map<int, QWidget*> m_Controls;
    std::map<int, QAction*> m_MenuActions;
    std::map<int, long long> m_Progress;
    bool m_Ended = false;
    bool m_Quiet = false;
};

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

// ---- application -----------------------------------------------------------------------

Application::Application(int& argc, char** argv) {
    if (!g_App) {
        g_App = std::make_unique<QApplication>(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        g_Poster = g_App.get();
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

void RegisterClass(std::string_view className, WindowProc proc, Colour background) {
    Classes()[std::string(className)] = ClassEntry{std::move(proc), background};
}

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

// ---- frame -----------------------------------------------------------------------------

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
    QCoreApplication::processEvents();
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
        if (ChildWindow* c = ChildOf(w); c && c->m_Sub)
            c->m_Sub->setWindowTitle(Q(title));
        else
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
    f->move(x, y);
    f->resize(width, height);
    QCoreApplication::processEvents();
}

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

void ClearToolbar(Window frame) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    // From the last button to the first.
    while (!f->m_ButtonActions.empty()) {
        QAction* a = f->m_ButtonActions.back();
        f->m_ButtonActions.pop_back();
        f->m_Tools->removeAction(a);
        delete a;
    }
    f->m_Buttons.clear();
}
void AddToolButtons(Window frame, std::span<const ToolButton> buttons) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return;
    for (const ToolButton& b : buttons) {
        auto* a = new QAction(StdIcon(b.image), Q(b.label), f->m_Tools);
        a->setEnabled(b.enabled);
        int id = b.id;
        QObject::connect(a, &QAction::triggered, f, [f, id] {
            f->Deliver({Msg::Command, id, 1, 0});
        });
        f->m_Tools->addAction(a);
        f->m_ButtonActions.push_back(a);
        f->m_Buttons.push_back(b);
    }
    f->m_Tools->show();
}
std::vector<ToolButton> ToolButtons(Window frame) {
    FrameWindow* f = FrameOf(frame);
    return f ? f->m_Buttons : std::vector<ToolButton>{};
}
void PressToolButton(Window frame, int index) {
    FrameWindow* f = FrameOf(frame);
    if (!f || index < 0 || index >= int(f->m_ButtonActions.size())) return;
    QAction* a = f->m_ButtonActions[size_t(index)];
    if (a->isEnabled()) a->trigger();
}
bool PressMenuItem(Window frame, int id) {
    FrameWindow* f = FrameOf(frame);
    if (!f) return false;
    auto it = f->m_Actions.find(id);
    if (it == f->m_Actions.end() || !it->second->isEnabled()) return false;
    it->second->trigger();
    return true;
}

Window CreateChild(Window frame, std::string_view className, std::string_view title, int x, int y,
                   int w, int h) {
    FrameWindow* f = FrameOf(frame);
    auto cls = Classes().find(className);
    if (!f || cls == Classes().end()) return 0;
    auto* child = new ChildWindow(cls->second);
    Window handle = child->m_Handle;
    child->Deliver({Msg::Create, 0, 0, 0});
    if (!IsWindow(handle)) return 0;
    QMdiSubWindow* sub = f->m_Mdi->addSubWindow(child);
    child->m_Sub = sub;
    sub->setWindowTitle(Q(title));
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

// ---- painting --------------------------------------------------------------------------

Font CreateFont(const char* face, int cellHeight, int weight, bool italic) {
    QFont f(QString::fromUtf8(face));
    f.setStyleHint(QFont::SansSerif);
    f.setWeight(QFont::Weight(std::clamp(weight, 100, 900)));
    f.setItalic(italic);
    // The height asked for is the character cell (ascent + descent), not the em.
    f.setPixelSize(std::max(1, cellHeight));
    int h = QFontMetrics(f).height();
    if (h > 0) f.setPixelSize(std::max(1, (cellHeight * cellHeight + h / 2) / h));
    Font handle = g_NextFont++;
    Fonts()[handle] = f;
    return handle;
}
void DeleteFont(Font f) {
    Fonts().erase(f);
}

Painter* BeginPaint(Window w) {
    if (ChildWindow* c = ChildOf(w)) return c->BeginPaintHere();
    if (auto* m = dynamic_cast<MdiClientArea*>(Lookup(w))) return m->m_Painter.get();
    return nullptr;
}
void EndPaint(Window w) {
    if (ChildWindow* c = ChildOf(w)) c->EndPaintHere();
}
Painter* GetDC(Window w) {
    ChildWindow* c = ChildOf(w);
    return c ? c->GetDCHere() : nullptr;
}
void ReleaseDC(Window w) {
    if (ChildWindow* c = ChildOf(w)) c->ReleaseDCHere();
}
void ScrollBand(Window w, int top, int bottom, int dy) {
    if (ChildWindow* c = ChildOf(w)) c->ScrollBandHere(top, bottom, dy);
}
void Invalidate(Window w, const Rect* r, bool erase) {
    if (ChildWindow* c = ChildOf(w)) {
        QSize cs = c->ClientSize();
        c->InvalidateRect(
            r ? QRect(r->left, r->top, r->Width(), r->Height()) : QRect(QPoint(0, 0), cs), erase);
    } else if (QWidget* q = WidgetOf(w)) {
        if (auto* m = dynamic_cast<MdiClientArea*>(q))
            m->viewport()->update();
        else
            q->update();
    }
}
void UpdateNow(Window w) {
    if (ChildWindow* c = ChildOf(w))
        c->UpdateNowHere();
    else if (QWidget* q = WidgetOf(w))
        q->repaint();
}

void SetScrollRange(Window w, int min, int max, bool redraw) {
    ChildWindow* c = ChildOf(w);
    if (!c) return;
    c->m_Bar->blockSignals(true);
    c->m_Bar->setRange(min, std::max(min, max));
    c->m_Bar->setPageStep(std::max(1, (max - min) / 10));
    c->m_Bar->blockSignals(false);
    c->SetBarWanted(max > min);
    if (redraw) c->m_Bar->update();
}
void SetScrollPos(Window w, int pos, bool redraw) {
    ChildWindow* c = ChildOf(w);
    if (!c) return;
    c->m_Bar->blockSignals(true);
    c->m_Bar->setValue(pos);
    c->m_Bar->blockSignals(false);
    if (redraw) c->m_Bar->update();
}
void ShowScrollBar(Window w, bool show) {
    if (ChildWindow* c = ChildOf(w)) c->SetBarWanted(show);
}
int GetScrollPos(Window w) {
    ChildWindow* c = ChildOf(w);
    return c ? c->m_Bar->value() : 0;
}
bool IsScrollBarShown(Window w) {
    ChildWindow* c = ChildOf(w);
    return c && c->m_BarWanted;
}
void GetScrollRange(Window w, int& min, int& max) {
    ChildWindow* c = ChildOf(w);
    min = c ? c->m_Bar->minimum() : 0;
    max = c ? c->m_Bar->maximum() : 0;
}

// ---- cursors, boxes, file dialogs ----------------------------------------------------------

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

int MessageBox(Window owner, std::string_view text, std::string_view caption) {
    // From a worker thread (a transfer's exchange reporting a socket failure) the box is
    // shown by the window thread, and the worker waits for it as it would for its own.
    if (g_App && QThread::currentThread() != g_App->thread()) {
        QObject* poster = g_Poster.load();
        if (!poster) return 1;
        std::string t(text), c(caption);
        int result = 1;
        QMetaObject::invokeMethod(
            poster, [&] { result = MessageBox(owner, t, c); }, Qt::BlockingQueuedConnection);
        return result;
    }
    if (Driver().enabled) {
        Driver().boxes.push_back({owner, std::string(text), std::string(caption)});
        return 1;
    }
    QMessageBox box(WidgetOf(owner));
    box.setWindowTitle(Q(caption));
    box.setText(Q(text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    if (g_Icon) box.setWindowIcon(*g_Icon);
    bool wait = g_Wait;
    SetArrowCursor();
    box.exec();
    if (wait) SetWaitCursor();
    return 1;
}

static bool RunFileDialog(Window owner, const FileDialogSpec& spec, std::string& path, bool save) {
    if (Driver().enabled) {
        Driver().fileDialogs.push_back({save, spec});
        auto& q = save ? Driver().saveAnswers : Driver().openAnswers;
        if (q.empty()) return false;
        std::optional<std::string> a = q.front();
        q.pop_front();
        if (!a) return false;
        path = *a;
        return true;
    }
    QFileDialog dlg(WidgetOf(owner), Q(spec.title), Q(spec.folder));
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    QStringList filters;
    auto addFilter = [&filters](const std::string& description, const std::string& pattern) {
        // Qt takes the patterns from the parentheses, separated by blanks: "(*.jpg, *.gif)"
        // reads as "(*.jpg *.gif)", and a description without them gets the pattern.
        QString d = Q(description).replace(QStringLiteral(", *"), QStringLiteral(" *"));
        if (!d.contains(QLatin1Char('(')))
            d += QStringLiteral(" (") + Q(pattern).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                 QStringLiteral(")");
        filters << d;
    };
    if (spec.filters.empty()) {
        addFilter(spec.filterName, spec.pattern);
    } else {
        for (const FileFilter& f : spec.filters) addFilter(f.description, f.pattern);
    }
    dlg.setNameFilters(filters);
    if (!filters.isEmpty()) dlg.selectNameFilter(filters.first());
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !spec.confirmOverwrite);
    if (save) {
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
    } else {
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
    }
    if (!spec.fileName.empty()) dlg.selectFile(Q(spec.fileName));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    path = S(dlg.selectedFiles().first());
    return true;
}
bool GetOpenFileName(Window owner, const FileDialogSpec& spec, std::string& path) {
    return RunFileDialog(owner, spec, path, false);
}
bool GetSaveFileName(Window owner, const FileDialogSpec& spec, std::string& path) {
    return RunFileDialog(owner, spec, path, true);
}

// ---- modal dialogs -----------------------------------------------------------------------

int DialogBox(Window owner, int dialogId, DialogProc proc) {
    const DialogTemplate* tpl = FindDialogTemplate(dialogId);
    if (!tpl) return -1;
    DialogImpl dlg(WidgetOf(owner), *tpl, std::move(proc));
    dlg.Fire({DialogEventKind::Init, 0, 0, 0});
    if (dlg.Ended()) return dlg.m_Result;
    DriverState& d = Driver();
    if (d.enabled) {
        d.opened.push_back(dialogId);
        test::DialogScript script;
        auto it = d.scripts.find(dialogId);
        if (it != d.scripts.end()) {
            script = std::move(it->second);
            d.scripts.erase(it);
        }
        QPointer<DialogImpl> guard(&dlg);
        QTimer::singleShot(0, &dlg, [guard, script, dialogId] {
            if (!guard) return;
            if (script) script(*guard);
            if (guard && !guard->Ended()) {
                Driver().unscripted.push_back(dialogId);
                guard->Press(2);
                if (guard && !guard->Ended()) guard->End(2);
            }
        });
    }
    bool wait = g_Wait;
    SetArrowCursor();
    dlg.exec();
    if (wait) SetWaitCursor();
    return dlg.m_Result;
}

// ---- the test driver ---------------------------------------------------------------------

namespace test {
void Enable() {
    Driver().enabled = true;
}
void Disable() {
    Driver().enabled = false;
}
bool Enabled() {
    return Driver().enabled;
}
void Reset() {
    bool en = Driver().enabled;
    Driver() = DriverState{};
    Driver().enabled = en;
}
void OnDialog(int dialogId, DialogScript script) {
    Driver().scripts.emplace(dialogId, std::move(script));
}
int PendingScripts() {
    return int(Driver().scripts.size());
}
void QueueOpenFile(std::optional<std::string> path) {
    Driver().openAnswers.push_back(std::move(path));
}
void QueueSaveFile(std::optional<std::string> path) {
    Driver().saveAnswers.push_back(std::move(path));
}
const std::vector<FileDialogRecord>& FileDialogs() {
    return Driver().fileDialogs;
}
const std::vector<MessageRecord>& MessageBoxes() {
    return Driver().boxes;
}
const std::vector<int>& DialogsOpened() {
    return Driver().opened;
}
const std::vector<int>& Unscripted() {
    return Driver().unscripted;
}
Colour SurfacePixel(Window w, int x, int y) {
    ChildWindow* c = ChildOf(w);
    if (!c || c->m_Surface.isNull()) return 0;
    qreal dpr = c->m_Surface.devicePixelRatio();
    QPoint p(int(x * dpr), int(y * dpr));
    if (!c->m_Surface.rect().contains(p)) return 0;
    QRgb v = c->m_Surface.pixel(p);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}
int PaintCount(Window w) {
    ChildWindow* c = ChildOf(w);
    return c ? c->m_PaintCount : 0;
}
Rect LastPaintRect(Window w) {
    ChildWindow* c = ChildOf(w);
    if (!c) return {};
    QRect r = c->m_LastPaint;
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}
void SendKey(Window w, int virtualKey) {
    QWidget* q = WidgetOf(w);
    if (!q) return;
    QKeyEvent ev(QEvent::KeyPress, QtKeyOf(virtualKey), Qt::NoModifier);
    QCoreApplication::sendEvent(q, &ev);
}
void SendMessageTo(Window w, const Message& m) {
    if (Target* t = Lookup(w)) t->Deliver(m);
}
}  // namespace test

}  // namespace gui
