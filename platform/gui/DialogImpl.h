// The dialog built from a template. Dialogs.cpp builds it from its template and runs it;
// DialogControls.cpp answers what the dialog procedure asks of its controls. Private to the
// layer, like Internal.h.
#pragma once

#include <QDialog>
#include <map>
#include <vector>

#include "platform/gui/Internal.h"

class QAction;
class QButtonGroup;
class QCloseEvent;
class QKeyEvent;
class QLabel;
class QTimer;

namespace gui {

class DialogImpl : public QDialog, public Dialog, public Target {
public:
    DialogImpl(QWidget* owner, const DialogTemplate& tpl, DialogProc proc);
    ~DialogImpl() override;

    QWidget* Widget() override { return this; }
    long Deliver(const Message& m) override;
    bool Fire(const DialogEvent& e) { return m_Proc ? m_Proc(*this, e) : false; }

    // Dialog
    void SetText(int id, std::string_view text) override;
    std::string Text(int id, int maxChars) const override;
    void Enable(int id, bool enable) override;
    bool IsEnabled(int id) const override;
    void Check(int id, bool checked) override;
    bool IsChecked(int id) const override;
    void ListAdd(int id, std::string_view text) override;
    void ListClear(int id) override;
    int ListCount(int id) const override;
    std::string ListText(int id, int index) const override;
    void ListSelect(int id, int index) override;
    int ListSelection(int id) const override;
    void SetTitle(std::string_view title) override { setWindowTitle(Q(title)); }
    std::string Title() const override { return S(windowTitle()); }
    void End(int result) override;
    bool Ended() const override { return m_Ended; }
    Window Handle() const override { return m_Handle; }
    int Id() const override { return m_Tpl.id; }
    bool Press(int id) override;
    void SetFocus(int id) override;
    int FocusedId() const override;
    QWidget* ControlWidget(int id) const { return Control(id); }
    void SetMenuItemGrey(int id, bool grey) override;
    void SetProgress(int id, long long value, long long total) override;
    long long ProgressValue(int id) const override;
    bool IsShown(int id) const override;
    void Refresh() override { repaint(); }
    void SetFixedFont(int id) override;
    void ShowEnd(int id) override;
    bool FindNext(int id, std::string_view text) override;
    void ChartAdd(int id, double x, double y) override;
    void SetTimer(int timerId, int ms) override;
    void KillTimer(int timerId) override;
    void AddAccelerator(int virtualKey, bool ctrl, int commandId) override;
    void SetCodeLanguage(int id, CodeLanguage language) override;
    CodeLanguage GetCodeLanguage(int id) const override;
    void GoToLine(int id, int line) override;

    int m_Result = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void reject() override;
    void closeEvent(QCloseEvent* e) override;

private:
    bool Accelerate(const QKeyEvent* e);
    QWidget* Control(int id) const {
        auto it = m_Controls.find(id);
        return it == m_Controls.end() ? nullptr : it->second;
    }
    void BuildMenu(const char* name, int& top);
    // A label set to a text wider than itself grows, and the dialog with it.
    void FitLabel(QLabel* label);
    QWidget* MakeControl(const ControlTemplate& c, QButtonGroup*& group);

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

}  // namespace gui
