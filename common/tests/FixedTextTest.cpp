#include "common/FixedText.h"

#include <gtest/gtest.h>

TEST(FixedText, CutsToWidthAndStopsAtZero) {
    FixedText<5> t;
    EXPECT_TRUE(t.empty());
    t = "abcdefgh";
    EXPECT_STREQ(t.c_str(), "abcde");
    EXPECT_EQ(t.size(), 5u);
    t = std::string_view("ab\0cd", 5);
    EXPECT_STREQ(t, "ab");
    t = static_cast<const char*>(nullptr);
    EXPECT_TRUE(t.empty());
    FixedText<5> self("xyz");
    self = self.view();  // overlapping assignment stays intact
    EXPECT_EQ(self, "xyz");
}
