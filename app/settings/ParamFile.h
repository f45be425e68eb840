// The parameter file Zep9100.prm: a fixed binary header with the settings
// that live outside the control panel, followed by one component record per
// saved panel control. Decoding and encoding are pure (bytes <-> snapshot);
// LoadParameterFile and StoreParameterFile add the file handling and the
// error policy around them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/UiText.h"
#include "app/settings/Extended80.h"
#include "app/settings/WindowPlacement.h"

namespace lumatrace {

class FileStore;
class MessageBoxService;

inline constexpr char kParamFileName[] = "Zep9100.prm";
inline constexpr std::size_t kParamHeaderSize = 184;     // version > 1
inline constexpr std::size_t kParamOldHeaderSize = 160;  // version <= 1

inline constexpr char kParamReadErrorTitle[] = "Lumatrace";
inline constexpr char kParamReadErrorMessage[] = UI_TEXT_NOOP(
    "Files", "パラメータファイル読み込み中にエラーが発生しました。\r\nデフォルト値を設定します。");
inline constexpr char kParamWriteErrorTitle[] = "ZEP-9100";
inline constexpr char kParamWriteErrorMessage[] =
    UI_TEXT_NOOP("Files", "パラメータファイル書き込み中にエラーが発生しました。");

// The version every file is written with: the extended value nearest to 2.1.
Extended80 ParamFileVersion();

// ---------------------------------------------------------------------------
// The saved controls, in file order.

enum class ParamControlKind : std::uint8_t { GroupBox, ComboBox, SpeedButton, RadioButton };

// Which files carry a control's record.
enum class ParamRecordSince : std::uint8_t { Always, Version2, Version21 };

enum class ParamControl : int {
    GroupBoxVert,
    SpeedButtonCh1,
    SpeedButtonCh2,
    ComboBoxVd1,
    ComboBoxVd2,
    ComboBoxPb1,
    ComboBoxPb2,
    ComboBoxCup1,
    ComboBoxCup2,
    ComboBoxTrigSrc,
    ComboBoxTrigCup,
    ComboBoxTrigSp,
    RdBtnUnder,
    RdBtnAbove,
    ComboBoxTd,
    ComboBoxMemSize,
    SpeedButtonDt,
    SpeedButtonDv,
    RdBtnFull1,
    RdBtn20MHz1,
    RdBtnFull2,
    RdBtn20MHz2,
    ComboBoxWaveForm,
    ComboBoxNumber,
    SpeedButtonMath,
    ComboBoxMath,
    RdBtnMath11,
    RdBtnMath12,
    RdBtnMath21,
    RdBtnMath22,
    RdBtnAdd,
    RdBtnSub,
    RdBtnMul,
    RdBtnDiv,
    SpeedButtonFft,
    ComboBoxFftVScale,
    ComboBoxFftHScale,
    RdBtnFftSrc1,
    RdBtnFftSrc2,
    RdBtnFftVstV,
    RdBtnFftVstdBV,
    RdBtnFftWndRc,
    RdBtnFftWndHm,
    RdBtnFftWndHn,
    RdBtnFftWndBh,
};
inline constexpr int kParamControlCount = 45;

struct ParamControlInfo {
    ParamControl id;
    const char* name;       // the control's (and the record's component) name
    const char* className;  // the class name written into its record
    ParamControlKind kind;
    ParamRecordSince since;
};
const std::array<ParamControlInfo, kParamControlCount>& ParamControls();
const ParamControlInfo& ParamControlInfoOf(ParamControl control);

// What a record restores. Which members count depends on the control's kind:
// lists have items and index, check and radio buttons `checked`, latching
// buttons `down` and the caption font colour.
struct ParamControlRecord {
    // The list items (UTF-8) replacing the control's own list; nullopt when
    // the record carries none and the control keeps the list it has.
    std::optional<std::vector<std::string>> items;
    std::int32_t itemIndex = -1;  // -1: nothing selected
    bool checked = false;
    bool down = false;
    // Windows colour value (0x00BBGGRR, or a system colour 0xFF0000nn);
    // nullopt when the record leaves the font as it is.
    std::optional<std::uint32_t> fontColor;

    bool operator==(const ParamControlRecord&) const = default;
};

// ---------------------------------------------------------------------------
// The whole file as plain values.

inline constexpr int kParamDisplayItems = 10;
inline constexpr int kFftDisplayItem = 3;

struct ParamSnapshot {
    // As read; files are always written with ParamFileVersion().
    Extended80 version = ParamFileVersion();
    // Work-area width x height when the file was saved.
    std::int32_t workAreaSize = 0;
    // Colours and positions by displayItem 0..9. Files of version 1 and
    // below (and those between 1 and 2) carry no FFT item: index 3 is then nullopt.
    std::array<std::optional<std::uint32_t>, kParamDisplayItems> displayColors{};
    std::array<std::optional<std::int32_t>, kParamDisplayItems> itemPositions{};

    ParamWindowState windowState = ParamWindowState::Normal;
    WindowRect windowRect;

    // The checked states of A_Scale, A_Grid, A_XY, M_Hint, CheckBoxDelay,
    // CheckBoxPulse, CheckBoxEqu and CheckBoxRoll.
    bool scaleChecked = false;
    bool gridChecked = false;
    bool xyChecked = false;
    bool hintChecked = false;
    bool delayChecked = false;
    bool pulseChecked = false;
    bool equChecked = false;
    bool rollChecked = false;

    Extended80 trigLevelOffset = Extended80::FromDouble(500.0);
    std::array<std::int32_t, 2> trigCouplingBySource{};
    std::int32_t trigDelay = 0;
    std::int32_t pulseWidth = 0;
    std::int32_t acquireCountIndex = 0;
    // The value the waveform file reader last stored (0 when none was loaded).
    std::int32_t reservedValue = 0;

    // Present in version 2 files and later; older files get the FFT defaults.
    std::optional<std::array<std::int32_t, 2>> fftVScaleIndex;
    std::optional<std::array<std::int32_t, 2>> fftPositionByType;

    // One record per control of ParamControls(), in that order; nullopt for
    // the controls the file's version does not carry.
    std::array<std::optional<ParamControlRecord>, kParamControlCount> controls{};

    std::optional<ParamControlRecord>& Control(ParamControl c) {
        return controls[static_cast<std::size_t>(c)];
    }
    const std::optional<ParamControlRecord>& Control(ParamControl c) const {
        return controls[static_cast<std::size_t>(c)];
    }

    bool operator==(const ParamSnapshot&) const = default;
};

// Where a record sat in the file and what it called itself.
struct ParamRecordOrigin {
    ParamControl control;
    std::size_t offset = 0;
    std::string className;  // as stored
    std::string name;       // as stored
};

struct ParamDecodeResult {
    bool ok = false;
    ParamSnapshot snapshot;
    std::vector<ParamRecordOrigin> records;
    std::string error;  // for people: what was wrong, where
};

// Reads a parameter file of any generation: the header by version (old
// 160-byte layout up to 1, the 184-byte layout above), the records the
// version carries, then the list upgrades for files older than 2.1. Anything
// that makes the file unusable (too short, version below 0.03 or not a
// number, a broken record, a value no version of the program writes) is an
// error.
ParamDecodeResult DecodeParamFile(std::span<const std::uint8_t> data);

// Writes the current (2.1) layout. Every display item and every control record
// must be present. nullopt (with the reason in `error`) when the snapshot
// cannot be written.
std::optional<std::vector<std::uint8_t>> EncodeParamFile(const ParamSnapshot& snapshot,
                                                         std::string* error = nullptr);

// ---------------------------------------------------------------------------
// The read and write policies.

enum class ParamLoadStatus {
    Missing,     // no file: apply the defaults, nothing to say
    Loaded,      // apply the snapshot
    Corrupt,     // the file was deleted: apply the defaults and show the message
    Unreadable,  // the file is there but cannot be read: defaults, message, file kept
};

struct ParamLoadResult {
    ParamLoadStatus status = ParamLoadStatus::Missing;
    ParamSnapshot snapshot;  // when Loaded
    std::string message;     // the text to show (title kParamReadErrorTitle, error icon)
    std::string detail;      // the technical reason, for logs and tools

    // What the reader reports to start-up: false means show `message`.
    bool ok() const {
        return status == ParamLoadStatus::Missing || status == ParamLoadStatus::Loaded;
    }
};

// Makes sure the folder exists, then reads and decodes the file. A corrupt
// file is deleted.
ParamLoadResult LoadParameterFile(FileStore& files, const std::filesystem::path& file);

// Makes sure the folder exists and replaces the file with the snapshot. The
// new file is written beside the old one and renamed over it only when
// complete, so a failed write keeps the previous settings. Failures are
// shown through `messages`; returns whether the file was written.
bool StoreParameterFile(FileStore& files, MessageBoxService& messages,
                        const std::filesystem::path& file, const ParamSnapshot& snapshot);

// The file's path in the program's settings folder.
std::filesystem::path ParameterFilePath(const std::filesystem::path& settingsFolder);

}  // namespace lumatrace
