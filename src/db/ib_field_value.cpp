#include "db/ib_field_value.h"

#include <cstring>
#include <ctime>
#include <limits>
#include <optional>

#include "db/ib_client_library.h"
#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "values/bcd.h"
#include "values/date_time.h"

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

// An integer with `scale` decimals (0 to -4) as a currency amount (times 10000), exactly; none
// beyond the currency range.
std::optional<int64_t> CurrencyAmount(int64_t value, int scale) {
  const int64_t factor = PowerOfTen(4 + scale);
  if (value > std::numeric_limits<int64_t>::max() / factor ||
      value < std::numeric_limits<int64_t>::min() / factor) {
    return std::nullopt;
  }
  return value * factor;
}

int64_t ExactCurrency(int64_t value, int scale) {
  const std::optional<int64_t> amount = CurrencyAmount(value, scale);
  if (!amount) InvalidConversion();
  return *amount;
}

// The dialect-1 way: the amount as a floating-point number, times 10000, rounded.
int64_t RoundedCurrency(int64_t value, int scale) {
  const long double amount =
      static_cast<long double>(value) / static_cast<long double>(PowerOfTen(-scale));
  const long double scaled = amount * 10000.0L;
  if (scaled >= 9223372036854775807.0L || scaled <= -9223372036854775808.0L) InvalidConversion();
  return static_cast<int64_t>(scaled < 0 ? scaled - 0.5L : scaled + 0.5L);
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

// The bytes of a string column (as the decoder gives them) padded as the field pads them.
std::string StringValue(const FieldDef& def, std::string_view stored) {
  std::string text(stored);
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

template <class T>
T Stored(const char* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

StoredCell DecodeColumn(const XSQLVAR& column) {
  if (column.sqlind != nullptr && *column.sqlind == -1) return std::monostate{};
  const char* data = column.sqldata;
  const auto length = static_cast<unsigned short>(column.sqllen);
  switch (column.sqltype & ~1) {
    case SQL_VARYING:
      return std::string_view(data + 2, Stored<uint16_t>(data));
    case SQL_TEXT: {
      // The bytes, bytes 0 included: a value of the OCTETS character set may hold any byte. A
      // CHAR column of that set comes padded with bytes 0 where other sets pad with blanks: that
      // padding is dropped, and the fixed field pads with blanks as for any CHAR column.
      std::string_view text(data, length);
      while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
      return text;
    }
    case SQL_SHORT:
      return static_cast<int64_t>(Stored<int16_t>(data));
    case SQL_LONG:
    case SQL_TYPE_DATE:
      return static_cast<int64_t>(Stored<int32_t>(data));
    case SQL_TYPE_TIME:
      return static_cast<int64_t>(Stored<uint32_t>(data));
    case SQL_TIMESTAMP: {
      const auto stamp = Stored<ISC_TIMESTAMP>(data);
      return (static_cast<int64_t>(stamp.timestamp_date) << 32) |
             static_cast<int64_t>(stamp.timestamp_time);
    }
    case SQL_INT64:
    case SQL_BLOB:
    case SQL_ARRAY:
    case SQL_QUAD:
      return Stored<int64_t>(data);
    case SQL_FLOAT:
      return static_cast<double>(Stored<float>(data));
    case SQL_DOUBLE:
      return Stored<double>(data);
    case SQL_BOOLEAN: {
      int64_t value = 0;
      for (unsigned short i = 0; i < length; ++i) value |= static_cast<unsigned char>(data[i]);
      return value;
    }
    default:
      return std::string_view(data, length);
  }
}

Variant FieldValue(const IbClientLibrary& client, const FieldDef& def, const StoredCell& cell,
                   int dialect, const BlobReader& read_blob) {
  const bool blob = def.data_type == FieldType::kBlob || def.data_type == FieldType::kMemo;
  if (std::holds_alternative<std::monostate>(cell)) {
    return blob ? Variant::FromString(std::string()) : Variant::Null();
  }
  switch (def.data_type) {
    case FieldType::kString:
      return Variant::FromString(StringValue(def, std::get<std::string_view>(cell)));
    case FieldType::kSmallint:
    case FieldType::kInteger:
      return Variant::FromInteger(static_cast<int32_t>(std::get<int64_t>(cell)));
    case FieldType::kLargeint:
      return Variant::FromInt64(std::get<int64_t>(cell));
    case FieldType::kBcd: {
      const int64_t stored = std::get<int64_t>(cell);
      return Variant::FromCurrency(dialect == 1 ? RoundedCurrency(stored, def.scale)
                                                : ExactCurrency(stored, def.scale));
    }
    case FieldType::kFmtBcd: {
      // The same text the rows are written with, read back as the decimal value.
      char text[kScaledDecimalTextMax];
      const size_t length = ScaledDecimalToChars(std::get<int64_t>(cell), def.scale, '.', text);
      try {
        return Variant::FromBcd(StrToBcd(std::string(text, length), '.'));
      } catch (const EBcdException&) {
        InvalidConversion();
      }
    }
    case FieldType::kFloat:
      if (std::holds_alternative<double>(cell)) return Variant::FromDouble(std::get<double>(cell));
      return Variant::FromDouble(
          static_cast<double>(static_cast<long double>(std::get<int64_t>(cell)) /
                              static_cast<long double>(PowerOfTen(-def.scale))));
    case FieldType::kDate:
    case FieldType::kTime:
    case FieldType::kDateTime:
      return Variant::FromDate(StoredDateTime(client, def, std::get<int64_t>(cell)));
    case FieldType::kBoolean:
      return Variant::FromBoolean(std::get<int64_t>(cell) != 0);
    case FieldType::kBlob:
    case FieldType::kMemo: {
      ISC_QUAD id;
      const int64_t stored = std::get<int64_t>(cell);
      std::memcpy(&id, &stored, sizeof id);
      return Variant::FromString(read_blob(id));
    }
    default:
      return Variant::Null();
  }
}

namespace {

ColumnValue Typed(ColumnValue::Kind kind) {
  ColumnValue value;
  value.kind = kind;
  return value;
}

ColumnValue IntegerValue(ColumnValue::Kind kind, int64_t integer, int scale = 0) {
  ColumnValue value = Typed(kind);
  value.integer = integer;
  value.scale = scale;
  return value;
}

// A text longer than its field is the field's size failure, which its Variant value raises.
ColumnValue TextValue(const FieldDef& def, std::string_view text) {
  if (text.size() > static_cast<size_t>(def.size)) return Typed(ColumnValue::Kind::kVariant);
  ColumnValue value = Typed(ColumnValue::Kind::kText);
  value.text = text;
  if (def.fixed) value.padding = static_cast<size_t>(def.size) - text.size();
  return value;
}

// A dialect-1 amount is rounded through a floating-point number: the Variant value's way.
ColumnValue CurrencyValue(const FieldDef& def, int64_t stored, int dialect) {
  if (dialect == 1 || def.scale < -4 || def.scale > 0) return Typed(ColumnValue::Kind::kVariant);
  const std::optional<int64_t> amount = CurrencyAmount(stored, def.scale);
  if (!amount) return Typed(ColumnValue::Kind::kVariant);  // the conversion failure
  return IntegerValue(ColumnValue::Kind::kCurrency, *amount);
}

}  // namespace

ColumnValue FieldColumnValue(const IbClientLibrary& client, const FieldDef& def,
                             const StoredCell& cell, int dialect) {
  if (std::holds_alternative<std::monostate>(cell)) return Typed(ColumnValue::Kind::kNull);
  switch (def.data_type) {
    case FieldType::kString:
      return TextValue(def, std::get<std::string_view>(cell));
    case FieldType::kSmallint:
    case FieldType::kInteger:
    case FieldType::kLargeint:
      return IntegerValue(ColumnValue::Kind::kInteger, std::get<int64_t>(cell));
    case FieldType::kBcd:
      return CurrencyValue(def, std::get<int64_t>(cell), dialect);
    case FieldType::kFmtBcd:
      return IntegerValue(ColumnValue::Kind::kDecimal, std::get<int64_t>(cell), def.scale);
    case FieldType::kFloat: {
      // A dialect-1 scaled integer is divided as the Variant value does it.
      if (!std::holds_alternative<double>(cell)) return Typed(ColumnValue::Kind::kVariant);
      ColumnValue value = Typed(ColumnValue::Kind::kDouble);
      value.real = std::get<double>(cell);
      return value;
    }
    case FieldType::kDate:
    case FieldType::kTime:
    case FieldType::kDateTime: {
      ColumnValue value = Typed(ColumnValue::Kind::kDateTime);
      value.date_time = StoredDateTime(client, def, std::get<int64_t>(cell));
      return value;
    }
    case FieldType::kBoolean: {
      ColumnValue value = Typed(ColumnValue::Kind::kBoolean);
      value.boolean = std::get<int64_t>(cell) != 0;
      return value;
    }
    default:
      return Typed(ColumnValue::Kind::kVariant);
  }
}

}  // namespace xg
