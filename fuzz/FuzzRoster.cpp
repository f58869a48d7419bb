// Roster and RosterU driven by arbitrary operation sequences: fields and records in any
// order, cells written and read at any position. A cell never reads past its width, a
// write is read back as its prefix, and nothing runs outside the records (ASan).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "roster/Roster.h"

namespace {

template <class Table, class Ch>
void Drive(Table& t, const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 3 <= size; i += 3) {
        const long a = data[i + 1] % 8, b = data[i + 2] % 8;
        switch (data[i] % 6) {
            case 0:
                if (data[i + 1] >= 224)
                    t.CreateVariableField();
                else
                    t.CreateField(data[i + 1] % 16);
                break;
            case 1:
                t.CreateRecord();
                break;
            case 2: {
                std::basic_string<Ch> text(static_cast<size_t>(data[i + 2] % 20), Ch('a' + a));
                if (t.SetField(a, b % 4, text.c_str()) != 0) break;
                Ch* cell = nullptr;
                long n = 0, width = 0;
                if (t.GetField(a, b % 4, &cell, &n) != 0 || t.GetFieldSize(b % 4, &width) != 0)
                    std::abort();
                const long want =
                    static_cast<long>(text.size()) < width ? static_cast<long>(text.size()) : width;
                if (n != want ||
                    text.compare(0, static_cast<size_t>(n), cell, static_cast<size_t>(n)) != 0)
                    std::abort();
                break;
            }
            case 3: {
                Ch* cell = nullptr;
                long n = 0, width = 0;
                if (t.GetField(a, b, &cell, &n) == 0 &&
                    (t.GetFieldSize(b, &width) != 0 || n < 0 || n > width))
                    std::abort();
                break;
            }
            case 4:
                if (data[i + 1] & 1) t.SetMultiSelected();
                t.SetSelectedRecord(b);
                t.GetRecordStatus(a);
                break;
            default: {
                long records = 0, fields = 0;
                t.GetNumberOfRecords(&records);
                t.GetNumberOfFields(&fields);
                if (records < 0 || fields < 0 || t.GetRecordSize() < 0) std::abort();
                break;
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Roster narrow;
    Drive<Roster, char>(narrow, data, size);
    RosterU wide;
    Drive<RosterU, char16_t>(wide, data, size);
    std::string attr(reinterpret_cast<const char*>(data), size < 120 ? size : 120);
    attr = attr.c_str();
    wide.SetTDParam(attr.c_str());
    wide.SetTDParam(size % 4, attr.c_str());
    wide.SetTRParam(attr.c_str(), attr.c_str());
    return 0;
}
