// Child windows. Each paints into a surface of its own (an image the size of the client
// area), so that drawing outside a paint message, moving a band of pixels and painting only
// what is invalid work exactly as the studio expects, and tests can read back what was
// drawn. Also here: the window's scroll bar and the translation of keys and mouse input.
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QWheelEvent>
#include <cmath>

#include "platform/gui/Internal.h"

namespace gui {

// ---- input translation ---------------------------------------------------------------

// The keys a window hears; every other key (a typed character) is no key at all, so
// that no character can pass for a navigation key that happens to share its number.
constexpr struct {
    int qt;
    int vk;
} kKeys[] = {
    {Qt::Key_Return, kVkReturn}, {Qt::Key_Enter, kVkReturn},  {Qt::Key_Escape, kVkEscape},
    {Qt::Key_PageUp, kVkPrior},  {Qt::Key_PageDown, kVkNext}, {Qt::Key_End, kVkEnd},
    {Qt::Key_Home, kVkHome},     {Qt::Key_Left, kVkLeft},     {Qt::Key_Up, kVkUp},
    {Qt::Key_Right, kVkRight},   {Qt::Key_Down, kVkDown},     {Qt::Key_Insert, kVkInsert},
    {Qt::Key_Delete, kVkDelete}, {Qt::Key_F3, kVkF3},         {Qt::Key_F5, kVkF5},
};

int VirtualKeyOf(int qtKey) {
    for (const auto& k : kKeys) {
        if (k.qt == qtKey) return k.vk;
    }
    return 0;
}
int QtKeyOf(int vk) {
    for (const auto& k : kKeys) {
        if (k.vk == vk) return k.qt;
    }
    return vk;
}

// ---- child windows -------------------------------------------------------------------

ChildWindow::ChildWindow(const ClassEntry& cls) : m_Class(cls) {
    Register(this);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_Bar = new QScrollBar(Qt::Vertical, this);
    m_Bar->hide();
    m_Bar->setFocusPolicy(Qt::NoFocus);
    m_Bar->installEventFilter(this);
    connect(m_Bar, &QScrollBar::actionTriggered, this, [this](int action) { OnBarAction(action); });
    connect(m_Bar, &QScrollBar::sliderReleased, this, [this] {
        Deliver({Msg::VScroll, 0, kThumbPosition, m_Bar->sliderPosition()});
    });
}
ChildWindow::~ChildWindow() {
    Unregister(this);
}
long ChildWindow::Deliver(const Message& m) {
    if (m_Dead) return 0;
    QPointer<QWidget> guard(this);
    long r = m_Class.proc ? m_Class.proc(m_Handle, m) : 0;
    (void)guard;
    return r;
}

QColor ChildWindow::Background() const {
    return ToQColor(HighContrast() ? PaletteColour(SysColour::Base) : m_Class.background);
}
QSize ChildWindow::ClientSize() const {
    int w = width() - (m_Bar->isVisible() || m_BarWanted ? m_Bar->sizeHint().width() : 0);
    return QSize(std::max(0, w), height());
}
void ChildWindow::Relayout() {
    int bw = m_Bar->sizeHint().width();
    m_Bar->setGeometry(width() - bw, 0, bw, height());
    m_Bar->setVisible(m_BarWanted);
}
void ChildWindow::EnsureSurface() {
    QSize cs = ClientSize();
    qreal dpr = devicePixelRatioF();
    QSize px(std::max(1, int(std::ceil(cs.width() * dpr))),
             std::max(1, int(std::ceil(cs.height() * dpr))));
    if (m_Surface.size() != px || m_Surface.devicePixelRatio() != dpr) {
        QImage next(px, QImage::Format_RGB32);
        next.setDevicePixelRatio(dpr);
        next.fill(Background());
        m_Surface = next;
        InvalidateRect(QRect(QPoint(0, 0), cs), true);
    }
}
void ChildWindow::SetBarWanted(bool want) {
    if (want == m_BarWanted) return;
    m_BarWanted = want;
    Relayout();
    EnsureSurface();
    SendSize();
}
void ChildWindow::SendSize() {
    QSize cs = ClientSize();
    if (cs == m_LastSize) return;
    m_LastSize = cs;
    Deliver({Msg::Size, 0, 0, MakeLong(cs.width(), cs.height())});
}
void ChildWindow::InvalidateRect(const QRect& r, bool erase) {
    QRect clipped = r.intersected(QRect(QPoint(0, 0), ClientSize()));
    if (clipped.isEmpty()) return;
    m_Invalid += clipped;
    if (erase) m_Erase += clipped;
    update(clipped);
}
void ChildWindow::DoPaint() {
    if (m_Invalid.isEmpty() || m_Dead) return;
    EnsureSurface();
    if (!m_Erase.isEmpty()) {
        QPainter p(&m_Surface);
        for (const QRect& r : m_Erase) p.fillRect(r, Background());
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
Painter* ChildWindow::BeginPaintHere() {
    EnsureSurface();
    m_PaintPainter = std::make_unique<QtPainter>(&m_Surface);
    if (!m_PaintRegion.isEmpty()) m_PaintPainter->P()->setClipRegion(m_PaintRegion);
    return m_PaintPainter.get();
}
Painter* ChildWindow::GetDCHere() {
    EnsureSurface();
    m_DCPainter = std::make_unique<QtPainter>(&m_Surface);
    return m_DCPainter.get();
}
void ChildWindow::ReleaseDCHere() {
    m_DCPainter.reset();
    update();
}
void ChildWindow::ScrollBandHere(int top, int bottom, int dy) {
    EnsureSurface();
    QSize cs = ClientSize();
    if (bottom <= top || dy == 0) return;
    m_DCPainter.reset();
    qreal dpr = m_Surface.devicePixelRatio();
    QRect band(0, top, cs.width(), bottom - top);
    QImage copy =
        m_Surface.copy(QRect(0, int(top * dpr), int(cs.width() * dpr), int((bottom - top) * dpr)));
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
void ChildWindow::UpdateNowHere() {
    DoPaint();
    QRegion r = m_Shown;
    m_Shown = QRegion();
    if (!r.isEmpty()) repaint(r);
}

void ChildWindow::OnBarAction(int action) {
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
            Deliver({Msg::VScroll, 0, kThumbTrack, m_Bar->sliderPosition()});
            return;
        default:
            return;
    }
    // The window decides where the bar goes: undo the bar's own step.
    m_Bar->setSliderPosition(m_Bar->value());
    Deliver({Msg::VScroll, 0, code, m_Bar->value()});
}

void ChildWindow::resizeEvent(QResizeEvent*) {
    Relayout();
    EnsureSurface();
    // Resizing repaints the whole window, as the list windows expect.
    InvalidateRect(QRect(QPoint(0, 0), ClientSize()), true);
    SendSize();
}
void ChildWindow::paintEvent(QPaintEvent* e) {
    DoPaint();
    m_Shown = m_Shown.subtracted(e->region());
    QPainter p(this);
    p.setClipRect(e->rect());
    p.drawImage(QPointF(0, 0), m_Surface);
}
// A wheel notch is three line moves, through the same messages as the bar's arrows, so
// the list's cursor and the bar never disagree; over the bar the wheel does the same.
void ChildWindow::wheelEvent(QWheelEvent* e) {
    OnWheel(e->angleDelta().y());
    e->accept();
}
bool ChildWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_Bar && e->type() == QEvent::Wheel) {
        OnWheel(static_cast<QWheelEvent*>(e)->angleDelta().y());
        return true;
    }
    return QWidget::eventFilter(watched, e);
}
void ChildWindow::OnWheel(int delta) {
    constexpr int kNotch = 120, kLinesPerNotch = 3;
    m_WheelRest += delta;
    const int notches = m_WheelRest / kNotch;  // fine-grained wheels add up to notches
    m_WheelRest -= notches * kNotch;
    QPointer<QWidget> alive(this);
    for (int i = 0; i < std::abs(notches) * kLinesPerNotch && alive && !m_Dead; ++i)
        Deliver({Msg::VScroll, 0, notches > 0 ? kLineUp : kLineDown, m_Bar->value()});
}

void ChildWindow::keyPressEvent(QKeyEvent* e) {
    int vk = VirtualKeyOf(e->key());
    if (vk) Deliver({Msg::KeyDown, 0, vk, 0});
}
void ChildWindow::mousePressEvent(QMouseEvent* e) {
    long pos = MakeLong(int(e->position().x()), int(e->position().y()));
    if (e->button() == Qt::LeftButton) Deliver({Msg::LButtonDown, 0, 0, pos});
    if (e->button() == Qt::RightButton) Deliver({Msg::RButtonDown, 0, 0, pos});
}
void ChildWindow::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        Deliver(
            {Msg::LButtonDblClk, 0, 0, MakeLong(int(e->position().x()), int(e->position().y()))});
    }
}

// ---- files dropped from the desktop -----------------------------------------------------

namespace {
// The drop being delivered: DropFiles handlers read it through DroppedFiles.
const std::vector<std::string>* g_Dropped = nullptr;

std::vector<std::string> LocalFilesOf(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data) return paths;
    for (const QUrl& url : data->urls()) {
        // Folders are delivered too: the window says why it leaves them, by name.
        if (url.isLocalFile() &&
            (QFileInfo(url.toLocalFile()).isFile() || QFileInfo(url.toLocalFile()).isDir()))
            paths.push_back(S(url.toLocalFile()));
    }
    return paths;
}
}  // namespace

void ChildWindow::dragEnterEvent(QDragEnterEvent* e) {
    dragMoveEvent(e);
}
void ChildWindow::dragMoveEvent(QDragMoveEvent* e) {
    if (acceptDrops() && !LocalFilesOf(e->mimeData()).empty())
        e->acceptProposedAction();
    else
        e->ignore();
}
void ChildWindow::dropEvent(QDropEvent* e) {
    std::vector<std::string> paths =
        acceptDrops() ? LocalFilesOf(e->mimeData()) : std::vector<std::string>();
    if (paths.empty()) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    // Delivered after the drag has ended: the file manager is not kept waiting while the
    // window runs its transfers.
    QMetaObject::invokeMethod(
        this,
        [this, paths = std::move(paths)] {
            const std::vector<std::string>* outer = g_Dropped;
            g_Dropped = &paths;
            Deliver({Msg::DropFiles, 0, 0, 0});
            g_Dropped = outer;
        },
        Qt::QueuedConnection);
}

void DragAcceptFiles(Window w, bool accept) {
    if (ChildWindow* c = ChildOf(w)) c->setAcceptDrops(accept);
}
std::vector<std::string> DroppedFiles() {
    return g_Dropped ? *g_Dropped : std::vector<std::string>();
}

ChildWindow* ChildOf(Window w) {
    return dynamic_cast<ChildWindow*>(Lookup(w));
}

// ---- scroll bar ----------------------------------------------------------------------

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

}  // namespace gui
