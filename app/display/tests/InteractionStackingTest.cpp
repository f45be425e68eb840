#include <gtest/gtest.h>

#include "app/display/TraceStacking.h"
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
