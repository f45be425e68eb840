// Every remote command through the fake instrument: what it sets, what it
// answers, the errors it gives, and the status commands.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/remote/RemoteCommands.h"
#include "app/remote/ScpiInterpreter.h"
#include "app/remote/ScpiResponse.h"
#include "app/remote/testing/FakeInstrument.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {
namespace {

using Preset = std::function<void(FakeInstrument&)>;

class RemoteCommandsFixture : public ::testing::Test {
  protected:
    std::string Send(std::string message) {
        interpreter.Execute(conversation, std::move(message));
        return conversation.response.str();
    }
    std::vector<int> Errors() {
        std::vector<int> codes;
        while (status.Count() > 0) {
            codes.push_back(status.Pop().code);
        }
        return codes;
    }
    void Fresh() {
        fake = FakeInstrument{};
        fake.calls.clear();
        Errors();
    }

    FakeInstrument fake;
    ScpiStatus status;
    RemoteCommands commands{fake, status};
    ScpiInterpreter interpreter{commands.table(), status};
    ScpiConversation conversation;
};

struct SetCase {
    const char* command;
    std::vector<std::string> calls;
    int error = 0;
    Preset setup = nullptr;
};

// Each command on a fresh instrument: the setters it called and its error.
class SetCommandsFixture : public RemoteCommandsFixture {
  protected:
    void Check(std::initializer_list<SetCase> cases) {
        for (const SetCase& c : cases) {
            Fresh();
            if (c.setup) {
                c.setup(fake);
            }
            EXPECT_EQ(Send(c.command), "") << c.command;
            EXPECT_EQ(fake.calls, c.calls) << c.command;
            EXPECT_EQ(Errors(), c.error ? std::vector<int>{c.error} : std::vector<int>{})
                << c.command;
        }
    }
};

const Preset kProbeX1 = [](FakeInstrument& f) { f.state.channels[0].probeIndex = 0; };
const Preset kLargeMemory = [](FakeInstrument& f) {
    f.state.acquire.largeMemory = true;
    f.state.acquire.memoryIndex = 2;
};
const Preset kExternal = [](FakeInstrument& f) { f.state.triggerSource = 2; };

TEST_F(SetCommandsFixture, ChannelCommands) {
    Check({
        {":CHAN1:DISP OFF", {"SetChannelShown(0,0)"}},
        {":CHANNEL2:DISPLAY 1", {"SetChannelShown(1,1)"}},
        {":CHAN3:DISP 1", {}, -114},
        {":CHAN0:DISP 1", {}, -114},
        {":CHAN1:DISP", {}, -109},
        {":CHAN1:DISP ON,OFF", {}, -108},
        {":CHAN1:DISP MAYBE", {}, -224},
        // Probe x10: 100 mV .. 20 V.
        {":CHAN1:SCAL 0.5", {"SetVoltsPerDiv(0,2)"}},
        {":CHAN1:SCAL 500mV", {"SetVoltsPerDiv(0,2)"}},
        {":CHAN1:SCAL 0.3", {"SetVoltsPerDiv(0,1)"}},  // nearer 0.2 than 0.5 on a log scale
        {":CHAN1:SCAL 0.35", {"SetVoltsPerDiv(0,2)"}},
        {":CHAN1:SCAL 20", {"SetVoltsPerDiv(0,7)"}},
        {":CHAN1:SCAL MAX", {"SetVoltsPerDiv(0,7)"}},
        {":CHAN1:SCAL MIN", {"SetVoltsPerDiv(0,0)"}},
        {":CHAN1:SCAL 21", {}, -222},
        {":CHAN1:SCAL 0.09", {}, -222},
        {":CHAN1:SCAL 1S", {}, -131},
        {":CHAN1:SCAL ON", {}, -224},
        {":CHAN1:SCAL 10mV", {"SetVoltsPerDiv(0,0)"}, 0, kProbeX1},
        {":CHAN1:SCAL 5", {}, -222, kProbeX1},
        {":CHAN1:PROB 1", {"SetProbe(0,0)"}},
        {":CHAN1:PROB 10", {"SetProbe(0,1)"}},
        {":CHAN2:PROB 100", {"SetProbe(1,2)"}},
        {":CHAN1:PROB 50", {}, -224},
        {":CHAN1:PROB 1000", {}, -222},
        {":CHAN1:PROB 0.5", {}, -222},
        {":CHAN1:PROB 10V", {}, -138},
        {":CHAN1:PROB MAX", {"SetProbe(0,2)"}},
        {":CHAN2:PROB MIN", {"SetProbe(1,0)"}},
        {":CHAN2:COUP GND", {"SetCoupling(1,2)"}},
        {":CHAN2:COUP ac", {"SetCoupling(1,1)"}},
        {":CHAN2:COUP DC", {"SetCoupling(1,0)"}},
        {":CHAN2:COUP 1", {}, -104},
        {":CHAN2:COUP LFR", {}, -224},
        {":CHAN1:BWL ON", {"SetBandwidthLimit(0,1)"}},
        {":CHAN3:BWL ON", {}, -114},
        {":CHAN3:COUP DC", {}, -114},
        {":CHAN1:BWL 0", {"SetBandwidthLimit(0,0)"}},
        // Divisions above the centre, 1/50 division steps, positions 1..500.
        {":CHAN1:POS 1.5", {"SetChannelPosition(0,175)"}},
        {":CHAN1:POS 1.2DIV", {"SetChannelPosition(0,190)"}},
        {":CHAN1:POS -5", {"SetChannelPosition(0,500)"}},
        {":CHAN1:POS 4.98", {"SetChannelPosition(0,1)"}},
        {":CHAN1:POS 0.03", {"SetChannelPosition(0,248)"}},
        {":CHAN1:POS MIN", {"SetChannelPosition(0,500)"}},
        {":CHAN1:POS MAX", {"SetChannelPosition(0,1)"}},
        {":CHAN1:POS DEF", {"SetChannelPosition(0,250)"}},
        {":CHAN1:POS 5", {}, -222},
        {":CHAN1:POS -5.02", {}, -222},
        {":CHAN1:POS 1V", {}, -131},
    });
}

TEST_F(SetCommandsFixture, TimebaseAndAcquireCommands) {
    Check({
        // 10k points: 1 ns .. 10 s per division.
        {":TIM:SCAL 2US", {"SetTimeDiv(10)"}},
        {":TIMEBASE:SCALE 200e-6", {"SetTimeDiv(16)"}},
        {":TIM:SCAL 1NS", {"SetTimeDiv(0)"}},
        {":TIM:SCAL 10", {"SetTimeDiv(30)"}},
        {":TIM:SCAL 3e-3", {"SetTimeDiv(19)"}},
        {":TIM:SCAL 20", {}, -222},
        {":TIM:SCAL 0.5NS", {}, -222},
        {":TIM:SCAL MAX", {"SetTimeDiv(30)"}},
        {":TIM:SCAL 1000", {"SetTimeDiv(36)"}, 0, kLargeMemory},
        {":TIM:SCAL 2MV", {}, -131},
        // Trigger position in samples: 10 .. points - 100.
        {":TIM:POS 5000", {"SetTriggerPosition(5000)"}},
        {":TIM:POS 5000.4", {"SetTriggerPosition(5000)"}},
        {":TIM:POS MIN", {"SetTriggerPosition(10)"}},
        {":TIM:POS MAX", {"SetTriggerPosition(9900)"}},
        {":TIM:POS 9", {}, -222},
        {":TIM:POS 9901", {}, -222},
        {":TIM:POS 999900", {"SetTriggerPosition(999900)"}, 0, kLargeMemory},
        {":ACQ:POIN 100000", {"SetMemorySize(1)"}},
        {":ACQ:POIN 1e4", {"SetMemorySize(0)"}},
        {":ACQ:POIN 1000000", {}, -222},
        {":ACQ:POIN 1000000", {"SetMemorySize(2)"}, 0, kLargeMemory},
        {":ACQ:POIN 50000", {}, -224},
        {":ACQ:POIN MAX", {"SetMemorySize(1)"}},
        {":ACQ:POIN MAX", {"SetMemorySize(2)"}, 0, kLargeMemory},
        {":ACQ:POIN MIN", {"SetMemorySize(0)"}},
        {":ACQ:MODE AVER", {"SetWaveformMode(1)"}},
        {":ACQ:MODE envelope", {"SetWaveformMode(2)"}},
        {":ACQ:MODE SAMP", {"SetWaveformMode(0)"}},
        {":ACQ:MODE PEAK", {}, -224},
        // Counts: list A 2..512, list B 2..128 at 1M points.
        {":ACQ:COUN 16", {"SetAcquireCount(3)"}},
        {":ACQ:COUN 512", {"SetAcquireCount(8)"}},
        {":ACQ:COUN 512", {}, -222, kLargeMemory},
        {":ACQ:COUN 128", {"SetAcquireCount(6)"}, 0, kLargeMemory},
        {":ACQ:COUN 3", {}, -224},
        {":ACQ:COUN 1", {}, -222},
        {":ACQ:COUN MIN", {"SetAcquireCount(0)"}},
        {":ACQ:COUN MAX", {"SetAcquireCount(8)"}},
        {":ACQ:COUN DEF", {}, -224},
        {":ACQ:EQU OFF", {"SetEquivalentAllowed(0)"}},
        {":ACQ:ROLL 0", {"SetRollAllowed(0)"}},
        {":ACQ:ROLL ON", {"SetRollAllowed(1)"}},
    });
}

TEST_F(SetCommandsFixture, TriggerAndRunCommands) {
    const Preset ch2Fine = [](FakeInstrument& f) {
        f.state.triggerSource = 1;
        f.state.channels[1].position = 200;
        f.state.channels[1].probeIndex = 0;
        f.state.channels[1].voltsPerDivIndex = 0;  // 10 mV/div
    };
    const Preset runningAuto = [](FakeInstrument& f) { f.state.runMode = kRunAuto; };
    const Preset runningNormal = [](FakeInstrument& f) { f.state.runMode = kRunNormal; };
    Check({
        {":TRIG:SOUR CH2", {"SetTriggerSource(1)"}},
        {":TRIG:SOUR EXT", {"SetTriggerSource(2)"}},
        {":TRIG:SOUR CHAN1", {"SetTriggerSource(0)"}},
        {":TRIG:SOUR MATH", {}, -224},
        {":TRIG:COUP LFR", {"SetTriggerCoupling(1)"}},
        {":TRIG:COUP HFReject", {"SetTriggerCoupling(2)"}},
        {":TRIG:COUP LFR", {}, -221, kExternal},
        {":TRIG:COUP DC", {"SetTriggerCoupling(0)"}, 0, kExternal},
        {":TRIG:SLOP NEG", {"SetTriggerSlope(1)"}},
        {":TRIG:SLOP POSITIVE", {"SetTriggerSlope(0)"}},
        // CH1 at the centre, 500 mV/div: 0.5 V is one division above.
        {":TRIG:LEV 0.5", {"SetTriggerLevel(200)"}},
        {":TRIG:LEV -1", {"SetTriggerLevel(350)"}},
        {":TRIG:LEV 10mV", {"SetTriggerLevel(249)"}},
        {":TRIG:LEV MAX", {"SetTriggerLevel(1)"}},
        {":TRIG:LEV MIN", {"SetTriggerLevel(500)"}},
        {":TRIG:LEV 2.5", {}, -222},
        {":TRIG:LEV 5", {}, -222},
        {":TRIG:LEV 20mV", {"SetTriggerLevel(100)"}, 0, ch2Fine},
        {":TRIG:LEV -0.5", {"SetTriggerLevel(300)"}, 0, kExternal},
        {":RUN", {"Run(Auto)"}},
        {":TRIG:MODE NORM;:RUN", {"Run(Normal)"}},
        {":TRIG:MODE NORM;:AUTO;:STOP;:RUN", {"Run(Auto)", "Run(Stop)", "Run(Auto)"}},
        {":SING", {"Run(Single)"}},
        {":STOP", {"Run(Stop)"}},
        {":AUTO", {"Run(Auto)"}},
        {":RUN 1", {}, -108},
        {":TRIG:MODE NORM", {"Run(Normal)"}, 0, runningAuto},
        {":TRIG:MODE AUTO", {"Run(Auto)"}, 0, runningNormal},
        {":TRIG:MODE AUTO", {}, 0, runningAuto},
        {":TRIG:MODE FREE", {}, -224},
    });
}

TEST_F(SetCommandsFixture, MathSpectrumAndFileCommands) {
    Check({
        {":MATH:DISP ON", {"SetMathShown(1)"}},
        {":MATH:OPER SUBT", {"SetMathOperator(1)"}},
        {":MATH:OPER multiply", {"SetMathOperator(2)"}},
        {":MATH:OPER DIV", {"SetMathOperator(3)"}},
        {":MATH:OPER MUL", {}, -224},
        {":MATH:SOUR2 CH1", {"SetMathOperand(1,0)"}},
        {":MATH:SOUR CH2", {"SetMathOperand(0,1)"}},
        {":MATH:SOUR3 CH1", {}, -114},
        {":FFT:DISP 1", {"SetFftShown(1)"}},
        {":FFT:SOUR CH2", {"SetFftSource(1)"}},
        {":FFT:SOUR MATH", {}, -224},
        {":FFT:WIND RECT", {"SetFftWindow(0)"}},
        {":FFT:WIND HAMM", {"SetFftWindow(1)"}},
        {":FFT:WIND HANNING", {"SetFftWindow(2)"}},
        {":FFT:WIND BHAR", {"SetFftWindow(3)"}},
        {":SAVE:SET \"/tmp/run 1.zep\"", {"SaveWaveformSet(/tmp/run 1.zep)"}},
        {":SAVE:SET '/tmp/A.ZEP'", {"SaveWaveformSet(/tmp/A.ZEP)"}},
        {":SAVE:SET \"/tmp/a.csv\"", {}, -257},
        {":SAVE:SET \".zep\"", {}, -257},
        {":SAVE:SET abc", {}, -104},
        {":SAVE:IMAG \"shot.png\"", {"SaveImage(shot.png,0)"}},
        {":SAVE:IMAG \"shot.bmp\"", {"SaveImage(shot.bmp,1)"}},
        {":SAVE:IMAG \"shot.JPG\"", {"SaveImage(shot.JPG,2)"}},
        {":SAVE:IMAG \"shot.jpeg\"", {"SaveImage(shot.jpeg,2)"}},
        {":SAVE:IMAG \"shot.gif\"", {}, -257},
        {":SAVE:IMAG \".png\"", {}, -257},
    });
}

TEST_F(RemoteCommandsFixture, ARefusalOfThePanelBecomesTheError) {
    fake.failNext = RemoteStatus::Fail(-221, "stop the acquisition first");
    Send(":ACQ:POIN 100000");
    EXPECT_EQ(fake.calls, std::vector<std::string>{"SetMemorySize(1)"});
    EXPECT_EQ(fake.state.acquire.memoryIndex, 0);
    EXPECT_EQ(Send(":SYST:ERR?"), "-221,\"Settings conflict;stop the acquisition first\"\n");
}

struct QueryCase {
    const char* query;
    const char* response;
    Preset setup = nullptr;
};

TEST_F(RemoteCommandsFixture, QueriesAnswerThePanelState) {
    const QueryCase cases[] = {
        {"*IDN?", "ORVEX,ZEP-9100,0,2.20"},
        {":SYST:ERR?", "0,\"No error\""},
        {":SYST:ERR:COUN?", "0"},
        {":SYST:VERS?", "1999.0"},
        {":CHAN1:DISP?", "1"},
        {":CHAN1:SCAL?", "5.0E-01"},
        {":CHAN1:PROB?", "10"},
        {":CHAN1:COUP?", "DC"},
        {":CHAN1:BWL?", "0"},
        {":CHAN1:POS?", "0.0E+00"},
        {":TIM:SCAL?", "2.0E-04"},
        {":TIM:POS?", "5000"},
        {":ACQ:POIN?", "10000"},
        {":ACQ:MODE?", "SAMP"},
        {":ACQ:COUN?", "2"},
        {":ACQ:EQU?", "1"},
        {":ACQ:ROLL?", "1"},
        {":TRIG:SOUR?", "CH1"},
        {":TRIG:COUP?", "DC"},
        {":TRIG:SLOP?", "POS"},
        {":TRIG:LEV?", "0.0E+00"},
        {":TRIG:MODE?", "AUTO"},
        {":TRIG:STAT?", "STOP"},
        {":MATH:DISP?", "0"},
        {":MATH:OPER?", "ADD"},
        {":MATH:SOUR1?", "CH1"},
        {":MATH:SOUR2?", "CH2"},
        {":FFT:DISP?", "0"},
        {":FFT:SOUR?", "CH1"},
        {":FFT:WIND?", "RECT"},
        {":WAV:SOUR?", "CH1"},
        {":WAV:FORM?", "WORD"},
        {":CHAN2:SCAL?", "2.0E+02",
         [](FakeInstrument& f) {
             f.state.channels[1].probeIndex = 2;
             f.state.channels[1].voltsPerDivIndex = 7;
         }},
        {":CHAN1:POS?", "1.5E+00", [](FakeInstrument& f) { f.state.channels[0].position = 175; }},
        {":CHAN1:POS?", "4.98E+00", [](FakeInstrument& f) { f.state.channels[0].position = 1; }},
        {":CHAN1:COUP?", "GND", [](FakeInstrument& f) { f.state.channels[0].couplingIndex = 2; }},
        // The <n> of a per-channel setting reads that channel's copy only.
        {":CHAN2:DISP?", "0", [](FakeInstrument& f) { f.state.channels[1].shown = false; }},
        {":CHAN1:DISP?", "1", [](FakeInstrument& f) { f.state.channels[1].shown = false; }},
        {":CHAN2:BWL?", "1", [](FakeInstrument& f) { f.state.channels[1].bandwidthLimit = true; }},
        {":CHAN1:BWL?", "0", [](FakeInstrument& f) { f.state.channels[1].bandwidthLimit = true; }},
        {":CHAN2:COUP?", "AC", [](FakeInstrument& f) { f.state.channels[1].couplingIndex = 1; }},
        {":MATH:SOUR2?", "CH1", [](FakeInstrument& f) { f.state.math.secondOperand = 0; }},
        {":MATH:SOUR1?", "CH2", [](FakeInstrument& f) { f.state.math.firstOperand = 1; }},
        {":TRIG:LEV?", "5.0E-01", [](FakeInstrument& f) { f.state.triggerLevel = 200; }},
        {":TIM:SCAL?", "1.0E-09", [](FakeInstrument& f) { f.state.timebase.timeDivIndex = 0; }},
        {":TIM:SCAL?", "1.0E+03", [](FakeInstrument& f) { f.state.timebase.timeDivIndex = 36; }},
        {":ACQ:COUN?", "128",
         [](FakeInstrument& f) {
             f.state.acquire.memoryIndex = 2;
             f.state.acquire.countIndex = 6;
         }},
        {":ACQ:POIN?", "1000000", [](FakeInstrument& f) { f.state.acquire.memoryIndex = 2; }},
        {":ACQ:MODE?", "ENV", [](FakeInstrument& f) { f.state.acquire.waveformMode = 2; }},
        {":TRIG:COUP?", "HFR", [](FakeInstrument& f) { f.state.triggerCoupling = 2; }},
        {":TRIG:SOUR?", "EXT", kExternal},
        {":TRIG:SLOP?", "NEG", [](FakeInstrument& f) { f.state.triggerSlope = 1; }},
        {":TRIG:MODE?", "NORM", [](FakeInstrument& f) { f.state.runMode = kRunNormal; }},
        {":TRIG:MODE?", "NORM", [](FakeInstrument& f) { f.state.runMode = kRunSingle; }},
        {":TRIG:MODE?", "AUTO", [](FakeInstrument& f) { f.state.runMode = kRunAuto; }},
        {":TRIG:STAT?", "WAIT",
         [](FakeInstrument& f) { f.state.triggerStatus = RemoteTriggerStatus::kWaitForTrigger; }},
        {":TRIG:STAT?", "TRIG",
         [](FakeInstrument& f) { f.state.triggerStatus = RemoteTriggerStatus::kTriggered; }},
        {":TRIG:STAT?", "PRET",
         [](FakeInstrument& f) { f.state.triggerStatus = RemoteTriggerStatus::kPreTrigger; }},
        {":TRIG:STAT?", "AUTO",
         [](FakeInstrument& f) { f.state.triggerStatus = RemoteTriggerStatus::kAutoTriggered; }},
        {":TRIG:STAT?", "NONE",
         [](FakeInstrument& f) { f.state.triggerStatus = RemoteTriggerStatus::kBlank; }},
        {":MATH:OPER?", "DIV", [](FakeInstrument& f) { f.state.math.operatorIndex = 3; }},
        {":FFT:WIND?", "BHAR", [](FakeInstrument& f) { f.state.fft.window = 3; }},
        {"*IDN?", "Maker  Inc,ZEP-9100,A 1,2.20",
         [](FakeInstrument& f) {
             f.identity.maker = "Maker, Inc";
             f.identity.serial = "A;1";
         }},
        {"*IDN?", "ORVEX,ZEP-9100,0,2.20", [](FakeInstrument& f) { f.identity.serial = ""; }},
    };
    for (const QueryCase& c : cases) {
        Fresh();
        if (c.setup) {
            c.setup(fake);
        }
        EXPECT_EQ(Send(c.query), std::string(c.response) + "\n") << c.query;
        EXPECT_TRUE(Errors().empty()) << c.query;
        EXPECT_TRUE(fake.calls.empty()) << c.query;
        // Queries take no parameters.
        Send(std::string(c.query) + " 1");
        EXPECT_EQ(Errors(), std::vector<int>{-108}) << c.query;
    }
}

TEST_F(RemoteCommandsFixture, PerChannelQueriesRefuseAnotherSuffix) {
    for (const char* query : {":CHAN3:DISP?", ":CHAN0:BWL?", ":CHAN3:COUP?", ":CHAN3:SCAL?",
                              ":CHAN3:PROB?", ":CHAN3:POS?", ":MATH:SOUR3?"}) {
        Fresh();
        EXPECT_EQ(Send(query), "") << query;
        EXPECT_EQ(Errors(), std::vector<int>{-114}) << query;
    }
}

TEST_F(RemoteCommandsFixture, EveryValueReadBackSetsTheSameItem) {
    for (int probe = 0; probe < kProbeCount; ++probe) {
        for (int i = 0; i < kVoltsPerDivCount; ++i) {
            Fresh();
            fake.state.channels[0].probeIndex = probe;
            fake.state.channels[0].voltsPerDivIndex = i;
            const std::string value = Send(":CHAN1:SCAL?");
            fake.state.channels[0].voltsPerDivIndex = -1;
            Send(":CHAN1:SCAL " + value);
            EXPECT_EQ(fake.state.channels[0].voltsPerDivIndex, i) << value;
        }
    }
    for (int memory = 0; memory < kMemorySizeCount; ++memory) {
        for (int i = 0; i < TimeDivCount(memory); ++i) {
            Fresh();
            fake.state.acquire.memoryIndex = memory;
            fake.state.timebase.timeDivIndex = i;
            const std::string value = Send(":TIM:SCAL?");
            fake.state.timebase.timeDivIndex = -1;
            Send(":TIM:SCAL " + value);
            EXPECT_EQ(fake.state.timebase.timeDivIndex, i) << value;
        }
    }
    for (int position = 1; position <= 500; ++position) {
        Fresh();
        fake.state.channels[1].position = position;
        const std::string value = Send(":CHAN2:POS?");
        fake.state.channels[1].position = -1;
        Send(":CHAN2:POS " + value);
        EXPECT_EQ(fake.state.channels[1].position, position) << value;
    }
    // Trigger levels in every channel scale, the source away from the centre.
    for (int probe = 0; probe < kProbeCount; ++probe) {
        for (int i = 0; i < kVoltsPerDivCount; ++i) {
            for (int level = 1; level <= 500; level += 7) {
                Fresh();
                fake.state.channels[0] = {true, i, probe, 0, false, 123};
                fake.state.triggerLevel = level;
                const std::string value = Send(":TRIG:LEV?");
                fake.state.triggerLevel = -1;
                Send(":TRIG:LEV " + value);
                EXPECT_EQ(fake.state.triggerLevel, level) << value;
            }
        }
    }
    EXPECT_TRUE(Errors().empty());
}

TEST_F(RemoteCommandsFixture, OperationCompleteWaitsForASingleRun) {
    EXPECT_EQ(Send("*OPC?"), "1\n");

    EXPECT_EQ(interpreter.Execute(conversation, ":SING;*OPC?;:TRIG:STAT?"),
              ScpiInterpreter::Outcome::kWaiting);
    EXPECT_EQ(interpreter.Resume(conversation), ScpiInterpreter::Outcome::kWaiting);
    fake.FinishSingle();
    ASSERT_EQ(interpreter.Resume(conversation), ScpiInterpreter::Outcome::kDone);
    EXPECT_EQ(conversation.response.str(), "1;STOP\n");

    EXPECT_EQ(interpreter.Execute(conversation, ":SING;*WAI;:TRIG:STAT?"),
              ScpiInterpreter::Outcome::kWaiting);
    fake.FinishSingle();
    ASSERT_EQ(interpreter.Resume(conversation), ScpiInterpreter::Outcome::kDone);
    EXPECT_EQ(conversation.response.str(), "STOP\n");

    // *OPC sets the event bit once the run has ended.
    Send("*ESR?");
    Send(":SING;*OPC");
    EXPECT_EQ(Send("*ESR?"), "0\n");
    fake.FinishSingle();
    EXPECT_EQ(Send("*ESR?"), "1\n");
    EXPECT_EQ(Send("*ESR?"), "0\n");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(RemoteCommandsFixture, StatusRegistersAndClear) {
    EXPECT_EQ(Send("*ESR?"), "128\n");  // power on
    EXPECT_EQ(Send("*ESE 36;*ESE?"), "36\n");
    EXPECT_EQ(Send("*SRE 255;*SRE?"), "191\n");  // bit 6 is not an enable bit
    EXPECT_EQ(Send("*STB?"), "0\n");
    Send(":NOPE");
    EXPECT_EQ(Send("*STB?"), "100\n");  // error queue, event summary, master summary
    EXPECT_EQ(Send("*ESR?"), "32\n");
    Send(":NOPE");
    Send("*CLS");
    EXPECT_EQ(Send(":SYST:ERR:COUN?;*ESR?;*STB?"), "0;0;0\n");
    Send("*ESE 256");
    EXPECT_EQ(Errors(), std::vector<int>{-222});
    Send("*ESE");
    EXPECT_EQ(Errors(), std::vector<int>{-109});
}

TEST_F(RemoteCommandsFixture, ResetRestoresTheRemoteSettingsToo) {
    Send(":WAV:SOUR MATH;FORM ASC;:TRIG:MODE NORM");
    EXPECT_EQ(Send(":WAV:SOUR?;FORM?;:TRIG:MODE?"), "MATH;ASC;NORM\n");
    fake.state.channels[0].position = 100;
    Send("*RST");
    EXPECT_EQ(fake.calls.back(), "Reset()");
    EXPECT_EQ(fake.state.channels[0].position, 250);
    EXPECT_EQ(Send(":WAV:SOUR?;FORM?;:TRIG:MODE?"), "CH1;WORD;AUTO\n");
}

TEST_F(RemoteCommandsFixture, MeasurementsNeedTheEngine) {
    EXPECT_EQ(Send(":MEAS:VPP? CH1"), "");
    const ScpiErrorEntry e = status.Pop();
    EXPECT_EQ(e.code, -200);
    EXPECT_EQ(FormatScpiError(e), "-200,\"Execution error;no measurement engine\"");
    EXPECT_TRUE(fake.calls.empty());

    fake.measurementEngine = true;
    fake.measurements["vpp"] = 1.5;
    fake.measurements["frequency"] = std::nullopt;
    EXPECT_EQ(Send(":MEAS:VPP? CH1"), "1.5E+00\n");
    EXPECT_EQ(Send(":MEASURE:FREQUENCY? CHAN2"), "9.91E+37\n");  // undefined: not a number
    EXPECT_EQ(Send(":MEAS:DEL?"), "9.91E+37\n");
    EXPECT_EQ(Send(":MEAS:VRMS? MATH"), "9.91E+37\n");
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"Measure(vpp,0)", "Measure(frequency,1)",
                                                    "Measure(delay,0)", "Measure(vrms,2)"}));
    EXPECT_TRUE(Errors().empty());
    Send(":MEAS:VPP?");
    Send(":MEAS:DEL? CH1");
    Send(":MEAS:VPP? EXT");
    EXPECT_EQ(Errors(), (std::vector<int>{-109, -108, -224}));
    fake.failNext = RemoteStatus::Fail(-230, "no record");
    EXPECT_EQ(Send(":MEAS:VPP? CH1"), "");
    EXPECT_EQ(Errors(), std::vector<int>{-230});

    // Every measurement of the catalogue is reachable by its header.
    for (const RemoteMeasureEntry& m : RemoteMeasurements()) {
        fake.calls.clear();
        const std::string query =
            ":MEAS:" + std::string(m.header) + "?" + (m.takesSource ? " CH2" : "");
        Send(query);
        EXPECT_EQ(fake.calls, std::vector<std::string>{"Measure(" + std::string(m.name) + "," +
                                                       (m.takesSource ? "1" : "0") + ")"})
            << query;
    }
    EXPECT_TRUE(Errors().empty());
}

// A record of five samples around the centre: 0.5 V/div, 10 ns per sample.
RemoteRecord SmallRecord() {
    RemoteRecord r;
    r.codes = {0, 512, 1023, kRemoteNoSample, 100};
    r.xIncrement = 1e-8;
    r.xOrigin = -5e-5;
    r.yIncrement = 5.0 / 1024.0;
    r.yOrigin = 512.0;
    return r;
}

TEST_F(RemoteCommandsFixture, WaveformDataInEveryFormat) {
    fake.records[RemoteSource::kCh2] = SmallRecord();
    Send(":WAV:SOUR CH2");

    const std::string word = Send(":WAV:DATA?");
    const unsigned char wordBytes[] = {0x00, 0x00, 0x00, 0x02, 0xFF, 0x03, 0xFF, 0xFF, 0x64, 0x00};
    EXPECT_EQ(word, "#210" + std::string(reinterpret_cast<const char*>(wordBytes), 10) + "\n");
    EXPECT_EQ(Send(":WAV:PRE?"), "1,5,1.0E-08,-5.0E-05,4.8828125E-03,5.12E+02,512\n");

    Send(":WAV:FORM BYTE");
    const unsigned char byteBytes[] = {0, 128, 254, 255, 25};
    EXPECT_EQ(Send(":WAV:DATA?"),
              "#15" + std::string(reinterpret_cast<const char*>(byteBytes), 5) + "\n");
    EXPECT_EQ(Send(":WAV:PRE?"), "0,5,1.0E-08,-5.0E-05,1.953125E-02,1.28E+02,128\n");

    Send(":WAV:FORM ASCII");
    const std::string ascii = "-2.5E+00,0.0E+00,2.4951171875E+00,nan,-2.01171875E+00";
    EXPECT_EQ(Send(":WAV:DATA?"), DefiniteBlockHeader(ascii.size()) + ascii + "\n");
    EXPECT_EQ(Send(":WAV:PRE?"), "2,5,1.0E-08,-5.0E-05,4.8828125E-03,5.12E+02,512\n");

    // No record for a source: the target's error, no response.
    Send(":WAV:SOUR MATH");
    EXPECT_EQ(Send(":WAV:DATA?"), "");
    EXPECT_EQ(Send(":WAV:PRE?"), "");
    EXPECT_EQ(Errors(), (std::vector<int>{-230, -230}));
}

TEST_F(RemoteCommandsFixture, LentWordsGiveTheSameDataAsCodes) {
    // CH1 in the low half, CH2 in the high half; all ones is no sample for
    // either, a half of 0xFFFF no sample for that channel.
    std::vector<std::uint32_t> words = {0x03FF0000, 0x02000100, 0xFFFFFFFF,
                                        0xFFFF0064, 0x00000200, 0x01230321};
    std::mt19937 random(5);
    for (int i = 0; i < 5000; ++i) {
        const unsigned r = random();
        const std::uint32_t ch1 = r % 40 == 0 ? 0xFFFF : r % 1024;
        const std::uint32_t ch2 = r % 37 == 0 ? 0xFFFF : (r >> 10) % 1024;
        words.push_back(r % 53 == 0 ? 0xFFFFFFFF : ch1 | (ch2 << 16));
    }
    for (const unsigned shift : {0u, 16u}) {
        RemoteRecord lent = SmallRecord();
        lent.codes.clear();
        lent.words = words;
        lent.shift = shift;
        // The plain reference: the codes copied out one by one.
        RemoteRecord copied = SmallRecord();
        copied.codes.clear();
        for (const std::uint32_t w : words) {
            copied.codes.push_back(static_cast<std::uint16_t>((w >> shift) & 0xFFFF));
        }
        for (const char* format : {"WORD", "BYTE", "ASC"}) {
            Send(std::string(":WAV:FORM ") + format);
            fake.records[RemoteSource::kCh1] = lent;
            const std::string fromWords = Send(":WAV:DATA?;PRE?");
            fake.records[RemoteSource::kCh1] = copied;
            EXPECT_EQ(fromWords, Send(":WAV:DATA?;PRE?")) << format << " " << shift;
        }
    }
    EXPECT_TRUE(Errors().empty());
}

TEST_F(RemoteCommandsFixture, WordBlocksDecodeToTheRecord) {
    // A long record with gaps, decoded the way a client does it.
    RemoteRecord record = SmallRecord();
    std::mt19937 random(3);
    record.codes.resize(100000);
    for (auto& code : record.codes) {
        const unsigned r = random();
        code = (r % 50 == 0) ? kRemoteNoSample : static_cast<std::uint16_t>(r % 1024);
    }
    fake.records[RemoteSource::kCh1] = record;
    const std::string response = Send(":WAV:DATA?");
    ASSERT_EQ(response.substr(0, 8), "#6200000");
    ASSERT_EQ(response.size(), 8 + 200000 + 1u);
    EXPECT_EQ(response.back(), '\n');
    for (std::size_t i = 0; i < record.codes.size(); ++i) {
        const auto lo = static_cast<unsigned char>(response[8 + 2 * i]);
        const auto hi = static_cast<unsigned char>(response[8 + 2 * i + 1]);
        ASSERT_EQ(lo | (hi << 8), record.codes[i]) << i;
    }
}

}  // namespace
}  // namespace lumatrace
