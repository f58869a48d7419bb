// In-memory result tables of fixed-width text cells: Roster (8-bit) and RosterU
// (UTF-16, with HTML attribute texts for rows and cells).
//
// Order: declare every column (CreateField), then add rows (CreateRecord), then fill and
// read cells. The int operations return 0 on success and -1 on failure (a bad index, a
// null argument, no memory); records and fields count from 0. The table owns its cells:
// a pointer from GetField stays valid until the next CreateRecord. Texts passed in are
// copied; the caller keeps them.
#pragma once

#include <vector>

#include "common/Export.h"
#include "common/FixedText.h"
#include "vessel/Vessel.h"

template <class Ch>
class QV_ROSTER_API BasicRoster {
public:
    using VesselT = BasicVessel<Ch>;

    BasicRoster() = default;
    BasicRoster(const BasicRoster&) = delete;
    BasicRoster& operator=(const BasicRoster&) = delete;

    // Adds a column of width characters. -1 for a negative width, once a record exists,
    // or when the widths together would not fit a buffer.
    int CreateField(long width);
    // A field whose cells lie apart from the fixed-width records, each as long as its
    // text, so one wide value does not widen every record. It adds nothing to the record
    // size; its width (GetFieldSize) is the longest text set so far. -1 once a record
    // exists.
    int CreateVariableField();
    // Adds an empty row. -1 when the storage cannot grow.
    int CreateRecord();
    // Copies the zero-terminated text into a cell, cut to the column's width. -1 for a
    // null text or a cell that does not exist.
    int SetField(long record, long field, const Ch* text);
    // The cell's characters (not zero-terminated when the text fills the width) into
    // *cell, their number into *length; either may be null. -1 (null and 0 set) for a
    // cell that does not exist.
    int GetField(long record, long field, Ch** cell, long* length);
    // The width, number of rows or of columns into the out argument; -1 when it is null
    // (or the field does not exist).
    int GetFieldSize(long field, long* width) const;
    int GetNumberOfRecords(long* count) const;
    int GetNumberOfFields(long* count) const;
    long GetRecordSize() const { return m_RecordSize; }

    // Selection, for #SELECT markers: one selected row (the first by default), or after
    // SetMultiSelected any number. GetSMType: 1 multi, 0 single. GetRecordStatus: 1 when
    // the row is selected, else 0 (also for a row that does not exist).
    void SetMultiSelected() { m_MultiSelected = 1; }
    int GetSMType() const { return m_MultiSelected; }
    void SetSelectedRecord(long record);
    int GetRecordStatus(long record) const;

    // The error a request gives its client; the message is copied (cut to 1023 bytes)
    // and its text lives as long as the table.

    void SetErrorMsg(const char* text) {
        if (text) m_ErrorMsg = text;
    }
    const char* GetErrorMsg() const { return m_ErrorMsg.c_str(); }
    void SetErrorCode(int code) { m_ErrorCode = code; }
    int GetErrorCode() const { return m_ErrorCode; }

protected:
    struct Field {
        long width = 0;
        long offset = 0;
        FixedText<99> attributes;  // cell attributes (used by RosterU)
        long variable = -1;        // index among the variable fields; -1: in the record
    };
    // Where a variable cell's text lies in m_VariableText; offset 0 holds a lone zero.
    struct VariableCell {
        long offset = 0;
        long length = 0;
    };
    VariableCell* VariableAt(long record, const Field& f);
    bool InRange(long record, long field) const {
        return record >= 0 && record < m_NumberOfRecords && field >= 0 && field < m_NumberOfFields;
    }

    VesselT m_Records;
    std::vector<Field> m_Fields;
    long m_NumberOfRecords = 0;
    long m_NumberOfFields = 0;
    long m_RecordSize = 0;
    FixedText<1023> m_ErrorMsg;
    int m_ErrorCode = 0;
    int m_MultiSelected = 0;
    long m_SelectedRecord = 0;
    std::vector<int> m_Selection;
    long m_VariableFields = 0;
    VesselT m_VariableText;                     // every variable cell's text, zero-ended
    std::vector<VariableCell> m_VariableCells;  // record by record, field by field
};

extern template class BasicRoster<char>;
extern template class BasicRoster<char16_t>;

using Roster = BasicRoster<char>;

// Attribute texts hold fewer than 100 characters; longer ones are ignored. The texts
// returned live as long as the table; an unknown field's is "".
class QV_ROSTER_API RosterU : public BasicRoster<char16_t> {
public:
    void SetTRParam(const char* text);
    void SetTRParam(const char* text, const char* textEx);
    const char* GetTRParam() const { return m_TRParam.c_str(); }
    const char* GetTRParamEx() const { return m_TRParamEx.c_str(); }
    void SetTDParam(const char* text);
    void SetTDParam(long field, const char* text);
    const char* GetTDParam() const { return m_TDParam.c_str(); }
    const char* GetTDParam(long field) const;

private:
    FixedText<99> m_TRParam;
    FixedText<99> m_TRParamEx;
    FixedText<99> m_TDParam;
};
