#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/core/SharedString.h"

TEST(SharedString, CopiesShareTheBlockAndInPlaceEditsShowThroughEveryHandle) {
    SharedString a("Hello");
    SharedString b = a;
    EXPECT_TRUE(a.SharesBlockWith(b));
    EXPECT_EQ(a.RefCount(), 2);
    b.ToUpper();
    EXPECT_STREQ(a.c_str(), "HELLO");

    SharedString c = a.Clone();
    c.ToLower();
    EXPECT_STREQ(a.c_str(), "HELLO");
    EXPECT_STREQ(c.c_str(), "hello");
    EXPECT_EQ(c.RefCount(), 1);
}

TEST(SharedString, ReleaseAndAssignmentKeepCountsRight) {
    SharedString a("x");
    {
        SharedString b = a;
        EXPECT_EQ(a.RefCount(), 2);
    }
    EXPECT_EQ(a.RefCount(), 1);
    a = a; // self-assignment
    SharedString same = a;
    a = same; // assignment within one block
    EXPECT_STREQ(a.c_str(), "x");
    EXPECT_EQ(a.RefCount(), 2);
    same = SharedString("y");
    EXPECT_EQ(a.RefCount(), 1);
    SharedString other = a;
    other.Release(); // one of two references: the other handle keeps the text
    EXPECT_TRUE(other.IsNull());
    EXPECT_EQ(a.RefCount(), 1);
    EXPECT_STREQ(a.c_str(), "x");
    other.Release(); // a released handle has nothing left to drop
    EXPECT_EQ(a.RefCount(), 1);
    a.Release(); // last reference: block freed, handle null
    EXPECT_TRUE(a.IsNull());
    EXPECT_EQ(a.Length(), 0);
}

TEST(SharedString, RangesKeepEmbeddedNulButCopiesStopThere) {
    SharedString s("AB\0CD", 5);
    EXPECT_EQ(s.Length(), 5);
    EXPECT_EQ(s.Clone().Length(), 2);
    EXPECT_EQ(s.Mid(0, 5).Length(), 2);
    SharedString empty;
    EXPECT_EQ(empty.Length(), 0);
    EXPECT_STREQ(empty.c_str(), "");
}

TEST(SharedString, SearchesAndTests) {
    SharedString s("A B C");
    EXPECT_EQ(s.Find(' ', 2), 3);
    EXPECT_EQ(s.Find('x'), 5);
    EXPECT_EQ(s.ReverseFind('x'), -1);
    EXPECT_EQ(s.ReverseFind(' '), 3);
    EXPECT_EQ(s.ReverseFind(' ', 2), 1);
    EXPECT_EQ(SharedString("abcabc").ReverseFind(SharedString("bc")), 4);
    EXPECT_EQ(SharedString("abcabc").ReverseFind(SharedString("bc"), 2), 1);
    EXPECT_EQ(SharedString("abc").ReverseFind(SharedString("abcd")), -1);

    EXPECT_TRUE(SharedString("").StartsWith(SharedString("")));
    EXPECT_TRUE(SharedString("").EndsWith(SharedString("")));
    EXPECT_TRUE(SharedString("TEX.ZKT").EndsWith(SharedString(".ZKT")));
    EXPECT_FALSE(SharedString("ZKT").EndsWith(SharedString(".ZKT")));
    EXPECT_TRUE(SharedString("Misc\\A").StartsWith(SharedString("Misc")));

    EXPECT_EQ(SharedString("   ").Trim(), "");
    EXPECT_EQ(SharedString("  a b  ").Trim(), "a b");
    EXPECT_EQ(SharedString("  a b  ").TrimRight(), "  a b");
    EXPECT_EQ(SharedString("hello").Mid(1, 3), "ell");
    EXPECT_EQ(SharedString("hello").Mid(3, 99), "lo");
    EXPECT_EQ(SharedString("hello").Tail(2), "llo");
}

TEST(SharedString, ComparisonTable) {
    struct Case { const char* a; const char* b; bool less; bool equal; } cases[] = {
        {"ABC", "ABCD", true, false}, {"ABD", "ABCD", false, false}, {"", "", false, true},
        {"a", "B", false, false},     {"B", "a", true, false},       {"\xff", "a", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SharedString(c.a) < SharedString(c.b), c.less) << c.a << " < " << c.b;
        EXPECT_EQ(SharedString(c.a) == SharedString(c.b), c.equal) << c.a << " == " << c.b;
    }
    EXPECT_TRUE(SharedString("") == static_cast<const char*>(nullptr));
    EXPECT_FALSE(SharedString("x") == static_cast<const char*>(nullptr));
    EXPECT_TRUE(SharedString("x") != static_cast<const char*>(nullptr));
    EXPECT_TRUE(SharedString("") == "");
}

TEST(SharedString, NumbersSaturateInsteadOfOverflowing) {
    struct Case { const char* text; int32_t offset; int32_t value; } cases[] = {
        {"42", 0, 42}, {"SETBUFFER 99999999999", 10, INT32_MAX}, {"-99999999999", 0, INT32_MIN},
        {"FPS 1", 4, 1}, {"abc", 0, 0}, {"7", 5, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(SharedString(c.text).ToInt(c.offset), c.value) << c.text;
    EXPECT_DOUBLE_EQ(SharedString("x 2.5").ToFloat(2), 2.5);
}

TEST(SharedString, FormattingIsBoundedTo1023Characters) {
    std::string big(3000, 'q');
    SharedString s = SharedString::Format("%s", big.c_str());
    EXPECT_EQ(s.Length(), 1023);
    EXPECT_EQ(SharedString::Format("%d%%", 5), "5%");

    SharedString counter("");
    counter.Reserve(8);
    int n = counter.FormatInPlace("%s", "0123456789ABCDEF");
    EXPECT_EQ(n, 8);
    EXPECT_STREQ(counter.c_str(), "01234567");
}

TEST(SharedString, AssignEditsTheSharedBlock) {
    SharedString a("old");
    SharedString b = a;
    a.Assign("a much longer text", 18);
    EXPECT_EQ(b, "a much longer text");
    // The new text may come from the block itself (an overlapping move).
    SharedString c("abcdef");
    c.Assign(c.c_str() + 2, 3);
    EXPECT_EQ(c, "cde");
    SharedString small("s");
    small.Assign(std::string(300, 'q').c_str(), 300); // grows the block
    EXPECT_EQ(small.Length(), 300);
    EXPECT_EQ(small[299], 'q');
}

TEST(SharedString, CopySharedStringsAssignsEachSlot) {
    std::vector<SharedString> src = {"a", "b", "c"};
    std::vector<SharedString> dst(3);
    SharedString* end = CopySharedStrings(src.data(), src.data() + 3, dst.data());
    EXPECT_EQ(end, dst.data() + 3);
    EXPECT_TRUE(dst[1].SharesBlockWith(src[1]));
    EXPECT_EQ(src[2].RefCount(), 2);
}

TEST(SharedString, CountsSurviveCopiesFromManyThreads) {
    SharedString shared("line");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                SharedString copy = shared;
                SharedString again = copy;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(shared.RefCount(), 1);
}
