// The remote command set: every SCPI command of the program, as a command
// table whose handlers check the parameters, convert volts and seconds to
// the panel's list indices and positions (with the value tables of
// app/settings), and call the RemoteInstrument.
//
// Numbers read back exactly what was set after snapping: a V/div or T/div
// is snapped to the nearest item of the list in force (nearest on a log
// scale), and the query returns that item's value.
#pragma once

#include <functional>
#include <span>
#include <string_view>

#include "app/remote/RemoteInstrument.h"
#include "app/remote/ScpiCommandTable.h"
#include "app/remote/ScpiErrors.h"
#include "app/remote/WaveformEncoding.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

// A measurement the remote interface offers: its header under :MEASure,
// the measurement engine's name for it, and whether it takes a source.
struct RemoteMeasureEntry {
    std::string_view header;  // "VPP", "FREQuency"
    std::string_view name;    // "vpp", "frequency"
    bool takesSource;         // false: between CH1 and CH2 (delay, phase)
};
std::span<const RemoteMeasureEntry> RemoteMeasurements();

class RemoteCommands {
  public:
    RemoteCommands(RemoteInstrument& instrument, ScpiStatus& status);
    RemoteCommands(const RemoteCommands&) = delete;
    RemoteCommands& operator=(const RemoteCommands&) = delete;

    const ScpiCommandTable& table() const { return table_; }

    // Settings of the remote interface itself (not of the panel); *RST
    // restores them: source CH1, format WORD, trigger mode AUTO.
    RemoteSource waveformSource() const { return waveSource_; }
    RemoteWaveFormat waveformFormat() const { return waveFormat_; }

  private:
    void AddCommon();
    void AddSystem();
    void AddRun();
    void AddChannel();
    void AddTimebase();
    void AddAcquire();
    void AddTrigger();
    void AddMath();
    void AddFft();
    // A setting with a command that sets it and a query that reads it back:
    // ON/OFF, or one of the character-data choices.
    void AddBooleanSetting(std::string_view header, std::function<bool()> get,
                           std::function<RemoteStatus(bool)> set);
    void AddChoiceSetting(std::string_view header, std::span<const ScpiChoice> choices,
                          std::function<int()> get, std::function<RemoteStatus(int)> set);
    // The same for a setting held twice, once per channel (or operand), whose
    // header names which by its <n> suffix, 1 or 2: get and set receive it
    // as 0 or 1.
    void AddBooleanSetting(std::string_view header, std::function<bool(int)> get,
                           std::function<RemoteStatus(int, bool)> set);
    void AddChoiceSetting(std::string_view header, std::span<const ScpiChoice> choices,
                          std::function<int(int)> get, std::function<RemoteStatus(int, int)> set);
    void AddMeasure();
    void AddWaveform();
    void AddSave();

    // *OPC armed while an operation ran: sets the event bit once it ended.
    void SettleOperationComplete();

    RemoteInstrument& target_;
    ScpiStatus& status_;
    const ValueLists lists_;
    ScpiCommandTable table_;

    RemoteSource waveSource_ = RemoteSource::kCh1;
    RemoteWaveFormat waveFormat_ = RemoteWaveFormat::kWord;
    bool normalTriggerMode_ = false;  // :TRIGger:MODE for the next :RUN
    bool opcArmed_ = false;
};

}  // namespace lumatrace
