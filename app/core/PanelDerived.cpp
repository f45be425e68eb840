#include "app/core/PanelDerived.h"

#include <cstdio>

#include "app/core/PanelValues.h"
#include "app/display/WaveBuffers.h"

namespace lumatrace {

namespace {

const std::string& ItemOf(const PanelState& p, PanelList list, int index) {
    static const std::string kNone;
    const ItemList& items = p.List(list).items;
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
        return kNone;
    }
    return items[static_cast<std::size_t>(index)];
}

}  // namespace

EditTexts PanelEditTexts(const InstrumentSettings& s) {
    EditTexts t;
    const EditTime delay =
        FormatEditTime(static_cast<long double>(s.trigDelay) * s.sampleIntervalNs);
    t.delayText = delay.text;
    t.delayUnitText = std::string(delay.unit);
    char pulse[32];
    std::snprintf(pulse, sizeof pulse, "%.0f", static_cast<double>(s.pulseWidth));
    t.pulseText = pulse;
    t.pulseUnitText = kPulseUnitText;
    return t;
}

WaveformFileSettings FileSettingsFrom(const PanelState& p, const InstrumentSettings& s,
                                      bool equivalentAsRealTime) {
    WaveformFileSettings f;
    constexpr PanelList kVd[] = {PanelList::Vd1, PanelList::Vd2};
    constexpr PanelList kPb[] = {PanelList::Pb1, PanelList::Pb2};
    constexpr PanelList kCup[] = {PanelList::Cup1, PanelList::Cup2};
    for (std::size_t ch = 0; ch < 2; ++ch) {
        ChannelFileSettings& c = f.channel[ch];
        c.channelOn = s.channelOn[ch] != 0;
        c.voltsPerDivText = p.Text(kVd[ch]);
        c.voltsPerDivIndex = p.Index(kVd[ch]);
        c.voltsPerDivMv = s.voltsPerDivMv[ch];
        c.probeText = p.Text(kPb[ch]);
        c.probeIndex = p.Index(kPb[ch]);
        c.probeFactor = s.probeFactor[ch];
        c.couplingText = ItemOf(p, kCup[ch], s.displayCoupling[ch]);
        c.displayCoupling = s.displayCoupling[ch];
        c.tracePosition = s.tracePosition[ch];
        c.bandwidthLimit = s.bandwidthLimit[ch];
    }
    const EditTexts edits = PanelEditTexts(s);
    f.trigMode = s.trigMode;
    f.trigSourceText = p.Text(PanelList::TrigSrc);
    f.trigSourceIndex = p.Index(PanelList::TrigSrc);
    f.trigCouplingText = p.Text(PanelList::TrigCup);
    f.trigCouplingIndex = p.Index(PanelList::TrigCup);
    f.trigCouplingBySource = s.trigCouplingBySource;
    f.trigSlopeText = p.Text(PanelList::TrigSp);
    f.trigSlopeIndex = p.Index(PanelList::TrigSp);
    f.trigLevel = s.trigLevel;
    f.trigLevelOffset = s.trigLevelOffset;
    f.trigPosition = s.trigPosition;
    f.delayChecked = p.Checked(PanelCheck::Delay);
    f.delayText = edits.delayText;
    f.delayUnitText = edits.delayUnitText;
    f.trigDelay = s.trigDelay;
    f.pulseChecked = p.Checked(PanelCheck::Pulse);
    f.pulseText = edits.pulseText;
    f.pulseUnitText = edits.pulseUnitText;
    f.pulseAbove = PulseAbove(p);
    f.pulseWidth = s.pulseWidth;
    f.timeDivText = p.Text(PanelList::Td);
    f.timeDivIndex = p.Index(PanelList::Td);
    f.equivalentActive = s.equivalentActive != 0;
    f.equivalentAsRealTime = equivalentAsRealTime;
    f.samplingTimeText = s.samplingTimeText;
    f.memorySizeText = ItemOf(p, PanelList::MemSize, s.memorySizeIndex);
    f.memorySizeIndex = s.memorySizeIndex;
    f.memoryPoints = s.memoryPoints;
    f.equivalentChecked = p.Checked(PanelCheck::Equ);
    f.rollActive = s.rollActive != 0;
    f.rollChecked = p.Checked(PanelCheck::Roll);
    f.waveformText = ItemOf(p, PanelList::WaveForm, s.waveformMode);
    f.waveformMode = s.waveformMode;
    f.numberText = p.Text(PanelList::Number);
    f.numberIndex = p.Index(PanelList::Number);
    f.acquireCountIndex = s.acquireCountIndex;
    f.acquireCountReserved = s.acquireCountReserved;
    f.cursorTOn = s.cursorTOn != 0;
    f.cursorT1 = s.cursorT1;
    f.cursorT2 = s.cursorT2;
    f.cursorVOn = s.cursorVOn != 0;
    f.cursorV1 = s.cursorV1;
    f.cursorV2 = s.cursorV2;
    return f;
}

MathSettings MathSettingsFrom(const PanelState& p, const InstrumentSettings& s) {
    constexpr MathOperator kOperators[4] = {MathOperator::Add, MathOperator::Sub, MathOperator::Mul,
                                            MathOperator::Div};
    MathSettings math;
    math.firstSource = MathFirstSource(p);
    math.secondSource = MathSecondSource(p);
    math.op = kOperators[MathOperatorIndex(p)];
    math.mathScale = s.mathScale;
    math.groundCoupled = {s.displayCoupling[0] == kCouplingGnd,
                          s.displayCoupling[1] == kCouplingGnd};
    return math;
}

ImageCaptionSettings CaptionSettingsFrom(const PanelState& p, const InstrumentSettings& s,
                                         bool equivalentAsRealTime,
                                         const CaptionReadouts& readouts) {
    ImageCaptionSettings c;
    FillCaptionFromMirrors(s, c);
    const EditTexts edits = PanelEditTexts(s);
    c.equivalentAsRealTime = equivalentAsRealTime;
    c.timeDivText = p.Text(PanelList::Td);
    c.memorySizeText = ItemOf(p, PanelList::MemSize, s.memorySizeIndex);
    c.acquireCountText = p.Text(PanelList::Number);
    c.xyOn = p.Flag(PanelFlag::XY);
    c.channels[0].voltsPerDivText = p.Text(PanelList::Vd1);
    c.channels[0].probeText = p.Text(PanelList::Pb1);
    c.channels[1].voltsPerDivText = p.Text(PanelList::Vd2);
    c.channels[1].probeText = p.Text(PanelList::Pb2);
    c.fftVScaleText = p.Text(PanelList::FftVScale);
    c.fftHScaleText = p.Text(PanelList::FftHScale);
    c.fftSource = FftSourceChannel(p);
    c.mathScaleText = p.Text(PanelList::Math);
    c.mathOperand1 = MathFirstSource(p);
    c.mathOperand2 = MathSecondSource(p);
    c.mathOperator = MathOperatorIndex(p);
    c.trigSourceText = p.Text(PanelList::TrigSrc);
    c.trigCouplingText = p.Text(PanelList::TrigCup);
    c.trigSlopeText = p.Text(PanelList::TrigSp);
    c.trigLevelInfo = readouts.trigLevelInfo;
    c.trigPosInfo = readouts.trigPosInfo;
    c.delayChecked = p.Checked(PanelCheck::Delay);
    c.delayText = edits.delayText;
    c.delayUnitText = edits.delayUnitText;
    c.pulseChecked = p.Checked(PanelCheck::Pulse);
    c.pulseText = edits.pulseText;
    c.pulseUnitText = edits.pulseUnitText;
    c.pulseCondition = PulseAbove(p) ? 2 : 1;
    c.cursorTText = readouts.cursorTText;
    c.cursorVText = readouts.cursorVText;
    return c;
}

}  // namespace lumatrace
