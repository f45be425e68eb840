#include "tools/zeptool/Zeptool.h"

#include <algorithm>
#include <vector>

#include "app/platform/FileStore.h"
#include "app/settings/ParamFile.h"
#include "tools/zeptool/MeasureCommand.h"
#include "tools/zeptool/PrmCommand.h"
#include "tools/zeptool/WaveformCommands.h"

namespace lumatrace {

namespace {

// Files larger than this are not ones the program writes.
constexpr std::size_t kMaxInput = 64 * 1024 * 1024;

struct Command {
    const char* name;
    const char* arguments;
    const char* summary;
    int (*run)(std::span<const std::string> args, std::ostream& out, std::ostream& err);
};

int UsageError(std::ostream& err, const Command& command) {
    err << "usage: zeptool " << command.name << ' ' << command.arguments << '\n';
    return kZeptoolUsage;
}

bool ReadInput(const std::string& path, std::vector<std::uint8_t>& data, std::ostream& err) {
    LocalFileStore files;
    const FileStatus status = files.ReadAll(path, data, kMaxInput);
    if (!status.ok()) {
        err << "zeptool: " << path << ": " << status.error << '\n';
        return false;
    }
    return true;
}

int RunPrm(std::span<const std::string> args, std::ostream& out, std::ostream& err);

const Command kCommands[] = {
    {"prm", "FILE", "print a parameter file (Zep9100.prm) as JSON", RunPrm},
    {"info", "SET.zep", "print a waveform set's settings and a summary of its samples as JSON",
     RunWaveformInfo},
    {"export", "SET.zep [--format csv|json] [-o FILE]",
     "write a waveform set's record as CSV or JSON", RunWaveformExport},
    {"measure", "SET.zep [--gate record|cursors] [--channel CH1|CH2|MATH]",
     "print the automatic measurements of a waveform set's record as JSON", RunMeasure},
};

int RunPrm(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        return UsageError(err, kCommands[0]);
    }
    std::vector<std::uint8_t> data;
    if (!ReadInput(args[0], data, err)) {
        return kZeptoolFailed;
    }
    const ParamDecodeResult decoded = DecodeParamFile(data);
    if (!decoded.ok) {
        err << "zeptool: " << args[0] << ": not a readable parameter file: " << decoded.error
            << '\n';
        return kZeptoolFailed;
    }
    WriteParamFileJson(decoded, out);
    return out.good() ? kZeptoolOk : kZeptoolFailed;
}

void Help(std::ostream& out) {
    out << "usage: zeptool COMMAND [ARGUMENTS]\n\ncommands:\n";
    for (const Command& c : kCommands) {
        std::string left = std::string(c.name) + ' ' + c.arguments;
        left.resize(std::max<std::size_t>(left.size() + 2, 18), ' ');
        out << "  " << left << c.summary << '\n';
    }
    out << "  help              show this text\n"
           "\nmissing samples (NULL in the set's CSV files, or not held by the set):\n"
           "  info leaves them out of present, minCode and maxCode; export writes them\n"
           "  as empty code and volts fields (CSV) or as null (JSON)\n";
}

}  // namespace

int RunZeptool(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        Help(err);
        return kZeptoolUsage;
    }
    const std::string& name = args[0];
    if (name == "help" || name == "-h" || name == "--help") {
        Help(out);
        return kZeptoolOk;
    }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            return c.run(args.subspan(1), out, err);
        }
    }
    err << "zeptool: unknown command '" << name << "'\n";
    Help(err);
    return kZeptoolUsage;
}

}  // namespace lumatrace
