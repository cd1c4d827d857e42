#include "texts/safe_format.h"

#include "texts/format_directive.h"

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
    if (i + 1 < format.size() && format[i + 1] == '%') {
      output.Put('%');
      ++i;
      continue;
    }
    const FormatDirective directive = ReadFormatDirective(format, i, next);
    if (directive.conversion == 0 || directive.argument_index >= args.size()) break;
    const char conversion = directive.conversion;
    const SafeFormatArg& arg = args[directive.argument_index];
    char digits[kFormatNumberBufferSize];
    std::string_view piece;
    if (conversion == 's' && arg.is_text) {
      piece = arg.text;
      if (directive.precision >= 0 && piece.size() > static_cast<size_t>(directive.precision))
        piece = piece.substr(0, static_cast<size_t>(directive.precision));
    } else if ((conversion == 'd' || conversion == 'u' || conversion == 'x' || conversion == 'p') &&
               !arg.is_text) {
      piece = FormatDirectiveNumber(digits, arg.number, conversion, directive.precision);
    } else {
      break;
    }
    const size_t width = static_cast<size_t>(directive.width);
    const size_t padding = piece.size() < width ? width - piece.size() : 0;
    if (!directive.left_align) output.Pad(padding);
    output.Put(piece);
    if (directive.left_align) output.Pad(padding);
    next = directive.argument_index + 1;
    i = directive.last;
  }
  return output.Length();
}

}  // namespace xg
