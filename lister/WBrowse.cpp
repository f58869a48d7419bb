#include "lister/WBrowse.h"

#include <algorithm>

namespace {
// Without a window there is no font to measure; the classic system font's line.
constexpr int kFallbackLineHeight = 16;
}  // namespace

WBrowse::WBrowse(int headerLines, int footerLines, gui::Colour backBrush, gui::Colour cursorBrush)
    : m_HeaderLines(std::max(0, headerLines)),
      m_FooterLines(std::max(0, footerLines)),
      m_hBackBrush(backBrush == kDefaultBrush ? gui::RGB(192, 192, 192) : backBrush),
      m_hCursorBrush(cursorBrush == kDefaultBrush ? gui::RGB(0, 0, 0) : cursorBrush) {}

int WBrowse::Create(gui::Window window, long numberOfRecords) {
    m_hWnd = window;
    m_NumberOfRecords = numberOfRecords;
    if (gui::HighContrast()) {
        m_hBackBrush = gui::PaletteColour(gui::SysColour::Base);
        m_hCursorBrush = gui::PaletteColour(gui::SysColour::Highlight);
    }
    m_Cursor = 1;
    m_Top = m_LinesUsed = m_PageLines = 0;
    m_LineHeight = 0;
    m_Width = 0;
    m_hDC = nullptr;
    if (gui::Painter* dc = gui::GetDC(m_hWnd)) {
        dc->SelectSystemFont();
        m_LineHeight = dc->LineHeight();
        gui::ReleaseDC(m_hWnd);
    }
    if (m_LineHeight <= 0) m_LineHeight = kFallbackLineHeight;
    m_HeaderHeight = m_HeaderLines * m_LineHeight;
    m_FooterHeight = m_FooterLines * m_LineHeight;
    SetUpScrollBar(false);
    gui::ListAccess access;
    access.count = [this] { return m_NumberOfRecords; };
    access.current = [this] { return m_NumberOfRecords > 0 ? GetRecordNumber() - 1 : -1; };
    access.top = [this] { return m_Top; };
    access.shown = [this] { return m_LinesUsed; };
    access.rowRect = [this](long index) {
        const int y = m_HeaderHeight + m_LineHeight * static_cast<int>(index - m_Top);
        return gui::Rect{0, y, m_Width, y + m_LineHeight};
    };
    access.line = [this](long index) { return RowText(index); };
    access.columns = ColumnNames();
    access.cells = [this](long index) { return RowCells(index); };
    gui::SetListAccess(m_hWnd, std::move(access));
    m_Announced = 0;
    gui::SetFocus(m_hWnd);
    return 0;
}

void WBrowse::Announce(bool contents) {
    const long now = m_NumberOfRecords > 0 ? GetRecordNumber() : 0;
    if (!contents && now == m_Announced) return;
    m_Announced = now;
    gui::NotifyList(m_hWnd, contents ? gui::ListChange::Contents : gui::ListChange::Current);
}

void WBrowse::SetUpScrollBar(bool redraw) {
    if (m_NumberOfRecords < 2) {
        gui::ShowScrollBar(m_hWnd, false);
    } else {
        gui::ShowScrollBar(m_hWnd, true);
        gui::SetScrollRange(
            m_hWnd, 1, static_cast<int>(std::min<long>(m_NumberOfRecords, 0x7FFFFFFF)), redraw);
    }
}

void WBrowse::InvalidateList() {
    gui::Invalidate(m_hWnd, &m_ListRect, true);
}

int WBrowse::Reshow(long numberOfRecords) {
    m_NumberOfRecords = numberOfRecords;
    m_LinesUsed = std::min(m_PageLines, m_NumberOfRecords);
    m_Cursor = 1;
    m_Top = 0;
    SetUpScrollBar(true);
    InvalidateList();
    Announce(true);
    return 0;
}

int WBrowse::Size(long packed) {
    const int width = static_cast<int>(packed & 0xFFFF);
    const int height = static_cast<int>((packed >> 16) & 0xFFFF);
    m_ListRect = {0, m_HeaderHeight, width, height};
    m_Width = static_cast<unsigned short>(width);
    // A list area lower than the two bands holds no line (a minimised window); as an
    // unsigned difference it would wrap to some 65,000 lines and a paint would draw
    // every record.
    const int room = height - m_HeaderHeight - m_FooterHeight;
    m_PageLines = room > 0 && m_LineHeight > 0 ? room / m_LineHeight : 0;
    m_LinesUsed = std::min(m_PageLines, m_NumberOfRecords);
    if (m_Top + m_LinesUsed > m_NumberOfRecords || m_Cursor > m_LinesUsed) {
        m_Top = 0;
        m_Cursor = 1;
    }
    InvalidateList();
    return 0;
}

int WBrowse::GotoRecord(long n) {
    if (n <= 0) return 0;
    const long N = m_NumberOfRecords;
    if (N > 0 && n > N) n = N;  // beyond the end: the last record
    // With no whole line in view, one line still counts as the page, so the record
    // asked for becomes the current one (and nothing divides by zero).
    const long P = std::max(1L, m_PageLines);
    if (N > P) {
        m_Top = n > N - P ? N - P : ((n - 1) / P) * P;
        m_Cursor = n - m_Top;
    }
    if (N > 1 && N <= P) {
        m_Top = 0;
        m_Cursor = n;
    }
    InvalidateList();
    Announce(false);
    return 0;
}

gui::Rect WBrowse::CursorFrame() const {
    return {0, m_HeaderHeight + m_LineHeight * static_cast<int>(m_Cursor - 1), m_Width,
            m_HeaderHeight + m_LineHeight * static_cast<int>(m_Cursor) + 1};
}

template <class Change>
void WBrowse::MoveFrame(Change change) {
    m_hDC = gui::GetDC(m_hWnd);
    if (m_hDC) m_hDC->FrameRect(CursorFrame(), m_hBackBrush);
    change();
    m_CursorRect = CursorFrame();
    if (m_hDC) {
        m_hDC->FrameRect(m_CursorRect, m_hCursorBrush);
        gui::ReleaseDC(m_hWnd);
    }
    m_hDC = nullptr;
}

int WBrowse::Goto(long packed) {
    const int y = static_cast<int>((packed >> 16) & 0xFFFF);
    if (y < m_HeaderHeight + 2) return -1;
    if (y < m_HeaderHeight + m_LineHeight * m_LinesUsed) {
        MoveFrame([&] {
            const int top = CursorFrame().top;
            const int diff = y - top;
            // Floor, also for clicks above the cursor.
            const long lines =
                diff >= 0 ? diff / m_LineHeight : -((-diff + m_LineHeight - 1) / m_LineHeight);
            m_Cursor = std::clamp(m_Cursor + lines, 1L, std::max(1L, m_LinesUsed));
        });
    }
    m_SetScrollPos();
    return 0;
}

int WBrowse::Vscroll(unsigned short code, long position) {
    switch (code) {
        case gui::kLineUp:
            m_up();
            break;
        case gui::kLineDown:
            m_down();
            break;
        case gui::kPageUp:
            m_pgup();
            break;
        case gui::kPageDown:
            m_pgdn();
            break;
        case gui::kThumbPosition:
            GotoRecord(position);  // the full record number, also past 65,535
            break;
        default:
            break;
    }
    return 0;
}

int WBrowse::Keydown(unsigned short key) {
    switch (key) {
        case gui::kVkPrior:
            m_pgup();
            break;
        case gui::kVkNext:
            m_pgdn();
            break;
        case gui::kVkEnd:
            m_end();
            break;
        case gui::kVkHome:
            m_home();
            break;
        case gui::kVkUp:
            m_up();
            break;
        case gui::kVkDown:
            m_down();
            break;
        default:
            break;
    }
    return 0;
}

void WBrowse::m_down() {
    if (m_Cursor < m_LinesUsed) {
        MoveFrame([&] { ++m_Cursor; });
    } else if (m_PageLines > 0 && m_LinesUsed == m_PageLines &&
               m_Top + m_PageLines < m_NumberOfRecords) {
        ++m_Top;
        if (gui::Painter* dc = gui::GetDC(m_hWnd)) {
            dc->FrameRect(CursorFrame(), m_hBackBrush);
            gui::ReleaseDC(m_hWnd);
        }
        const int bandTop = m_HeaderHeight;
        const int bandBottom = m_HeaderHeight + m_LineHeight * static_cast<int>(m_PageLines);
        gui::ScrollBand(m_hWnd, bandTop, bandBottom, -m_LineHeight);
        gui::Rect last{0, m_HeaderHeight + static_cast<int>(m_PageLines - 1) * m_LineHeight,
                       m_Width, m_HeaderHeight + static_cast<int>(m_PageLines) * m_LineHeight + 1};
        gui::Invalidate(m_hWnd, &last, true);
        gui::UpdateNow(m_hWnd);
    }
    m_SetScrollPos();
}

void WBrowse::m_up() {
    if (m_Cursor > 1) {
        MoveFrame([&] { --m_Cursor; });
    } else if (m_Top > 0) {
        --m_Top;
        if (gui::Painter* dc = gui::GetDC(m_hWnd)) {
            dc->FrameRect(CursorFrame(), m_hBackBrush);
            gui::ReleaseDC(m_hWnd);
        }
        const int bandTop = m_HeaderHeight;
        const int bandBottom = m_HeaderHeight + m_LineHeight * static_cast<int>(m_PageLines);
        gui::ScrollBand(m_hWnd, bandTop, bandBottom, m_LineHeight);
        gui::Rect first{0, m_HeaderHeight, m_Width, m_HeaderHeight + m_LineHeight + 1};
        gui::Invalidate(m_hWnd, &first, true);
        gui::UpdateNow(m_hWnd);
    }
    m_SetScrollPos();
}

void WBrowse::m_pgdn() {
    const long b = m_Top + m_PageLines;
    if (b < m_NumberOfRecords && m_LinesUsed != m_NumberOfRecords) {
        m_Top = std::min(b, m_NumberOfRecords - m_PageLines);
        InvalidateList();
    }
    m_SetScrollPos();
}

void WBrowse::m_pgup() {
    if (m_Top != 0 && m_LinesUsed != m_NumberOfRecords) {
        m_Top = std::max(0L, m_Top - m_PageLines);
        InvalidateList();
    }
    m_SetScrollPos();
}

void WBrowse::m_home() {
    if (m_Cursor != 1 || m_Top != 0) {
        m_Cursor = 1;
        m_Top = 0;
        InvalidateList();
    }
    m_SetScrollPos();
}

void WBrowse::m_end() {
    if (m_Top + m_Cursor < m_NumberOfRecords) {
        m_Cursor = m_LinesUsed == 0 ? 1 : m_LinesUsed;
        // With no whole line in view the last record still becomes the current one.
        if (m_LinesUsed < m_NumberOfRecords) m_Top = m_NumberOfRecords - std::max(1L, m_PageLines);
        InvalidateList();
    }
    m_SetScrollPos();
}

gui::Painter* WBrowse::m_BeginPaint() {
    m_PaintStruct = gui::BeginPaint(m_hWnd);
    return m_PaintStruct;
}

void WBrowse::m_EndPaint() {
    gui::EndPaint(m_hWnd);
    m_PaintStruct = nullptr;
}

void WBrowse::m_TextOut(gui::Painter* dc, int line, const char* text, int length) {
    if (!dc || !text || length <= 0) return;
    dc->TextOut(3, m_HeaderHeight + line * m_LineHeight,
                std::string_view(text, static_cast<size_t>(length)));
}

void WBrowse::m_PaintCursor(gui::Painter* dc) {
    m_CursorRect = CursorFrame();
    if (dc) dc->FrameRect(m_CursorRect, m_hCursorBrush);
}

void WBrowse::m_SetScrollPos() {
    gui::SetScrollPos(m_hWnd, static_cast<int>(m_Top + m_Cursor), true);
    Announce(false);
}
