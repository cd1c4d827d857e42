// Formats a message text with arguments, the way the system's message texts are written:
// "%s" a text, "%d" a decimal integer, "%x" upper-case hexadecimal, "%p" an address as eight
// upper-case hexadecimal digits, "%%" one percent sign; an optional argument index ("%0:s"),
// width ("%3d") and precision ("%.8x") as in the message texts. The formatter never reads past
// its arguments: a directive with no argument left raises EConvertError, so a format text from
// a language module cannot make it misbehave. Texts are bytes; NUL bytes pass through.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

namespace xg {

using FormatArg = std::variant<std::string, int64_t>;

std::string Format(const std::string& format, std::initializer_list<FormatArg> args);

}  // namespace xg
