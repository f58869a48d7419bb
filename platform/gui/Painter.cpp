// The painter over a surface or a borrowed QPainter, the fonts it draws with, and the
// painting entry points of the windows.
#include <QFontDatabase>
#include <QFontMetrics>

#include "platform/gui/Internal.h"

namespace gui {
namespace {
Font g_NextFont = 1;
}  // namespace

// ---- fonts ---------------------------------------------------------------------------

QFont SystemFont() {
    return QApplication::font();
}

// The fixed-pitch font at a size whose lines are no taller than the system font's,
// so lists measured with one and drawn with the other line up.
QFont FixedFont() {
    static QFont cached;
    static QFont madeFor;
    static bool made = false;
    // Made anew when the system font changes: the lists follow the size the user set.
    if (!made || madeFor != SystemFont()) {
        made = true;
        madeFor = SystemFont();
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

QtPainter::QtPainter(QPaintDevice* device)
    : m_Own(std::make_unique<QPainter>(device)), m_P(m_Own.get()) {
    Init();
}
QtPainter::QtPainter(QPainter* borrowed) : m_P(borrowed) {
    Init();
}
void QtPainter::Init() {
    m_Font = SystemFont();
}

void QtPainter::SelectSystemFont() {
    m_Font = SystemFont();
}
void QtPainter::SelectFixedFont() {
    m_Font = FixedFont();
}
void QtPainter::SelectFont(Font f) {
    auto it = Fonts().find(f);
    if (it != Fonts().end()) m_Font = it->second;
}
void QtPainter::SetTextColor(Colour c) {
    m_Text = c;
}
void QtPainter::SetBkColor(Colour c) {
    m_Bk = c;
}
void QtPainter::SetBkTransparent(bool t) {
    m_Transparent = t;
}
void QtPainter::TextOut(int x, int y, std::string_view text) {
    m_P->setFont(m_Font);
    QFontMetrics fm(m_Font);
    QString s = Q(text);
    if (Driver().enabled) Driver().drawnTexts.push_back(S(s));
    if (!m_Transparent) {
        m_P->fillRect(QRect(x, y, fm.horizontalAdvance(s), fm.height()), ToQColor(m_Bk));
    }
    m_P->setPen(ToQColor(m_Text));
    m_P->drawText(QPointF(x, y + fm.ascent()), s);
}
void QtPainter::FrameRect(const Rect& r, Colour c) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    QColor q = ToQColor(c);
    m_P->fillRect(QRect(r.left, r.top, r.Width(), 1), q);
    m_P->fillRect(QRect(r.left, r.bottom - 1, r.Width(), 1), q);
    m_P->fillRect(QRect(r.left, r.top, 1, r.Height()), q);
    m_P->fillRect(QRect(r.right - 1, r.top, 1, r.Height()), q);
}
void QtPainter::FillRect(const Rect& r, Colour c) {
    m_P->fillRect(QRect(r.left, r.top, r.Width(), r.Height()), ToQColor(c));
}
int QtPainter::LineHeight() {
    return LineHeightOf(m_Font);
}
int QtPainter::CharWidth() {
    return QFontMetrics(m_Font).horizontalAdvance(QLatin1Char('0'));
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

}  // namespace gui
