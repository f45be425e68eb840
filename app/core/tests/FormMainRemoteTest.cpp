// Remote commands against the real main window: each must change the panel
// and the settings as the user's own action does, show in the controls, and
// survive a restart through the parameter file.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTest>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "app/core/tests/FormMainFixture.h"
#include "app/remote/RemoteCommands.h"
#include "app/remote/RemoteInstrument.h"
#include "app/remote/ScpiInterpreter.h"

namespace lumatrace {
namespace {

struct FormMainRemote : FormMainTest {
    std::unique_ptr<RemoteInstrument> instrument;
    ScpiStatus status;
    std::unique_ptr<RemoteCommands> commands;
    std::unique_ptr<ScpiInterpreter> interpreter;

    void Connect() {
        interpreter.reset();
        commands.reset();
        instrument = form->CreateRemoteInstrument();
        commands = std::make_unique<RemoteCommands>(*instrument, status);
        interpreter = std::make_unique<ScpiInterpreter>(commands->table(), status);
    }
    void StartRemote() {
        Start("seed = 1");
        ASSERT_FALSE(form->StartupFailed());
        Connect();
    }
    void RestartRemote() {
        interpreter.reset();
        commands.reset();
        instrument.reset();
        Restart();
        Connect();
    }
    // One program message, as the server runs it: a waiting message is
    // resumed while the window's event loop runs.
    std::string Send(const std::string& message) {
        ScpiConversation c;
        ScpiInterpreter::Outcome outcome = interpreter->Execute(c, message);
        for (int waited = 0; outcome == ScpiInterpreter::Outcome::kWaiting && waited < kWaitMs;
             waited += 10) {
            QTest::qWait(10);
            outcome = interpreter->Resume(c);
        }
        EXPECT_EQ(outcome, ScpiInterpreter::Outcome::kDone) << message;
        std::string r = c.response.str();
        if (!r.empty() && r.back() == '\n') {
            r.pop_back();
        }
        return r;
    }
    std::string Errors() {
        std::string all;
        for (int i = 0; i < 40; ++i) {
            const std::string e = Send(":SYST:ERR?");
            if (e.rfind("0,", 0) == 0) {
                break;
            }
            all += e + "\n";
        }
        return all;
    }
};

struct CommandCase {
    const char* name;
    const char* command;
    const char* query;
    const char* answer;
    // What the user's own action would have left in the window.
    std::function<bool(TFormMain&)> shows;
};

TEST_F(FormMainRemote, EachCommandActsThroughThePanel) {
    StartRemote();
    const CommandCase cases[] = {
        {"time base", ":TIM:SCAL 1ms", ":TIM:SCAL?", "1.0E-03",
         [](TFormMain& f) {
             return f.Settings().timePerDiv == 1000000.0L &&
                    f.ComboBoxTd->currentIndex() == f.Panel().Index(PanelList::Td);
         }},
        {"V/div at probe x10", ":CHAN1:SCAL 1", ":CHAN1:SCAL?", "1.0E+00",
         [](TFormMain& f) {
             return f.Settings().voltsPerDivMv[0] == 100 &&
                    f.ComboBoxVd1->currentIndex() == f.Panel().Index(PanelList::Vd1);
         }},
        {"channel off", ":CHAN2:DISP OFF", ":CHAN2:DISP?", "0",
         [](TFormMain& f) {
             return f.Settings().channelOn[1] == 0 && !f.SpeedButtonCh2->isChecked();
         }},
        {"coupling", ":CHAN1:COUP AC", ":CHAN1:COUP?", "AC",
         [](TFormMain& f) {
             return f.Settings().displayCoupling[0] == 1 && f.ComboBoxCup1->currentIndex() == 1;
         }},
        {"bandwidth", ":CHAN1:BWL ON", ":CHAN1:BWL?", "1",
         [](TFormMain& f) {
             return f.Settings().bandwidthLimit[0] == 1 && f.RdBtn20MHz1->isChecked();
         }},
        {"position", ":CHAN1:POS 1", ":CHAN1:POS?", "1.0E+00",
         [](TFormMain& f) { return f.Settings().tracePosition[kTraceCh1] == 200; }},
        {"trigger position", ":TIM:POS 3000", ":TIM:POS?", "3000",
         [](TFormMain& f) { return f.Settings().trigPosition == 3000; }},
        {"trigger source", ":TRIG:SOUR CH2", ":TRIG:SOUR?", "CH2",
         [](TFormMain& f) { return f.ComboBoxTrigSrc->currentIndex() == 1; }},
        {"trigger slope", ":TRIG:SLOP NEG", ":TRIG:SLOP?", "NEG",
         [](TFormMain& f) { return f.ComboBoxTrigSp->currentIndex() == 1; }},
        {"averaging", ":ACQ:MODE AVER", ":ACQ:MODE?", "AVER",
         [](TFormMain& f) {
             return f.Settings().waveformMode == kWaveformAverage &&
                    f.ComboBoxWaveForm->currentIndex() == 1;
         }},
        {"equivalent time", ":ACQ:EQU OFF", ":ACQ:EQU?", "0",
         [](TFormMain& f) { return !f.CheckBoxEqu->isChecked(); }},
        {"math", ":MATH:DISP ON;OPER SUBT", ":MATH:DISP?;OPER?", "1;SUBT",
         [](TFormMain& f) { return f.Settings().mathOn && f.RdBtnSub->isChecked(); }},
        {"spectrum", ":FFT:DISP ON;WIND HANN", ":FFT:DISP?;WIND?", "1;HANN",
         [](TFormMain& f) { return f.Settings().fftOn && f.RdBtnFftWndHn->isChecked(); }},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Send(c.command), "");
        EXPECT_EQ(Send(c.query), c.answer);
        EXPECT_TRUE(c.shows(*form));
        EXPECT_EQ(Errors(), "");
    }

    // The parameter file keeps what the commands set, as it keeps the user's.
    RestartRemote();
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Send(c.query), c.answer);
        EXPECT_TRUE(c.shows(*form));
    }

    // *RST brings the defaults back through the same handlers.
    EXPECT_EQ(Send("*RST"), "");
    EXPECT_EQ(Send(":TIM:SCAL?;:CHAN2:DISP?;:MATH:DISP?"), "2.0E-04;1;0");
    EXPECT_EQ(form->Settings().timePerDiv, 200000.0L);
    EXPECT_EQ(Errors(), "");
}

TEST_F(FormMainRemote, ASingleRunDeliversTheRecordItMeasures) {
    StartRemote();
    EXPECT_EQ(Send(":TIM:SCAL 500us;:CHAN1:SCAL 1"), "");
    EXPECT_EQ(Send(":SING;*OPC?"), "1");
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(Send(":TRIG:STAT?"), "STOP");

    RemoteRecord record;
    ASSERT_TRUE(instrument->Record(RemoteSource::kCh1, record).ok());
    ASSERT_EQ(record.size(), 10000u);
    EXPECT_DOUBLE_EQ(record.xIncrement * 10000, 10 * 500e-6);
    EXPECT_DOUBLE_EQ(record.yIncrement, 10.0 / 1024);
    int low = 1023;
    int high = 0;
    for (std::size_t i = 0; i < record.size(); ++i) {
        ASSERT_NE(record.Code(i), kRemoteNoSample) << i;
        low = std::min<int>(low, record.Code(i));
        high = std::max<int>(high, record.Code(i));
    }
    // The virtual instrument's default: 2 V peak to peak.
    EXPECT_NEAR((high - low) * record.yIncrement, 2.0, 0.05);

    EXPECT_NEAR(std::stod(Send(":MEAS:FREQ? CH1")), 1000.0, 10.0);
    EXPECT_NEAR(std::stod(Send(":MEAS:VPP? CH1")), (high - low) * record.yIncrement, 1e-9);
    // MATH is off: no value, never a made-up one.
    EXPECT_EQ(Send(":MEAS:FREQ? MATH"), "9.91E+37");

    // The operands are disabled on the panel while MATH is off: refused as there.
    EXPECT_EQ(Send(":MATH:SOUR2 CH1"), "");
    EXPECT_EQ(Errors(), "-221,\"Settings conflict;RdBtnMath21 is disabled\"\n");
    // MATH = CH1 - CH1 is zero everywhere, on its own zero line.
    EXPECT_EQ(Send(":MATH:DISP ON;SOUR2 CH1;OPER SUBT"), "");
    EXPECT_EQ(Send(":MATH:SOUR1?;SOUR2?;OPER?"), "CH1;CH1;SUBT");
    RemoteRecord math;
    ASSERT_TRUE(instrument->Record(RemoteSource::kMath, math).ok());
    ASSERT_EQ(math.size(), 10000u);
    for (std::size_t i = 0; i < math.size(); ++i) {
        ASSERT_EQ(math.Code(i), static_cast<std::uint16_t>(std::lround(math.yOrigin))) << i;
    }
    EXPECT_EQ(Errors(), "");
}

TEST_F(FormMainRemote, IdentifiesTheInstrument) {
    StartRemote();
    const std::string idn = Send("*IDN?");
    EXPECT_EQ(idn.rfind("ORVEX,ZEP-9100,", 0), 0u) << idn;
}

}  // namespace
}  // namespace lumatrace
