#include "runtime/format.h"

#include <vector>

#include "runtime/exceptions.h"
#include "runtime/resource_strings.h"
#include "runtime/runtime_messages.h"

namespace xg {
namespace {

[[noreturn]] void FormatFailure(const ResourceString& message, const std::string& format) {
  throw EConvertError(Format(LoadResString(message), {format}));
}

std::string Digits(uint64_t value, unsigned base) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value % base]);
    value /= base;
  } while (value != 0);
  return text;
}

std::string FormatInteger(int64_t value, char conversion, int precision) {
  bool negative = value < 0 && conversion == 'd';
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  if (conversion == 'p') precision = 8;
  std::string digits = Digits(magnitude, conversion == 'd' ? 10 : 16);
  if (precision > 0 && digits.size() < static_cast<size_t>(precision))
    digits.insert(0, precision - digits.size(), '0');
  return negative ? "-" + digits : digits;
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
    size_t j = i + 1;
    if (j < format.size() && format[j] == '%') {
      out += '%';
      i = j;
      continue;
    }
    auto readNumber = [&](int& value) {
      bool any = false;
      value = 0;
      while (j < format.size() && format[j] >= '0' && format[j] <= '9' && value < 100000) {
        value = value * 10 + (format[j++] - '0');
        any = true;
      }
      return any;
    };
    int number = 0;
    size_t index = next;
    bool leftAlign = false;
    if (j < format.size() && format[j] == '-') {
      leftAlign = true;
      ++j;
    }
    bool hasNumber = readNumber(number);
    if (hasNumber && j < format.size() && format[j] == ':') {
      index = static_cast<size_t>(number);
      ++j;
      hasNumber = false;
      if (j < format.size() && format[j] == '-') {
        leftAlign = true;
        ++j;
      }
      hasNumber = readNumber(number);
    }
    int width = hasNumber ? number : 0;
    int precision = -1;
    if (j < format.size() && format[j] == '.') {
      ++j;
      readNumber(precision);
    }
    if (j >= format.size()) FormatFailure(SInvalidFormat, format);
    char conversion = static_cast<char>(format[j] | 0x20);
    if (index >= arguments.size()) FormatFailure(SArgumentMissing, format);
    const FormatArg& arg = arguments[index];
    std::string piece;
    if (conversion == 's') {
      const auto* text = std::get_if<std::string>(&arg);
      if (!text) FormatFailure(SInvalidFormat, format);
      piece = *text;
      if (precision >= 0 && piece.size() > static_cast<size_t>(precision)) piece.resize(precision);
    } else if (conversion == 'd' || conversion == 'x' || conversion == 'p' || conversion == 'u') {
      const auto* value = std::get_if<int64_t>(&arg);
      if (!value) FormatFailure(SInvalidFormat, format);
      piece = FormatInteger(*value, conversion == 'u' ? 'd' : conversion, precision);
    } else {
      FormatFailure(SInvalidFormat, format);
    }
    if (piece.size() < static_cast<size_t>(width)) {
      std::string pad(width - piece.size(), ' ');
      piece = leftAlign ? piece + pad : pad + piece;
    }
    out += piece;
    next = index + 1;
    i = j;
  }
  return out;
}

}  // namespace xg
