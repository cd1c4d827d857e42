#include "db/ib_field_value.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <limits>

#include "db/ib_client_library.h"
#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "runtime/bcd.h"
#include "runtime/date_time.h"

namespace xg {
namespace {

int64_t PowerOfTen(int exponent) {
  int64_t value = 1;
  for (int i = 0; i < exponent; ++i) value *= 10;
  return value;
}

[[noreturn]] void InvalidConversion() {
  ThrowClientError(ClientError::kInvalidDataConversion);
}

// An integer with `scale` decimals as a currency amount (times 10000), exactly.
int64_t ExactCurrency(int64_t value, int scale) {
  const int shift = 4 + scale;  // scale is -1 to -4
  const int64_t factor = PowerOfTen(shift);
  if (value > std::numeric_limits<int64_t>::max() / factor ||
      value < std::numeric_limits<int64_t>::min() / factor) {
    InvalidConversion();
  }
  return value * factor;
}

// The dialect-1 way: the amount as a floating-point number, times 10000, rounded.
int64_t RoundedCurrency(int64_t value, int scale) {
  const long double amount =
      static_cast<long double>(value) / static_cast<long double>(PowerOfTen(-scale));
  const long double scaled = amount * 10000.0L;
  if (scaled >= 9223372036854775807.0L || scaled <= -9223372036854775808.0L) InvalidConversion();
  return static_cast<int64_t>(scaled < 0 ? scaled - 0.5L : scaled + 0.5L);
}

// The integer as decimal text with its scale: at least 18 digits, "-" before a negative value.
std::string ScaledDecimalText(int64_t value, int scale) {
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (digits.size() < 18) digits.insert(0, 18 - digits.size(), '0');
  const size_t places = static_cast<size_t>(-scale);
  if (places > 0 && places < digits.size()) digits.insert(digits.size() - places, 1, '.');
  return negative ? "-" + digits : digits;
}

DateTime DateOf(const struct tm& parts) {
  const int year = parts.tm_year + 1900, month = parts.tm_mon + 1, day = parts.tm_mday;
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) {
    InvalidConversion();
  }
  try {
    return EncodeDate(year, month, day);
  } catch (const Exception&) {
    InvalidConversion();
  }
}

DateTime TimeOf(const struct tm& parts) {
  if (parts.tm_hour < 0 || parts.tm_hour > 23 || parts.tm_min < 0 || parts.tm_min > 59 ||
      parts.tm_sec < 0 || parts.tm_sec > 59) {
    InvalidConversion();
  }
  try {
    return EncodeTime(parts.tm_hour, parts.tm_min, parts.tm_sec, 0);
  } catch (const Exception&) {
    InvalidConversion();
  }
}

}  // namespace

DateTime StoredDateTime(const IbClientLibrary& client, const FieldDef& def, int64_t stored) {
  struct tm parts {};
  switch (def.sql_type) {
    case SQL_TYPE_DATE: {
      const auto date = static_cast<ISC_DATE>(stored);
      client.isc_decode_sql_date(&date, &parts);
      return DateOf(parts);
    }
    case SQL_TYPE_TIME: {
      const auto time = static_cast<ISC_TIME>(stored);
      client.isc_decode_sql_time(&time, &parts);
      return TimeOf(parts);
    }
    default: {
      ISC_TIMESTAMP stamp;
      stamp.timestamp_date = static_cast<ISC_DATE>(stored >> 32);
      stamp.timestamp_time = static_cast<ISC_TIME>(stored & 0xFFFFFFFF);
      client.isc_decode_timestamp(&stamp, &parts);
      const DateTime date = DateOf(parts);
      const DateTime time = TimeOf(parts);
      // Before 1899-12-30 the day number is negative and the time of day counts away from 0.
      return date < 0 ? date - time : date + time;
    }
  }
}

namespace {

// The bytes of a string column, bytes 0 included: a value of the OCTETS character set may hold
// any byte. A CHAR column of that set comes padded with bytes 0 where other sets pad with
// blanks: that padding is dropped, and the fixed field pads with blanks as for any CHAR column.
std::string StringValue(const FieldDef& def, const std::string& stored) {
  std::string text = stored;
  if (def.sql_type == SQL_TEXT) {
    while (!text.empty() && text.back() == '\0') text.pop_back();
  }
  if (static_cast<int>(text.size()) > def.size) {
    ThrowClientError(ClientError::kFieldSizeMismatch, {def.name});
  }
  if (def.fixed) {
    text.resize(static_cast<size_t>(def.size), ' ');
  } else if (def.sql_type == SQL_TEXT) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  return text;
}

}  // namespace

CachedCell CacheColumn(const IbClientLibrary& client, const XSQLVAR& column) {
  if (column.sqlind != nullptr && *column.sqlind == -1) return std::monostate{};
  const char* data = column.sqldata;
  const auto length = static_cast<unsigned short>(column.sqllen);
  switch (column.sqltype & ~1) {
    case SQL_VARYING: {
      const auto stored = static_cast<unsigned short>(client.isc_vax_integer(data, 2));
      return std::string(data + 2, stored);
    }
    case SQL_TEXT:
      return std::string(data, length);
    case SQL_SHORT: {
      int16_t value;
      std::memcpy(&value, data, sizeof value);
      return static_cast<int64_t>(value);
    }
    case SQL_LONG:
    case SQL_TYPE_DATE: {
      int32_t value;
      std::memcpy(&value, data, sizeof value);
      return static_cast<int64_t>(value);
    }
    case SQL_TYPE_TIME: {
      uint32_t value;
      std::memcpy(&value, data, sizeof value);
      return static_cast<int64_t>(value);
    }
    case SQL_TIMESTAMP: {
      ISC_TIMESTAMP stamp;
      std::memcpy(&stamp, data, sizeof stamp);
      return (static_cast<int64_t>(stamp.timestamp_date) << 32) |
             static_cast<int64_t>(stamp.timestamp_time);
    }
    case SQL_INT64:
    case SQL_BLOB:
    case SQL_ARRAY:
    case SQL_QUAD: {
      int64_t value;
      std::memcpy(&value, data, sizeof value);
      return value;
    }
    case SQL_FLOAT: {
      float value;
      std::memcpy(&value, data, sizeof value);
      return static_cast<double>(value);
    }
    case SQL_DOUBLE: {
      double value;
      std::memcpy(&value, data, sizeof value);
      return value;
    }
    case SQL_BOOLEAN: {
      int64_t value = 0;
      for (unsigned short i = 0; i < length; ++i) value |= static_cast<unsigned char>(data[i]);
      return value;
    }
    default:
      return std::string(data, length);
  }
}

Variant FieldValue(const IbClientLibrary& client, const FieldDef& def, const CachedCell& cell,
                   int dialect, const BlobReader& read_blob) {
  const bool blob = def.data_type == ftBlob || def.data_type == ftMemo;
  if (std::holds_alternative<std::monostate>(cell)) {
    return blob ? Variant::FromString(std::string()) : Variant::Null();
  }
  switch (def.data_type) {
    case ftString:
      return Variant::FromString(StringValue(def, std::get<std::string>(cell)));
    case ftSmallint:
    case ftInteger:
      return Variant::FromInteger(static_cast<int32_t>(std::get<int64_t>(cell)));
    case ftLargeint:
      return Variant::FromInt64(std::get<int64_t>(cell));
    case ftBCD: {
      const int64_t stored = std::get<int64_t>(cell);
      return Variant::FromCurrency(dialect == 1 ? RoundedCurrency(stored, def.scale)
                                                : ExactCurrency(stored, def.scale));
    }
    case ftFMTBcd: {
      const std::string text = ScaledDecimalText(std::get<int64_t>(cell), def.scale);
      try {
        return Variant::FromBcd(StrToBcd(text, '.'));
      } catch (const EBcdException&) {
        InvalidConversion();
      }
    }
    case ftFloat:
      if (std::holds_alternative<double>(cell)) return Variant::FromDouble(std::get<double>(cell));
      return Variant::FromDouble(
          static_cast<double>(static_cast<long double>(std::get<int64_t>(cell)) /
                              static_cast<long double>(PowerOfTen(-def.scale))));
    case ftDate:
    case ftTime:
    case ftDateTime:
      return Variant::FromDate(StoredDateTime(client, def, std::get<int64_t>(cell)));
    case ftBoolean:
      return Variant::FromBoolean(std::get<int64_t>(cell) != 0);
    case ftBlob:
    case ftMemo: {
      ISC_QUAD id;
      const int64_t stored = std::get<int64_t>(cell);
      std::memcpy(&id, &stored, sizeof id);
      return Variant::FromString(read_blob(id));
    }
    default:
      return Variant::Null();
  }
}

size_t ScaledDecimalToChars(int64_t stored, int scale, char decimal_separator, char* out) {
  // The value reads as its digits padded to 18 with the point `-scale` places from the end, as
  // long as the point falls inside them; otherwise as the whole number.
  const uint64_t magnitude =
      stored < 0 ? 0 - static_cast<uint64_t>(stored) : static_cast<uint64_t>(stored);
  char digits[20];
  const size_t digit_count =
      static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
  const size_t places = static_cast<size_t>(-scale);
  char* end = out;
  if (stored < 0) *end++ = '-';
  if (places == 0 || places >= std::max<size_t>(18, digit_count)) {
    end = std::copy(digits, digits + digit_count, end);
  } else {
    // The integer digits, "0" when there are none; the fraction without its trailing zeros.
    const size_t integer_digits = digit_count > places ? digit_count - places : 0;
    if (integer_digits > 0) {
      end = std::copy(digits, digits + integer_digits, end);
    } else {
      *end++ = '0';
    }
    char fraction[20];
    const size_t leading_zeros = places - (digit_count - integer_digits);
    std::fill(fraction, fraction + leading_zeros, '0');
    std::copy(digits + integer_digits, digits + digit_count, fraction + leading_zeros);
    size_t fraction_digits = places;
    while (fraction_digits > 0 && fraction[fraction_digits - 1] == '0') --fraction_digits;
    if (fraction_digits > 0) {
      *end++ = decimal_separator;
      end = std::copy(fraction, fraction + fraction_digits, end);
    }
  }
  if (end - out == 2 && out[0] == '-' && out[1] == '0') {  // a negative zero reads as "0"
    out[0] = '0';
    end = out + 1;
  }
  return static_cast<size_t>(end - out);
}

}  // namespace xg
