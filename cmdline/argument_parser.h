#pragma once
// The console command line: at most one command word plus switches, walked
// through one fixed keyword table into the request. A few keywords act while
// the line is parsed ("-add", "show-comment", "extract-comment-to-file", the
// document switches on the current document).

#include <string>
#include <vector>

#include "cmdline/console_request.h"

namespace cmdline {

// args[0] is the program. helperMode: args[1] is "-ii1"/"-ii2" and parsing
// starts after it. 0 parsed; 1 a keyword has done its work and ends the run
// with request.endCode; -1 refused, the reason written to the console ("No
// parameters.", "Unrecognized parameter: %s", "Bad parameter: %s", or the
// keyword's own text).
int ParseCommandLine(const std::vector<std::u16string>& args, bool helperMode, CommandLineRequest& request);

}  // namespace cmdline
