// The English translation as the program uses it: loaded from the embedded
// resource, it gives English for every text of the control panel's tables and
// menus, looked up in the contexts the forms use; without it, and after going
// back to Japanese, every lookup gives the program's own bytes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <string>

#include "app/i18n/QtLanguage.h"
#include "app/platform/UiText.h"
#include "app/settings/MainMenuLayout.h"
#include "app/settings/PanelTexts.h"

namespace lumatrace {
namespace {

bool HasJapanese(const QString& text) {
    static const QRegularExpression kana(
        QStringLiteral("[\\x{3040}-\\x{30ff}\\x{3400}-\\x{9fff}\\x{ff66}-\\x{ff9f}]"));
    return text.contains(kana);
}

bool HasJapanese(std::string_view text) {
    return HasJapanese(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

struct TableText {
    const char* context;
    std::string text;
};

// Every text of the panel's tables that the forms show.
std::vector<TableText> PanelTableTexts() {
    std::vector<TableText> out;
    for (const HintEntry& e : PanelHints()) {
        out.push_back({"Panel", std::string(e.hint)});
    }
    for (const ActionEntry& a : PanelActions()) {
        for (const std::string_view t : {a.caption, a.hint, a.toolText}) {
            out.push_back({"Panel", std::string(t)});
        }
    }
    std::function<void(const std::vector<MenuNode>&)> walk = [&](const auto& nodes) {
        for (const MenuNode& n : nodes) {
            out.push_back({"Menu", n.caption});
            walk(n.children);
        }
    };
    walk(MainMenuLayout());
    return out;
}

class TranslationTest : public ::testing::Test {
  protected:
    void TearDown() override { InstallLanguage(Language::Japanese); }
};

TEST_F(TranslationTest, JapaneseIsTheTextItself) {
    ASSERT_TRUE(InstallLanguage(Language::Japanese));
    EXPECT_EQ(InstalledLanguage(), Language::Japanese);
    for (const TableText& t : PanelTableTexts()) {
        EXPECT_EQ(TrText(t.context, t.text).toStdString(), t.text);
        EXPECT_EQ(UiText(t.context, t.text), t.text);
    }
}

TEST_F(TranslationTest, EveryPanelAndMenuTextHasItsEnglish) {
    ASSERT_TRUE(InstallLanguage(Language::English));
    EXPECT_EQ(InstalledLanguage(), Language::English);
    int translated = 0;
    for (const TableText& t : PanelTableTexts()) {
        const QString shown = TrText(t.context, t.text);
        EXPECT_FALSE(HasJapanese(shown))
            << t.context << " " << t.text << " -> " << shown.toStdString();
        EXPECT_EQ(UiText(t.context, t.text), shown.toStdString());
        if (HasJapanese(t.text)) {
            ++translated;
        }
    }
    EXPECT_GT(translated, 0);
    EXPECT_EQ(TrText("Panel", kManualMissingHint),
              QStringLiteral("Check that the file has not been moved or deleted."));
    EXPECT_EQ(TrText("Menu", FindMenuNode("M_File")->caption), QStringLiteral("&File"));
}

TEST_F(TranslationTest, BackToJapaneseRemovesTheTranslator) {
    ASSERT_TRUE(InstallLanguage(Language::English));
    ASSERT_TRUE(InstallLanguage(Language::Japanese));
    const std::string hint(PanelHint("PanelVert"));
    EXPECT_EQ(UiText("Panel", hint), hint);
    EXPECT_EQ(TrText("Panel", hint).toStdString(), hint);
}

}  // namespace
}  // namespace lumatrace
