// Runs the built command-line tool and gives its exit status and what it printed.
#pragma once

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace quorvel::testing {

struct Result {
    int status;
    std::string output;  // standard output and standard error together
};

inline Result tool(const std::string& arguments) {
    std::string output =
        run_output(std::string("'") + QUORVEL_TOOL + "' " + arguments + " 2>&1; echo \"#$?\"");
    const size_t mark = output.rfind('#');
    const int status = mark == std::string::npos ? -1 : std::atoi(output.c_str() + mark + 1);
    output.resize(mark == std::string::npos ? output.size() : mark);
    return {status, output};
}

}  // namespace quorvel::testing
