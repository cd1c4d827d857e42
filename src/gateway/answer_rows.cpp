#include "gateway/answer_rows.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "db/column_value.h"
#include "gateway/document_writer.h"
#include "process/stop_signals.h"
#include "protocol/protocol_strings.h"
#include "texts/ascii_text.h"
#include "texts/exceptions.h"
#include "texts/format.h"
#include "values/conversions.h"
#include "values/date_time.h"

namespace xg {
namespace {

XG_RESOURCE(SAnswerTooLarge, "A resposta passa do limite de %d bytes (max-answer-bytes)");

constexpr std::string_view kLineEnd = "\r\n";

// One column of the answer, made once per query: the text before and after its value, the kind
// of its values and, of a date, time or time stamp column, the pattern they are written with.
struct ColumnOutput {
  std::string opening;  // the line's indentation and opening tag
  std::string closing;  // the closing tag and the line end
  DataKind kind = DataKind::kString;
  std::string date_pattern;
};

// What a row's values need besides their columns: the settings, and a text kept from value to
// value so that its room is reused.
struct ValueContext {
  const RegionalSettings& settings;
  std::string scratch;
};

// The pattern DateToStr, TimeToStr and DateTimeToStr write a field's values with.
std::string DatePattern(FieldType type, const RegionalSettings& settings) {
  switch (type) {
    case FieldType::kDate:
      return settings.short_date_pattern;
    case FieldType::kTime:
      return settings.long_time_pattern;
    default:
      return "c";
  }
}

std::vector<ColumnOutput> ColumnOutputs(IbQuery& query, const RegionalSettings& settings) {
  std::vector<ColumnOutput> columns;
  for (int i = 0; i < query.FieldCount(); ++i) {
    const FieldDef& field = query.Field(i);
    ColumnOutput column;
    column.kind = FieldDataKind(field.data_type);
    const std::string name = ColumnElementName(field.name);
    const int data_size = FieldDataSize(field) - (field.data_type == FieldType::kString ? 1 : 0);
    column.opening = ElementOpening(name, column.kind, data_size, 0);
    column.closing = ClosingTag(name) + std::string(kLineEnd);
    column.date_pattern = DatePattern(field.data_type, settings);
    columns.push_back(std::move(column));
  }
  return columns;
}

// The bytes of a text, then the blanks that pad a CHAR value to its field's size.
void AppendText(const ColumnValue& value, Spool& out) {
  AppendEscapedText(value.text, out);
  std::memset(out.Reserve(value.padding), ' ', value.padding);
  out.Commit(value.padding);
}

// An integer kind is written as a 32-bit integer: a larger value fails that way, which only the
// Variant way reports. Answers false for it.
bool AppendInteger(int64_t value, Spool& out) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    return false;
  char* at = out.Reserve(11);
  out.Commit(static_cast<size_t>(std::to_chars(at, at + 11, value).ptr - at));
  return true;
}

void AppendCurrency(int64_t amount, char decimal_separator, Spool& out) {
  char text[kCurrencyTextMax];
  const size_t length = CurrencyToChars(amount, decimal_separator, text);
  AppendEscapedText(std::string_view(text, length), out);  // the separator may need it
}

void AppendDecimal(int64_t stored, int scale, char decimal_separator, Spool& out) {
  char text[kScaledDecimalTextMax];
  const size_t length = ScaledDecimalToChars(stored, scale, decimal_separator, text);
  AppendEscapedText(std::string_view(text, length), out);
}

void AppendFloat(double value, ValueContext& context, Spool& out) {
  context.scratch.clear();
  AppendFloatText(value, context.settings.decimal_separator, context.scratch);
  AppendEscapedText(context.scratch, out);
}

void AppendDateTime(DateTime value, const std::string& pattern, ValueContext& context, Spool& out) {
  context.scratch.clear();
  AppendFormattedDateTime(pattern, value, context.settings, context.scratch);
  AppendEscapedText(context.scratch, out);
}

// Writes a value with the texts the field's Variant value would give, when the value is of a
// type written that way and needs no failure reported; answers false when the Variant way must
// write it.
bool AppendDirectValue(const ColumnOutput& column, const ColumnValue& value, ValueContext& context,
                       Spool& out) {
  const char decimal_separator = context.settings.decimal_separator;
  switch (value.kind) {
    case ColumnValue::Kind::kNull:
      out.Append(NullValueText(column.kind));
      return true;
    case ColumnValue::Kind::kText:
      AppendText(value, out);
      return true;
    case ColumnValue::Kind::kInteger:
      return AppendInteger(value.integer, out);
    case ColumnValue::Kind::kCurrency:
      AppendCurrency(value.integer, decimal_separator, out);
      return true;
    case ColumnValue::Kind::kDecimal:
      AppendDecimal(value.integer, value.scale, decimal_separator, out);
      return true;
    case ColumnValue::Kind::kDouble:
      AppendFloat(value.real, context, out);
      return true;
    case ColumnValue::Kind::kDateTime:
      AppendDateTime(value.date_time, column.date_pattern, context, out);
      return true;
    case ColumnValue::Kind::kBoolean:
      out.Append(BoolToStr(value.boolean, BoolText::kWord));
      return true;
    case ColumnValue::Kind::kVariant:
      return false;
  }
  return false;
}

// The element lines of the current row's fields; every value Null when there is no current row.
void AppendRowElements(IbQuery& query, const std::vector<ColumnOutput>& columns,
                       ValueContext& context, Spool& out) {
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnOutput& column = columns[i];
    const int index = static_cast<int>(i);
    out.Append(column.opening);
    if (!AppendDirectValue(column, query.FieldColumnValue(index), context, out))
      AppendEscapedText(ValueToText(query.FieldValue(index), column.kind, context.settings), out);
    out.Append(column.closing);
  }
}

// The record tags of row n: "<" + prefix + n + ">" and "</" + prefix + n + ">", the prefix as
// OpeningTag gives it for the name "RECORD" + n (only its front can be trimmed: a digit ends it).
class RecordTags {
 public:
  RecordTags() {
    const std::string first = LoadResString(SRecord) + "1";
    const std::string_view trimmed = TrimBlanksAndControls(first);
    const std::string prefix(trimmed.substr(0, trimmed.size() - 1));
    opening_ = "<" + prefix;
    closing_ = "</" + prefix;
  }
  void AppendOpening(int number, Spool& out) const { Append(opening_, number, out); }
  void AppendClosing(int number, Spool& out) const { Append(closing_, number, out); }

 private:
  static void Append(const std::string& start, int number, Spool& out) {
    out.Append(start);
    char* at = out.Reserve(16);
    char* end = std::to_chars(at, at + 16, number).ptr;
    *end++ = '>';
    *end++ = '\r';
    *end++ = '\n';
    out.Commit(static_cast<size_t>(end - at));
  }

  std::string opening_;
  std::string closing_;
};

constexpr int kExactlyTimedFetches = 1000;

}  // namespace

AnswerBudget::AnswerBudget(int64_t limit)
    : limit_(limit),
      closing_bytes_(
          static_cast<int64_t>(ClosingTag(LoadResString(SOpenSQL)).size() + kLineEnd.size())) {}

void AnswerBudget::Check(int record_count, const Spool& rows) const {
  const int64_t bytes = static_cast<int64_t>(DocumentHead(record_count).size()) +
                        static_cast<int64_t>(rows.BodySize()) + closing_bytes_;
  if (bytes > limit_) throw Exception(Format(LoadResString(SAnswerTooLarge), {limit_}));
}

void AnswerBudget::CheckRows(const Spool& rows) const {
  if (static_cast<int64_t>(rows.BodySize()) + closing_bytes_ > limit_)
    throw Exception(Format(LoadResString(SAnswerTooLarge), {limit_}));
}

std::string DocumentHead(int record_count) {
  return LoadResString(SXMLDeclaration) + std::string(kLineEnd) +
         OpeningTag(LoadResString(SOpenSQL) + " " + LoadResString(SRecordCount) + "=\"" +
                    IntToStr(record_count) + "\"") +
         std::string(kLineEnd);
}

int WriteRows(IbQuery& query, const AnswerBudget& budget, const RegionalSettings& settings,
              Spool& out, ServiceResult& result) {
  {
    const DatabaseCallTimer timer(result);
    query.Open();
  }
  const std::vector<ColumnOutput> columns = ColumnOutputs(query, settings);
  const RecordTags tags;
  ValueContext context{settings, {}};
  int count = 0;
  // The fetches of the first rows are timed exactly; past them, where a single tick no longer
  // matters, with the cheaper coarse clock.
  const auto next = [&query, &result, &count] {
    if (count < kExactlyTimedFetches) {
      const DatabaseCallTimer timer(result);
      query.Next();
    } else {
      const CoarseDatabaseCallTimer timer(result);
      query.Next();
    }
  };
  {
    const DatabaseCallTimer timer(result);
    query.First();
  }
  for (; !query.Eof(); next()) {
    ThrowIfStopped();  // a long answer stops at a termination signal
    count = query.RecNo();
    tags.AppendOpening(count, out);
    AppendRowElements(query, columns, context, out);
    tags.AppendClosing(count, out);
    budget.CheckRows(out);
  }
  if (count == 0) {
    tags.AppendOpening(0, out);
    AppendRowElements(query, columns, context, out);
    tags.AppendClosing(0, out);
  }
  budget.Check(count, out);
  out.Append(ClosingTag(LoadResString(SOpenSQL)));
  out.Append(kLineEnd);
  return count;
}

}  // namespace xg
