// WBrowse: the arithmetic of a one-line cursor moving over N records shown one text line
// per record between a header band and a footer band. It holds no records: the derived
// class paints the visible lines from its own list; WBrowse draws only the cursor frame
// and moves pixels when the view scrolls by one line.
//
// Order: construct, then Create with the window the list paints in (a child window of the
// windowing layer, which stays the caller's), then feed it the window's messages: Size,
// Vscroll, Keydown, Goto (a click) and Paint. Reshow after the record count changed. Every
// int operation returns 0 (the messages are always taken), except Goto (-1 for a click
// above the first line). Record numbers count from 1.
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

    // Paints the header band and the visible records, then the cursor (the derived
    // class: between m_BeginPaint and m_EndPaint). Its result is the window's.
    virtual int Paint() = 0;
    // What screen readers read of a record (0-based): its line as painted, and its texts
    // by column under ColumnNames (none known: no columns).
    virtual std::string RowText(long /*index*/) { return std::string(); }
    virtual std::vector<std::string> ColumnNames() { return {}; }
    virtual std::vector<std::string> RowCells(long /*index*/) { return {}; }

    // Takes the window and the number of records; the cursor goes to the first.
    int Create(gui::Window window, long numberOfRecords);
    // A new number of records: the view and cursor stay where they can, all repaints.
    int Reshow(long numberOfRecords);
    // The window's new client size, packed as width | height << 16.
    int Size(long packed);
    // Moves the cursor to a record (1-based), scrolling it into view; 0 or less: nothing.
    int GotoRecord(long record);
    // A click at x | y << 16: the cursor moves to the line clicked.
    int Goto(long packed);
    // A scroll bar action (gui::ScrollCode) with the thumb's position.
    int Vscroll(unsigned short code, long position);
    // A key (gui::VirtualKey): the arrows, Page Up, Page Down, Home and End move.
    int Keydown(unsigned short key);
    // The record under the cursor (1-based).
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
    // Inside Paint: the window's painter, owned by the windowing layer and valid until
    // m_EndPaint; null for a window without a surface.
    gui::Painter* m_BeginPaint();
    void m_EndPaint();
    // Draws length bytes of text on a list line (0: the first below the header band);
    // nothing for a null painter or text. The text stays the caller's.
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
    QV_LOCAL gui::Rect CursorFrame() const;
    // Tells the assistive tools when the current record has changed since they were last
    // told (or, with contents, that the records were replaced).
    QV_LOCAL void Announce(bool contents);
    long m_Announced = 0;
    QV_LOCAL void InvalidateList();
    QV_LOCAL void SetUpScrollBar(bool redraw);
    // Erase the cursor frame, run the change, frame the new cursor line.
    template <class Change>
    void MoveFrame(Change change);
};
