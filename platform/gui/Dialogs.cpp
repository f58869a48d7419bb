// Modal dialogs built from templates: the controls by id, the events they fire into the
// dialog procedure, and the test driver's scripts run in place of a person.
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <cstdio>

#include "platform/gui/Chart.h"
#include "platform/gui/Internal.h"
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

class DialogImpl : public QDialog, public Dialog, public Target {
public:
    DialogImpl(QWidget* owner, const DialogTemplate& tpl, DialogProc proc)
        : QDialog(owner), m_Tpl(tpl), m_Proc(std::move(proc)) {
        Register(this);
        setWindowTitle(QString::fromUtf8(tpl.title));
        setModal(true);
        if (tpl.style & kNoCloseBox) {
            setWindowFlags(
                (windowFlags() & ~(Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint)) |
                Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        }
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
            // Accelerators are heard wherever the focus is.
            w->installEventFilter(this);
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
        if (IsCodeEditor(w))
            CodeEditorSetText(w, Q(text));
        else if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(Q(text));
        else if (auto* e = qobject_cast<QLineEdit*>(w))
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
    std::string Text(int id, int maxChars) const override {
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
        for (auto& [id, t] : m_Timers) t->stop();
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
    void SetFocus(int id) override {
        if (QWidget* w = Control(id)) w->setFocus(Qt::OtherFocusReason);
    }
    int FocusedId() const override {
        const QWidget* f = focusWidget();
        for (const auto& [id, w] : m_Controls) {
            if (f && (w == f || w->isAncestorOf(f))) return id;
        }
        return -1;
    }
    QWidget* ControlWidget(int id) const { return Control(id); }
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
    void SetFixedFont(int id) override {
        if (QWidget* w = Control(id)) w->setFont(FixedFont());
    }
    void ShowEnd(int id) override {
        if (auto* v = dynamic_cast<TextView*>(Control(id))) v->ShowEnd();
    }
    bool FindNext(int id, std::string_view text) override {
        auto* v = dynamic_cast<TextView*>(Control(id));
        return v && v->FindNext(Q(text));
    }
    void ChartAdd(int id, double x, double y) override { ChartAppend(Control(id), x, y); }
    void SetTimer(int timerId, int ms) override {
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
    void KillTimer(int timerId) override {
        auto it = m_Timers.find(timerId);
        if (it != m_Timers.end() && it->second) it->second->stop();
    }
    void AddAccelerator(int virtualKey, bool ctrl, int commandId) override {
        m_Accels.push_back({QtKeyOf(virtualKey), ctrl, commandId});
    }
    void SetCodeLanguage(int id, CodeLanguage language) override {
        CodeEditorSetLanguage(Control(id), language);
    }
    CodeLanguage GetCodeLanguage(int id) const override { return CodeEditorLanguage(Control(id)); }

    int m_Result = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::KeyPress && Accelerate(static_cast<QKeyEvent*>(e))) return true;
        return QDialog::eventFilter(watched, e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (!Accelerate(e)) QDialog::keyPressEvent(e);
    }
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
    bool Accelerate(const QKeyEvent* e) {
        const bool ctrl = e->modifiers() & Qt::ControlModifier;
        for (const Accel& a : m_Accels) {
            if (a.key == e->key() && a.ctrl == ctrl && !m_Ended) {
                Fire({DialogEventKind::Command, a.command, kClicked, 0});
                return true;
            }
        }
        return false;
    }
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
                if (item.shortcut) a->setShortcut(QKeySequence(QString::fromUtf8(item.shortcut)));
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
                if (c.limit > 0) e->setMaxLength(c.limit);
                if (c.style & kDigits) {
                    e->setValidator(new QRegularExpressionValidator(
                        QRegularExpression(QStringLiteral("[0-9]*")), e));
                }
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
                // Enter presses the focused button; elsewhere it presses the default one.
                b->setAutoDefault(true);
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
            case ControlKind::TextView:
                return new TextView(this);
            case ControlKind::Chart:
                return MakeChart(this, c.text);
            case ControlKind::CodeEditor: {
                QWidget* editor = MakeCodeEditor(this);
                CodeEditorSetText(editor, text);
                editor->setFocus(Qt::OtherFocusReason);
                return editor;
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
    std::map<int, QTimer*> m_Timers;
    struct Accel {
        int key;
        bool ctrl;
        int command;
    };
    std::vector<Accel> m_Accels;
    bool m_Ended = false;
    bool m_Quiet = false;
};

}  // namespace

QWidget* DialogControl(Window dialog, int id) {
    auto* d = dynamic_cast<DialogImpl*>(Lookup(dialog));
    return d ? d->ControlWidget(id) : nullptr;
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

}  // namespace gui
