// The text-view control kind: a read-only viewer for long texts (a trace of many
// megabytes). It keeps the text and where its lines start and paints only the lines in
// view, so putting in 20 MB costs a scan for line ends, not a document of blocks.
// Private to the layer, like Internal.h.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <vector>

namespace gui {

class TextView : public QAbstractScrollArea {
public:
    explicit TextView(QWidget* parent);
    // UTF-8 text; CR LF and LF both end a line.
    void SetText(const char* data, qsizetype size);
    const QString& Text() const { return m_Text; }
    QString SelectedText() const;
    // The view to the last line, the caret (and an empty selection) at the end.
    void ShowEnd();
    bool AtEnd() const;
    // Selects the next occurrence after the selection, ignoring case, going round.
    bool FindNext(const QString& what);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    int LineOf(qsizetype pos) const;
    qsizetype LineEnd(int line) const;  // before its CR LF
    qsizetype PosAt(const QPoint& p) const;
    // Where a position of a line is drawn: the advance of the line's text before it.
    qreal XOf(int line, qsizetype pos) const;
    void UpdateBars();
    void Select(qsizetype from, qsizetype to);
    void EnsureVisible(qsizetype pos);

    // Characters of a line that are drawn; a longer line is shown cut.
    static constexpr qsizetype kDrawnChars = 4000;

    QString m_Text;
    std::vector<qsizetype> m_Starts;  // first character of each line
    qsizetype m_Widest = 0;           // characters of the longest line
    qsizetype m_Anchor = 0, m_Caret = 0;
};

}  // namespace gui
