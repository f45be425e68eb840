#include <array>
#include <utility>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/platform/QtDialogs.h"
#include "app/platform/testing/ScriptedDialogs.h"
#include "app/settings/FormSetup.h"

namespace lumatrace {
namespace {

constexpr std::array<std::uint32_t, kDisplayItemCount> kDefaults = {
    0x0000FF, 0xFF0000, 0x008000, 0x800080, 0xFFFFFF,
    0xC0C0C0, 0x00FF00, 0x808000, 0xFF00FF, 0xFFFF00};

// The main window's colour table, recording every write.
class FakeTarget final : public DisplayColorTarget {
  public:
    std::array<std::uint32_t, kDisplayItemCount> colors{};
    std::vector<std::pair<int, std::uint32_t>> writes;
    int applied = 0;

    FakeTarget() {
        for (int i = 0; i < kDisplayItemCount; ++i) {
            colors[i] = 0x010101u * (i + 1);
        }
    }
    std::uint32_t GetDisplayColor(int item) const override { return colors.at(item); }
    void SetDisplayColor(int item, std::uint32_t color) override {
        writes.emplace_back(item, color);
        colors.at(item) = color;
    }
    void DisplayColorsApplied() override { ++applied; }
};

TEST(DisplayColorDraft, PickKeepsOnlyAConfirmedChoice) {
    FakeTarget target;
    testing::ScriptedColorDialog picker;
    DisplayColorDraft draft;
    EXPECT_EQ(draft.Colors(), kDefaults);
    draft.LoadFrom(target);

    picker.answers = {std::nullopt, 0x00ABCDEFu, 0xFF123456u};
    EXPECT_FALSE(draft.Pick(3, picker));
    EXPECT_EQ(draft.Color(3), target.colors[3]);
    EXPECT_TRUE(draft.Pick(3, picker));
    EXPECT_EQ(draft.Color(3), 0xABCDEFu);
    EXPECT_TRUE(draft.Pick(9, picker));
    EXPECT_EQ(draft.Color(9), 0x123456u);
    EXPECT_EQ(picker.initialColors, (std::vector<std::uint32_t>{0x040404, 0x040404, 0x0A0A0A}));
    EXPECT_FALSE(draft.Pick(10, picker));
    EXPECT_FALSE(draft.Pick(-1, picker));
    EXPECT_EQ(picker.initialColors.size(), 3u);
    EXPECT_TRUE(target.writes.empty());

    draft.ApplyTo(target);
    ASSERT_EQ(target.writes.size(), 10u);
    for (int i = 0; i < kDisplayItemCount; ++i) {
        EXPECT_EQ(target.writes[i].first, i);
    }
    EXPECT_EQ(target.colors[3], 0xABCDEFu);
    EXPECT_EQ(target.applied, 1);
}

class ColorSetupDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }

    std::uint32_t SwatchColor(int item) const {
        return QColorToWindowsColor(dialog.Swatches()[item]->palette().color(QPalette::Window));
    }
    void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    QWidget* Focused() const { return QApplication::focusWidget(); }

    FakeTarget target;
    testing::ScriptedColorDialog picker;
    TFormSetup dialog{target, picker};
};

TEST_F(ColorSetupDialog, ShowsTheWindowColoursWithTheFocusOnOk) {
    EXPECT_EQ(dialog.windowTitle(), "表示色の変更");
    EXPECT_EQ(dialog.size(), QSize(254, 254));
    const char* names[] = {"PanelCh1",   "PanelCh2",   "PanelMath", "PanelFft", "PanelBack",
                           "PanelScale", "PanelLevel", "PanelPos",  "PanelDt",  "PanelDv"};
    const char* labels[] = {"グラフの線 (CH&1)", "グラフの線 (CH&2)",    "グラフの線 (&MATH)",
                            "グラフの線 (&FFT)", "グラフの背景(&B)",     "グラフの目盛り(&S)",
                            "トリガレベル(&L)",  "トリガポジション(&P)", "Δ &T カーソル",
                            "Δ &V カーソル"};
    for (int i = 0; i < kDisplayItemCount; ++i) {
        auto* swatch = dialog.findChild<ColorSwatch*>(names[i]);
        ASSERT_NE(swatch, nullptr) << names[i];
        EXPECT_EQ(swatch->Tag(), i);
        EXPECT_EQ(swatch->size(), QSize(47, 17));
        EXPECT_EQ(SwatchColor(i), target.colors[i]);
        EXPECT_EQ(dialog.Labels[i]->text(), QString::fromUtf8(labels[i]));
        EXPECT_FALSE(dialog.FocusFrames[i]->isVisible());
    }
    const std::pair<const char*, const char*> buttons[] = {
        {"ButtonOk", "&OK"},
        {"ButtonCancel", "&Cancel"},
        {"ButtonApply", "適用(&A)"},
        {"ButtonReset", "デフォルトの色に戻す(&R)"}};
    for (const auto& [name, text] : buttons) {
        auto* b = dialog.findChild<QPushButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->text(), QString::fromUtf8(text));
    }
    EXPECT_TRUE(dialog.ButtonOk->isDefault());
    EXPECT_EQ(Focused(), dialog.ButtonOk);
}

TEST_F(ColorSetupDialog, MouseOnASwatchLowersFramesAndOpensThePicker) {
    QTest::mousePress(dialog.PanelFft, Qt::LeftButton);
    EXPECT_TRUE(dialog.PanelFft->Lowered());
    EXPECT_EQ(Focused(), dialog.PanelFft);
    EXPECT_TRUE(dialog.FocusFrames[3]->isVisible());
    EXPECT_TRUE(picker.initialColors.empty());

    picker.answers = {0x00336699u};
    QTest::mouseRelease(dialog.PanelFft, Qt::LeftButton);
    EXPECT_FALSE(dialog.PanelFft->Lowered());
    EXPECT_EQ(picker.initialColors, std::vector<std::uint32_t>{target.colors[3]});
    EXPECT_EQ(SwatchColor(3), 0x336699u);
    // The window has not seen it yet.
    EXPECT_TRUE(target.writes.empty());

    // Moving on hides the frame.
    Click(dialog.PanelCh1);
    EXPECT_FALSE(dialog.FocusFrames[3]->isVisible());
    EXPECT_TRUE(dialog.FocusFrames[0]->isVisible());
}

TEST_F(ColorSetupDialog, OtherMouseButtonsAreIgnored) {
    QTest::mouseClick(dialog.PanelBack, Qt::RightButton);
    QTest::mouseClick(dialog.PanelBack, Qt::MiddleButton);
    EXPECT_TRUE(picker.initialColors.empty());
    EXPECT_FALSE(dialog.PanelBack->Lowered());
}

TEST_F(ColorSetupDialog, CancellingThePickerLeavesTheSwatch) {
    Click(dialog.PanelLevel);
    EXPECT_EQ(picker.initialColors.size(), 1u);
    EXPECT_EQ(SwatchColor(6), target.colors[6]);
    EXPECT_EQ(dialog.Draft().Color(6), target.colors[6]);
}

TEST_F(ColorSetupDialog, SpaceOnAFocusedSwatchOpensThePicker) {
    dialog.PanelDv->setFocus();
    picker.answers = {0x00112233u};
    QTest::keyPress(dialog.PanelDv, Qt::Key_Space);
    EXPECT_TRUE(dialog.PanelDv->Lowered());
    EXPECT_TRUE(picker.initialColors.empty());
    QTest::keyRelease(dialog.PanelDv, Qt::Key_Space);
    EXPECT_FALSE(dialog.PanelDv->Lowered());
    EXPECT_EQ(picker.initialColors.size(), 1u);
    EXPECT_EQ(SwatchColor(9), 0x112233u);
}

TEST_F(ColorSetupDialog, AltShortcutsMoveTheFocusOnly) {
    const std::pair<Qt::Key, QWidget*> cases[] = {
        {Qt::Key_1, dialog.PanelCh1},    {Qt::Key_2, dialog.PanelCh2},
        {Qt::Key_M, dialog.PanelMath},   {Qt::Key_F, dialog.PanelFft},
        {Qt::Key_B, dialog.PanelBack},   {Qt::Key_S, dialog.PanelScale},
        {Qt::Key_L, dialog.PanelLevel},  {Qt::Key_P, dialog.PanelPos},
        {Qt::Key_T, dialog.PanelDt},     {Qt::Key_V, dialog.PanelDv},
        {Qt::Key_A, dialog.ButtonApply}, {Qt::Key_R, dialog.ButtonReset},
    };
    for (const auto& [key, widget] : cases) {
        QTest::keyClick(Focused(), key, Qt::AltModifier);
        EXPECT_EQ(Focused(), widget) << widget->objectName().toStdString();
    }
    // Focusing Apply and Reset did not press them, and no picker opened.
    EXPECT_TRUE(target.writes.empty());
    EXPECT_TRUE(picker.initialColors.empty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(ColorSetupDialog, ApplyWritesAllTenAndKeepsTheDialogOpen) {
    picker.answers = {0x00AA0000u};
    Click(dialog.PanelCh2);
    Click(dialog.ButtonApply);
    ASSERT_EQ(target.writes.size(), 10u);
    for (int i = 0; i < kDisplayItemCount; ++i) {
        EXPECT_EQ(target.writes[i].first, i);
    }
    EXPECT_EQ(target.colors[1], 0xAA0000u);
    EXPECT_EQ(target.applied, 1);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(ColorSetupDialog, ApplyThenCancelKeepsTheAppliedColours) {
    picker.answers = {0x00AA0000u, 0x00BB0000u};
    Click(dialog.PanelCh2);
    Click(dialog.ButtonApply);
    Click(dialog.PanelCh1);
    Click(dialog.ButtonCancel);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(target.colors[1], 0xAA0000u);
    EXPECT_EQ(target.colors[0], 0x010101u);
    EXPECT_EQ(target.writes.size(), 10u);
}

TEST_F(ColorSetupDialog, ResetThenCancelLeavesTheDisplayAlone) {
    const auto before = target.colors;
    Click(dialog.ButtonReset);
    for (int i = 0; i < kDisplayItemCount; ++i) {
        EXPECT_EQ(SwatchColor(i), kDefaults[i]);
    }
    QTest::keyClick(Focused(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(target.colors, before);
    EXPECT_TRUE(target.writes.empty());
}

TEST_F(ColorSetupDialog, ResetThenOkAppliesTheDefaults) {
    Click(dialog.ButtonReset);
    Click(dialog.ButtonOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(target.colors, kDefaults);
    EXPECT_EQ(target.applied, 1);
}

TEST_F(ColorSetupDialog, ShowingAgainStartsFromTheWindowsColours) {
    picker.answers = {0x00445566u};
    Click(dialog.PanelMath);
    Click(dialog.ButtonCancel);
    target.colors[4] = 0x00778899u;
    dialog.show();
    EXPECT_EQ(SwatchColor(2), target.colors[2]);
    EXPECT_EQ(SwatchColor(4), 0x778899u);
}

}  // namespace
}  // namespace lumatrace
