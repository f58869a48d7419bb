// The test driver: scripted dialogs, queued file-dialog answers, and what tests read back
// from the windows.
#include <QKeyEvent>

#include "platform/gui/Internal.h"

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
