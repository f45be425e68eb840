#include "app/settings/ImageCaption.h"

#include <span>

#include "app/settings/SettingsModel.h"

namespace lumatrace {
namespace {

// Out-of-range indices give an empty word rather than reading past a table:
// the caption is documentation and must never take the export down.
std::string_view Pick(std::span<const std::string_view> words, int index) {
    if (index < 0 || index >= static_cast<int>(words.size())) {
        return {};
    }
    return words[static_cast<std::size_t>(index)];
}

constexpr std::string_view kCouplings[] = {"DC", "AC", "GND"};
constexpr std::string_view kBandwidths[] = {"FULL", "20MHz"};
constexpr std::string_view kChannels[] = {"CH1", "CH2"};
constexpr std::string_view kWindows[] = {"Rect.", "Hamm.", "Hann.", "Black."};
constexpr std::string_view kOperators[] = {"＋", "－", "×", "÷"};

bool EquivalentShown(const ImageCaptionSettings& s) {
    return s.equivalentActive && !s.equivalentAsRealTime;
}

std::string SamplingLine(const ImageCaptionSettings& s) {
    std::string line = s.rollActive ? "Roll" : EquivalentShown(s) ? "Equiv" : "Real";
    return line + " Sampling";
}

std::string TimeLine(const ImageCaptionSettings& s) {
    // The roll check comes first in the sampling line, so a roll record is
    // never labelled with the equivalent-time resolution.
    const bool equiv = !s.rollActive && EquivalentShown(s);
    return "Time/div : " + s.timeDivText +
           " (SamplingTime : " + (equiv ? std::string("100ps") : s.samplingTimeText) + ")";
}

std::string WaveformLine(const ImageCaptionSettings& s) {
    std::string mode;
    switch (s.waveformMode) {
        case 1:
            mode = "Average " + s.acquireCountText;
            break;
        case 2:
            mode = "Envelope ";
            break;
        default:
            mode = "Sample";
            break;
    }
    return "WaveForm : " + mode + std::string(10, ' ') +
           (s.xyOn ? "XY Plot : ON" : "XY Plot : OFF");
}

std::string ChannelPart(const char* name, const CaptionChannel& c) {
    return std::string(name) + " : " + c.voltsPerDivText + " (" + c.probeText + ")  " +
           std::string(Pick(kCouplings, c.displayCoupling)) + "  " +
           std::string(Pick(kBandwidths, c.bandwidthLimit));
}

std::optional<std::string> ChannelLine(const ImageCaptionSettings& s) {
    const bool ch1 = s.channels[0].shown;
    const bool ch2 = s.channels[1].shown;
    if (!ch1 && !ch2 && !s.fftOn && !s.mathOn) {
        return std::nullopt;
    }
    std::string line;
    if (ch1) {
        line += ChannelPart("CH1", s.channels[0]);
        if (ch2 || s.fftOn || s.mathOn) {
            line += std::string(7, ' ');
        }
    }
    if (ch2) {
        line += ChannelPart("CH2", s.channels[1]);
        if (s.fftOn || s.mathOn) {
            line += std::string(7, ' ');
        }
    }
    if (s.fftOn) {
        line += "FFT : " + s.fftVScaleText + "  " + s.fftHScaleText + "  " +
                std::string(Pick(kChannels, s.fftSource)) + "  " +
                std::string(Pick(kWindows, s.fftWindow));
    } else if (s.mathOn) {
        line += "MATH : " + s.mathScaleText + "  " + std::string(Pick(kChannels, s.mathOperand1)) +
                std::string(Pick(kOperators, s.mathOperator)) +
                std::string(Pick(kChannels, s.mathOperand2));
    }
    return line;
}

std::string TriggerLine(const ImageCaptionSettings& s) {
    const std::string delay =
        s.delayChecked && s.delayText != "0" ? s.delayText + s.delayUnitText : "OFF";
    const std::string pulse =
        s.pulseChecked ? s.pulseText + s.pulseUnitText + (s.pulseCondition == 2 ? "以上" : "未満")
                       : "OFF";
    return "Trigger : " + s.trigSourceText + "  " + s.trigCouplingText + "  " + s.trigSlopeText +
           "     Level : " + InfoLabelValue(s.trigLevelInfo) +
           "     Pos : " + InfoLabelValue(s.trigPosInfo) + "     Delay : " + delay +
           "     Pulse : " + pulse;
}

std::string VoltCursorLine(const ImageCaptionSettings& s) {
    const bool ch1 = s.channels[0].shown;
    const bool ch2 = s.channels[1].shown;
    std::string line;
    if (ch1) {
        line += "[CH1]" + s.cursorVText[kCaptionCh1];
        if (ch2 || s.fftOn || s.mathOn) {
            line += std::string(5, ' ');
        }
    }
    if (ch2) {
        line += "[CH2]" + s.cursorVText[kCaptionCh2];
        if (s.fftOn || s.mathOn) {
            line += std::string(5, ' ');
        }
    }
    if (s.fftOn) {
        line += "[FFT]" + s.cursorVText[kCaptionFft];
    } else if (s.mathOn) {
        line += "[MATH]" + s.cursorVText[kCaptionMath];
    }
    return line;
}

}  // namespace

std::string InfoLabelValue(std::string_view labelText) {
    const auto lf = labelText.find('\n');
    std::string_view v = lf == std::string_view::npos ? labelText : labelText.substr(lf + 1);
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!v.empty() && blank(v.front())) {
        v.remove_prefix(1);
    }
    while (!v.empty() && blank(v.back())) {
        v.remove_suffix(1);
    }
    return std::string(v);
}

void FillCaptionFromMirrors(const InstrumentSettings& m, ImageCaptionSettings& s) {
    s.rollActive = m.rollActive != 0;
    s.equivalentActive = m.equivalentActive != 0;
    s.samplingTimeText = m.samplingTimeText;
    s.waveformMode = m.waveformMode;
    for (std::size_t ch = 0; ch < 2; ++ch) {
        s.channels[ch].shown = m.channelOn[ch] != 0;
        s.channels[ch].displayCoupling = m.displayCoupling[ch];
        s.channels[ch].bandwidthLimit = m.bandwidthLimit[ch];
    }
    s.fftOn = m.fftOn != 0;
    s.fftWindow = m.fftWindow;
    s.mathOn = m.mathOn != 0;
    s.pulseCondition = m.pulseCondition;
    s.cursorTOn = m.cursorTOn != 0;
    s.cursorVOn = m.cursorVOn != 0;
}

ImageCaption BuildImageCaption(const ImageCaptionSettings& s, std::string_view dateTimeText) {
    ImageCaption c;
    c.title = "≪ ZEP-9100 Image ≫";
    c.dateTime = std::string(dateTimeText);
    c.sampling = SamplingLine(s);
    c.time = TimeLine(s);
    c.waveform = WaveformLine(s);
    c.memory = "MemorySize : " + s.memorySizeText;
    c.channel = ChannelLine(s);
    if (!s.rollActive) {
        c.trigger = TriggerLine(s);
    }
    if (s.cursorTOn) {
        c.timeCursor = (s.fftOn ? "[Time (FFT)]" : "[Time]") + s.cursorTText;
    }
    if (s.cursorVOn) {
        std::string line = VoltCursorLine(s);
        if (!line.empty()) {
            c.voltCursor = std::move(line);
        }
    }
    return c;
}

}  // namespace lumatrace
