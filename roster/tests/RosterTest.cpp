#include "roster/Roster.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Cell(Roster& t, long r, long f) {
    char* p = nullptr;
    long n = -1;
    EXPECT_EQ(t.GetField(r, f, &p, &n), 0);
    return std::string(p, static_cast<size_t>(n));
}

}  // namespace

TEST(Roster, LayoutIsArithmetic) {
    Roster t;
    ASSERT_EQ(t.CreateField(5), 0);
    ASSERT_EQ(t.CreateField(10), 0);
    EXPECT_EQ(t.GetRecordSize(), 15);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(t.CreateRecord(), 0);
    char* base = nullptr;
    char* cell = nullptr;
    long n = 0;
    ASSERT_EQ(t.GetField(0, 0, &base, &n), 0);
    ASSERT_EQ(t.GetField(2, 1, &cell, &n), 0);
    EXPECT_EQ(cell - base, 35);
    long count = 0;
    EXPECT_EQ(t.GetNumberOfRecords(&count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(t.GetNumberOfFields(&count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(t.GetNumberOfRecords(nullptr), -1);
    long w = 0;
    EXPECT_EQ(t.GetFieldSize(1, &w), 0);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(t.GetFieldSize(2, &w), -1);
}

TEST(Roster, CellsAreCutToWidthAndNewCellsReadEmpty) {
    Roster t;
    t.CreateField(5);
    t.CreateField(3);
    t.CreateRecord();
    EXPECT_EQ(Cell(t, 0, 0), "");  // never set
    EXPECT_EQ(Cell(t, 0, 1), "");
    ASSERT_EQ(t.SetField(0, 0, "abcdefgh"), 0);
    EXPECT_EQ(Cell(t, 0, 0), "abcde");  // cut, no terminator: the next cell is intact
    EXPECT_EQ(Cell(t, 0, 1), "");
    ASSERT_EQ(t.SetField(0, 0, "ab"), 0);
    EXPECT_EQ(Cell(t, 0, 0), "ab");
    ASSERT_EQ(t.SetField(0, 1, "xyz"), 0);
    ASSERT_EQ(t.SetField(0, 0, ""), 0);
    EXPECT_EQ(Cell(t, 0, 0), "");
    EXPECT_EQ(Cell(t, 0, 1), "xyz");
    t.CreateRecord();
    EXPECT_EQ(Cell(t, 1, 0), "");
}

TEST(Roster, OutOfRangeIsRefused) {
    Roster t;
    EXPECT_EQ(t.SetField(0, 0, "x"), -1);  // no cells
    char* p = reinterpret_cast<char*>(1);
    long n = 9;
    EXPECT_EQ(t.GetField(0, 0, &p, &n), -1);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(n, 0);
    t.CreateField(4);
    t.CreateRecord();
    EXPECT_EQ(t.SetField(1, 0, "x"), -1);
    EXPECT_EQ(t.SetField(0, 1, "x"), -1);
    EXPECT_EQ(t.SetField(-1, 0, "x"), -1);
    EXPECT_EQ(t.SetField(0, 0, nullptr), -1);
    EXPECT_EQ(t.GetField(0, -1, &p, &n), -1);
}

TEST(Roster, FieldsAfterTheFirstRecordOrTooWideAreRefused) {
    // A field added after a record made cell reads and writes run past the records.
    Roster t;
    ASSERT_EQ(t.CreateField(1), 0);
    ASSERT_EQ(t.CreateRecord(), 0);
    EXPECT_EQ(t.CreateField(10), -1);
    long fields = 0;
    t.GetNumberOfFields(&fields);
    EXPECT_EQ(fields, 1);
    EXPECT_EQ(t.GetRecordSize(), 1);
    EXPECT_EQ(t.SetField(0, 1, "0123456789"), -1);
    // Widths whose sum would not fit a buffer's 32-bit size.
    RosterU u;
    ASSERT_EQ(u.CreateField(0x7ffffff0L), 0);
    EXPECT_EQ(u.CreateField(0x7ffffff0L), -1);
    EXPECT_EQ(u.GetRecordSize(), 0x7ffffff0L);
}

TEST(Roster, SingleSelectionReplaces) {
    Roster t;
    t.CreateField(1);
    for (int i = 0; i < 5; ++i) t.CreateRecord();
    EXPECT_EQ(t.GetSMType(), 0);
    EXPECT_EQ(t.GetRecordStatus(0), 1);
    t.SetSelectedRecord(3);
    EXPECT_EQ(t.GetRecordStatus(0), 0);
    EXPECT_EQ(t.GetRecordStatus(3), 1);
    t.SetSelectedRecord(9);  // out of range: ignored
    EXPECT_EQ(t.GetRecordStatus(3), 1);
    EXPECT_EQ(t.GetRecordStatus(-1), 0);
    EXPECT_EQ(t.GetRecordStatus(5), 0);
}

TEST(Roster, MultipleSelectionAccumulates) {
    Roster t;
    t.SetMultiSelected();
    t.CreateField(1);
    for (int i = 0; i < 5; ++i) t.CreateRecord();
    t.SetSelectedRecord(1);
    t.SetSelectedRecord(3);
    for (int r = 0; r < 5; ++r) EXPECT_EQ(t.GetRecordStatus(r), (r == 1 || r == 3) ? 1 : 0);
}

TEST(Roster, ErrorMessageIsBounded) {
    Roster t;
    EXPECT_EQ(t.GetErrorCode(), 0);
    EXPECT_STREQ(t.GetErrorMsg(), "");
    t.SetErrorMsg(nullptr);
    EXPECT_STREQ(t.GetErrorMsg(), "");
    t.SetErrorMsg(std::string(2000, 'e').c_str());
    EXPECT_EQ(std::string(t.GetErrorMsg()).size(), 1023u);
    t.SetErrorCode(7);
    EXPECT_EQ(t.GetErrorCode(), 7);
}

TEST(RosterU, CountsIn16BitCharacters) {
    RosterU t;
    t.CreateField(3);
    t.CreateField(2);
    t.CreateRecord();
    ASSERT_EQ(t.SetField(0, 0, u"\u4e2d\u6587\u5b57\u7b26"), 0);
    char16_t* p = nullptr;
    long n = 0;
    ASSERT_EQ(t.GetField(0, 0, &p, &n), 0);
    EXPECT_EQ(std::u16string(p, static_cast<size_t>(n)), u"\u4e2d\u6587\u5b57");
    ASSERT_EQ(t.GetField(0, 1, &p, &n), 0);
    EXPECT_EQ(n, 0);
}

TEST(RosterU, AttributeTextsFollowTheHundredCharacterRule) {
    RosterU t;
    t.CreateField(4);
    const std::string ninetyNine(99, 'a'), hundred(100, 'b');
    t.SetTRParam(hundred.c_str());
    EXPECT_STREQ(t.GetTRParam(), "");
    t.SetTRParam(ninetyNine.c_str());
    EXPECT_EQ(std::string(t.GetTRParam()), ninetyNine);
    t.SetTRParam("class=a", hundred.c_str());  // both must qualify
    EXPECT_EQ(std::string(t.GetTRParam()), ninetyNine);
    t.SetTRParam("class=a", "class=b");
    EXPECT_STREQ(t.GetTRParam(), "class=a");
    EXPECT_STREQ(t.GetTRParamEx(), "class=b");

    t.SetTDParam("align=right");
    t.SetTDParam("nowrap");
    EXPECT_STREQ(t.GetTDParam(), "align=right nowrap");
    t.SetTDParam(std::string(90, 'c').c_str());  // result would reach 100: ignored
    EXPECT_STREQ(t.GetTDParam(), "align=right nowrap");
    t.SetTDParam(0, "width=10");
    t.SetTDParam(0, "bgcolor=red");
    EXPECT_STREQ(t.GetTDParam(0), "width=10 bgcolor=red");
    EXPECT_STREQ(t.GetTDParam(1), "");
    t.SetTDParam(5, "x");  // no such field: ignored
}

TEST(RosterU, VariableFieldsHoldEachCellApartAtItsOwnLength) {
    RosterU t;
    t.CreateField(3);
    ASSERT_EQ(t.CreateVariableField(), 0);
    t.CreateField(2);
    for (int r = 0; r < 1000; ++r) ASSERT_EQ(t.CreateRecord(), 0);
    EXPECT_EQ(t.CreateVariableField(), -1);  // records exist
    EXPECT_EQ(t.GetRecordSize(), 5);         // the wide column takes no room in a record
    const std::u16string wide(10240, u'w');
    ASSERT_EQ(t.SetField(500, 1, wide.c_str()), 0);
    ASSERT_EQ(t.SetField(500, 2, u"abc"), 0);
    ASSERT_EQ(t.SetField(501, 1, u"short"), 0);
    char16_t* p = nullptr;
    long n = -1, width = 0;
    ASSERT_EQ(t.GetField(500, 1, &p, &n), 0);
    EXPECT_EQ(std::u16string(p, static_cast<size_t>(n)), wide);
    ASSERT_EQ(t.GetField(499, 1, &p, &n), 0);  // unset: empty, zero-ended
    EXPECT_EQ(n, 0);
    EXPECT_EQ(*p, 0);
    ASSERT_EQ(t.GetField(500, 2, &p, &n), 0);  // the fixed cell after it is untouched
    EXPECT_EQ(std::u16string(p, static_cast<size_t>(n)), u"ab");
    ASSERT_EQ(t.GetFieldSize(1, &width), 0);
    EXPECT_EQ(width, 10240);
    EXPECT_EQ(t.GetField(1000, 1, &p, &n), -1);
}
