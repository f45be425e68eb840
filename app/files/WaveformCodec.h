// The waveform file set's text formats as bytes <-> plain values: the settings
// block and the data block of each CSV file, the index file's lines, and the
// value-line and number rules the reader applies. Nothing here touches files.
//
// All byte strings are code page 932 with CR LF line ends; the texts in the
// structs are UTF-8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/files/SettingsRestore.h"

namespace lumatrace {

using SampleWord = std::uint32_t;

inline constexpr std::size_t kRecordWords = 1000001;  // words of a caller's record buffer
inline constexpr int kRowsPerFile = 10000;
inline constexpr std::uint32_t kWaveformMagic = 0xAB00;
// All bits set: no sample on either channel.
inline constexpr SampleWord kNoSampleWord = 0xFFFFFFFFu;

// One channel's part of the settings block, as the panel shows it.
struct ChannelFileSettings {
    bool channelOn = true;
    std::string voltsPerDivText;  // selected item of ComboBoxVd1/2
    int voltsPerDivIndex = 0;
    int voltsPerDivMv = 50;  // at the instrument: panel value / probe factor
    std::string probeText;   // selected item of ComboBoxPb1/2
    int probeIndex = 0;
    int probeFactor = 1;
    std::string couplingText;  // item displayCoupling of ComboBoxCup1/2
    int displayCoupling = 0;   // 2 is GND
    int tracePosition = 250;
    int bandwidthLimit = 0;
};

// Everything the settings block of a CSV file carries, filled by the caller
// from the panel and the settings mirrors.
struct WaveformFileSettings {
    std::array<ChannelFileSettings, 2> channel;

    int trigMode = 0;  // 0 AUTO, 1 NORMAL, 2 FREERUN
    std::string trigSourceText;
    int trigSourceIndex = 0;
    std::string trigCouplingText;
    int trigCouplingIndex = 0;
    std::array<int, 2> trigCouplingBySource{0, 0};
    std::string trigSlopeText;
    int trigSlopeIndex = 0;
    int trigLevel = 250;
    long double trigLevelOffset = 0;
    int trigPosition = 5000;

    bool delayChecked = false;  // CheckBoxDelay
    std::string delayText;      // EditDelay
    std::string delayUnitText;  // LabelDelayUt
    int trigDelay = 0;

    bool pulseChecked = false;  // CheckBoxPulse
    std::string pulseText;      // EditPulse
    std::string pulseUnitText;  // LabelPulseUt
    bool pulseAbove = false;    // RdBtnAbove checked (else RdBtnUnder)
    int pulseWidth = 10;

    std::string timeDivText;  // selected item of ComboBoxTd
    int timeDivIndex = 0;
    bool equivalentActive = false;
    bool equivalentAsRealTime = false;
    std::string samplingTimeText;
    std::string memorySizeText;  // item memorySizeIndex of ComboBoxMemSize
    int memorySizeIndex = 0;
    int memoryPoints = 10000;

    bool equivalentChecked = false;  // CheckBoxEqu
    bool rollActive = false;
    bool rollChecked = false;  // CheckBoxRoll
    std::string waveformText;  // item waveformMode of ComboBoxWaveForm
    int waveformMode = 0;
    std::string numberText;  // selected item of ComboBoxNumber
    int numberIndex = 0;
    int acquireCountIndex = 0;
    int acquireCountReserved = 0;

    bool cursorTOn = true;
    int cursorT1 = 150;
    int cursorT2 = 350;
    bool cursorVOn = true;
    int cursorV1 = 100;
    int cursorV2 = 300;
};

// ---------------------------------------------------------------------------
// Writing.

// The 36 lines of the settings block, CP932. nullopt when a text of the panel
// has no CP932 form (it could not be read back as written).
std::optional<std::string> WriteSettingsBlock(const WaveformFileSettings& s);

// Formats the data block of CSV files from prepared per-code tables, so a row
// costs a few copies and no arithmetic.
class DataBlockWriter {
  public:
    explicit DataBlockWriter(const WaveformFileSettings& s);
    // Appends the data block for record words firstSample .. firstSample +
    // 9999 (nothing when both channels are off). The caller guarantees those
    // words exist.
    void WriteDataBlock(std::string& out, const SampleWord* record, std::size_t firstSample) const;

  private:
    struct Field {
        std::array<char, 22> text;
        std::uint8_t size;
    };
    std::array<bool, 2> on_;
    std::array<std::array<Field, 1024>, 2> code_;
    std::array<std::array<Field, 1024>, 2> volts_;
};

// Volt value of code m as the file writes it (before formatting).
long double SampleVolts(int code, int voltsPerDivMv, int probeFactor, int tracePosition);

// "≪ ZEP-9100 CSV Files ≫  " + stamp + CR LF + CR LF, CP932.
std::string IndexHeader(std::string_view stamp);
// The local moment as the index header shows it: "2026/12/10 9:05:07",
// the date alone at exactly midnight.
std::string FormatIndexTimestamp(const std::tm& local);
// The current local date and time in that form.
std::string CurrentIndexTimestamp();

// ---------------------------------------------------------------------------
// Reading.

// Splits a byte buffer into lines (LF or CR LF; a missing final line end is
// tolerated).
class LineCursor {
  public:
    explicit LineCursor(std::string_view text) : text_(text) {}
    bool AtEnd() const { return pos_ >= text_.size(); }
    // False at the end of the text.
    bool Next(std::string_view& line);
    // The text not yet read, and a way to step over part of it.
    std::string_view Rest() const { return text_.substr(pos_); }
    void Skip(std::size_t bytes) { pos_ += bytes; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// The values of a value line: trailing commas removed, then the
// comma-separated fields after the first comma. At most `max` are kept.
struct ValueLine {
    std::array<std::string_view, 8> values{};
    int count = 0;
};
ValueLine ReadValueLine(std::string_view line);
// False at the end of the text.
bool ReadValueLine(LineCursor& file, ValueLine& out);

// Integer conversion: optional blanks, sign, decimal or "$"/"0x" hexadecimal,
// within 32 bits.
std::optional<int> ParseInteger(std::string_view text);
// Boolean conversion: "0" false, any other integer true (and the words
// True / False).
std::optional<bool> ParseFlag(std::string_view text);
// Decimal fraction ("1.00", "-3.25").
std::optional<long double> ParseDecimal(std::string_view text);

// Channel flags restored by a settings block, needed to read its data block.
struct ChannelsOn {
    bool ch1 = false;
    bool ch2 = false;
};

// Reads one settings block (any of the three generations), appending the
// restoring steps in the order they take effect. Steps of the lines read
// before a malformed one stay in `steps`. False on a malformed block.
bool ReadSettingsBlock(LineCursor& file, std::vector<RestoreStep>& steps, ChannelsOn& channels);

// Reads the data block into record[firstSample .. firstSample + 9999],
// clearing the whole record first when firstSample is 0. False on a
// malformed block (a short one included) or when the rows would not fit in
// the record; rows before the malformed one stay written.
bool ReadDataBlock(LineCursor& file, ChannelsOn channels, std::span<SampleWord> record,
                   std::size_t firstSample);

}  // namespace lumatrace
