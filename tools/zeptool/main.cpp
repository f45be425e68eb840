#include <iostream>
#include <string>
#include <vector>

#include "tools/zeptool/Zeptool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::ios::sync_with_stdio(false);
    const int rc = lumatrace::RunZeptool(args, std::cout, std::cerr);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "zeptool: cannot write the output\n";
        return lumatrace::kZeptoolFailed;
    }
    return rc;
}
