// What a dialog procedure asks of the controls of its dialog: texts, lists, checks, focus,
// progress, fonts, timers and the special controls.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>

#include "platform/gui/Chart.h"
#include "platform/gui/DialogImpl.h"
#include "platform/gui/TextView.h"

namespace gui {
namespace {

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

}  // namespace

void DialogImpl::SetText(int id, std::string_view text) {
    QWidget* w = Control(id);
    if (IsCodeEditor(w))
        CodeEditorSetText(w, Q(text));
    else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(Q(text));
        FitLabel(l);
    } else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(Q(text));
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        p->setPlainText(Q(text));
    else if (auto* v = dynamic_cast<TextView*>(w))
        v->SetText(text.data(), static_cast<qsizetype>(text.size()));
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(Q(text));
    else if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->isEditable())
            c->setEditText(Q(text));
        else
            c->setCurrentIndex(c->findText(Q(text)));
    }
}

// A label never clips what it is told to show (a long file name in a question): it
// widens by what is missing, and so does the dialog. Controls that span the label's
// width (its frame, a bar under it) widen too; those on the right of its middle (the
// buttons) move right; the rest stay where they are.
void DialogImpl::FitLabel(QLabel* label) {
    const QRect at = label->geometry();
    const int need = label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin() +
                     (label->frameWidth() * 2) + 2;
    const int extra = need - at.width();
    if (extra <= 0) return;
    for (QObject* o : children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w == label || w->isWindow()) continue;
        QRect r = w->geometry();
        if (r.left() <= at.left() && r.right() >= at.right())
            r.setRight(r.right() + extra);
        else if (r.center().x() > at.center().x())
            r.translate(extra, 0);
        else
            continue;
        w->setGeometry(r);
    }
    label->setGeometry(at.adjusted(0, 0, extra, 0));
    setFixedSize(width() + extra, height());
}

std::string DialogImpl::Text(int id, int maxChars) const {
    QWidget* w = Control(id);
    QString s;
    if (IsCodeEditor(w))
        s = CodeEditorText(w);  // line ends as they are
    else if (auto* l = qobject_cast<QLabel*>(w))
        s = l->text();
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        s = e->text();
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        s = p->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    else if (auto* v = dynamic_cast<TextView*>(w))
        s = v->Text();
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

void DialogImpl::Enable(int id, bool enable) {
    if (QWidget* w = Control(id)) w->setEnabled(enable);
}

bool DialogImpl::IsEnabled(int id) const {
    QWidget* w = Control(id);
    return w && w->isEnabled();
}

void DialogImpl::Check(int id, bool checked) {
    if (auto* b = qobject_cast<QAbstractButton*>(Control(id))) b->setChecked(checked);
}

bool DialogImpl::IsChecked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(Control(id));
    return b && b->isChecked();
}

void DialogImpl::ListAdd(int id, std::string_view text) {
    m_Quiet = true;
    if (auto* l = qobject_cast<QListWidget*>(Control(id)))
        l->addItem(Q(text));
    else if (auto* c = qobject_cast<QComboBox*>(Control(id)))
        c->addItem(Q(text));
    m_Quiet = false;
}

void DialogImpl::ListClear(int id) {
    m_Quiet = true;
    if (auto* l = qobject_cast<QListWidget*>(Control(id)))
        l->clear();
    else if (auto* c = qobject_cast<QComboBox*>(Control(id)))
        c->clear();
    m_Quiet = false;
}

int DialogImpl::ListCount(int id) const {
    if (auto* l = qobject_cast<QListWidget*>(Control(id))) return l->count();
    if (auto* c = qobject_cast<QComboBox*>(Control(id))) return c->count();
    return 0;
}

std::string DialogImpl::ListText(int id, int index) const {
    if (auto* l = qobject_cast<QListWidget*>(Control(id))) {
        if (index >= 0 && index < l->count()) return S(l->item(index)->text());
    } else if (auto* c = qobject_cast<QComboBox*>(Control(id))) {
        if (index >= 0 && index < c->count()) return S(c->itemText(index));
    }
    return {};
}

void DialogImpl::ListSelect(int id, int index) {
    m_Quiet = true;
    if (auto* l = qobject_cast<QListWidget*>(Control(id))) {
        l->setCurrentRow(index >= 0 && index < l->count() ? index : -1);
    } else if (auto* c = qobject_cast<QComboBox*>(Control(id))) {
        c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
    }
    m_Quiet = false;
}

int DialogImpl::ListSelection(int id) const {
    if (auto* l = qobject_cast<QListWidget*>(Control(id))) {
        return l->currentItem() && l->currentItem()->isSelected() ? l->currentRow() : -1;
    }
    if (auto* c = qobject_cast<QComboBox*>(Control(id))) return c->currentIndex();
    return -1;
}

void DialogImpl::SetFocus(int id) {
    if (QWidget* w = Control(id)) w->setFocus(Qt::OtherFocusReason);
}

int DialogImpl::FocusedId() const {
    const QWidget* f = focusWidget();
    for (const auto& [id, w] : m_Controls) {
        if (f && (w == f || w->isAncestorOf(f))) return id;
    }
    return -1;
}

void DialogImpl::SetMenuItemGrey(int id, bool grey) {
    auto a = m_MenuActions.find(id);
    if (a != m_MenuActions.end()) a->second->setEnabled(!grey);
}

void DialogImpl::SetProgress(int id, long long value, long long total) {
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

long long DialogImpl::ProgressValue(int id) const {
    auto it = m_Progress.find(id);
    return it == m_Progress.end() ? -1 : it->second;
}

bool DialogImpl::IsShown(int id) const {
    QWidget* w = Control(id);
    return w && !w->isHidden();
}

void DialogImpl::SetFixedFont(int id) {
    if (QWidget* w = Control(id)) w->setFont(FixedFont());
}

void DialogImpl::ShowEnd(int id) {
    if (auto* v = dynamic_cast<TextView*>(Control(id))) v->ShowEnd();
}

bool DialogImpl::FindNext(int id, std::string_view text) {
    auto* v = dynamic_cast<TextView*>(Control(id));
    return v && v->FindNext(Q(text));
}

void DialogImpl::ChartAdd(int id, double x, double y) {
    ChartAppend(Control(id), x, y);
}

void DialogImpl::SetTimer(int timerId, int ms) {
    QTimer*& t = m_Timers[timerId];
    if (!t) {
        t = new QTimer(this);
        t->setObjectName(QStringLiteral("timer%1").arg(timerId));
        connect(t, &QTimer::timeout, this, [this, timerId] {
            if (!m_Ended) Fire({DialogEventKind::Timer, timerId, 0, 0});
        });
    }
    t->start(std::max(1, ms));
}

void DialogImpl::KillTimer(int timerId) {
    auto it = m_Timers.find(timerId);
    if (it != m_Timers.end() && it->second) it->second->stop();
}

void DialogImpl::SetCodeLanguage(int id, CodeLanguage language) {
    CodeEditorSetLanguage(Control(id), language);
}

void DialogImpl::GoToLine(int id, int line) {
    CodeEditorGoToLine(Control(id), line);
}

CodeLanguage DialogImpl::GetCodeLanguage(int id) const {
    return CodeEditorLanguage(Control(id));
}

}  // namespace gui
