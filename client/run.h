// One run of the client: the command line read, the request built and posted, the answer
// checked, read and printed.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"

namespace xg::client {

// The request an Options asks for, its texts read (files, standard input, the terminal) and
// converted to ISO-8859-1. Raises ClientError (a usage error).
Request MakeRequest(const Options& options);

// Runs the client with the arguments after the program's name: results on standard output,
// failures on standard error. Returns the exit code (ExitCode).
int Run(const std::vector<std::string>& arguments);

}  // namespace xg::client
