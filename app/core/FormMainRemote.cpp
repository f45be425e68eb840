// The remote commands' view of the main window. Every setter does what the
// user's own action does: a list pick sets the list's selection and runs its
// change handler as a menu item does, a latch button or a radio is clicked,
// a check box is checked, a position moves as its up-down moves it. So the
// window shows every change, the acquisition restarts by its own rules and
// the parameter file records the state at close.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QRadioButton>
#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <span>

#include "app/core/FormMain.h"
#include "app/core/PanelController.h"
#include "app/core/PanelDerived.h"
#include "app/core/PanelValues.h"
#include "app/core/TimeBase.h"
#include "app/display/MathTrace.h"
#include "app/display/UpDownStepper.h"
#include "app/files/WaveformCodec.h"
#include "app/files/WaveformFiles.h"
#include "app/measure/MeasureEngine.h"
#include "app/remote/RemoteInstrument.h"

namespace lumatrace {

namespace {

constexpr int kSettingsConflict = -221;
constexpr int kExecutionError = -200;
constexpr int kHardwareMissing = -241;
constexpr int kFileNameNotFound = -256;
constexpr int kMassStorageError = -250;

RemoteStatus Disabled(const char* control) {
    return RemoteStatus::Fail(kSettingsConflict, std::string(control) + " is disabled");
}

// Codes of a computed trace: 1024 codes span ten divisions of its scale.
constexpr double kCodesPerDivision = 102.4;

// The ASCII text of bytes [first, end) of the device information, up to the
// first NUL, with only printable characters kept.
std::string AsciiField(const std::array<std::uint8_t, kDeviceInfoSize>& info, std::size_t first,
                       std::size_t end) {
    std::string text;
    for (std::size_t i = first; i < end && info[i] != 0; ++i) {
        if (info[i] > 0x20 && info[i] < 0x7F && info[i] != ',') {
            text.push_back(static_cast<char>(info[i]));
        }
    }
    return text;
}

// Bytes 8 to 19 of the device information hold the serial number.
constexpr std::size_t kSerialFirst = 8;
constexpr std::size_t kSerialEnd = 20;

}  // namespace

class TFormMain::RemoteTarget final : public RemoteInstrument {
  public:
    explicit RemoteTarget(TFormMain& form) : form_(form) {}

    RemoteIdentity Identity() const override {
        RemoteIdentity id;
        id.maker = "ORVEX";
        id.model = "ZEP-9100";
        id.serial = "0";
        id.version = QCoreApplication::applicationVersion().toStdString();
        if (id.version.empty()) {
            id.version = "0";
        }
        VersionSource* versions = form_.versions_.get();
        if (versions && versions->DeviceReady()) {
            std::array<std::uint8_t, kDeviceInfoSize> info{};
            if (versions->ReadDeviceInfo(info)) {
                const std::string serial = AsciiField(info, kSerialFirst, kSerialEnd);
                if (!serial.empty()) {
                    id.serial = serial;
                }
            }
        }
        return id;
    }

    RemoteStatus Reset() override {
        if (form_.Settings().runMode != kRunStop) {
            form_.acq_->A_Stop();
        }
        // The defaults of every control and value; the window stays where the
        // user put it.
        const QRect geometry = form_.geometry();
        const Qt::WindowStates state = form_.windowState();
        form_.ApplyDefaults();
        form_.setWindowState(state);
        form_.setGeometry(geometry);
        // Then as at start-up: the memory list fits the instrument and every
        // handler runs once.
        form_.SynchronisePanel(form_.session_.memorySize != 0);
        form_.MemorySizeChangedForSpectrum();
        form_.UpdateSpectrumSource();
        form_.UpdateAnalysisSettings();
        form_.ShowAnalysisLabels();
        ResolveFirstLayout(form_.Settings(), form_.Panel().Index(PanelList::TrigSrc));
        form_.acq_->ApplyAndStart();
        form_.RefreshReadouts();
        form_.RedrawAll();
        return RemoteStatus::Ok();
    }

    RemoteStatus Run(RemoteRunAction action) override {
        QAction* item = nullptr;
        switch (action) {
            case RemoteRunAction::kAuto:
                item = form_.A_Auto;
                break;
            case RemoteRunAction::kNormal:
                item = form_.A_Normal;
                break;
            case RemoteRunAction::kSingle:
                item = form_.A_Single;
                break;
            case RemoteRunAction::kStop:
                item = form_.A_Stop;
                break;
        }
        const RunActionState usable = Availability().runActions;
        const bool enabled = action == RemoteRunAction::kAuto     ? usable.autoEnabled
                             : action == RemoteRunAction::kNormal ? usable.normalEnabled
                             : action == RemoteRunAction::kSingle ? usable.singleEnabled
                                                                  : usable.stopEnabled;
        if (!enabled) {
            if (action == RemoteRunAction::kStop && form_.Settings().runMode == kRunStop) {
                return RemoteStatus::Ok();
            }
            return RemoteStatus::Fail(kSettingsConflict,
                                      item->objectName().toStdString() + " is not available now");
        }
        item->trigger();
        return RemoteStatus::Ok();
    }

    int RunMode() const override { return form_.Settings().runMode; }

    RemoteTriggerStatus TriggerStatus() const override {
        if (form_.Settings().runMode == kRunStop) {
            return RemoteTriggerStatus::kStopped;
        }
        const QString text = QString::fromStdString(form_.acq_->TriggerStatusText()).trimmed();
        if (text == QStringLiteral("PreTrig")) {
            return RemoteTriggerStatus::kPreTrigger;
        }
        if (text == QStringLiteral("Wait for Trig")) {
            return RemoteTriggerStatus::kWaitForTrigger;
        }
        if (text == QStringLiteral("Trig'd")) {
            return RemoteTriggerStatus::kTriggered;
        }
        if (text == QStringLiteral("Auto")) {
            return RemoteTriggerStatus::kAutoTriggered;
        }
        return RemoteTriggerStatus::kBlank;
    }

    // A Single run stops itself once it has its record.
    bool OperationPending() const override { return form_.Settings().runMode == kRunSingle; }

    // ---- Channels

    RemoteChannelState Channel(int ch) const override {
        const PanelState& p = form_.Panel();
        RemoteChannelState c;
        c.shown = p.Down(ch == 0 ? PanelLatch::Ch1 : PanelLatch::Ch2);
        c.voltsPerDivIndex = p.Index(ch == 0 ? PanelList::Vd1 : PanelList::Vd2);
        c.probeIndex = p.Index(ch == 0 ? PanelList::Pb1 : PanelList::Pb2);
        c.couplingIndex = p.Index(ch == 0 ? PanelList::Cup1 : PanelList::Cup2);
        c.bandwidthLimit = Bandwidth20MHz(p, ch);
        c.position = form_.Settings().tracePosition[static_cast<std::size_t>(ch)];
        return c;
    }

    RemoteStatus SetChannelShown(int ch, bool shown) override {
        return SetLatch(ch == 0 ? PanelLatch::Ch1 : PanelLatch::Ch2, shown);
    }
    RemoteStatus SetVoltsPerDiv(int ch, int index) override {
        return ch == 0 ? Pick(PanelList::Vd1, index, &TFormMain::ComboBoxVd1Change)
                       : Pick(PanelList::Vd2, index, &TFormMain::ComboBoxVd2Change);
    }
    RemoteStatus SetProbe(int ch, int probeIndex) override {
        return ch == 0 ? Pick(PanelList::Pb1, probeIndex, &TFormMain::ComboBoxPb1Change)
                       : Pick(PanelList::Pb2, probeIndex, &TFormMain::ComboBoxPb2Change);
    }
    RemoteStatus SetCoupling(int ch, int couplingIndex) override {
        return ch == 0 ? Pick(PanelList::Cup1, couplingIndex, &TFormMain::ComboBoxCup1Change)
                       : Pick(PanelList::Cup2, couplingIndex, &TFormMain::ComboBoxCup2Change);
    }
    RemoteStatus SetBandwidthLimit(int ch, bool limited) override {
        return CheckRadio(ch == 0 ? PanelRadio::Bw1 : PanelRadio::Bw2, limited ? 1 : 0);
    }
    RemoteStatus SetChannelPosition(int ch, int position) override {
        const int trace = ch == 0 ? kTraceCh1 : kTraceCh2;
        if (!form_.formReady_) {
            return RemoteStatus::Fail(kSettingsConflict, "the window is not ready");
        }
        if (!Availability().channel[static_cast<std::size_t>(ch)]) {
            return Disabled(ch == 0 ? "UpDownCh1" : "UpDownCh2");
        }
        int& value = form_.Settings().tracePosition[static_cast<std::size_t>(trace)];
        if (value == position) {
            return RemoteStatus::Ok();
        }
        // As a step of the up-down would leave it, in one step.
        value = position;
        TracePositionChanged(trace, form_.MakeInteractionContext(), form_);
        form_.RedrawAll();
        return RemoteStatus::Ok();
    }

    // ---- Horizontal

    RemoteTimebaseState Timebase() const override {
        RemoteTimebaseState t;
        t.timeDivIndex = form_.Panel().Index(PanelList::Td);
        t.triggerPosition = form_.Settings().trigPosition;
        return t;
    }
    RemoteStatus SetTimeDiv(int index) override {
        return Pick(PanelList::Td, index, &TFormMain::ComboBoxTdChange);
    }
    RemoteStatus SetTriggerPosition(int samples) override {
        if (!form_.formReady_) {
            return RemoteStatus::Fail(kSettingsConflict, "the window is not ready");
        }
        // The position up-down rests with the trigger controls and while the spectrum is in
        // front.
        if (!Availability().trigger || form_.SpectrumInFront()) {
            return Disabled("UpDownTrigP");
        }
        InstrumentSettings& s = form_.Settings();
        if (s.trigPosition == samples) {
            return RemoteStatus::Ok();
        }
        // As the up-down's step: the view keeps its anchor while the
        // acquisition restarts with the new position.
        InteractionContext ctx = form_.MakeInteractionContext();
        s.trigPosition = samples;
        ctx.horizontal.viewAnchorHold = true;
        form_.SendSettings(true);
        ctx.horizontal.viewAnchorHold = false;
        form_.RefreshReadout(Readout::TrigPosition);
        form_.RedrawAll();
        return RemoteStatus::Ok();
    }

    // ---- Acquisition

    RemoteAcquireState Acquire() const override {
        const PanelState& p = form_.Panel();
        RemoteAcquireState a;
        a.memoryIndex = p.Index(PanelList::MemSize);
        a.largeMemory = p.List(PanelList::MemSize).items.size() > 2;
        a.waveformMode = form_.Settings().waveformMode;
        a.countIndex = p.Index(PanelList::Number);
        a.equivalentAllowed = p.Checked(PanelCheck::Equ);
        a.rollAllowed = p.Checked(PanelCheck::Roll);
        return a;
    }
    RemoteStatus SetMemorySize(int memoryIndex) override {
        return Pick(PanelList::MemSize, memoryIndex, &TFormMain::ComboBoxMemSizeChange);
    }
    RemoteStatus SetWaveformMode(int mode) override {
        return Pick(PanelList::WaveForm, mode, &TFormMain::ComboBoxWaveFormChange);
    }
    RemoteStatus SetAcquireCount(int countIndex) override {
        return Pick(PanelList::Number, countIndex, &TFormMain::ComboBoxNumberChange);
    }
    RemoteStatus SetEquivalentAllowed(bool allowed) override {
        return SetCheck(PanelCheck::Equ, allowed);
    }
    RemoteStatus SetRollAllowed(bool allowed) override {
        return SetCheck(PanelCheck::Roll, allowed);
    }

    // ---- Trigger

    RemoteTriggerState Trigger() const override {
        const PanelState& p = form_.Panel();
        const InstrumentSettings& s = form_.Settings();
        RemoteTriggerState t;
        t.sourceIndex = p.Index(PanelList::TrigSrc);
        t.couplingIndex = p.Index(PanelList::TrigCup);
        t.slopeIndex = p.Index(PanelList::TrigSp);
        t.level = s.trigLevel;
        t.sourcePosition = TriggerSourcePosition();
        t.sourceScaleMv = static_cast<double>(TriggerSourceScale(s, t.sourceIndex));
        return t;
    }
    RemoteStatus SetTriggerSource(int sourceIndex) override {
        return Pick(PanelList::TrigSrc, sourceIndex, &TFormMain::ComboBoxTrigSrcChange);
    }
    RemoteStatus SetTriggerCoupling(int couplingIndex) override {
        return Pick(PanelList::TrigCup, couplingIndex, &TFormMain::ComboBoxTrigCupChange);
    }
    RemoteStatus SetTriggerSlope(int slopeIndex) override {
        return Pick(PanelList::TrigSp, slopeIndex, &TFormMain::ComboBoxTrigSpChange);
    }
    RemoteStatus SetTriggerLevel(int level) override {
        if (!form_.formReady_) {
            return RemoteStatus::Fail(kSettingsConflict, "the window is not ready");
        }
        if (!Availability().trigger) {
            return Disabled("UpDownTrigL");
        }
        InstrumentSettings& s = form_.Settings();
        if (s.trigLevel == level) {
            return RemoteStatus::Ok();
        }
        // As the up-down's step: the level keeps its distance to the source's
        // trace when that trace moves later.
        s.trigLevel = level;
        s.trigLevelOffset = static_cast<long double>(TriggerSourcePosition()) - level;
        form_.SendSettings(false);
        form_.RefreshReadout(Readout::TrigLevel);
        form_.RedrawAll();
        return RemoteStatus::Ok();
    }

    // ---- Math and spectrum

    RemoteMathState Math() const override {
        const PanelState& p = form_.Panel();
        RemoteMathState m;
        m.shown = p.Down(PanelLatch::Math);
        m.operatorIndex = MathOperatorIndex(p);
        m.firstOperand = MathFirstSource(p);
        m.secondOperand = MathSecondSource(p);
        return m;
    }
    RemoteStatus SetMathShown(bool shown) override { return SetLatch(PanelLatch::Math, shown); }
    RemoteStatus SetMathOperator(int operatorIndex) override {
        return CheckRadio(PanelRadio::Ope, operatorIndex);
    }
    RemoteStatus SetMathOperand(int which, int channel) override {
        return CheckRadio(which == 0 ? PanelRadio::Math1 : PanelRadio::Math2, channel);
    }

    RemoteFftState Fft() const override {
        const PanelState& p = form_.Panel();
        RemoteFftState f;
        f.shown = p.Down(PanelLatch::Fft);
        f.sourceIndex = lumatrace::FftSourceChannel(p);
        f.window = FftWindowIndex(p);
        return f;
    }
    RemoteStatus SetFftShown(bool shown) override { return SetLatch(PanelLatch::Fft, shown); }
    RemoteStatus SetFftSource(int sourceIndex) override {
        return CheckRadio(PanelRadio::FftSrc, sourceIndex);
    }
    RemoteStatus SetFftWindow(int window) override {
        return CheckRadio(PanelRadio::FftWnd, window);
    }

    // ---- Measurements: the whole record on show.

    bool HasMeasurementEngine() const override { return true; }

    RemoteMeasurement Measure(std::string_view name, RemoteSource source) override {
        RemoteMeasurement out;
        const std::optional<MeasureId> id = MeasureByName(name);
        if (!id) {
            out.status = RemoteStatus::Fail(kExecutionError, "no measurement " + std::string(name));
            return out;
        }
        const MeasureInput in = form_.RecordMeasureInput();
        const int points = static_cast<int>(in.record.size());
        const MeasureSource from = source == RemoteSource::kCh1   ? MeasureSource::Ch1
                                   : source == RemoteSource::kCh2 ? MeasureSource::Ch2
                                                                  : MeasureSource::Math;
        const MeasureValues values =
            engine_.Measure(in, from, SampleRange{0, points}, IsBetweenChannels(*id));
        out.value = values[*id];
        return out;
    }

    // ---- The record on show

    RemoteStatus Record(RemoteSource source, RemoteRecord& out) const override {
        const InstrumentSettings& s = form_.Settings();
        const MeasureInput record = form_.RecordMeasureInput();
        const std::span<const SampleWord> words = record.record;
        const std::size_t points = words.size();
        out = RemoteRecord{};
        out.xIncrement = record.sampleIntervalSeconds;
        out.xOrigin = -static_cast<double>(s.trigPosition) * out.xIncrement;
        if (source != RemoteSource::kMath) {
            const std::size_t ch = source == RemoteSource::kCh1 ? 0 : 1;
            out.words = words;
            out.shift = static_cast<unsigned>(ChannelShift(static_cast<int>(ch)));
            out.yIncrement = ChannelVoltsPerCode(form_.acqVoltsPerDivMv_[ch], s.probeFactor[ch]);
            out.yOrigin = (500 - form_.acqTracePosition_[ch]) * 2.048;
            return RemoteStatus::Ok();
        }
        // MATH is computed as the view draws it (its mapping of each word to a value), then
        // placed on the MATH trace's own scale and position.
        const MathSettings& math = record.math;
        if (math.mathScale <= 0) {
            return RemoteStatus::Fail(kSettingsConflict, "the MATH scale is not set");
        }
        const MathMapping mapping(form_.CurrentViewSettings(), ViewGeometry{}, math);
        out.yIncrement = math.mathScale / 1000.0 * 10.0 / kCodeCount;
        out.yOrigin = (500 - s.tracePosition[kTraceMath]) * 2.048;
        const double codesPerMv = kCodesPerDivision / math.mathScale;
        const int first = mapping.FirstSource();
        const int second = mapping.SecondSource();
        out.codes.resize(points);
        for (std::size_t i = 0; i < points; ++i) {
            const SampleWord w = words[i];
            if (ChannelMissing(w, first) || ChannelMissing(w, second)) {
                out.codes[i] = kRemoteNoSample;
                continue;
            }
            const MathResult r = mapping.Value(w);
            if (r.divideByZero) {
                out.codes[i] = kRemoteNoSample;
                continue;
            }
            const double code = std::round(out.yOrigin + r.value * codesPerMv);
            out.codes[i] = static_cast<std::uint16_t>(
                std::clamp(code, 0.0, static_cast<double>(kRemoteNoSample - 1)));
        }
        return RemoteStatus::Ok();
    }

    // ---- Files

    RemoteStatus SaveWaveformSet(const std::string& path) override {
        if (form_.Settings().runMode != kRunStop) {
            return RemoteStatus::Fail(kSettingsConflict, "stop the acquisition before saving");
        }
        SaveResult result = SaveResult::NotSaved;
        {
            std::lock_guard<std::mutex> lock(WaveBufferMutex);
            const auto points = static_cast<std::size_t>(form_.Settings().memoryPoints);
            result = SaveWaveformFile(*form_.services_.files, form_.Messages(),
                                      std::filesystem::path(path), form_.FileSettings(),
                                      std::span<const SampleWord>(WaveBuffer.data(), points),
                                      CurrentIndexTimestamp());
        }
        if (result != SaveResult::Saved) {
            return RemoteStatus::Fail(kMassStorageError, "the set was not saved completely");
        }
        return RemoteStatus::Ok();
    }

    RemoteStatus SaveImage(const std::string& path, RemoteImageFormat format) override {
        const char* extension = format == RemoteImageFormat::kPng   ? ".png"
                                : format == RemoteImageFormat::kBmp ? ".bmp"
                                                                    : ".jpg";
        if (path.empty()) {
            return RemoteStatus::Fail(kFileNameNotFound, "no file name");
        }
        if (!form_.ExportPicture(path, extension)) {
            return RemoteStatus::Fail(kMassStorageError, "the picture was not saved");
        }
        return RemoteStatus::Ok();
    }

  private:
    using Handler = void (TFormMain::*)();

    // A list pick as the menu makes it: the selection, the control and its
    // menu items show it, then the list's change handler runs.
    RemoteStatus Pick(PanelList list, int index, Handler handler) {
        if (!form_.formReady_) {
            return RemoteStatus::Fail(kSettingsConflict, "the window is not ready");
        }
        if (!ListAvailable(Availability(), list)) {
            return Disabled(PanelListName(list));
        }
        const ListState& state = form_.Panel().List(list);
        if (index < 0 || index >= static_cast<int>(state.items.size())) {
            return RemoteStatus::Fail(
                kHardwareMissing,
                std::string(PanelListName(list)) + " has no item " + std::to_string(index));
        }
        if (state.index == index) {
            return RemoteStatus::Ok();
        }
        form_.Panel().List(list).index = index;
        form_.ShowPanelState();
        (form_.*handler)();
        return RemoteStatus::Ok();
    }

    // A latch button is clicked when it is not already as wanted.
    RemoteStatus SetLatch(PanelLatch latch, bool down) {
        SpeedButton* button = form_.LatchWidget(latch);
        if (form_.Panel().Down(latch) == down) {
            return RemoteStatus::Ok();
        }
        if (!form_.formReady_) {
            return RemoteStatus::Fail(kSettingsConflict, "the window is not ready");
        }
        button->click();
        return RemoteStatus::Ok();
    }

    // A check box runs its handler on the change of state.
    RemoteStatus SetCheck(PanelCheck check, bool on) {
        if (form_.Panel().Checked(check) == on) {
            return RemoteStatus::Ok();
        }
        if (!form_.formReady_ || !CheckAvailable(Availability(), check)) {
            return Disabled(
                PanelControlNameOf({PanelControlKind::Check, static_cast<int>(check), 0}));
        }
        form_.CheckWidget(check)->setChecked(on);
        return RemoteStatus::Ok();
    }

    // A radio runs its handler when it becomes the group's checked member.
    RemoteStatus CheckRadio(PanelRadio group, int member) {
        const std::vector<QRadioButton*> radios = form_.RadioWidgets(group);
        if (member < 0 || member >= static_cast<int>(radios.size())) {
            return RemoteStatus::Fail(kHardwareMissing, "no such choice");
        }
        if (form_.Panel().Radio(group) == member) {
            return RemoteStatus::Ok();
        }
        if (!form_.formReady_ || !RadioAvailable(Availability(), form_.Panel(), group)) {
            return Disabled(
                PanelControlNameOf({PanelControlKind::Radio, static_cast<int>(group), member}));
        }
        radios[static_cast<std::size_t>(member)]->setChecked(true);
        return RemoteStatus::Ok();
    }

    int TriggerSourcePosition() const {
        const int source = form_.Panel().Index(PanelList::TrigSrc);
        const int trace = source == 0 || source == 1 ? source : kTraceTrigRef;
        return form_.Settings().tracePosition[static_cast<std::size_t>(trace)];
    }

    PanelAvailability Availability() const {
        return PanelAvailabilityOf(form_.Panel(), form_.Settings(), *form_.acq_);
    }

    static double ChannelVoltsPerCode(int voltsPerDivMv, int probeFactor) {
        return voltsPerDivMv * probeFactor / 1000.0 * 10.0 / kCodeCount;
    }

    TFormMain& form_;
    MeasureEngine engine_;
};

std::unique_ptr<RemoteInstrument> TFormMain::CreateRemoteInstrument() {
    return std::make_unique<RemoteTarget>(*this);
}

}  // namespace lumatrace
