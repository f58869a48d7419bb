#include "platform/gui/TextView.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "platform/gui/Internal.h"

namespace gui {

TextView::TextView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(FixedFont());
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_Starts.push_back(0);
}

void TextView::SetText(const char* data, qsizetype size) {
    m_Text = QString::fromUtf8(data, size);
    m_Starts.assign(1, 0);
    m_Widest = 0;
    const QChar* c = m_Text.constData();
    const qsizetype n = m_Text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (c[i] == QLatin1Char('\n')) {
            m_Widest = std::max(m_Widest, i - m_Starts.back());
            m_Starts.push_back(i + 1);
        }
    }
    m_Widest = std::max(m_Widest, n - m_Starts.back());
    m_Anchor = m_Caret = 0;
    UpdateBars();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

int TextView::LineOf(qsizetype pos) const {
    auto it = std::upper_bound(m_Starts.begin(), m_Starts.end(), pos);
    return static_cast<int>(it - m_Starts.begin()) - 1;
}
qsizetype TextView::LineEnd(int line) const {
    qsizetype end = line + 1 < static_cast<int>(m_Starts.size()) ? m_Starts[size_t(line) + 1] - 1
                                                                 : m_Text.size();
    if (end > m_Starts[size_t(line)] && m_Text[end - 1] == QLatin1Char('\r')) --end;
    return end;
}

void TextView::UpdateBars() {
    QFontMetrics fm(font());
    const int lineH = std::max(1, fm.height());
    const int rows = std::max(1, viewport()->height() / lineH);
    verticalScrollBar()->setRange(0, std::max(0, static_cast<int>(m_Starts.size()) - rows));
    verticalScrollBar()->setPageStep(rows);
    verticalScrollBar()->setSingleStep(1);
    // The real advance, not a whole pixel count per character, or the ends of long lines
    // would lie beyond the scroll range.
    const qsizetype wide = static_cast<qsizetype>(
        std::ceil(static_cast<qreal>(std::min<qsizetype>(m_Widest, kDrawnChars)) *
                  QFontMetricsF(font()).horizontalAdvance(QLatin1Char('x'))));
    horizontalScrollBar()->setRange(0,
                                    std::max(0, static_cast<int>(wide) - viewport()->width() + 8));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fm.horizontalAdvance(QLatin1Char('x')) * 4);
}

qreal TextView::XOf(int line, qsizetype pos) const {
    const qsizetype start = m_Starts[size_t(line)];
    return QFontMetricsF(font()).horizontalAdvance(m_Text.mid(start, pos - start));
}

void TextView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().base());
    p.setFont(font());
    QFontMetrics fm(font());
    const int lineH = std::max(1, fm.height());
    const qreal x0 = 3 - horizontalScrollBar()->value();
    const qreal halfChar = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('x')) / 2;
    const int first = verticalScrollBar()->value();
    const int rows = viewport()->height() / lineH + 1;
    const qsizetype selFrom = std::min(m_Anchor, m_Caret), selTo = std::max(m_Anchor, m_Caret);
    for (int r = 0; r < rows; ++r) {
        const int line = first + r;
        if (line >= static_cast<int>(m_Starts.size())) break;
        const qsizetype start = m_Starts[size_t(line)], end = LineEnd(line);
        const int y = r * lineH;
        const qsizetype shown = std::min<qsizetype>(end, start + kDrawnChars);
        const bool selected = selTo > start && selFrom <= end;
        // A selected part starts where the text before it ends as drawn, not at a whole
        // character width per character: those drift from the real advances.
        const qsizetype a = std::clamp(selFrom, start, shown), b = std::clamp(selTo, start, shown);
        const qreal left = selected ? x0 + XOf(line, a) : 0;
        if (selected) {
            const qreal right = x0 + XOf(line, b) + (selTo > end ? halfChar : 0);
            p.fillRect(QRectF(left, y, std::max<qreal>(1, right - left), lineH),
                       palette().highlight());
        }
        p.setPen(palette().text().color());
        p.drawText(QPointF(x0, y + fm.ascent()), m_Text.mid(start, shown - start));
        if (selected && b > a) {
            // The selected part again, in the highlight's text colour.
            p.setPen(palette().highlightedText().color());
            p.drawText(QPointF(left, y + fm.ascent()), m_Text.mid(a, b - a));
        }
    }
}

void TextView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateBars();
}
void TextView::changeEvent(QEvent* e) {
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange) {
        UpdateBars();
        viewport()->update();
    }
}

void TextView::ShowEnd() {
    m_Anchor = m_Caret = m_Text.size();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}
bool TextView::AtEnd() const {
    return m_Caret == m_Text.size() &&
           verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

QString TextView::SelectedText() const {
    const qsizetype a = std::min(m_Anchor, m_Caret), b = std::max(m_Anchor, m_Caret);
    return m_Text.mid(a, b - a);
}

void TextView::Select(qsizetype from, qsizetype to) {
    m_Anchor = from;
    m_Caret = to;
    viewport()->update();
}

void TextView::EnsureVisible(qsizetype pos) {
    const int line = LineOf(pos);
    QScrollBar* v = verticalScrollBar();
    if (line < v->value() || line >= v->value() + v->pageStep())
        v->setValue(line - v->pageStep() / 2);
    const int cw = QFontMetrics(font()).horizontalAdvance(QLatin1Char('x'));
    const int x = static_cast<int>(XOf(line, std::min(pos, m_Starts[size_t(line)] + kDrawnChars)));
    QScrollBar* h = horizontalScrollBar();
    if (x < h->value() || x > h->value() + viewport()->width() - 4 * cw)
        h->setValue(std::max(0, x - viewport()->width() / 2));
}

bool TextView::FindNext(const QString& what) {
    if (what.isEmpty()) return false;
    qsizetype at = m_Text.indexOf(what, std::max(m_Anchor, m_Caret), Qt::CaseInsensitive);
    if (at < 0) at = m_Text.indexOf(what, 0, Qt::CaseInsensitive);
    if (at < 0) return false;
    Select(at, at + what.size());
    EnsureVisible(at);
    return true;
}

qsizetype TextView::PosAt(const QPoint& pt) const {
    const int lineH = std::max(1, QFontMetrics(font()).height());
    int line = verticalScrollBar()->value() + std::max(0, pt.y()) / lineH;
    line = std::min(line, static_cast<int>(m_Starts.size()) - 1);
    // The character boundary nearest to the point, by the same advances the text is drawn
    // with: the last one left of it, or the next when that is nearer.
    const qreal x = pt.x() - 3 + horizontalScrollBar()->value();
    qsizetype lo = m_Starts[size_t(line)];
    const qsizetype last = std::min<qsizetype>(LineEnd(line), lo + kDrawnChars);
    for (qsizetype hi = last; lo < hi;) {
        const qsizetype mid = lo + (hi - lo + 1) / 2;
        if (XOf(line, mid) <= x)
            lo = mid;
        else
            hi = mid - 1;
    }
    if (lo < last && XOf(line, lo + 1) - x < x - XOf(line, lo)) ++lo;
    return lo;
}

void TextView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const qsizetype pos = PosAt(e->position().toPoint());
    Select(e->modifiers() & Qt::ShiftModifier ? m_Anchor : pos, pos);
}
void TextView::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    m_Caret = PosAt(e->position().toPoint());
    viewport()->update();
}

void TextView::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Copy)) {
        if (m_Anchor != m_Caret) QApplication::clipboard()->setText(SelectedText());
        return;
    }
    if (e->matches(QKeySequence::SelectAll)) {
        Select(0, m_Text.size());
        return;
    }
    QScrollBar* v = verticalScrollBar();
    switch (e->key()) {
        case Qt::Key_Up:
            v->triggerAction(QAbstractSlider::SliderSingleStepSub);
            return;
        case Qt::Key_Down:
            v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            return;
        case Qt::Key_PageUp:
            v->triggerAction(QAbstractSlider::SliderPageStepSub);
            return;
        case Qt::Key_PageDown:
            v->triggerAction(QAbstractSlider::SliderPageStepAdd);
            return;
        case Qt::Key_Home:
            v->setValue(0);
            return;
        case Qt::Key_End:
            ShowEnd();
            return;
        case Qt::Key_Left:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
            return;
        case Qt::Key_Right:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            return;
        default:
            e->ignore();  // on to the dialog: Enter, Escape, accelerators
    }
}

}  // namespace gui
