// Message boxes and file dialogs: shown by Qt, or answered and recorded by the test driver.
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

#include "platform/gui/Internal.h"

namespace gui {

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
    // Read with the box by screen readers, as its name is the caption.
    box.setAccessibleDescription(Q(text));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    if (g_Icon) box.setWindowIcon(*g_Icon);
    bool wait = g_Wait;
    SetArrowCursor();
    box.exec();
    ReturnFocus(owner);
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

}  // namespace gui
