#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/display/TraceStacking.h"
#include "app/display/testing/ViewInvariants.h"
#include "app/display/tests/InteractionFakeHost.h"

namespace lumatrace {
namespace {

// Layers of CH1, CH2 and the third trace.
struct Triple {
    int ch1, ch2, third;
    friend bool operator==(const Triple&, const Triple&) = default;
};

TraceOrder Order(Triple t, bool fftOn) {
    TraceOrder o{0, 0, 0, 3, 3};
    o[kTraceCh1] = t.ch1;
    o[kTraceCh2] = t.ch2;
    o[ThirdTrace(fftOn)] = t.third;
    return o;
}

Triple Of(const TraceOrder& o, bool fftOn) {
    return {o[kTraceCh1], o[kTraceCh2], o[ThirdTrace(fftOn)]};
}

void PrintTo(const Triple& t, std::ostream* os) {
    *os << "{" << t.ch1 << "," << t.ch2 << "," << t.third << "}";
}

TEST(InteractionStacking, SelectingAndSwitchingOff) {
    struct Case {
        const char* name;
        bool bringToFront;
        int trace;
        Triple before;
        Triple after;
    };
    const Case cases[] = {
        {"CH2 from the middle", true, kTraceCh2, {1, 2, 3}, {2, 1, 3}},
        {"third from the back", true, kTraceMath, {1, 2, 3}, {2, 3, 1}},
        {"already in front", true, kTraceCh1, {1, 2, 3}, {1, 2, 3}},
        {"nobody in front", true, kTraceCh2, {2, 3, 3}, {2, 1, 3}},
        {"CH1 off from the front", false, kTraceCh1, {1, 2, 3}, {3, 1, 2}},
        {"middle off", false, kTraceCh2, {1, 2, 3}, {1, 3, 2}},
        {"already at the back", false, kTraceMath, {1, 2, 3}, {1, 2, 3}},
    };
    for (bool fftOn : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            const int trace = c.trace == kTraceMath ? ThirdTrace(fftOn) : c.trace;
            TraceOrder order = Order(c.before, fftOn);
            if (c.bringToFront)
                BringTraceToFront(order, trace, fftOn);
            else
                SendTraceToBack(order, trace, fftOn);
            EXPECT_EQ(Of(order, fftOn), c.after);
        }
    }
}

TEST(InteractionStacking, RightButtonRestacksWhatIsInReach) {
    struct Case {
        const char* name;
        std::array<bool, 3> reach;
        Triple before;
        bool changed;
        Triple after;
    };
    const Case cases[] = {
        {"two: the one behind comes forward", {true, true, false}, {1, 2, 3}, true, {2, 1, 3}},
        {"two: third behind CH1", {true, false, true}, {1, 2, 3}, true, {2, 3, 1}},
        {"two: front and back", {false, true, true}, {2, 3, 1}, true, {3, 1, 2}},
        {"three rotate", {true, true, true}, {1, 2, 3}, true, {3, 1, 2}},
        {"three rotate again", {true, true, true}, {3, 1, 2}, true, {2, 3, 1}},
        {"one in reach", {false, true, false}, {1, 2, 3}, false, {1, 2, 3}},
        {"none in reach", {false, false, false}, {1, 2, 3}, false, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceOrder order = Order(c.before, false);
        EXPECT_EQ(RestackInReach(order, c.reach, false), c.changed);
        EXPECT_EQ(Of(order, false), c.after);
    }
    // With the FFT on, the FFT trace is the third one and MATH is left alone.
    TraceOrder order = {1, 2, 0, 2, 3};
    EXPECT_TRUE(RestackInReach(order, {true, false, true}, true));
    EXPECT_EQ(order, (TraceOrder{2, 3, 0, 2, 1}));
}

TEST(InteractionStacking, SwitchingTheSpectrumOnAndOff) {
    ViewSettings view;
    view.traceOrder = {1, 2, 0, 3, 3};
    testing::RecordingInteractionHost host;
    view.fftOn = true;
    TraceSwitched(view, kTraceFft, true, host);
    EXPECT_EQ(view.traceOrder, (TraceOrder{2, 3, 0, 3, 1}));
    EXPECT_EQ(host.scrollHint, kScrollHintSpectrum);

    // Reported after fftOn was cleared: still the FFT's triple.
    view.fftOn = false;
    TraceSwitched(view, kTraceFft, false, host);
    EXPECT_EQ(view.traceOrder, (TraceOrder{1, 2, 0, 3, 3}));
    EXPECT_EQ(host.scrollHint, kScrollHintTime);
}

// One thing the user does to the stack, as the main window reports it: a trace button
// (the FFT switch changes fftOn before it is reported), a trace selected by its up-down or
// marker, or a right click on markers in reach.
struct StackStep {
    std::string name;
    std::function<void(ViewSettings&, InteractionHost&)> apply;
};

StackStep Toggle(int trace) {
    static const char* const kNames[] = {"CH1", "CH2", "", "MATH", "FFT"};
    return {std::string(kNames[trace]) + " switched",
            [trace](ViewSettings& v, InteractionHost& host) {
                bool on = false;
                if (trace == kTraceCh1 || trace == kTraceCh2)
                    on = v.channelOn[trace] = !v.channelOn[trace];
                else if (trace == kTraceMath)
                    on = v.mathOn = !v.mathOn;
                else
                    on = v.fftOn = !v.fftOn;
                TraceSwitched(v, trace, on, host);
            }};
}

StackStep Select(int trace) {
    static const char* const kNames[] = {"CH1", "CH2", "", "MATH", "FFT"};
    return {std::string(kNames[trace]) + " selected", [trace](ViewSettings& v, InteractionHost&) {
                BringTraceToFront(v.traceOrder, trace, v.fftOn);
            }};
}

StackStep RightClick(std::array<bool, 3> reach) {
    std::string name = "right click on";
    for (int i = 0; i < 3; ++i)
        name += reach[i] ? " x" : " -";
    return {name, [reach](ViewSettings& v, InteractionHost&) {
                RestackInReach(v.traceOrder, reach, v.fftOn);
            }};
}

// Everything the user can do to the stack. MATH's button is disabled while the FFT is on, but
// the stack must not depend on that.
std::vector<StackStep> AllStackSteps() {
    std::vector<StackStep> steps = {Toggle(kTraceCh1), Toggle(kTraceCh2), Toggle(kTraceMath),
                                    Toggle(kTraceFft)};
    for (int trace : {kTraceCh1, kTraceCh2, kTraceMath, kTraceFft})
        steps.push_back(Select(trace));
    for (const std::array<bool, 3>& reach :
         {std::array<bool, 3>{true, true, false}, std::array<bool, 3>{true, false, true},
          std::array<bool, 3>{false, true, true}, std::array<bool, 3>{true, true, true}})
        steps.push_back(RightClick(reach));
    return steps;
}

TEST(InteractionStacking, ShownTracesKeepTheirOwnLayersThroughSequences) {
    const std::vector<StackStep> all = AllStackSteps();
    const auto step = [&](const std::string& name) {
        for (const StackStep& s : all) {
            if (s.name == name)
                return s;
        }
        ADD_FAILURE() << "no step " << name;
        return all.front();
    };
    const std::vector<std::vector<std::string>> sequences = {
        {"MATH switched", "FFT switched", "FFT switched"},
        {"MATH switched", "CH1 selected", "FFT switched", "FFT switched"},
        {"FFT switched", "CH2 selected", "FFT switched", "MATH switched"},
        {"MATH switched", "FFT switched", "right click on x - x", "FFT switched"},
        {"MATH switched", "CH1 switched", "FFT switched", "CH1 switched", "FFT switched"},
        {"FFT switched", "FFT selected", "FFT switched", "MATH switched", "FFT switched",
         "CH2 selected", "FFT switched"},
        {"MATH switched", "right click on x x x", "FFT switched", "right click on - x x",
         "FFT switched", "CH2 switched", "CH2 switched"},
    };
    for (const std::vector<std::string>& sequence : sequences) {
        ViewSettings view;
        testing::RecordingInteractionHost host;
        std::string done;
        for (const std::string& name : sequence) {
            done += (done.empty() ? "" : ", ") + name;
            step(name).apply(view, host);
            EXPECT_EQ(testing::CheckTraceLayers(view), "") << "after " << done;
        }
    }
}

// Every state the steps can reach from the start, each step checked: no sequence at all ends
// with two traces on show on one layer.
TEST(InteractionStacking, NoSequenceOfStepsPutsTwoShownTracesOnOneLayer) {
    const std::vector<StackStep> all = AllStackSteps();
    const auto key = [](const ViewSettings& v) {
        std::string k;
        for (int layer : v.traceOrder)
            k += static_cast<char>('0' + layer);
        for (bool on : {v.channelOn[0], v.channelOn[1], v.mathOn, v.fftOn})
            k += on ? '1' : '0';
        return k;
    };
    std::map<std::string, std::string> path;  // state -> the steps that first reached it
    std::deque<ViewSettings> open;
    open.push_back(ViewSettings{});
    path[key(open.front())] = "start";
    testing::RecordingInteractionHost host;
    int failures = 0;
    while (!open.empty() && failures < 5) {
        const ViewSettings from = open.front();
        open.pop_front();
        for (const StackStep& step : all) {
            ViewSettings to = from;
            step.apply(to, host);
            const std::string k = key(to);
            if (path.count(k) != 0)
                continue;
            path[k] = path[key(from)] + ", " + step.name;
            const std::string broken = testing::CheckTraceLayers(to);
            if (!broken.empty()) {
                ++failures;
                ADD_FAILURE() << broken << " after " << path[k];
                continue;
            }
            open.push_back(to);
        }
    }
    // The walk covered the combinations: every on/off state of the four switches at least.
    EXPECT_GT(path.size(), 16u * 6u);
}

TEST(InteractionStacking, ChangeSwitchesScrollModeHintAndTriggerPosition) {
    struct Case {
        const char* name;
        bool fftOn;
        int fftLayer;
        bool roll;
        std::vector<std::string> calls;
        std::string_view hint;
    };
    const Case cases[] = {
        {"spectrum in front",
         true,
         1,
         false,
         {"scroll mode spectrum", "trigp disabled"},
         kScrollHintSpectrum},
        {"spectrum behind", true, 2, false, {"scroll mode time", "trigp enabled"}, kScrollHintTime},
        {"no spectrum", false, 1, false, {"scroll mode time", "trigp enabled"}, kScrollHintTime},
        {"roll running", false, 1, true, {"scroll mode time", "trigp disabled"}, kScrollHintTime},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ViewSettings view;
        view.fftOn = c.fftOn;
        view.traceOrder = {2, 3, 0, 3, c.fftLayer};
        view.rollActive = c.roll;
        view.runMode = c.roll ? kRunAuto : kRunStop;
        testing::RecordingInteractionHost host;
        StackingChanged(view, host);
        std::vector<std::string> expect = c.calls;
        expect.push_back("readout CursorT");
        EXPECT_EQ(host.calls, expect);
        EXPECT_EQ(host.scrollHint, c.hint);
    }
    EXPECT_EQ(kScrollHintTime, "波形表示位置移動(Ctrl+←/→/PageUp/PageDown/Home/End)");
    EXPECT_EQ(kScrollHintSpectrum, "波形表示位置移動(Ctrl+←/→/PageUp/PageDown/Insert/Home/End)");
}

}  // namespace
}  // namespace lumatrace
