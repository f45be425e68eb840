#include <gtest/gtest.h>

#include "app/platform/TextEncoding.h"

namespace lumatrace {
namespace {

TEST(PlatformTextEncoding, Cp932RoundTripsTheProgramsCharacters) {
    struct Case {
        const char* utf8;
        const char* cp932;
    };
    const Case cases[] = {
        {"≪", "\x81\xE1"},
        {"Δ", "\x83\xA2"},
        {"未満", "\x96\xA2\x96\x9E"},
        {"∞", "\x81\x87"},
        {"ﾗｲﾄﾌﾟﾛﾃｸﾄ", "\xD7\xB2\xC4\xCC\xDF\xDB\xC3\xB8\xC4"},
        {"能", "\x94\x5C"},  // trail byte is a backslash
        {"－～①", "\x81\x7C\x81\x60\x87\x40"},
        {"500mV", "500mV"},
        {"↑", "\x81\xAA"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToCp932(c.utf8), std::optional<std::string>(c.cp932)) << c.utf8;
        EXPECT_EQ(Cp932ToUtf8(c.cp932), std::optional<std::string>(c.utf8)) << c.utf8;
    }
}

TEST(PlatformTextEncoding, RejectsWhatCannotBeConverted) {
    EXPECT_EQ(Cp932ToUtf8("\x81"), std::nullopt);              // lead byte without trail
    EXPECT_EQ(Cp932ToUtf8("\x81\x20"), std::nullopt);          // invalid trail
    EXPECT_EQ(Utf8ToCp932("\xF0\x9F\x98\x80"), std::nullopt);  // emoji: not in CP932
    EXPECT_EQ(Utf8ToCp932("\xC3"), std::nullopt);              // broken UTF-8
}

TEST(PlatformTextEncoding, Utf16HandlesSurrogatePairs) {
    EXPECT_EQ(Utf16ToUtf8(u"a∞\U0001F600"), std::optional<std::string>("a∞\xF0\x9F\x98\x80"));
    EXPECT_EQ(Utf8ToUtf16("a∞\xF0\x9F\x98\x80"), std::optional<std::u16string>(u"a∞\U0001F600"));
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(Utf16ToUtf8(lone), std::nullopt);
    const char16_t trailFirst[] = {0xDC00, 0xD800, 0};
    EXPECT_EQ(Utf16ToUtf8(trailFirst), std::nullopt);
}

TEST(PlatformTextEncoding, Utf8ValidationRejectsMalformedSequences) {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"plain", true},
        {"日本語", true},
        {"\xF4\x8F\xBF\xBF", true},   // U+10FFFF
        {"\xC0\xAF", false},          // overlong "/"
        {"\xE0\x80\xAF", false},      // overlong
        {"\xED\xA0\x80", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"\x80", false},              // lone continuation
        {"\xE6\x97", false},          // truncated
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;
    }
}

}  // namespace
}  // namespace lumatrace
