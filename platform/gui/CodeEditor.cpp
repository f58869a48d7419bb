// The code editor control: QScintilla with line numbers, SQL or Java highlighting, a
// fixed-pitch font, and a bar under the text for find (Ctrl+F, F3), replace (Ctrl+H) and
// go to line (Ctrl+G). Escape in the bar returns to the text.
#include <Qsci/qscilexerjava.h>
#include <Qsci/qscilexersql.h>
#include <Qsci/qsciscintilla.h>

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/gui/Internal.h"

namespace gui {
namespace {

// The fixed-pitch font by points: Scintilla sizes its styles in points, and the layer's
// fixed font is set in pixels.
QFont EditorFont() {
    QFont f = FixedFont();
    if (f.pointSizeF() <= 0 && f.pixelSize() > 0) f.setPointSizeF(f.pixelSize() * 72.0 / 96.0);
    return f;
}

class CodeEditorBox : public QWidget {
public:
    explicit CodeEditorBox(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("qv-code-editor"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        m_Edit = new QsciScintilla(this);
        m_Edit->setUtf8(true);
        m_Edit->setFont(EditorFont());
        m_Edit->setMarginsFont(EditorFont());
        m_Edit->setMarginType(0, QsciScintilla::NumberMargin);
        m_Edit->setMarginLineNumbers(0, true);
        m_Edit->setMarginWidth(0, QStringLiteral("00000"));
        // The horizontal scroll bar follows the longest line instead of a fixed width, so
        // a short script shows no range to scroll into.
        m_Edit->SendScintilla(QsciScintillaBase::SCI_SETSCROLLWIDTH, 1);
        m_Edit->SendScintilla(QsciScintillaBase::SCI_SETSCROLLWIDTHTRACKING, 1);
        // A little room between the line numbers and the text.
        m_Edit->SendScintilla(QsciScintillaBase::SCI_SETMARGINLEFT, 0UL, 6L);
        m_Edit->setEolMode(QsciScintilla::EolWindows);
        m_Edit->setBraceMatching(QsciScintilla::SloppyBraceMatch);
        m_Edit->setAutoIndent(true);
        layout->addWidget(m_Edit, 1);

        m_Bar = new QWidget(this);
        auto* row = new QHBoxLayout(m_Bar);
        row->setContentsMargins(4, 0, 4, 2);
        m_FindLabel = new QLabel(QStringLiteral("Find:"), m_Bar);
        m_Find = new QLineEdit(m_Bar);
        m_ReplaceLabel = new QLabel(QStringLiteral("Replace with:"), m_Bar);
        m_Replace = new QLineEdit(m_Bar);
        m_ReplaceOne = new QPushButton(QStringLiteral("Replace"), m_Bar);
        m_ReplaceAll = new QPushButton(QStringLiteral("Replace All"), m_Bar);
        m_LineLabel = new QLabel(QStringLiteral("Go to line:"), m_Bar);
        m_Line = new QLineEdit(m_Bar);
        m_Status = new QLabel(m_Bar);
        for (QWidget* w : std::initializer_list<QWidget*>{m_FindLabel, m_Find, m_ReplaceLabel,
                                                          m_Replace, m_ReplaceOne, m_ReplaceAll,
                                                          m_LineLabel, m_Line, m_Status})
            row->addWidget(w);
        row->addStretch(1);
        for (QPushButton* b : {m_ReplaceOne, m_ReplaceAll}) b->setAutoDefault(false);
        layout->addWidget(m_Bar);
        m_Bar->hide();

        connect(m_Find, &QLineEdit::returnPressed, this, [this] { FindNext(); });
        connect(m_Replace, &QLineEdit::returnPressed, this, [this] { ReplaceNext(); });
        connect(m_ReplaceOne, &QPushButton::clicked, this, [this] { ReplaceNext(); });
        connect(m_ReplaceAll, &QPushButton::clicked, this, [this] { ReplaceAll(); });
        connect(m_Line, &QLineEdit::returnPressed, this, [this] { GoToLine(); });
        // Every part that can hold the focus, the bar's buttons too: the keys work wherever
        // the focus is.
        for (QObject* o : std::initializer_list<QObject*>{
                 m_Edit, m_Edit->viewport(), m_Find, m_Replace, m_ReplaceOne, m_ReplaceAll, m_Line})
            o->installEventFilter(this);
        setFocusProxy(m_Edit);
    }

    QsciScintilla* Edit() { return m_Edit; }

    void SetText(const QString& text) {
        // New lines follow the text's own line ends; CR LF when it has none.
        const bool unix =
            text.contains(QLatin1Char('\n')) && !text.contains(QStringLiteral("\r\n"));
        m_Edit->setEolMode(unix ? QsciScintilla::EolUnix : QsciScintilla::EolWindows);
        m_Edit->setText(text);
        m_Edit->setModified(false);
    }

    void SetLanguage(CodeLanguage language) {
        m_Language = language;
        m_Edit->setLexer(nullptr);
        m_Lexer.reset();
        if (language == CodeLanguage::Sql)
            m_Lexer = std::make_unique<QsciLexerSQL>();
        else if (language == CodeLanguage::Java)
            m_Lexer = std::make_unique<QsciLexerJava>();
        if (m_Lexer) {
            m_Lexer->setDefaultFont(EditorFont());
            m_Lexer->setFont(EditorFont());
            m_Edit->setLexer(m_Lexer.get());
        }
        m_Edit->setFont(EditorFont());
        m_Edit->setMarginsFont(EditorFont());
    }
    CodeLanguage Language() const { return m_Language; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::ShortcutOverride)
            return QWidget::eventFilter(watched, e);
        auto* k = static_cast<QKeyEvent*>(e);
        const bool ctrl = k->modifiers() == Qt::ControlModifier;
        enum { None, Find, Replace, Next, Line, Close } act = None;
        if (ctrl && k->key() == Qt::Key_F)
            act = Find;
        else if (ctrl && k->key() == Qt::Key_H)
            act = Replace;
        else if (ctrl && k->key() == Qt::Key_G)
            act = Line;
        else if (k->modifiers() == Qt::NoModifier && k->key() == Qt::Key_F3)
            act = Next;
        else if (k->key() == Qt::Key_Escape && watched != m_Edit && watched != m_Edit->viewport())
            act = Close;
        if (act == None) return QWidget::eventFilter(watched, e);
        // Ours before anybody's shortcut; the press itself does the work.
        e->accept();
        if (e->type() == QEvent::ShortcutOverride) return true;
        switch (act) {
            case Find:
                ShowBar(Find);
                break;
            case Replace:
                ShowBar(Replace);
                break;
            case Line:
                ShowBar(Line);
                break;
            case Next:
                FindNext();
                break;
            case Close:
                m_Bar->hide();
                m_Edit->setFocus(Qt::OtherFocusReason);
                break;
            default:
                break;
        }
        return true;
    }

private:
    // act: 1 find, 2 replace, 4 go to line.
    void ShowBar(int act) {
        const bool replace = act == 2, line = act == 4, search = !line;
        for (QWidget* w : {static_cast<QWidget*>(m_FindLabel), static_cast<QWidget*>(m_Find)})
            w->setVisible(search);
        for (QWidget* w :
             {static_cast<QWidget*>(m_ReplaceLabel), static_cast<QWidget*>(m_Replace),
              static_cast<QWidget*>(m_ReplaceOne), static_cast<QWidget*>(m_ReplaceAll)})
            w->setVisible(replace);
        m_LineLabel->setVisible(line);
        m_Line->setVisible(line);
        m_Status->clear();
        m_Bar->show();
        QLineEdit* focus = line ? m_Line : m_Find;
        if (search && m_Edit->hasSelectedText() && !m_Edit->selectedText().contains('\n'))
            m_Find->setText(m_Edit->selectedText());
        focus->setFocus(Qt::OtherFocusReason);
        focus->selectAll();
    }
    // From the cursor on, round the end back to the start.
    bool FindNext() {
        if (m_Find->text().isEmpty()) {
            ShowBar(1);
            return false;
        }
        const bool found = m_Edit->findFirst(m_Find->text(), false, false, false, true);
        m_Status->setText(found ? QString() : QStringLiteral("Not found"));
        return found;
    }
    bool SelectionMatches() const {
        return m_Edit->hasSelectedText() &&
               m_Edit->selectedText().compare(m_Find->text(), Qt::CaseInsensitive) == 0;
    }
    void ReplaceNext() {
        if (m_Find->text().isEmpty()) return;
        if (SelectionMatches()) m_Edit->replaceSelectedText(m_Replace->text());
        FindNext();
    }
    void ReplaceAll() {
        if (m_Find->text().isEmpty()) return;
        int count = 0;
        m_Edit->beginUndoAction();
        bool found = m_Edit->findFirst(m_Find->text(), false, false, false, false, true, 0, 0);
        while (found) {
            m_Edit->replace(m_Replace->text());
            ++count;
            found = m_Edit->findNext();
        }
        m_Edit->endUndoAction();
        m_Status->setText(QStringLiteral("%1 replaced").arg(count));
    }
    void GoToLine() {
        bool ok = false;
        int n = m_Line->text().trimmed().toInt(&ok);
        if (!ok || n < 1) return;
        GoTo(n);
        m_Bar->hide();
        m_Edit->setFocus(Qt::OtherFocusReason);
    }

public:
    void GoTo(int n) {
        n = std::max(1, std::min(n, m_Edit->lines()));
        m_Edit->setCursorPosition(n - 1, 0);
        m_Edit->ensureLineVisible(n - 1);
    }

private:
    QsciScintilla* m_Edit = nullptr;
    std::unique_ptr<QsciLexer> m_Lexer;
    CodeLanguage m_Language = CodeLanguage::Plain;
    QWidget* m_Bar = nullptr;
    QLabel *m_FindLabel, *m_ReplaceLabel, *m_LineLabel, *m_Status;
    QLineEdit *m_Find, *m_Replace, *m_Line;
    QPushButton *m_ReplaceOne, *m_ReplaceAll;
};

CodeEditorBox* Box(QWidget* w) {
    return w && w->objectName() == QStringLiteral("qv-code-editor") ? static_cast<CodeEditorBox*>(w)
                                                                    : nullptr;
}

}  // namespace

QWidget* MakeCodeEditor(QWidget* parent) {
    return new CodeEditorBox(parent);
}
bool IsCodeEditor(const QWidget* w) {
    return Box(const_cast<QWidget*>(w)) != nullptr;
}
void CodeEditorSetText(QWidget* w, const QString& text) {
    if (CodeEditorBox* b = Box(w)) b->SetText(text);
}
QString CodeEditorText(const QWidget* w) {
    CodeEditorBox* b = Box(const_cast<QWidget*>(w));
    return b ? b->Edit()->text() : QString();
}
void CodeEditorSetLanguage(QWidget* w, CodeLanguage language) {
    if (CodeEditorBox* b = Box(w)) b->SetLanguage(language);
}
CodeLanguage CodeEditorLanguage(const QWidget* w) {
    CodeEditorBox* b = Box(const_cast<QWidget*>(w));
    return b ? b->Language() : CodeLanguage::Plain;
}
void CodeEditorGoToLine(QWidget* w, int line) {
    if (CodeEditorBox* b = Box(w)) b->GoTo(line);
}
void CodeEditorCursor(const QWidget* w, int& line, std::string& selection) {
    line = -1;
    selection.clear();
    if (CodeEditorBox* b = Box(const_cast<QWidget*>(w))) {
        int index = 0;
        b->Edit()->getCursorPosition(&line, &index);
        selection = S(b->Edit()->selectedText());
    }
}

}  // namespace gui
