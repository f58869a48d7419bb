// The test driver: scripted dialogs, queued file-dialog answers, and what tests read back
// from the windows.
#include <QAbstractScrollArea>
#include <QAction>
#include <QDropEvent>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>

#include "platform/gui/Chart.h"
#include "platform/gui/Internal.h"
#include "platform/gui/TextView.h"

namespace gui {

DriverState& Driver() {
    static DriverState d;
    return d;
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
const std::vector<std::string>& DrawnTexts() {
    return Driver().drawnTexts;
}
std::vector<std::vector<Colour>> ControlImage(Dialog& d, int id) {
    QWidget* c = DialogControl(d.Handle(), id);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(c)) c = area->viewport();
    std::vector<std::vector<Colour>> rows;
    if (!c) return rows;
    const QImage image = c->grab().toImage();
    for (int y = 0; y < image.height(); ++y) {
        std::vector<Colour>& row = rows.emplace_back();
        for (int x = 0; x < image.width(); ++x) {
            const QRgb v = image.pixel(x, y);
            row.push_back(RGB(qRed(v), qGreen(v), qBlue(v)));
        }
    }
    return rows;
}
Colour HighlightColour(Dialog& d, int id) {
    QWidget* w = DialogControl(d.Handle(), id);
    const QColor c = (w ? w->palette() : QApplication::palette()).highlight().color();
    return RGB(c.red(), c.green(), c.blue());
}
std::string ShownText(Dialog& d, int id) {
    QWidget* c = DialogControl(d.Handle(), id);
    if (auto* e = qobject_cast<QLineEdit*>(c)) return S(e->displayText());
    return d.Text(id, -1);
}
bool TextFits(Dialog& d, int id) {
    QWidget* c = DialogControl(d.Handle(), id);
    if (!c) return false;
    if (auto* l = qobject_cast<QLabel*>(c))
        return l->fontMetrics().horizontalAdvance(l->text()) <= l->contentsRect().width();
    // Buttons and check boxes: what they need beside their text, against what they have.
    return c->sizeHint().width() <= c->width();
}
void DragOn(Dialog& d, int id, int fromX, int fromY, int toX, int toY) {
    QWidget* c = DialogControl(d.Handle(), id);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(c)) c = area->viewport();
    if (!c) return;
    auto send = [c](QEvent::Type type, int x, int y, Qt::MouseButtons buttons) {
        const QPointF at(x, y);
        QMouseEvent e(type, at, c->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(c, &e);
    };
    send(QEvent::MouseButtonPress, fromX, fromY, Qt::LeftButton);
    send(QEvent::MouseMove, toX, toY, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, toX, toY, Qt::NoButton);
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

namespace {
// One key press carrying a character, as a keyboard gives it: printable ASCII has the
// key number of its (upper-case) character.
void TypeOn(QWidget* q, std::string_view text) {
    if (!q) return;
    for (const QChar ch : Q(text)) {
        QKeyEvent ev(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(q, &ev);
    }
}
}  // namespace

void TypeText(Window w, std::string_view text) {
    TypeOn(WidgetOf(w), text);
}
void Wheel(Window w, int notches, bool overScrollBar) {
    ChildWindow* c = ChildOf(w);
    if (!c) return;
    QWidget* target = overScrollBar ? static_cast<QWidget*>(c->m_Bar) : c;
    const QPointF at(2, 2);
    // Turning towards the user is a negative angle.
    QWheelEvent ev(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &ev);
}
bool DropFiles(Window w, const std::vector<std::string>& paths) {
    ChildWindow* c = ChildOf(w);
    if (!c) return false;
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls.push_back(QUrl::fromLocalFile(Q(p)));
    data.setUrls(urls);
    const QPoint at(c->width() / 2, c->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(c, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(c, &drop);
    return drop.isAccepted();
}
void DragThumb(Window w, int position) {
    ChildWindow* c = ChildOf(w);
    if (!c) return;
    c->m_Bar->setSliderDown(true);
    c->m_Bar->setSliderPosition(position);
    c->m_Bar->setSliderDown(false);
}

void PressKey(Dialog& d, int virtualKey, bool ctrl) {
    QWidget* dlg = WidgetOf(d.Handle());
    if (!dlg) return;
    QWidget* target = dlg->focusWidget() ? dlg->focusWidget() : dlg;
    QKeyEvent ev(QEvent::KeyPress, QtKeyOf(virtualKey),
                 ctrl ? Qt::ControlModifier : Qt::NoModifier);
    QCoreApplication::sendEvent(target, &ev);  // unhandled, it travels up to the dialog
}
void TypeInto(Dialog& d, int id, std::string_view text) {
    QWidget* c = DialogControl(d.Handle(), id);
    if (!c) return;
    c->setFocus(Qt::OtherFocusReason);
    TypeOn(c, text);
}
std::vector<std::pair<double, double>> ChartPoints(Dialog& d, int id) {
    return ChartPointsOf(DialogControl(d.Handle(), id));
}
int TimerPeriod(Dialog& d, int timerId) {
    QWidget* dlg = WidgetOf(d.Handle());
    auto* t = dlg ? dlg->findChild<QTimer*>(QStringLiteral("timer%1").arg(timerId)) : nullptr;
    return t && t->isActive() ? t->interval() : 0;
}
std::string SelectedText(Dialog& d, int id) {
    auto* v = dynamic_cast<TextView*>(DialogControl(d.Handle(), id));
    return v ? S(v->SelectedText()) : std::string();
}
bool ShowsEnd(Dialog& d, int id) {
    auto* v = dynamic_cast<TextView*>(DialogControl(d.Handle(), id));
    return v && v->AtEnd();
}
void PressKeys(Dialog& d, std::string_view keys) {
    QWidget* dlg = WidgetOf(d.Handle());
    if (!dlg) return;
    const QKeySequence seq(Q(keys));
    if (seq.isEmpty()) return;
    for (QAction* a : dlg->findChildren<QAction*>()) {
        if (a->isEnabled() && a->shortcut() == seq) {
            a->trigger();
            return;
        }
    }
    const QKeyCombination kc = seq[0];
    QString text;
    const int key = kc.key();
    if ((kc.keyboardModifiers() & ~Qt::ShiftModifier) == 0 && key >= 0x20 && key < 0x7F)
        text = QString(QChar(key));
    QWidget* target = dlg->focusWidget() ? dlg->focusWidget() : dlg;
    QKeyEvent over(QEvent::ShortcutOverride, key, kc.keyboardModifiers(), text);
    QCoreApplication::sendEvent(target, &over);
    QKeyEvent ev(QEvent::KeyPress, key, kc.keyboardModifiers(), text);
    QCoreApplication::sendEvent(target, &ev);
}
int CodeEditorLine(Dialog& d, int id) {
    int line = -1;
    std::string sel;
    CodeEditorCursor(DialogControl(d.Handle(), id), line, sel);
    return line;
}
std::string CodeEditorSelection(Dialog& d, int id) {
    int line = -1;
    std::string sel;
    CodeEditorCursor(DialogControl(d.Handle(), id), line, sel);
    return sel;
}
bool HasCloseBox(Dialog& d) {
    QWidget* dlg = WidgetOf(d.Handle());
    return dlg && (dlg->windowFlags() & Qt::WindowCloseButtonHint);
}

bool ShowsWholeText(Dialog& d, int id) {
    QWidget* dlg = WidgetOf(d.Handle());
    QWidget* label = qobject_cast<QLabel*>(DialogControl(d.Handle(), id));
    return dlg && label && TextFits(d, id) && dlg->rect().contains(label->geometry());
}

std::string ToolButtonCaption(Window frame, int index) {
    FrameWindow* f = FrameOf(frame);
    if (!f || index < 0 || index >= int(f->m_ButtonActions.size())) return {};
    auto* button =
        qobject_cast<QToolButton*>(f->m_Tools->widgetForAction(f->m_ButtonActions[size_t(index)]));
    if (!button) return {};
    // What the button draws: "&&" shows as "&", a single "&" marks a mnemonic and shows not.
    const QString t = button->text();
    QString shown;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] == QLatin1Char('&') && ++i >= t.size()) break;
        shown += t[i];
    }
    return S(shown);
}
const std::vector<std::string>& StatusTexts() {
    return Driver().statusTexts;
}
int LiveWidgets() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return int(QApplication::allWidgets().size());
}
}  // namespace test

}  // namespace gui
