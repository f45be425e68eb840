// Header matching, the compound header rule, errors that end a message,
// deferred units, and the parameter helpers handlers use.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/remote/ScpiCommandTable.h"
#include "app/remote/ScpiInterpreter.h"

namespace lumatrace {
namespace {

// A table whose handlers log "<pattern>[suffixes](parameter count)".
class InterpreterFixture : public ::testing::Test {
  protected:
    InterpreterFixture() {
        for (const char* pattern :
             {":TRIGger:LEVel", ":TRIGger:SLOPe", ":TRIGger:LEVel?", ":CHANnel<n>:SCALe",
              ":CHANnel<n>:SCALe?", ":MATH:SOURce<n>", ":SYSTem:ERRor[:NEXT]?",
              ":SYSTem:ERRor:COUNt?", ":RUN", ":OUTPut<n>[:STATe]", "*CLS", "*IDN?"}) {
            table.Add(pattern, [this, pattern](ScpiCall& c) {
                std::string entry = pattern;
                entry += "[";
                for (const int suffix : c.suffixes()) {
                    entry += std::to_string(suffix);
                }
                entry += "](" + std::to_string(c.parameters().size()) + ")";
                log.push_back(entry);
                if (c.query()) {
                    c.Respond(pattern);
                }
            });
        }
        table.Add(":EXEC", [](ScpiCall& c) { c.Error(-222); });
        table.Add(":CMDERR", [](ScpiCall& c) { c.Error(-109); });
        table.Add(":WAIT", [this](ScpiCall& c) {
            if (busy) {
                c.Defer();
                return;
            }
            log.push_back("waited");
        });
        table.Add(":ASK?", [](ScpiCall& c) { c.Respond("42"); });
    }

    std::string Run(std::string message) {
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

    ScpiCommandTable table;
    ScpiStatus status;
    ScpiInterpreter interpreter{table, status};
    ScpiConversation conversation;
    std::vector<std::string> log;
    bool busy = false;
};

TEST_F(InterpreterFixture, ShortAndLongFormsInAnyCase) {
    struct Case {
        const char* message;
        const char* logged;  // nullptr: undefined header
    };
    const Case cases[] = {
        {":TRIGger:LEVel 1", ":TRIGger:LEVel[](1)"},
        {":TRIG:LEV 1", ":TRIGger:LEVel[](1)"},
        {":trigger:level 1", ":TRIGger:LEVel[](1)"},
        {"TrIg:LeV 1", ":TRIGger:LEVel[](1)"},
        {":TRIGG:LEV 1", nullptr},  // between short and long form
        {":TRI:LEV 1", nullptr},
        {":TRIGGERS:LEV 1", nullptr},
        {":CHAN:SCAL 1", ":CHANnel<n>:SCALe[1](1)"},  // suffix defaults to 1
        {":CHAN2:SCAL 1", ":CHANnel<n>:SCALe[2](1)"},
        {":channel2:scale 1", ":CHANnel<n>:SCALe[2](1)"},
        {":CHANNEL12:SCALE 1", ":CHANnel<n>:SCALe[12](1)"},
        {":TRIG2:LEV 1", nullptr},  // no suffix allowed there
        {":SYST:ERR?", ":SYSTem:ERRor[:NEXT]?[](0)"},
        {":SYST:ERR:NEXT?", ":SYSTem:ERRor[:NEXT]?[](0)"},
        {":SYST:ERR:COUN?", ":SYSTem:ERRor:COUNt?[](0)"},
        {":OUTP3", ":OUTPut<n>[:STATe][3](0)"},
        {":OUTP3:STAT", ":OUTPut<n>[:STATe][3](0)"},
        {":OUTP:STAT", ":OUTPut<n>[:STATe][1](0)"},
        {"*idn?", "*IDN?[](0)"},
        {"*IDN", nullptr},   // no command form
        {":RUN?", nullptr},  // no query form
        {":TRIG:LEV:FOO 1", nullptr},
        {":TRIG", nullptr},
    };
    for (const Case& c : cases) {
        log.clear();
        Run(c.message);
        if (c.logged) {
            ASSERT_EQ(log.size(), 1u) << c.message;
            EXPECT_EQ(log[0], c.logged) << c.message;
            EXPECT_TRUE(Errors().empty()) << c.message;
        } else {
            EXPECT_TRUE(log.empty()) << c.message;
            EXPECT_EQ(Errors(), std::vector<int>{-113}) << c.message;
        }
    }
}

TEST_F(InterpreterFixture, CompoundHeadersFollowThePreviousPath) {
    struct Case {
        const char* message;
        std::vector<std::string> logged;
        std::vector<int> errors;
    };
    const Case cases[] = {
        {":TRIG:LEV 1;SLOP 2", {":TRIGger:LEVel[](1)", ":TRIGger:SLOPe[](1)"}, {}},
        {":TRIG:LEV 1;:RUN", {":TRIGger:LEVel[](1)", ":RUN[](0)"}, {}},
        {":TRIG:LEV 1;*CLS;SLOP 2",
         {":TRIGger:LEVel[](1)", "*CLS[](0)", ":TRIGger:SLOPe[](1)"},
         {}},
        {":TRIG:LEV 1;RUN", {":TRIGger:LEVel[](1)"}, {-113}},
        {":CHAN2:SCAL 1;SCAL?", {":CHANnel<n>:SCALe[2](1)", ":CHANnel<n>:SCALe?[2](0)"}, {}},
        {"TRIG:LEV 1;LEV?;SLOP 1",
         {":TRIGger:LEVel[](1)", ":TRIGger:LEVel?[](0)", ":TRIGger:SLOPe[](1)"},
         {}},
        {":RUN;TRIG:LEV 1", {":RUN[](0)", ":TRIGger:LEVel[](1)"}, {}},
    };
    for (const Case& c : cases) {
        log.clear();
        Run(c.message);
        EXPECT_EQ(log, c.logged) << c.message;
        EXPECT_EQ(Errors(), c.errors) << c.message;
    }
}

TEST_F(InterpreterFixture, EveryMessageStartsAtTheRoot) {
    Run(":TRIG:LEV 1");
    log.clear();
    Run("SLOP 2");
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(Errors(), std::vector<int>{-113});
}

TEST_F(InterpreterFixture, CommandErrorsEndTheMessageExecutionErrorsDoNot) {
    Run(":RUN;:EXEC;:RUN;:CMDERR;:RUN");
    EXPECT_EQ(log, (std::vector<std::string>{":RUN[](0)", ":RUN[](0)"}));
    EXPECT_EQ(Errors(), (std::vector<int>{-222, -109}));
    log.clear();
    Run(":RUN;:NOPE;:RUN");
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(Errors(), std::vector<int>{-113});
    log.clear();
    Run(":RUN;:RUN&;:RUN");
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(Errors(), std::vector<int>{-111});
}

TEST_F(InterpreterFixture, ResponsesFormOneMessage) {
    EXPECT_EQ(Run(":ASK?"), "42\n");
    EXPECT_EQ(Run(":ASK?;:RUN;*IDN?;:ASK?"), "42;*IDN?;42\n");
    EXPECT_EQ(Run(":RUN"), "");
    // A query that fails answers nothing; the others still do.
    EXPECT_EQ(Run(":ASK?;:NOPE?;:ASK?"), "42\n");
    EXPECT_EQ(Errors(), std::vector<int>{-113});
}

TEST_F(InterpreterFixture, ADeferredUnitResumesWhereItStopped) {
    busy = true;
    EXPECT_EQ(interpreter.Execute(conversation, ":ASK?;:TRIG:LEV 1;:WAIT;SLOP 1;:ASK?"),
              ScpiInterpreter::Outcome::kWaiting);
    EXPECT_EQ(log, std::vector<std::string>{":TRIGger:LEVel[](1)"});
    EXPECT_EQ(interpreter.Resume(conversation), ScpiInterpreter::Outcome::kWaiting);
    busy = false;
    ASSERT_EQ(interpreter.Resume(conversation), ScpiInterpreter::Outcome::kDone);
    // The path after :WAIT is the root, so SLOP is undefined and ends the message.
    EXPECT_EQ(log, (std::vector<std::string>{":TRIGger:LEVel[](1)", "waited"}));
    EXPECT_EQ(conversation.response.str(), "42\n");
    EXPECT_EQ(Errors(), std::vector<int>{-113});

    busy = true;
    interpreter.Execute(conversation, ":TRIG:LEV 1;*CLS;:WAIT;:ASK?");
    busy = false;
    interpreter.Resume(conversation);
    EXPECT_EQ(conversation.response.str(), "42\n");
    // Resuming a finished conversation does nothing.
    EXPECT_EQ(interpreter.Resume(conversation), ScpiInterpreter::Outcome::kDone);
}

TEST(ScpiCommandTable, MalformedPatternsAreRefused) {
    ScpiCommandTable table;
    const auto noop = [](ScpiCall&) {};
    table.Add(":A:B", noop);
    for (const char* bad : {"A:B", ":A:B", ":A[B]", ":A[:B", ":A<n>B", ":A2", "*", ":", ""}) {
        EXPECT_THROW(table.Add(bad, noop), std::invalid_argument) << bad;
    }
}

TEST(ScpiMnemonic, ShortOrLongFormOnly) {
    struct Case {
        const char* pattern;
        const char* input;
        bool match;
    };
    const Case cases[] = {
        {"SAMPle", "SAMP", true},       {"SAMPle", "sample", true},  {"SAMPle", "SAMPL", false},
        {"SAMPle", "SAM", false},       {"VPP", "vpp", true},        {"CHANnel1", "CHAN1", true},
        {"CHANnel1", "channel1", true}, {"CHANnel1", "CHAN", false}, {"CHANnel1", "CHAN2", false},
        {"ASCii", "ASC", true},         {"ASCii", "ascii", true},    {"ON", "on", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScpiMnemonicMatches(c.pattern, c.input), c.match) << c.pattern << " " << c.input;
    }
}

TEST(ScpiMnemonic, ShortFormIsTheCapitalsAndTheDigits) {
    struct Case {
        const char* mnemonic;
        const char* shortForm;
    };
    const Case cases[] = {
        {"SAMPle", "SAMP"},  {"CHANnel1", "CHAN1"}, {"CH2", "CH2"},      {"VPP", "VPP"},
        {"LFReject", "LFR"}, {"ASCii", "ASC"},      {"EXTernal", "EXT"}, {"BHARris", "BHAR"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScpiShortForm(c.mnemonic), c.shortForm) << c.mnemonic;
    }
}

// The parameter helpers, through a table that hands the call to a lambda.
class ParameterFixture : public ::testing::Test {
  protected:
    template <typename F>
    void With(std::string parameters, F f) {
        ScpiCommandTable table;
        table.Add(":X", [&](ScpiCall& c) { f(c); });
        ScpiInterpreter interpreter(table, status);
        ScpiConversation conversation;
        interpreter.Execute(conversation, ":X " + parameters);
    }
    int LastError() {
        int code = 0;
        while (status.Count() > 0) {
            code = status.Pop().code;
        }
        return code;
    }
    ScpiStatus status;
};

TEST_F(ParameterFixture, NumbersWithUnitsAndMultipliers) {
    struct Case {
        const char* text;
        const char* unit;
        double value;  // when error is 0
        int error;
    };
    const Case cases[] = {
        {"500mV", "V", 0.5, 0},   {"500 MV", "V", 0.5, 0},     {"0.5", "V", 0.5, 0},
        {"0.5V", "V", 0.5, 0},    {"2KV", "V", 2000.0, 0},     {"3MAV", "V", 3e6, 0},
        {"2US", "S", 2e-6, 0},    {"2us", "S", 2e-6, 0},       {"5NS", "S", 5e-9, 0},
        {"100ms", "S", 0.1, 0},   {"1.5E-3S", "S", 1.5e-3, 0}, {"20PS", "S", 20e-12, 0},
        {"2MHZ", "HZ", 2e6, 0},   {"1.2DIV", "DIV", 1.2, 0},   {"MIN", "V", 0.01, 0},
        {"maximum", "V", 2.0, 0}, {"DEF", "V", 0, -224},       {"500mS", "V", 0, -131},
        {"5X", "V", 0, -131},     {"5V", "", 0, -138},         {"SAMP", "V", 0, -224},
        {"\"5\"", "V", 0, -104},  {"#15abcde", "V", 0, -104},  {"#HFFV", "V", 0, -121},
    };
    for (const Case& c : cases) {
        std::optional<double> got;
        With(c.text, [&](ScpiCall& call) {
            got = call.Number(0, {c.unit, 0.01, 2.0, std::nullopt});
        });
        const int error = LastError();
        EXPECT_EQ(error, c.error) << c.text;
        if (c.error == 0) {
            ASSERT_TRUE(got.has_value()) << c.text;
            EXPECT_EQ(*got, c.value) << c.text;  // exact: "500mV" is the same double as 0.5
        } else {
            EXPECT_FALSE(got.has_value()) << c.text;
        }
    }
}

TEST_F(ParameterFixture, BooleansChoicesStringsAndCounts) {
    struct BoolCase {
        const char* text;
        std::optional<bool> value;
        int error;
    };
    const BoolCase bools[] = {{"ON", true, 0}, {"off", false, 0}, {"1", true, 0},
                              {"0", false, 0}, {"0.4", false, 0}, {"0.6", true, 0},
                              {"-1", true, 0}, {"YES", {}, -224}, {"\"ON\"", {}, -104},
                              {"1V", {}, -138}};
    for (const BoolCase& c : bools) {
        std::optional<bool> got;
        With(c.text, [&](ScpiCall& call) { got = call.Boolean(0); });
        EXPECT_EQ(got, c.value) << c.text;
        EXPECT_EQ(LastError(), c.error) << c.text;
    }

    static constexpr ScpiChoice kChoices[] = {{"SAMPle", 0}, {"AVERage", 1}, {"CH1", 5}};
    struct ChoiceCase {
        const char* text;
        std::optional<int> value;
        int error;
    };
    const ChoiceCase choices[] = {{"SAMP", 0, 0},        {"average", 1, 0}, {"ch1", 5, 0},
                                  {"AVE", {}, -224},     {"1", {}, -104},   {"'SAMP'", {}, -104},
                                  {"CHANNEL1", {}, -224}};
    for (const ChoiceCase& c : choices) {
        std::optional<int> got;
        With(c.text, [&](ScpiCall& call) { got = call.Choice(0, kChoices); });
        EXPECT_EQ(got, c.value) << c.text;
        EXPECT_EQ(LastError(), c.error) << c.text;
    }

    std::optional<std::string> text;
    With("'a''b'", [&](ScpiCall& call) { text = call.String(0); });
    EXPECT_EQ(text, "a'b");
    With("ab", [&](ScpiCall& call) { text = call.String(0); });
    EXPECT_FALSE(text.has_value());
    EXPECT_EQ(LastError(), -104);

    bool ok = true;
    With("1,2", [&](ScpiCall& call) { ok = call.ExpectCount(1, 1); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(LastError(), -108);
    With("", [&](ScpiCall& call) { ok = call.ExpectCount(1, 1); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(LastError(), -109);
    With("", [&](ScpiCall& call) { ok = call.Number(0, {}).has_value(); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(LastError(), -109);
}

}  // namespace
}  // namespace lumatrace
