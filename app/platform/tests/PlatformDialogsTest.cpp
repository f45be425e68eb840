#include <gtest/gtest.h>

#include "app/platform/Dialogs.h"

namespace lumatrace {
namespace {

const char kSaveFilter[] =
    "ZEP-9100 files (*.zep)|*.zep|BMP files (*.bmp)|*.bmp|JPG files (*.jpg)|*.jpg|";

TEST(PlatformDialogs, ParsesFilterPairs) {
    const std::vector<FileFilter> expected = {
        {"ZEP-9100 files (*.zep)", {"*.zep"}},
        {"BMP files (*.bmp)", {"*.bmp"}},
        {"JPG files (*.jpg)", {"*.jpg"}},
    };
    EXPECT_EQ(ParseFileFilter(kSaveFilter), expected);
    EXPECT_EQ(ParseFileFilter("Pictures|*.bmp;*.jpg"),
              (std::vector<FileFilter>{{"Pictures", {"*.bmp", "*.jpg"}}}));
    EXPECT_TRUE(ParseFileFilter("").empty());
    EXPECT_TRUE(ParseFileFilter("lonely description").empty());
}

TEST(PlatformDialogs, ConvertsToQtNameFilters) {
    EXPECT_EQ(ToQtNameFilters(ParseFileFilter(kSaveFilter)),
              "ZEP-9100 files (*.zep);;BMP files (*.bmp);;JPG files (*.jpg)");
    EXPECT_EQ(ToQtNameFilters(ParseFileFilter("Pictures|*.bmp;*.jpg|")), "Pictures (*.bmp *.jpg)");
}

TEST(PlatformDialogs, DefaultSuffixFollowsTheSelectedFilter) {
    const auto filters = ParseFileFilter(kSaveFilter);
    EXPECT_EQ(DefaultSuffixFor(filters, 1, "zep|bmp|jpg"), "zep");
    EXPECT_EQ(DefaultSuffixFor(filters, 2, "zep|bmp|jpg"), "bmp");
    EXPECT_EQ(DefaultSuffixFor(filters, 3, "zep|bmp|jpg"), "jpg");
    EXPECT_EQ(DefaultSuffixFor(filters, 9, "zep|bmp|jpg"), "zep");
    EXPECT_EQ(DefaultSuffixFor(ParseFileFilter("All|*.*|"), 1, "zep"), "zep");
    EXPECT_EQ(DefaultSuffixFor({}, 1, ""), "");
}

}  // namespace
}  // namespace lumatrace
