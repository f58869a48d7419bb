#include "vessel/Vessel.h"

#include <gtest/gtest.h>

#include <limits>

#include <cstring>
#include <string>

TEST(Vessel, NewBufferGrowsByExactlyWhatIsNeeded) {
    Vessel v;
    EXPECT_EQ(v.GetContent(), nullptr);
    EXPECT_EQ(v.GetSize(), 0);
    ASSERT_EQ(v.AddContent("abcde", 5), 0);
    EXPECT_EQ(v.GetSize(), 5);
    EXPECT_EQ(v.GetCapacity(), 5);
    EXPECT_EQ(v.GetContent()[5], '\0');
    EXPECT_STREQ(v.GetContent(), "abcde");
}

TEST(Vessel, GrowthTakesNeededStepOrHalfTheCapacity) {
    Vessel v;
    ASSERT_EQ(v.Alloc(10, 3), 0);
    std::string eleven(11, 'x');
    ASSERT_EQ(v.AddContent(eleven.data(), 11), 0);
    EXPECT_EQ(v.GetCapacity(), 21);  // needed 11 > step 3

    Vessel w;
    ASSERT_EQ(w.Alloc(10, 3), 0);
    ASSERT_EQ(w.AddContent(std::string(10, 'y').data(), 10), 0);
    EXPECT_EQ(w.GetCapacity(), 10);
    ASSERT_EQ(w.AddContent("zz", 2), 0);
    EXPECT_EQ(w.GetCapacity(), 15);  // half of 10 > step 3 > needed 2
    EXPECT_EQ(w.GetSize(), 12);
    EXPECT_EQ(std::string(w.GetContent(), 12), std::string(10, 'y') + "zz");
}

TEST(Vessel, ManySmallAppendsReallocateLogarithmicallyOften) {
    // A fixed step made every block of a large answer copy the whole buffer.
    Vessel v;
    ASSERT_EQ(v.Alloc(1, 1), 0);
    int growths = 0;
    for (int i = 0; i < 200000; ++i) {
        const long before = v.GetCapacity();
        ASSERT_EQ(v.AddContent("x", 1), 0);
        growths += v.GetCapacity() != before;
    }
    EXPECT_LT(growths, 40);
    EXPECT_EQ(v.GetSize(), 200000);
}

TEST(Vessel, RefusedAppendsChangeNothing) {
    Vessel v;
    ASSERT_EQ(v.AddContent("abc", 3), 0);
    EXPECT_EQ(v.AddContent("x", 0), -1);
    EXPECT_EQ(v.AddContent("x", -4), -1);
    EXPECT_EQ(v.AddContent(nullptr, 2), -1);
    EXPECT_EQ(v.AddContentSize(-1), -1);  // would make the size negative
    EXPECT_EQ(v.GetSize(), 3);
    EXPECT_STREQ(v.GetContent(), "abc");
}

TEST(Vessel, AllocRefusesBadArgumentsAndDiscardsContent) {
    Vessel v;
    ASSERT_EQ(v.AddContent("abc", 3), 0);
    EXPECT_EQ(v.Alloc(0, 10), -1);
    EXPECT_EQ(v.GetContent(), nullptr);
    EXPECT_EQ(v.GetSize(), 0);
    EXPECT_EQ(v.Alloc(10, 0), -1);
    ASSERT_EQ(v.Alloc(4, 4), 0);
    EXPECT_EQ(v.GetSize(), 0);
    for (int i = 0; i <= 4; ++i) EXPECT_EQ(v.GetContent()[i], '\0');
    v.Free();
    EXPECT_EQ(v.GetCapacity(), 0);
    EXPECT_EQ(v.GetGrowStep(), 0);
}

TEST(Vessel, AddContentSizeCountsCallerWrittenBytesWithoutTerminator) {
    Vessel v;
    ASSERT_EQ(v.Alloc(8, 8), 0);
    std::memcpy(v.GetContent(), "hello", 5);
    ASSERT_EQ(v.AddContentSize(5), 0);
    EXPECT_EQ(v.GetSize(), 5);
    ASSERT_EQ(v.AddContentSize(10), 0);  // grows by 10 > step 8
    EXPECT_EQ(v.GetCapacity(), 18);
    EXPECT_EQ(std::string(v.GetContent(), 5), "hello");
}

TEST(Vessel, GetContentAtPositionFallsBackToStart) {
    Vessel v;
    ASSERT_EQ(v.AddContent("abcd", 4), 0);
    EXPECT_EQ(v.GetContent(2), v.GetContent() + 2);
    EXPECT_EQ(v.GetContent(4), v.GetContent());
    EXPECT_EQ(v.GetContent(-1), v.GetContent());
}

TEST(Vessel, InsertContentIsCheckedAgainstCapacity) {
    Vessel v;
    ASSERT_EQ(v.Alloc(10, 5), 0);
    ASSERT_EQ(v.AddContent("abcd", 4), 0);
    EXPECT_EQ(v.InsertContent(4, "", 0), 0);
    EXPECT_EQ(v.InsertContent(5, "x", 1), -1);  // past size
    EXPECT_EQ(v.InsertContent(-1, "x", 1), -1);
    EXPECT_EQ(v.InsertContent(0, "x", -1), -1);
    EXPECT_EQ(v.InsertContent(0, nullptr, 1), -1);
    EXPECT_EQ(v.InsertContent(4, "123456", 6), 0);  // reaches capacity exactly
    EXPECT_EQ(v.InsertContent(4, "1234567", 7), -1);
    // A count whose sum with the position overflows is refused, not copied.
    EXPECT_EQ(v.InsertContent(4, "x", std::numeric_limits<long>::max() - 2), -1);
    EXPECT_EQ(v.GetSize(), 4);  // never changes size
    EXPECT_EQ(v.InsertContent(1, "XY", 2), 0);
    EXPECT_EQ(std::string(v.GetContent(), 4), "aXYd");
}

TEST(Vessel, ContainsFindsFirstMatchAtAbsolutePosition) {
    Vessel v;
    long pos = 99;
    EXPECT_FALSE(v.Contains("a", &pos));
    EXPECT_EQ(pos, 99);  // untouched when the buffer is empty
    ASSERT_EQ(v.AddContent("abcabcab", 8), 0);
    EXPECT_TRUE(v.Contains("bc", &pos));
    EXPECT_EQ(pos, 1);
    EXPECT_TRUE(v.Contains("bc", &pos, 2));
    EXPECT_EQ(pos, 4);  // absolute, not relative to start
    EXPECT_TRUE(v.Contains("ab", &pos, 6));
    EXPECT_EQ(pos, 6);  // ends exactly at the last character
    EXPECT_FALSE(v.Contains("abc", &pos, 6));
    EXPECT_EQ(pos, 0);                       // reset to 0 on a miss
    EXPECT_FALSE(v.Contains("a", &pos, 8));  // start == size
    EXPECT_FALSE(v.Contains("a", &pos, -1));
    EXPECT_FALSE(v.Contains(nullptr, &pos));
    EXPECT_TRUE(v.Contains("", &pos, 3));
    EXPECT_EQ(pos, 3);
    EXPECT_TRUE(v.Contains("cab"));  // out position may be null
    EXPECT_FALSE(v.Contains("abcabcabc"));
}

TEST(Vessel, ContainsIsCaseSensitiveAndSkipsEmbeddedZeros) {
    Vessel v;
    const char data[] = {'x', '\0', 'C', 'o', 'n', 't', 'e', 'n', 't'};
    ASSERT_EQ(v.AddContent(data, sizeof data), 0);
    long pos = -1;
    EXPECT_FALSE(v.Contains("content", &pos));
    EXPECT_TRUE(v.Contains("Content", &pos));
    EXPECT_EQ(pos, 2);
}

TEST(VesselU, CountsAreIn16BitCharacters) {
    VesselU v;
    const char16_t text[] = u"h\u00e9\u4e2d!";
    ASSERT_EQ(v.AddContent(text, 4), 0);
    EXPECT_EQ(v.GetSize(), 4);
    EXPECT_EQ(v.GetCapacity(), 4);
    EXPECT_EQ(v.GetContent()[4], u'\0');
    EXPECT_EQ(std::memcmp(v.GetContent(), text, 8), 0);  // 4 characters are 8 bytes
    long pos = -1;
    EXPECT_TRUE(v.Contains(u"\u4e2d!", &pos));
    EXPECT_EQ(pos, 2);
    EXPECT_FALSE(v.Contains(u"\u4e2e", &pos));
}

TEST(VesselU, MatchesOnlyOnCharacterBoundaries) {
    // U+4142 then U+4344 as bytes (little endian) hold 0x42,0x41,0x44,0x43: the
    // byte pair 0x41,0x44 is U+4441, present only across a character boundary.
    VesselU v;
    const char16_t text[] = {0x4142, 0x4344, 0x4441};
    ASSERT_EQ(v.AddContent(text, 3), 0);
    long pos = -1;
    const char16_t needle[] = {0x4441, 0};
    EXPECT_TRUE(v.Contains(needle, &pos));
    EXPECT_EQ(pos, 2);
}

TEST(Vessel, GenerationChangesOnAllocAndFreeButNotOnGrowth) {
    Vessel v;
    const unsigned g0 = v.GetGeneration();
    ASSERT_EQ(v.Alloc(2, 2), 0);
    const unsigned g1 = v.GetGeneration();
    EXPECT_NE(g1, g0);
    ASSERT_EQ(v.AddContent("abcdefgh", 8), 0);  // grows
    EXPECT_EQ(v.GetGeneration(), g1);
    v.Free();
    EXPECT_NE(v.GetGeneration(), g1);
}
