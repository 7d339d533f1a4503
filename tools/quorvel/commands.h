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
// A PNG of IN (WSQ by its first bytes, else any loadable format) no larger than size x size.
int run_thumbnail(const std::string& input, const std::string& output, int size);
int run_roundtrip(const std::vector<std::string>& files, const std::vector<double>& bitrates);

// "quorvel: <message>" on standard error.
void report_error(const std::string& message);

}  // namespace quorvel::tool
