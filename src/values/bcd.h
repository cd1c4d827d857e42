// Binary-coded decimal values: exact decimal numbers of up to 64 digits, as the database layer
// delivers NUMERIC and DECIMAL columns with more than four fraction digits.
#pragma once

#include <cstdint>
#include <string>

#include "values/regional_settings.h"

namespace xg {

struct Bcd {
  uint8_t precision = 0;            // number of digits, 1 to 64
  uint8_t sign_special_places = 0;  // bit 7: negative; bits 0-5: number of fraction places
  uint8_t fraction[32] = {};        // packed digits, two per byte, high half first
};

// Text such as "-123,450000" (the separator given) to a BCD value that keeps every digit.
// Raises EBcdException... on text that is not a decimal number.
Bcd StrToBcd(const std::string& text, char decimal_separator);

// The value as text with the regional decimal separator; see the rules in conversions.
std::string BcdToText(const Bcd& value, const RegionalSettings& settings);

double BcdToDouble(const Bcd& value);

}  // namespace xg
