#include "app/settings/PanelTexts.h"

#include <array>

namespace lumatrace {

namespace {

constexpr std::array kHints = std::to_array<HintEntry>({
    {"PageControlBtn", "function1/2/3 表示切替 (Ctrl+Tab)"},
    {"PanelVert", "垂直軸設定"},
    {"SpeedButtonCh1", "CH1表示 (Ctrl+1)"},
    {"SpeedButtonCh2", "CH2表示 (Ctrl+2)"},
    {"UpDownCh1", "CH1垂直軸ポジション設定 (Shift+↑/↓)"},
    {"UpDownCh2", "CH2垂直軸ポジション設定 (Ctrl+↑/↓)"},
    {"ComboBoxVd1", "CH1垂直軸スケール設定"},
    {"ComboBoxVd2", "CH2垂直軸スケール設定"},
    {"ComboBoxPb1", "CH1プローブ減衰率設定"},
    {"ComboBoxPb2", "CH2プローブ減衰率設定"},
    {"ComboBoxCup1", "CH1入力結合設定"},
    {"ComboBoxCup2", "CH2入力結合設定"},
    {"PanelTrig", "トリガ設定"},
    {"ComboBoxTrigSrc", "トリガソース設定"},
    {"ComboBoxTrigCup", "トリガ入力結合設定"},
    {"ComboBoxTrigSp", "トリガスロープ設定"},
    {"UpDownTrigL", "トリガレベル設定 (Shift+Ctrl+↑/↓)"},
    {"UpDownTrigP", "トリガポジション設定 (Shift+Ctrl+←/→)"},
    {"CheckBoxDelay", "トリガ遅延設定"},
    {"EditDelay", "遅延時間設定"},
    {"LabelDelayUt", "遅延時間設定"},
    {"UpDownDelay", "遅延時間設定"},
    {"CheckBoxPulse", "パルストリガ設定"},
    {"EditPulse", "パルス幅設定"},
    {"LabelPulseUt", "パルス幅設定"},
    {"UpDownPulse", "パルス幅設定"},
    {"RdBtnUnder", "パルス幅条件設定"},
    {"RdBtnAbove", "パルス幅条件設定"},
    {"PanelHorz", "水平軸設定"},
    {"ComboBoxTd", "水平軸スケール設定"},
    {"ComboBoxMemSize", "メモリサイズ設定"},
    {"PanelCur", "カーソル設定"},
    {"SpeedButtonDt", "ΔTカーソル表示 (Shift+T)"},
    {"SpeedButtonDv", "ΔVカーソル表示 (Shift+V)"},
    {"UpDownDt", "ΔTカーソル移動 (Shift+Alt+←/→)"},
    {"UpDownDv", "ΔVカーソル移動 (Shift+Alt+↑/↓)"},
    {"PanelBandWidth", "周波数帯域設定"},
    {"RdBtnFull1", "CH1周波数帯域FULL設定"},
    {"RdBtn20MHz1", "CH1周波数帯域20MHz設定"},
    {"RdBtnFull2", "CH2周波数帯域FULL設定"},
    {"RdBtn20MHz2", "CH2周波数帯域20MHz設定"},
    {"PanelAcq", "波形取り込みモード設定"},
    {"CheckBoxEqu", "等価サンプリングモード設定"},
    {"CheckBoxRoll", "ロールモード設定"},
    {"ComboBoxWaveForm", "波形表示モード設定"},
    {"ComboBoxNumber", "波形取り込み回数設定"},
    {"PanelMath", "波形演算設定"},
    {"SpeedButtonMath", "演算波形表示 (Ctrl+A)"},
    {"UpDownMath", "演算波形垂直軸ポジション設定 (Shift+PageUp/PageDown)"},
    {"ComboBoxMath", "演算波形垂直軸スケール設定"},
    {"RdBtnMath11", "第1波形CH1設定"},
    {"RdBtnMath12", "第1波形CH2設定"},
    {"RdBtnMath21", "第2波形CH1設定"},
    {"RdBtnMath22", "第2波形CH2設定"},
    {"RdBtnAdd", "演算子＋設定"},
    {"RdBtnSub", "演算子－設定"},
    {"RdBtnMul", "演算子×設定"},
    {"RdBtnDiv", "演算子÷設定"},
    {"PanelFft", "FFT演算設定"},
    {"SpeedButtonFft", "FFT波形表示 (Ctrl+F)"},
    {"UpDownFft", "FFT波形垂直軸ポジション設定 (Shift+PageUp/PageDown)"},
    {"ComboBoxFftVScale", "FFT波形垂直軸スケール設定"},
    {"ComboBoxFftHScale", "FFT波形水平軸スケール設定"},
    {"RdBtnFftSrc1", "FFT演算チャンネルCH1設定"},
    {"RdBtnFftSrc2", "FFT演算チャンネルCH2設定"},
    {"RdBtnFftVstV", "FFT垂直軸スケール表示タイプリニアRMS設定"},
    {"RdBtnFftVstdBV", "FFT垂直軸スケール表示タイプdBV RMS設定"},
    {"RdBtnFftWndRc", "FFT窓関数方形窓設定"},
    {"RdBtnFftWndHm", "FFT窓関数ハミング窓設定"},
    {"RdBtnFftWndHn", "FFT窓関数ハニング窓設定"},
    {"RdBtnFftWndBh", "FFT窓関数ブラックマン-ハリス窓設定"},
});

constexpr std::array kActions = std::to_array<ActionEntry>({
    {"A_Open", "File", "開く(&O)...", "開く", "Ctrl+O", "開く", false},
    {"A_Save", "File", "保存(&S)...", "保存", "Ctrl+S", "保存", false},
    {"A_Auto", "Execution", "&Auto", "Auto Run", "F5", "Auto", false},
    {"A_Stop", "Execution", "S&top", "Stop", "F6", "Stop", false},
    {"A_Single", "Execution", "&Single", "Single Run", "F7", "Single", false},
    {"A_Normal", "Execution", "&Normal", "Normal Run", "F8", "Normal", false},
    {"A_Scale", "Visible", "目盛り(&M)", "目盛り表示", "Ctrl+M", "目盛り", true},
    {"A_Grid", "Visible", "グリッド(&G)", "グリッド表示", "Ctrl+G", "グリッド", true},
    {"A_Cur", "Visible", "カーソル", "ΔT/ΔVカーソル表示", "Ctrl+C", "カーソル", true},
    {"A_XY", "Visible", "&XY Plot", "リサージュ波形表示", "Ctrl+X", "XY Plot", true},
    {"A_Fft", "Visible", "&FFT", "FFT波形表示", "Ctrl+F", "FFT", true},
    {"A_Dtc", "Visible", "", "ΔTカーソル選択切替", "Shift+Alt+T", "", false},
    {"A_Dvc", "Visible", "", "ΔVカーソル選択切替", "Shift+Alt+V", "", false},
    {"A_Setup", "Option", "表示色の変更(&C)...", "表示色変更", "Ctrl+L", "色変更", false},
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
