#include "texts/format.h"

#include <vector>

#include "texts/exceptions.h"
#include "texts/format_directive.h"
#include "texts/resource_strings.h"
#include "texts/runtime_messages.h"

namespace xg {
namespace {

[[noreturn]] void ThrowFormatError(const ResourceString& message, const std::string& format) {
  throw EConvertError(Format(LoadResString(message), {format}));
}

// The number's text; a precision beyond the 64 digits of the shared buffer is padded here.
std::string FormatInteger(int64_t value, char conversion, int precision) {
  char buffer[kFormatNumberBufferSize];
  std::string text(FormatDirectiveNumber(buffer, value, conversion, precision));
  const size_t sign = text[0] == '-' ? 1 : 0;
  if (conversion != 'p' && precision > 0 && text.size() - sign < static_cast<size_t>(precision))
    text.insert(sign, precision - (text.size() - sign), '0');
  return text;
}

}  // namespace

std::string Format(const std::string& format, std::initializer_list<FormatArg> args) {
  const std::vector<FormatArg> arguments(args);
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    const FormatDirective directive = ReadFormatDirective(format, i, next);
    if (directive.conversion == 0) ThrowFormatError(SInvalidFormat, format);
    if (directive.argument_index >= arguments.size()) ThrowFormatError(SArgumentMissing, format);
    const FormatArg& arg = arguments[directive.argument_index];
    const char conversion = directive.conversion;
    std::string piece;
    if (conversion == 's') {
      const auto* text = std::get_if<std::string>(&arg);
      if (!text) ThrowFormatError(SInvalidFormat, format);
      piece = *text;
      if (directive.precision >= 0 && piece.size() > static_cast<size_t>(directive.precision))
        piece.resize(directive.precision);
    } else if (conversion == 'd' || conversion == 'x' || conversion == 'p' || conversion == 'u') {
      const auto* value = std::get_if<int64_t>(&arg);
      if (!value) ThrowFormatError(SInvalidFormat, format);
      piece = FormatInteger(*value, conversion, directive.precision);
    } else {
      ThrowFormatError(SInvalidFormat, format);
    }
    if (piece.size() < static_cast<size_t>(directive.width)) {
      std::string pad(directive.width - piece.size(), ' ');
      piece = directive.left_align ? piece + pad : pad + piece;
    }
    out += piece;
    next = directive.argument_index + 1;
    i = directive.last;
  }
  return out;
}

}  // namespace xg
