// Where the SQL text and the password come from: the command line, a file, standard input or
// the terminal.
#pragma once

#include <string>
#include <string_view>

namespace xg::client {

// The whole content of a file, or of standard input for "-". Raises ClientError (a usage error)
// naming `what` when it cannot be read.
std::string ReadWholeFile(const std::string& path, std::string_view what);

// The first line of a password file, without its line end.
std::string ReadPasswordFile(const std::string& path);

// Asks for the password on the controlling terminal with echo off (standard input may carry the
// SQL). Raises ClientError (a usage error) when the process has no terminal.
std::string PromptPassword(const std::string& prompt);

}  // namespace xg::client
