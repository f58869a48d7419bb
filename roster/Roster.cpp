#include "roster/Roster.h"

#include <cstring>
#include <string>

#include "common/NoThrow.h"

namespace {

constexpr std::size_t kAttrLimit = 100;       // attribute texts stay below this length
constexpr long kMaxRecordSize = 0x7ffffffeL;  // a buffer's sizes are 32-bit

template <class Ch>
long Length(const Ch* s) {
    long n = 0;
    while (s[n] != 0) ++n;
    return n;
}

// Appends text to attr with one blank between, when the result stays below the limit.
template <std::size_t N>
void AppendAttribute(FixedText<N>& attr, const char* text) {
    if (!text) return;
    const std::size_t add = std::strlen(text);
    if (add >= kAttrLimit) return;
    std::string result(attr.view());
    if (!result.empty()) result += ' ';
    result += text;
    if (result.size() >= kAttrLimit) return;
    attr = result;
}

}  // namespace

template <class Ch>
int BasicRoster<Ch>::CreateField(long width) {
    return NoThrow(
        [&]() -> int {
            // Records lie end to end in the record size of their creation: a field added
            // after the first record would make every cell address run past them.
            if (width < 0 || m_NumberOfRecords > 0) return -1;
            // The record size must stay a size a buffer can hold.
            if (width > kMaxRecordSize - m_RecordSize) return -1;
            Field f;
            f.width = width;
            f.offset = m_RecordSize;
            m_Fields.push_back(f);
            ++m_NumberOfFields;
            m_RecordSize += width;
            return 0;
        },
        -1);
}

template <class Ch>
int BasicRoster<Ch>::CreateVariableField() {
    return NoThrow(
        [&]() -> int {
            if (m_NumberOfRecords > 0) return -1;
            if (m_VariableText.GetSize() == 0) {
                const Ch zero = 0;  // where every unset variable cell points
                if (m_VariableText.AddContent(&zero, 1) != 0) return -1;
            }
            Field f;
            f.offset = m_RecordSize;  // takes no room in the record
            f.variable = m_VariableFields;
            m_Fields.push_back(f);
            ++m_NumberOfFields;
            ++m_VariableFields;
            return 0;
        },
        -1);
}

template <class Ch>
int BasicRoster<Ch>::CreateRecord() {
    return NoThrow(
        [&]() -> int {
            const long before = m_Records.GetSize();
            if (m_RecordSize > 0) {
                if (m_Records.AddContentSize(m_RecordSize) != 0) return -1;
                // New cells start empty: an unset cell must never read as leftover memory.
                std::memset(m_Records.GetContent() + before, 0,
                            static_cast<std::size_t>(m_RecordSize) * sizeof(Ch));
            }
            m_VariableCells.resize(m_VariableCells.size() +
                                   static_cast<std::size_t>(m_VariableFields));
            ++m_NumberOfRecords;
            if (m_MultiSelected) m_Selection.push_back(0);
            return 0;
        },
        -1);
}

template <class Ch>
typename BasicRoster<Ch>::VariableCell* BasicRoster<Ch>::VariableAt(long record, const Field& f) {
    const std::size_t at =
        static_cast<std::size_t>(record) * static_cast<std::size_t>(m_VariableFields) +
        static_cast<std::size_t>(f.variable);
    return at < m_VariableCells.size() ? &m_VariableCells[at] : nullptr;
}

template <class Ch>
int BasicRoster<Ch>::SetField(long record, long field, const Ch* text) {
    if (!text || !InRange(record, field)) return -1;
    Field& f = m_Fields[static_cast<std::size_t>(field)];
    if (f.variable >= 0) {
        VariableCell* v = VariableAt(record, f);
        if (!v) return -1;
        const long n = Length(text);
        // The text is appended whole with its zero; a cell set again leaves its old
        // text behind, which only a table rewritten many times would notice.
        const long at = m_VariableText.GetSize();
        if (m_VariableText.AddContent(text, n + 1) != 0) return -1;
        v->offset = at;
        v->length = n;
        if (n > f.width) f.width = n;
        return 0;
    }
    if (m_Records.GetSize() == 0 || m_RecordSize == 0) return -1;
    Ch* cell = m_Records.GetContent() + record * m_RecordSize + f.offset;
    const long n = Length(text);
    if (n < f.width) {
        std::memcpy(cell, text, static_cast<std::size_t>(n) * sizeof(Ch));
        cell[n] = 0;
    } else {
        std::memcpy(cell, text, static_cast<std::size_t>(f.width) * sizeof(Ch));
    }
    return 0;
}

template <class Ch>
int BasicRoster<Ch>::GetField(long record, long field, Ch** cell, long* length) {
    if (cell) *cell = nullptr;
    if (length) *length = 0;
    if (!InRange(record, field)) return -1;
    const Field& f = m_Fields[static_cast<std::size_t>(field)];
    if (f.variable >= 0) {
        const VariableCell* v = VariableAt(record, f);
        if (!v) return -1;
        if (cell) *cell = m_VariableText.GetContent() + v->offset;
        if (length) *length = v->length;
        return 0;
    }
    if (m_RecordSize == 0 || m_Records.GetSize() == 0) return -1;
    Ch* start = m_Records.GetContent() + record * m_RecordSize + f.offset;
    long n = 0;
    while (n < f.width && start[n] != 0) ++n;
    if (cell) *cell = start;
    if (length) *length = n;
    return 0;
}

template <class Ch>
int BasicRoster<Ch>::GetFieldSize(long field, long* width) const {
    if (!width || field < 0 || field >= m_NumberOfFields) return -1;
    *width = m_Fields[static_cast<std::size_t>(field)].width;
    return 0;
}

template <class Ch>
int BasicRoster<Ch>::GetNumberOfRecords(long* count) const {
    if (!count) return -1;
    *count = m_NumberOfRecords;
    return 0;
}

template <class Ch>
int BasicRoster<Ch>::GetNumberOfFields(long* count) const {
    if (!count) return -1;
    *count = m_NumberOfFields;
    return 0;
}

template <class Ch>
void BasicRoster<Ch>::SetSelectedRecord(long record) {
    if (record < 0 || record >= m_NumberOfRecords) return;
    if (!m_MultiSelected) {
        m_SelectedRecord = record;
    } else if (static_cast<std::size_t>(record) < m_Selection.size()) {
        m_Selection[static_cast<std::size_t>(record)] = 1;
    }
}

template <class Ch>
int BasicRoster<Ch>::GetRecordStatus(long record) const {
    if (record < 0 || record >= m_NumberOfRecords) return 0;
    if (!m_MultiSelected) return record == m_SelectedRecord ? 1 : 0;
    return static_cast<std::size_t>(record) < m_Selection.size()
               ? m_Selection[static_cast<std::size_t>(record)]
               : 0;
}

template class BasicRoster<char>;
template class BasicRoster<char16_t>;

void RosterU::SetTRParam(const char* text) {
    if (text && std::strlen(text) < kAttrLimit) m_TRParam = text;
}

void RosterU::SetTRParam(const char* text, const char* textEx) {
    if (text && textEx && std::strlen(text) < kAttrLimit && std::strlen(textEx) < kAttrLimit) {
        m_TRParam = text;
        m_TRParamEx = textEx;
    }
}

void RosterU::SetTDParam(const char* text) {
    NoThrowVoid([&] { AppendAttribute(m_TDParam, text); });
}

void RosterU::SetTDParam(long field, const char* text) {
    NoThrowVoid([&] {
        if (field < 0 || field >= m_NumberOfFields) return;
        AppendAttribute(m_Fields[static_cast<std::size_t>(field)].attributes, text);
    });
}

const char* RosterU::GetTDParam(long field) const {
    if (field < 0 || field >= m_NumberOfFields) return "";
    return m_Fields[static_cast<std::size_t>(field)].attributes.c_str();
}
