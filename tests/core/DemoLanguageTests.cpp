#include <gtest/gtest.h>

#include "engine/core/LanguageSet.h"
#include "tests/support/TestSupport.h"
#include "tools/demo/DemoTree.h"

// The demo tree's language set is found, chosen and loaded the way the engine does it, and
// writing the tree again changes nothing.
TEST(DemoTree, LanguageSetIsTheDefaultChoiceAndRewritesIdentically) {
    testing_support::TempWorkDir dir;
    ASSERT_TRUE(tools::WriteDemoTree("."));
    std::string first = dir.ReadBytes("Misc/DefaultEnglish.ZKL");
    ASSERT_TRUE(tools::WriteDemoTree("."));
    EXPECT_EQ(dir.ReadBytes("Misc/DefaultEnglish.ZKL"), first);

    LanguageTexts texts;
    LanguageCatalog catalog(&texts);
    catalog.FindAndLoadDefault();
    ASSERT_EQ(catalog.Paths().size(), 1u);
    EXPECT_EQ(catalog.Paths()[0], "MISC\\DEFAULTENGLISH.ZKL");
    EXPECT_EQ(catalog.Current().Name(), "English");
    EXPECT_EQ(catalog.Current().GetString(32768), "None");
}
