// WBrowse: the arithmetic of a one-line cursor moving over N records shown one text line
// per record between a header band and a footer band. It holds no records: the derived
// class paints the visible lines from its own list; WBrowse draws only the cursor frame
// and moves pixels when the view scrolls by one line.
#pragma once

#include <string>
#include <vector>

#include "common/Export.h"
#include "platform/gui/Gui.h"

class QV_LISTER_API WBrowse {
public:
    // A colour of kDefaultBrush stands for the usual one: light grey background,
    // black cursor frame.
    static constexpr gui::Colour kDefaultBrush = 0xFFFFFFFFu;

    WBrowse(int headerLines, int footerLines, gui::Colour backBrush = kDefaultBrush,
            gui::Colour cursorBrush = kDefaultBrush);
    virtual ~WBrowse() = default;

    // Paints the header band and the visible records, then the cursor.
    virtual int Paint() = 0;
    // What screen readers read of a record (0-based): its line as painted, and its texts
    // by column under ColumnNames (none known: no columns).
    virtual std::string RowText(long /*index*/) { return std::string(); }
    virtual std::vector<std::string> ColumnNames() { return {}; }
    virtual std::vector<std::string> RowCells(long /*index*/) { return {}; }

    int Create(gui::Window window, long numberOfRecords);
    int Reshow(long numberOfRecords);
    int Size(long packed);
    int GotoRecord(long record);
    int Goto(long packed);
    int Vscroll(unsigned short code, long position);
    int Keydown(unsigned short key);
    long GetRecordNumber() const { return m_Top + m_Cursor; }
    long GetNumberOfRecords() const { return m_NumberOfRecords; }

    // Read access for the window procedures and tests.
    long Top() const { return m_Top; }
    long Cursor() const { return m_Cursor; }
    long LinesUsed() const { return m_LinesUsed; }
    long PageLines() const { return m_PageLines; }
    int LineHeight() const { return m_LineHeight; }
    int HeaderHeight() const { return m_HeaderHeight; }
    const gui::Rect& CursorRect() const { return m_CursorRect; }
    const gui::Rect& ListRect() const { return m_ListRect; }
    gui::Window WindowHandle() const { return m_hWnd; }

protected:
    gui::Painter* m_BeginPaint();
    void m_EndPaint();
    void m_TextOut(gui::Painter* dc, int line, const char* text, int length);
    void m_PaintCursor(gui::Painter* dc);
    void m_SetScrollPos();
    void m_up();
    void m_down();
    void m_pgup();
    void m_pgdn();
    void m_home();
    void m_end();

    long m_NumberOfRecords = 0;
    long m_Top = 0;
    long m_Cursor = 1;
    long m_LinesUsed = 0;
    int m_HeaderLines = 0;
    int m_FooterLines = 0;
    int m_HeaderHeight = 0;
    int m_FooterHeight = 0;
    long m_PageLines = 0;
    int m_LineHeight = 0;
    gui::Window m_hWnd = 0;
    gui::Rect m_CursorRect;
    gui::Rect m_ListRect;
    unsigned short m_Width = 0;
    gui::Colour m_hBackBrush;
    gui::Colour m_hCursorBrush;
    gui::Painter* m_hDC = nullptr;
    gui::Painter* m_PaintStruct = nullptr;

private:
    gui::Rect CursorFrame() const;
    // Tells the assistive tools when the current record has changed since they were last
    // told (or, with contents, that the records were replaced).
    void Announce(bool contents);
    long m_Announced = 0;
    void InvalidateList();
    void SetUpScrollBar(bool redraw);
    // Erase the cursor frame, run the change, frame the new cursor line.
    template <class Change>
    void MoveFrame(Change change);
};
