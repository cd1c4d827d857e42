// Formats a message text with arguments, the way the system's message texts are written:
// "%s" a text, "%d" (or "%u") a decimal integer, "%x" upper-case hexadecimal, "%p" an address as
// eight upper-case hexadecimal digits, "%%" one percent sign; an optional argument index
// ("%0:s"), "-" for left alignment, width ("%3d") and precision ("%.8x"), read as
// format_directive.h reads them. The formatter never reads past its arguments: a directive with
// no argument left raises EConvertError, so a format text from a language module cannot make it
// misbehave. Texts are bytes; NUL bytes pass through.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

namespace xg {

using FormatArg = std::variant<std::string, int64_t>;

std::string Format(const std::string& format, std::initializer_list<FormatArg> args);

}  // namespace xg
