#include <gtest/gtest.h>

#include "app/files/WaveformPath.h"

namespace lumatrace {
namespace {

TEST(WaveformPath, CommandLines) {
    struct Case {
        const char* line;
        const char* path;
    };
    const Case cases[] = {
        {"\"C:\\Program Files\\Lumatrace\\Lumatrace.exe\" \"D:\\data\\run 1.zep\"",
         "D:\\data\\run 1.zep"},
        {"\"C:\\x\\Lumatrace.exe\" D:\\data\\RUN.ZEP extra words", "D:\\data\\RUN.ZEP"},
        {"\"C:\\x\\Lumatrace.exe\"    \"  a.zep  \"  ", "a.zep"},
        {"\"C:\\x\\Lumatrace.exe\" ", ""},
        {"/home/user/波形.zep", "/home/user/波形.zep"},
        {"  \"/data/a.zep\" -x", "/data/a.zep"},
        {"/data/a.zep.zep", "/data/a.zep"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtractWaveformPath(c.line), c.path) << c.line;
    }
}

}  // namespace
}  // namespace lumatrace
