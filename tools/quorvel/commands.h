// The tool's commands. Each returns the process exit status: 0 on success, 1 when any file
// failed (after a message on standard error naming it).
#pragma once

#include <string>
#include <vector>

#include "codec.h"

namespace quorvel::tool {

int run_encode(const std::string& input, const std::string& output, const EncodeRequest& request);
int run_decode(const std::string& input, const std::string& output);
int run_info(const std::string& input);
int run_roundtrip(const std::vector<std::string>& files, const std::vector<double>& bitrates);

// "quorvel: <message>" on standard error.
void report_error(const std::string& message);

}  // namespace quorvel::tool
