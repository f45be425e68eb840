// Fixed texts of the control panel: the hints of its controls and the
// actions with their categories, captions, hints and shortcuts.
#pragma once

#include <span>
#include <string_view>
#include "app/platform/UiText.h"

namespace lumatrace {

struct HintEntry {
    std::string_view control;  // object name
    std::string_view hint;
};

// Every control with a hint, in panel order.
std::span<const HintEntry> PanelHints();
// The hint of a control, empty when it has none.
std::string_view PanelHint(std::string_view control);
// Controls that show their hint only while they are enabled.
bool HintOnlyWhileEnabled(std::string_view control);

struct ActionEntry {
    std::string_view name;
    std::string_view category;
    std::string_view caption;  // menu caption, with its accelerator
    std::string_view hint;
    std::string_view shortcut;  // portable key sequence text, may be empty
    std::string_view toolText;  // text under the tool bar image, empty when not on a tool bar
    bool checkable;             // toggles its own check state when executed
};

std::span<const ActionEntry> PanelActions();
const ActionEntry* FindPanelAction(std::string_view name);

// The version shown by the version dialog.
inline constexpr std::string_view kProgramVersionText = "Version 2.20";

// Messages of the Help command.
inline constexpr std::string_view kManualFileName = "zep9100_man.pdf";
inline constexpr std::string_view kManualOpenFailed =
    UI_TEXT_NOOP("Panel", "ユーザーズマニュアル zep9100_man.pdf を開けません。\r\n");
inline constexpr std::string_view kManualMissingHint =
    UI_TEXT_NOOP("Panel", "ファイルが移動または削除されていないか確認してください。");
inline constexpr std::string_view kManualNoViewerHint =
    UI_TEXT_NOOP("Panel", "PDFファイル閲覧ソフトがインストールされているか確認してください。");

}  // namespace lumatrace
