// Modal dialogs built from templates: the controls made from the template, the events
// they fire into the dialog procedure, the keys the dialog hears, and the test driver's
// scripts run in place of a person.
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

#include "platform/gui/Chart.h"
#include "platform/gui/DialogImpl.h"
#include "platform/gui/TextView.h"

namespace gui {

namespace {

bool TakesText(ControlKind k) {
    switch (k) {
        case ControlKind::Edit:
        case ControlKind::ListBox:
        case ControlKind::ComboBox:
        case ControlKind::Progress:
        case ControlKind::TextView:
        case ControlKind::CodeEditor:
            return true;
        default:
            return false;
    }
}

// A screen reader names a field by the label before it, as a person reads the form: the
// label's text without its colon. Fields that share one label (the four parts of an IP
// address) are counted after it; a field with no label at all, in a dialog, takes the
// dialog's title. Labels that the program fills (a count, a status) name nothing; a
// frame begins a new group, which its own label names.
void NameControls(const std::vector<std::pair<const ControlTemplate*, QWidget*>>& made,
                  const QString& title) {
    QString name;
    int shared = 0;
    for (const auto& [c, w] : made) {
        if (c->kind == ControlKind::Frame) {
            name.clear();
            continue;
        }
        if (c->kind == ControlKind::Label) {
            const QString text = NameFromLabel(QString::fromUtf8(c->text));
            if (c->id == -1 && text.contains(QRegularExpression(QStringLiteral("\\w")))) {
                name = text;
                shared = 0;
            }
            continue;
        }
        if (c->kind == ControlKind::Chart && *c->text) {
            w->setAccessibleName(QString::fromUtf8(c->text));  // a chart is named by its title
            continue;
        }
        if (!TakesText(c->kind) || !w->accessibleName().isEmpty()) continue;
        const QString own = name.isEmpty() ? NameFromLabel(title) : name;
        ++shared;
        w->setAccessibleName(shared > 1 ? own + QLatin1Char(' ') + QString::number(shared) : own);
    }
}

// Tab goes through the controls as they are seen: group by group (a frame and what lies
// in it, or a control alone), top to bottom; in a group row by row, where a row is what
// begins beside its first control, left to right.
void OrderControls(const std::vector<std::pair<const ControlTemplate*, QWidget*>>& made) {
    struct Item {
        int groupY, groupX, group, row;
        const ControlTemplate* c;
        QWidget* w;
    };
    std::vector<const ControlTemplate*> frames;
    for (const auto& [c, w] : made) {
        if (c->kind == ControlKind::Frame) frames.push_back(c);
    }
    std::vector<Item> items;
    for (const auto& [c, w] : made) {
        if (!(w->focusPolicy() & Qt::TabFocus)) continue;
        Item it{c->y, c->x, -1, 0, c, w};
        for (size_t f = 0; f < frames.size(); ++f) {
            const ControlTemplate* fr = frames[f];
            if (c->x >= fr->x && c->x < fr->x + fr->w && c->y >= fr->y && c->y < fr->y + fr->h) {
                it = {fr->y, fr->x, int(f), 0, c, w};
                break;
            }
        }
        if (it.group < 0) it.group = int(frames.size() + items.size());
        items.push_back(it);
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        if (a.groupY != b.groupY) return a.groupY < b.groupY;
        if (a.groupX != b.groupX) return a.groupX < b.groupX;
        if (a.group != b.group) return a.group < b.group;
        return a.c->y != b.c->y ? a.c->y < b.c->y : a.c->x < b.c->x;
    });
    for (size_t i = 0, row = 0; i < items.size(); ++row) {
        size_t j = i + 1;
        while (j < items.size() && items[j].group == items[i].group &&
               items[j].c->y < items[i].c->y + items[i].c->h)
            ++j;
        for (size_t k = i; k < j; ++k) items[k].row = int(row);
        i = j;
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        if (a.row != b.row) return a.row < b.row;
        return a.c->x != b.c->x ? a.c->x < b.c->x : a.c->y < b.c->y;
    });
    for (size_t i = 1; i < items.size(); ++i) QWidget::setTabOrder(items[i - 1].w, items[i].w);
}

}  // namespace

DialogImpl::DialogImpl(QWidget* owner, const DialogTemplate& tpl, DialogProc proc)
    : QDialog(owner), m_Tpl(tpl), m_Proc(std::move(proc)) {
    Register(this);
    setWindowTitle(QString::fromUtf8(tpl.title));
    setModal(true);
    if (tpl.style & kNoCloseBox) {
        setWindowFlags((windowFlags() & ~(Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint)) |
                       Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    }
    if (g_Icon) setWindowIcon(*g_Icon);
    QFontMetrics fm(font());
    const int baseX = std::max(1, (fm.horizontalAdvance(QStringLiteral(
                                       "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                                       26 +
                                   1) /
                                      2);
    const int baseY = std::max(1, fm.height());
    auto X = [&](int d) { return (d * baseX + 2) / 4; };
    auto Y = [&](int d) { return (d * baseY + 4) / 8; };
    int top = 0;
    if (tpl.menu) BuildMenu(tpl.menu, top);
    QButtonGroup* group = nullptr;
    std::vector<std::pair<const ControlTemplate*, QWidget*>> made;
    for (const ControlTemplate& c : tpl.controls) {
        QRect r(X(c.x), top + Y(c.y), X(c.w), Y(c.h));
        QWidget* w = MakeControl(c, group);
        if (!w) continue;
        made.emplace_back(&c, w);
        w->setGeometry(r);
        if (c.style & kDisabled) w->setEnabled(false);
        if (c.id != -1 && !m_Controls.count(c.id)) m_Controls[c.id] = w;
        if (c.kind == ControlKind::Frame) w->lower();
        // Accelerators are heard wherever the focus is.
        w->installEventFilter(this);
    }
    setFixedSize(X(tpl.w), top + Y(tpl.h));
    NameControls(made, windowTitle());
    OrderControls(made);
}
DialogImpl::~DialogImpl() {
    Unregister(this);
}

long DialogImpl::Deliver(const Message& m) {
    if (m.msg != Msg::Command || m_Ended) return 0;
    return Fire({DialogEventKind::Command, m.id, 0, m.wParam}) ? 1 : 0;
}

void DialogImpl::End(int result) {
    if (m_Ended) return;
    m_Ended = true;
    for (auto& [id, t] : m_Timers) t->stop();
    m_Result = result;
    done(result);
}

bool DialogImpl::Press(int id) {
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

bool DialogImpl::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && Accelerate(static_cast<QKeyEvent*>(e))) return true;
    return QDialog::eventFilter(watched, e);
}

void DialogImpl::keyPressEvent(QKeyEvent* e) {
    if (!Accelerate(e)) QDialog::keyPressEvent(e);
}

void DialogImpl::reject() {
    if (!m_Ended) Fire({DialogEventKind::Command, 2, kClicked, 0});
}

void DialogImpl::closeEvent(QCloseEvent* e) {
    if (!m_Ended) {
        e->ignore();
        Fire({DialogEventKind::Command, 2, kClicked, 0});
    }
}

bool DialogImpl::Accelerate(const QKeyEvent* e) {
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    for (const Accel& a : m_Accels) {
        if (a.key == e->key() && a.ctrl == ctrl && !m_Ended) {
            Fire({DialogEventKind::Command, a.command, kClicked, 0});
            return true;
        }
    }
    return false;
}

void DialogImpl::AddAccelerator(int virtualKey, bool ctrl, int commandId) {
    m_Accels.push_back({QtKeyOf(virtualKey), ctrl, commandId});
}

void DialogImpl::BuildMenu(const char* name, int& top) {
    const MenuTemplate* mt = FindMenuTemplate(name);
    if (!mt) return;
    auto* bar = new QMenuBar(this);
    bar->setNativeMenuBar(false);
    QString titles = MnemonicsOf(mt->popups);
    for (const Popup& pop : mt->popups) {
        QMenu* qm = bar->addMenu(WithMnemonic(QString::fromUtf8(pop.title), titles));
        QString taken = MnemonicsOf(pop.items);
        for (const MenuItem& item : pop.items) {
            if (item.id == 0) {
                qm->addSeparator();
                continue;
            }
            QAction* a = qm->addAction(WithMnemonic(QString::fromUtf8(item.text), taken));
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

QWidget* DialogImpl::MakeControl(const ControlTemplate& c, QButtonGroup*& group) {
    const int id = c.id;
    const QString text = QString::fromUtf8(c.text);
    switch (c.kind) {
        case ControlKind::Label: {
            auto* l = new QLabel(text, this);
            l->setAlignment(((c.style & kAlignRight) ? Qt::AlignRight : Qt::AlignLeft) |
                            Qt::AlignVCenter);
            l->setTextFormat(Qt::PlainText);
            // A multi-line label wraps its words from the top, as a note below a field.
            if (c.style & kMultiLine) {
                l->setWordWrap(true);
                l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            }
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
    ReturnFocus(owner);
    if (wait) SetWaitCursor();
    return dlg.m_Result;
}

}  // namespace gui
