// Number and boolean texts: the exact digits, separators and words that the response documents
// carry, and the text-to-number readings used by the value conversions and the CGI layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "values/regional_settings.h"

namespace xg {

// How BoolToStr writes a boolean: "-1" and "0", or the words "True" and "False".
enum class BoolText { kNumber, kWord };

std::string IntToStr(int32_t value);
std::string IntToStr(int64_t value);
// General format, 15 significant digits, the regional decimal separator.
std::string FloatToStr(long double value, const RegionalSettings& settings);
// The same text with the separator given, appended to `out`.
void AppendFloatText(long double value, char decimal_separator, std::string& out);
// A currency amount held as the amount times 10000.
std::string CurrencyToText(int64_t scaled_amount, const RegionalSettings& settings);
// The same text written to `out`, which has room for kCurrencyTextMax bytes; answers its length.
inline constexpr size_t kCurrencyTextMax = 26;
size_t CurrencyToChars(int64_t scaled_amount, char decimal_separator, char* out);
std::string BoolToStr(bool value, BoolText form);

// Decimal (or "$"/"0x"/"x" hexadecimal) text to a 32-bit or 64-bit integer: leading blanks and
// one sign accepted; anything else, or overflow, gives nothing.
std::optional<int32_t> TryStrToInt(const std::string& text);
std::optional<int64_t> TryStrToInt64(const std::string& text);
// Raise EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& text);
int64_t StrToInt64(const std::string& text);

// Decimal text with the regional decimal separator and an optional exponent; surrounding blanks
// accepted. Gives nothing for any other text.
std::optional<long double> TryStrToFloat(const std::string& text, const RegionalSettings& settings);
// Raises EConvertError "'%s' is not a valid floating point value".
long double StrToFloat(const std::string& text, const RegionalSettings& settings);

}  // namespace xg
