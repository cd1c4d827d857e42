#include "runtime/safe_format.h"

namespace xg {
namespace {

// Appends to the caller's buffer as far as it reaches and counts every byte offered.
class Output {
 public:
  Output(char* out, size_t capacity) : out_(out), capacity_(capacity) {}

  void Put(char c) {
    if (length_ < capacity_) out_[length_] = c;
    ++length_;
  }
  void Put(std::string_view text) {
    for (char c : text) Put(c);
  }
  void Pad(size_t count) {
    for (size_t i = 0; i < count; ++i) Put(' ');
  }
  size_t Length() const { return length_; }

 private:
  char* out_;
  size_t capacity_;
  size_t length_ = 0;
};

// The digits of a number into `buffer` (at least 64 bytes), right-aligned; returns the text.
std::string_view NumberText(char (&buffer)[72], int64_t value, char conversion, int precision) {
  static const char kDigits[] = "0123456789ABCDEF";
  const bool negative = value < 0 && conversion == 'd';
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const unsigned base = conversion == 'x' || conversion == 'p' ? 16 : 10;
  if (conversion == 'p') precision = 8;
  if (precision > 64) precision = 64;
  char* end = buffer + sizeof buffer;
  char* p = end;
  do {
    *--p = kDigits[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  while (end - p < precision) *--p = '0';
  if (negative) *--p = '-';
  return std::string_view(p, static_cast<size_t>(end - p));
}

// Reads decimal digits at `i`; false when there are none.
bool ReadNumber(std::string_view format, size_t& i, int& value) {
  bool any = false;
  value = 0;
  while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
    if (value < 100000) value = value * 10 + (format[i] - '0');
    ++i;
    any = true;
  }
  return any;
}

}  // namespace

size_t SafeFormat(char* out, size_t capacity, std::string_view format,
                  std::span<const SafeFormatArg> args) {
  Output output(out, capacity);
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      output.Put(format[i]);
      continue;
    }
    size_t j = i + 1;
    if (j < format.size() && format[j] == '%') {
      output.Put('%');
      i = j;
      continue;
    }
    size_t index = next;
    bool leftAlign = false;
    if (j < format.size() && format[j] == '-') {
      leftAlign = true;
      ++j;
    }
    int number = 0;
    bool hasNumber = ReadNumber(format, j, number);
    if (hasNumber && j < format.size() && format[j] == ':') {
      index = static_cast<size_t>(number);
      ++j;
      if (j < format.size() && format[j] == '-') {
        leftAlign = true;
        ++j;
      }
      hasNumber = ReadNumber(format, j, number);
    }
    const size_t width = hasNumber ? static_cast<size_t>(number) : 0;
    int precision = -1;
    if (j < format.size() && format[j] == '.') {
      ++j;
      ReadNumber(format, j, precision);
    }
    if (j >= format.size() || index >= args.size()) break;
    const char conversion = static_cast<char>(format[j] | 0x20);
    const SafeFormatArg& arg = args[index];
    char digits[72];
    std::string_view piece;
    if (conversion == 's' && arg.isText) {
      piece = arg.text;
      if (precision >= 0 && piece.size() > static_cast<size_t>(precision))
        piece = piece.substr(0, static_cast<size_t>(precision));
    } else if ((conversion == 'd' || conversion == 'u' || conversion == 'x' || conversion == 'p') &&
               !arg.isText) {
      piece = NumberText(digits, arg.number, conversion == 'u' ? 'd' : conversion, precision);
    } else {
      break;
    }
    const size_t padding = piece.size() < width ? width - piece.size() : 0;
    if (!leftAlign) output.Pad(padding);
    output.Put(piece);
    if (leftAlign) output.Pad(padding);
    next = index + 1;
    i = j;
  }
  return output.Length();
}

}  // namespace xg
