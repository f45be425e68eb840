#include "app/settings/PanelTexts.h"

#include <array>

#include "app/platform/UiText.h"

namespace lumatrace {

namespace {

constexpr std::array kHints = std::to_array<HintEntry>({
    {"PageControlBtn", UI_TEXT_NOOP("Panel", "function1/2/3 表示切替 (Ctrl+Tab)")},
    {"PanelVert", UI_TEXT_NOOP("Panel", "垂直軸設定")},
    {"SpeedButtonCh1", UI_TEXT_NOOP("Panel", "CH1表示 (Ctrl+1)")},
    {"SpeedButtonCh2", UI_TEXT_NOOP("Panel", "CH2表示 (Ctrl+2)")},
    {"UpDownCh1", UI_TEXT_NOOP("Panel", "CH1垂直軸ポジション設定 (Shift+↑/↓)")},
    {"UpDownCh2", UI_TEXT_NOOP("Panel", "CH2垂直軸ポジション設定 (Ctrl+↑/↓)")},
    {"ComboBoxVd1", UI_TEXT_NOOP("Panel", "CH1垂直軸スケール設定")},
    {"ComboBoxVd2", UI_TEXT_NOOP("Panel", "CH2垂直軸スケール設定")},
    {"ComboBoxPb1", UI_TEXT_NOOP("Panel", "CH1プローブ減衰率設定")},
    {"ComboBoxPb2", UI_TEXT_NOOP("Panel", "CH2プローブ減衰率設定")},
    {"ComboBoxCup1", UI_TEXT_NOOP("Panel", "CH1入力結合設定")},
    {"ComboBoxCup2", UI_TEXT_NOOP("Panel", "CH2入力結合設定")},
    {"PanelTrig", UI_TEXT_NOOP("Panel", "トリガ設定")},
    {"ComboBoxTrigSrc", UI_TEXT_NOOP("Panel", "トリガソース設定")},
    {"ComboBoxTrigCup", UI_TEXT_NOOP("Panel", "トリガ入力結合設定")},
    {"ComboBoxTrigSp", UI_TEXT_NOOP("Panel", "トリガスロープ設定")},
    {"UpDownTrigL", UI_TEXT_NOOP("Panel", "トリガレベル設定 (Shift+Ctrl+↑/↓)")},
    {"UpDownTrigP", UI_TEXT_NOOP("Panel", "トリガポジション設定 (Shift+Ctrl+←/→)")},
    {"CheckBoxDelay", UI_TEXT_NOOP("Panel", "トリガ遅延設定")},
    {"EditDelay", UI_TEXT_NOOP("Panel", "遅延時間設定")},
    {"LabelDelayUt", UI_TEXT_NOOP("Panel", "遅延時間設定")},
    {"UpDownDelay", UI_TEXT_NOOP("Panel", "遅延時間設定")},
    {"CheckBoxPulse", UI_TEXT_NOOP("Panel", "パルストリガ設定")},
    {"EditPulse", UI_TEXT_NOOP("Panel", "パルス幅設定")},
    {"LabelPulseUt", UI_TEXT_NOOP("Panel", "パルス幅設定")},
    {"UpDownPulse", UI_TEXT_NOOP("Panel", "パルス幅設定")},
    {"RdBtnUnder", UI_TEXT_NOOP("Panel", "パルス幅条件設定")},
    {"RdBtnAbove", UI_TEXT_NOOP("Panel", "パルス幅条件設定")},
    {"PanelHorz", UI_TEXT_NOOP("Panel", "水平軸設定")},
    {"ComboBoxTd", UI_TEXT_NOOP("Panel", "水平軸スケール設定")},
    {"ComboBoxMemSize", UI_TEXT_NOOP("Panel", "メモリサイズ設定")},
    {"PanelCur", UI_TEXT_NOOP("Panel", "カーソル設定")},
    {"SpeedButtonDt", UI_TEXT_NOOP("Panel", "ΔTカーソル表示 (Shift+T)")},
    {"SpeedButtonDv", UI_TEXT_NOOP("Panel", "ΔVカーソル表示 (Shift+V)")},
    {"UpDownDt", UI_TEXT_NOOP("Panel", "ΔTカーソル移動 (Shift+Alt+←/→)")},
    {"UpDownDv", UI_TEXT_NOOP("Panel", "ΔVカーソル移動 (Shift+Alt+↑/↓)")},
    {"PanelBandWidth", UI_TEXT_NOOP("Panel", "周波数帯域設定")},
    {"RdBtnFull1", UI_TEXT_NOOP("Panel", "CH1周波数帯域FULL設定")},
    {"RdBtn20MHz1", UI_TEXT_NOOP("Panel", "CH1周波数帯域20MHz設定")},
    {"RdBtnFull2", UI_TEXT_NOOP("Panel", "CH2周波数帯域FULL設定")},
    {"RdBtn20MHz2", UI_TEXT_NOOP("Panel", "CH2周波数帯域20MHz設定")},
    {"PanelAcq", UI_TEXT_NOOP("Panel", "波形取り込みモード設定")},
    {"CheckBoxEqu", UI_TEXT_NOOP("Panel", "等価サンプリングモード設定")},
    {"CheckBoxRoll", UI_TEXT_NOOP("Panel", "ロールモード設定")},
    {"ComboBoxWaveForm", UI_TEXT_NOOP("Panel", "波形表示モード設定")},
    {"ComboBoxNumber", UI_TEXT_NOOP("Panel", "波形取り込み回数設定")},
    {"PanelMath", UI_TEXT_NOOP("Panel", "波形演算設定")},
    {"SpeedButtonMath", UI_TEXT_NOOP("Panel", "演算波形表示 (Ctrl+A)")},
    {"UpDownMath", UI_TEXT_NOOP("Panel", "演算波形垂直軸ポジション設定 (Shift+PageUp/PageDown)")},
    {"ComboBoxMath", UI_TEXT_NOOP("Panel", "演算波形垂直軸スケール設定")},
    {"RdBtnMath11", UI_TEXT_NOOP("Panel", "第1波形CH1設定")},
    {"RdBtnMath12", UI_TEXT_NOOP("Panel", "第1波形CH2設定")},
    {"RdBtnMath21", UI_TEXT_NOOP("Panel", "第2波形CH1設定")},
    {"RdBtnMath22", UI_TEXT_NOOP("Panel", "第2波形CH2設定")},
    {"RdBtnAdd", UI_TEXT_NOOP("Panel", "演算子＋設定")},
    {"RdBtnSub", UI_TEXT_NOOP("Panel", "演算子－設定")},
    {"RdBtnMul", UI_TEXT_NOOP("Panel", "演算子×設定")},
    {"RdBtnDiv", UI_TEXT_NOOP("Panel", "演算子÷設定")},
    {"PanelFft", UI_TEXT_NOOP("Panel", "FFT演算設定")},
    {"SpeedButtonFft", UI_TEXT_NOOP("Panel", "FFT波形表示 (Ctrl+F)")},
    {"UpDownFft", UI_TEXT_NOOP("Panel", "FFT波形垂直軸ポジション設定 (Shift+PageUp/PageDown)")},
    {"ComboBoxFftVScale", UI_TEXT_NOOP("Panel", "FFT波形垂直軸スケール設定")},
    {"ComboBoxFftHScale", UI_TEXT_NOOP("Panel", "FFT波形水平軸スケール設定")},
    {"RdBtnFftSrc1", UI_TEXT_NOOP("Panel", "FFT演算チャンネルCH1設定")},
    {"RdBtnFftSrc2", UI_TEXT_NOOP("Panel", "FFT演算チャンネルCH2設定")},
    {"RdBtnFftVstV", UI_TEXT_NOOP("Panel", "FFT垂直軸スケール表示タイプリニアRMS設定")},
    {"RdBtnFftVstdBV", UI_TEXT_NOOP("Panel", "FFT垂直軸スケール表示タイプdBV RMS設定")},
    {"RdBtnFftWndRc", UI_TEXT_NOOP("Panel", "FFT窓関数方形窓設定")},
    {"RdBtnFftWndHm", UI_TEXT_NOOP("Panel", "FFT窓関数ハミング窓設定")},
    {"RdBtnFftWndHn", UI_TEXT_NOOP("Panel", "FFT窓関数ハニング窓設定")},
    {"RdBtnFftWndBh", UI_TEXT_NOOP("Panel", "FFT窓関数ブラックマン-ハリス窓設定")},
});

constexpr std::array kActions = std::to_array<ActionEntry>({
    {"A_Open", "File", UI_TEXT_NOOP("Panel", "開く(&O)..."), UI_TEXT_NOOP("Panel", "開く"),
     "Ctrl+O", UI_TEXT_NOOP("Panel", "開く"), false},
    {"A_Save", "File", UI_TEXT_NOOP("Panel", "保存(&S)..."), UI_TEXT_NOOP("Panel", "保存"),
     "Ctrl+S", UI_TEXT_NOOP("Panel", "保存"), false},
    {"A_Auto", "Execution", "&Auto", "Auto Run", "F5", "Auto", false},
    {"A_Stop", "Execution", "S&top", "Stop", "F6", "Stop", false},
    {"A_Single", "Execution", "&Single", "Single Run", "F7", "Single", false},
    {"A_Normal", "Execution", "&Normal", "Normal Run", "F8", "Normal", false},
    {"A_Scale", "Visible", UI_TEXT_NOOP("Panel", "目盛り(&M)"), UI_TEXT_NOOP("Panel", "目盛り表示"),
     "Ctrl+M", UI_TEXT_NOOP("Panel", "目盛り"), true},
    {"A_Grid", "Visible", UI_TEXT_NOOP("Panel", "グリッド(&G)"),
     UI_TEXT_NOOP("Panel", "グリッド表示"), "Ctrl+G", UI_TEXT_NOOP("Panel", "グリッド"), true},
    {"A_Cur", "Visible", UI_TEXT_NOOP("Panel", "カーソル"),
     UI_TEXT_NOOP("Panel", "ΔT/ΔVカーソル表示"), "Ctrl+C", UI_TEXT_NOOP("Panel", "カーソル"), true},
    {"A_XY", "Visible", "&XY Plot", UI_TEXT_NOOP("Panel", "リサージュ波形表示"), "Ctrl+X",
     "XY Plot", true},
    {"A_Fft", "Visible", "&FFT", UI_TEXT_NOOP("Panel", "FFT波形表示"), "Ctrl+F", "FFT", true},
    {"A_Dtc", "Visible", "", UI_TEXT_NOOP("Panel", "ΔTカーソル選択切替"), "Shift+Alt+T", "", false},
    {"A_Dvc", "Visible", "", UI_TEXT_NOOP("Panel", "ΔVカーソル選択切替"), "Shift+Alt+V", "", false},
    {"A_Setup", "Option", UI_TEXT_NOOP("Panel", "表示色の変更(&C)..."),
     UI_TEXT_NOOP("Panel", "表示色変更"), "Ctrl+L", UI_TEXT_NOOP("Panel", "色変更"), false},
});

}  // namespace

std::span<const HintEntry> PanelHints() {
    return kHints;
}

std::string_view PanelHint(std::string_view control) {
    for (const HintEntry& e : kHints) {
        if (e.control == control) {
            return e.hint;
        }
    }
    return {};
}

bool HintOnlyWhileEnabled(std::string_view control) {
    return control == "LabelDelayUt" || control == "LabelPulseUt";
}

std::span<const ActionEntry> PanelActions() {
    return kActions;
}

const ActionEntry* FindPanelAction(std::string_view name) {
    for (const ActionEntry& a : kActions) {
        if (a.name == name) {
            return &a;
        }
    }
    return nullptr;
}

}  // namespace lumatrace
