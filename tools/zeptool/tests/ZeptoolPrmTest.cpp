#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "app/settings/ParamFile.h"
#include "app/settings/tests/ParamFileTestData.h"
#include "tools/zeptool/Zeptool.h"

extern char** environ;

namespace lumatrace {
namespace {

namespace fs = std::filesystem;
using namespace testdata;

// A strict JSON syntax check (RFC 8259), enough to catch a missing comma, a
// stray control character or a bad escape in what the tool prints.
class JsonChecker {
  public:
    explicit JsonChecker(std::string_view text) : s_(text) {}

    bool Valid() {
        Space();
        if (!Value(0)) {
            return false;
        }
        Space();
        return i_ == s_.size();
    }

  private:
    bool Value(int depth) {
        if (depth > 100 || i_ >= s_.size()) {
            return false;
        }
        switch (s_[i_]) {
            case '{':
                return Container(depth, '}', true);
            case '[':
                return Container(depth, ']', false);
            case '"':
                return String();
            case 't':
                return Word("true");
            case 'f':
                return Word("false");
            case 'n':
                return Word("null");
            default:
                return Number();
        }
    }
    bool Container(int depth, char close, bool object) {
        ++i_;
        Space();
        if (Peek(close)) {
            ++i_;
            return true;
        }
        for (;;) {
            if (object) {
                if (!String()) {
                    return false;
                }
                Space();
                if (!Peek(':')) {
                    return false;
                }
                ++i_;
                Space();
            }
            if (!Value(depth + 1)) {
                return false;
            }
            Space();
            if (Peek(',')) {
                ++i_;
                Space();
                continue;
            }
            if (Peek(close)) {
                ++i_;
                return true;
            }
            return false;
        }
    }
    bool String() {
        if (!Peek('"')) {
            return false;
        }
        ++i_;
        while (i_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                ++i_;
                if (i_ >= s_.size()) {
                    return false;
                }
                const char e = s_[i_];
                if (e == 'u') {
                    for (int k = 1; k <= 4; ++k) {
                        if (i_ + k >= s_.size() ||
                            !std::isxdigit(static_cast<unsigned char>(s_[i_ + k]))) {
                            return false;
                        }
                    }
                    i_ += 4;
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
            }
            ++i_;
        }
        return false;
    }
    bool Number() {
        const std::size_t start = i_;
        if (Peek('-')) {
            ++i_;
        }
        const std::size_t digits = i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) {
            ++i_;
        }
        if (i_ == digits || (s_[digits] == '0' && i_ - digits > 1)) {
            return false;
        }
        if (Peek('.')) {
            ++i_;
            const std::size_t frac = i_;
            while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) {
                ++i_;
            }
            if (i_ == frac) {
                return false;
            }
        }
        if (Peek('e') || Peek('E')) {
            ++i_;
            if (Peek('+') || Peek('-')) {
                ++i_;
            }
            const std::size_t exp = i_;
            while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) {
                ++i_;
            }
            if (i_ == exp) {
                return false;
            }
        }
        return i_ > start;
    }
    bool Word(std::string_view w) {
        if (s_.substr(i_, w.size()) != w) {
            return false;
        }
        i_ += w.size();
        return true;
    }
    bool Peek(char c) const { return i_ < s_.size() && s_[i_] == c; }
    void Space() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\t' || s_[i_] == '\r')) {
            ++i_;
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ZeptoolPrm : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumatrace-zeptool-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path WriteFile(const std::string& name, const Bytes& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p;
    }

    // Runs the real program with stdout and stderr captured in files.
    ToolRun Execute(const std::vector<std::string>& args) {
        const fs::path outFile = dir_ / "stdout";
        const fs::path errFile = dir_ / "stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<std::string> argv{LUMATRACE_ZEPTOOL};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargs;
        for (std::string& a : argv) {
            cargs.push_back(a.data());
        }
        cargs.push_back(nullptr);
        pid_t pid = 0;
        ToolRun run;
        const int rc =
            ::posix_spawn(&pid, LUMATRACE_ZEPTOOL, &actions, nullptr, cargs.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0);
        if (rc != 0) {
            return run;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = Slurp(outFile);
        run.err = Slurp(errFile);
        return run;
    }

    // The same in this process.
    static ToolRun InProcess(const std::vector<std::string>& args) {
        std::ostringstream out;
        std::ostringstream err;
        ToolRun run;
        run.exitCode = RunZeptool(args, out, err);
        run.out = out.str();
        run.err = err.str();
        return run;
    }

    fs::path dir_;
};

TEST_F(ZeptoolPrm, PrintsAVersion20FileWithTheProgramsNames) {
    const fs::path file = WriteFile("old.prm", Version20File());
    const ToolRun run = Execute({"prm", file.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_TRUE(JsonChecker(run.out).Valid()) << run.out;
    const char* expected[] = {
        "\"version\": 2,",
        "\"headerSize\": 184,",
        "\"displayColors\": [65793, 131586, 197379, 263172, 328965, 394758, 460551, 526344, "
        "592137, 657930],",
        "\"itemPositions\": [200, 201, 202, 203, 204, 205, 206, 207, 208, 209],",
        "\"state\": 2,",
        "\"A_Scale\": true,",
        "\"A_Grid\": false,",
        "\"CheckBoxRoll\": false,",
        "\"trigLevelOffset\": -12.5,",
        "\"trigCouplingBySource\": [1, 2],",
        "\"reserved\": 77,",
        "\"fftVScaleIndex\": [9, 6],",
        "\"fftPositionByType\": [410, 90],",
        "\"GroupBoxVert\": null,",
        "\"SpeedButtonCh1\": {\n      \"class\": \"TSpeedButton\",\n      \"Down\": true,\n"
        "      \"Font.Color\": 255\n    },",
        // Decoded from the Japanese code page; upgraded by "x100".
        "\"ComboBoxTrigSp\": {\n      \"class\": \"TComboBox\",\n      \"Items.Strings\": [\n"
        "        \"↑\",\n        \"↓\"\n      ],\n      \"ItemIndex\": 1\n    },",
        "\"ComboBoxPb2\": {\n      \"class\": \"TComboBox\",\n      \"Items.Strings\": [\n"
        "        \"x1\",\n        \"x10\",\n        \"x100\"\n      ],\n      \"ItemIndex\": 0\n   "
        " },",
        "\"RdBtnAbove\": {\n      \"class\": \"TRadioButton\",\n      \"Checked\": true\n    },",
        "\"RdBtnFftWndBh\": {\n      \"class\": \"TRadioButton\",\n      \"Checked\": false\n    "
        "}\n  }\n}\n",
    };
    for (const char* e : expected) {
        EXPECT_NE(run.out.find(e), std::string::npos) << e << "\n--- in ---\n" << run.out;
    }
}

TEST_F(ZeptoolPrm, EscapesWhateverTheListsHold) {
    ParamSnapshot s = DefaultSnapshot();
    s.Control(ParamControl::ComboBoxMath)->items =
        std::vector<std::string>{"a\"b\\c", std::string("tab\there\x01", 9), "能\xF0\x9F\x98\x80"};
    s.Control(ParamControl::ComboBoxMath)->itemIndex = 2;
    const auto bytes = EncodeParamFile(s);
    ASSERT_TRUE(bytes.has_value());
    const ToolRun run = Execute({"prm", WriteFile("odd.prm", *bytes).string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(JsonChecker(run.out).Valid()) << run.out;
    EXPECT_NE(
        run.out.find(
            "\"a\\\"b\\\\c\",\n        \"tab\\there\\u0001\",\n        \"能\xF0\x9F\x98\x80\""),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"version\": 2.1,"), std::string::npos);
    EXPECT_NE(run.out.find("\"GroupBoxVert\": {\n      \"class\": \"TGroupBox\"\n    },"),
              std::string::npos);
}

TEST_F(ZeptoolPrm, ReportsBadFilesAndCommandLines) {
    Bytes old = OldHeader(0.02);
    Append(old, CommonRecords({"x1", "x10"}));
    const fs::path tooOld = WriteFile("old.prm", old);
    struct Case {
        const char* label;
        std::vector<std::string> args;
        int exitCode;
        std::string errContains;
    };
    const Case cases[] = {
        {"no command", {}, kZeptoolUsage, "usage: zeptool COMMAND"},
        {"unknown command", {"frobnicate"}, kZeptoolUsage, "unknown command 'frobnicate'"},
        {"prm without a file", {"prm"}, kZeptoolUsage, "usage: zeptool prm FILE"},
        {"prm with two files", {"prm", "a", "b"}, kZeptoolUsage, "usage: zeptool prm FILE"},
        {"missing file",
         {"prm", (dir_ / "none.prm").string()},
         kZeptoolFailed,
         "none.prm: No such file or directory"},
        {"a folder", {"prm", dir_.string()}, kZeptoolFailed, "Is a directory"},
        {"version 0.02",
         {"prm", tooOld.string()},
         kZeptoolFailed,
         "not a readable parameter file: version 0.02 is below 0.03"},
    };
    for (const Case& c : cases) {
        const ToolRun run = InProcess(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.label;
        EXPECT_TRUE(run.out.empty()) << c.label << ": " << run.out;
        EXPECT_NE(run.err.find(c.errContains), std::string::npos) << c.label << ": " << run.err;
    }
    // The real program passes the exit code and the message on.
    const ToolRun real = Execute({"prm", tooOld.string()});
    EXPECT_EQ(real.exitCode, kZeptoolFailed);
    EXPECT_TRUE(real.out.empty());
    EXPECT_NE(real.err.find("below 0.03"), std::string::npos) << real.err;

    const ToolRun help = InProcess({"help"});
    EXPECT_EQ(help.exitCode, kZeptoolOk);
    EXPECT_NE(help.out.find("prm FILE"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace lumatrace
