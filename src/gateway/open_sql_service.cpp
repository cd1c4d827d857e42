// The query service: every row of a SELECT as an OPENSQL document. Each row is fetched, written
// straight into the answer's spool and forgotten; the head of the document, which carries the
// number of rows, is made once the rows are written.
#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "config/gateway_config.h"
#include "db/ib_client_library.h"
#include "db/ib_field_def.h"
#include "db/ib_field_value.h"
#include "db/ib_sql.h"
#include "db/ib_transaction.h"
#include "gateway/document_writer.h"
#include "gateway/sql_service_session.h"
#include "gateway/sql_services.h"
#include "gateway/watched_calls.h"
#include "protocol/protocol_strings.h"
#include "runtime/ascii_text.h"
#include "runtime/conversions.h"
#include "runtime/date_time.h"
#include "runtime/exceptions.h"
#include "runtime/format.h"
#include "runtime/spool.h"
#include "runtime/stop_signals.h"

namespace xg {
namespace {

XG_RESOURCE(SAnswerTooLarge, "A resposta passa do limite de %d bytes (max-answer-bytes)");

constexpr std::string_view kLineEnd = "\r\n";

// How a column's values are written: straight from the result area, with the texts the field's
// Variant value would give, or through that Variant value for the rest (blobs, dialect-1 scaled
// values, and the values whose reading fails).
enum class ValueForm {
  kText,
  kInteger,
  kCurrency,
  kDecimal,
  kFloat,
  kDateTime,
  kBoolean,
  kVariant
};

// One column of the answer, made once per query: the text before and after its value and the way
// its value is written.
struct ColumnOutput {
  std::string opening;  // the line's indentation and opening tag
  std::string closing;  // the closing tag and the line end
  DataKind kind = DataKind::kString;
  ValueForm form = ValueForm::kVariant;
  int size = 0;  // of a text column: the field's size
  bool fixed = false;
  int64_t currency_factor = 1;  // of a currency column: its values times this are the amount
  const FieldDef* field = nullptr;
  std::string date_pattern;  // of a date, time or time stamp column
};

// What a row's values need besides their columns: the client library (dates), the settings, and
// a text kept from value to value so that its room is reused.
struct ValueContext {
  const IbClientLibrary& client;
  const RegionalSettings& settings;
  std::string scratch;
};

ValueForm FormOf(const FieldDef& field, int dialect) {
  switch (field.data_type) {
    case ftString:
      return ValueForm::kText;
    case ftSmallint:
    case ftInteger:
    case ftLargeint:
      return ValueForm::kInteger;
    case ftBCD:
      // The dialect-1 amount is rounded through a floating-point number: the Variant way.
      return dialect != 1 && field.scale >= -4 && field.scale <= 0 ? ValueForm::kCurrency
                                                                   : ValueForm::kVariant;
    case ftFMTBcd:
      return ValueForm::kDecimal;
    case ftFloat:
      // A dialect-1 scaled integer is divided as the Variant way does it.
      return field.sql_type == SQL_FLOAT || field.sql_type == SQL_DOUBLE ? ValueForm::kFloat
                                                                         : ValueForm::kVariant;
    case ftDate:
    case ftTime:
    case ftDateTime:
      return ValueForm::kDateTime;
    case ftBoolean:
      return ValueForm::kBoolean;
    default:
      return ValueForm::kVariant;
  }
}

// The pattern DateToStr, TimeToStr and DateTimeToStr write a field's values with.
std::string DatePattern(const FieldDef& field, const RegionalSettings& settings) {
  switch (field.data_type) {
    case ftDate:
      return settings.short_date_pattern;
    case ftTime:
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
    const int data_size = FieldDataSize(field) - (field.data_type == ftString ? 1 : 0);
    column.opening = ElementOpening(name, column.kind, data_size, 0);
    column.closing = ClosingTag(name) + std::string(kLineEnd);
    column.form = FormOf(field, query.SQLDialect());
    column.size = field.size;
    column.fixed = field.fixed;
    if (column.form == ValueForm::kCurrency) {
      for (int shift = 4 + field.scale; shift > 0; --shift) column.currency_factor *= 10;
    }
    column.field = &field;
    column.date_pattern = DatePattern(field, settings);
    columns.push_back(std::move(column));
  }
  return columns;
}

// The integer a SMALLINT, INTEGER or BIGINT column holds (scaled ones as stored).
int64_t StoredInteger(const XSQLVAR& var) {
  switch (var.sqltype & ~1) {
    case SQL_SHORT: {
      int16_t stored;
      std::memcpy(&stored, var.sqldata, sizeof stored);
      return stored;
    }
    case SQL_LONG: {
      int32_t stored;
      std::memcpy(&stored, var.sqldata, sizeof stored);
      return stored;
    }
    default: {
      int64_t stored;
      std::memcpy(&stored, var.sqldata, sizeof stored);
      return stored;
    }
  }
}

// Writes a value from the result area when its form allows and the value needs no failure
// reported; answers false when the Variant way must write it.
bool AppendDirectValue(const ColumnOutput& column, const XSQLVAR& var, ValueContext& context,
                       Spool& out) {
  const char decimal_separator = context.settings.decimal_separator;
  if (var.sqlind != nullptr && *var.sqlind == -1) {
    out.Append(NullValueText(column.kind));
    return true;
  }
  const char* data = var.sqldata;
  switch (column.form) {
    case ValueForm::kText: {
      size_t length;
      if ((var.sqltype & ~1) == SQL_VARYING) {
        uint16_t stored;
        std::memcpy(&stored, data, sizeof stored);
        length = stored;
        data += 2;
      } else {
        // A CHAR of the OCTETS set comes padded with bytes 0: they are dropped, and the field
        // pads with blanks as every CHAR field does.
        length = static_cast<unsigned short>(var.sqllen);
        while (length > 0 && data[length - 1] == '\0') --length;
      }
      if (length > static_cast<size_t>(column.size)) return false;  // the size failure
      AppendEscapedText(std::string_view(data, length), out);
      if (column.fixed) {
        const size_t padding = static_cast<size_t>(column.size) - length;
        std::memset(out.Reserve(padding), ' ', padding);
        out.Commit(padding);
      }
      return true;
    }
    case ValueForm::kInteger: {
      const int64_t value = StoredInteger(var);
      // An integer kind is written as a 32-bit integer: a larger value fails that way.
      if (value < std::numeric_limits<int32_t>::min() ||
          value > std::numeric_limits<int32_t>::max()) {
        return false;
      }
      char* at = out.Reserve(11);
      out.Commit(static_cast<size_t>(std::to_chars(at, at + 11, value).ptr - at));
      return true;
    }
    case ValueForm::kCurrency: {
      const int64_t value = StoredInteger(var);
      const int64_t factor = column.currency_factor;
      if (value > std::numeric_limits<int64_t>::max() / factor ||
          value < std::numeric_limits<int64_t>::min() / factor) {
        return false;  // beyond the currency range: the conversion failure
      }
      char text[kCurrencyTextMax];
      const size_t length = CurrencyToChars(value * factor, decimal_separator, text);
      AppendEscapedText(std::string_view(text, length), out);  // the separator may need it
      return true;
    }
    case ValueForm::kDecimal: {
      char text[kScaledDecimalTextMax];
      const size_t length =
          ScaledDecimalToChars(StoredInteger(var), column.field->scale, decimal_separator, text);
      AppendEscapedText(std::string_view(text, length), out);
      return true;
    }
    case ValueForm::kFloat: {
      const double value = std::get<double>(CacheColumn(context.client, var));
      context.scratch.clear();
      AppendFloatText(value, decimal_separator, context.scratch);
      AppendEscapedText(context.scratch, out);
      return true;
    }
    case ValueForm::kDateTime: {
      const CachedCell cell = CacheColumn(context.client, var);
      const DateTime value = StoredDateTime(context.client, *column.field, std::get<int64_t>(cell));
      context.scratch.clear();
      AppendFormattedDateTime(column.date_pattern, value, context.settings, context.scratch);
      AppendEscapedText(context.scratch, out);
      return true;
    }
    case ValueForm::kBoolean: {
      bool value = false;
      for (short i = 0; i < var.sqllen; ++i) value = value || data[i] != 0;
      out.Append(BoolToStr(value, BoolText::kWord));
      return true;
    }
    case ValueForm::kVariant:
      return false;
  }
  return false;
}

// The element lines of the current row's fields; every value Null when there is no current row.
void AppendRowElements(IbQuery& query, const std::vector<ColumnOutput>& columns,
                       ValueContext& context, Spool& out) {
  const bool has_row = query.RecNo() > 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnOutput& column = columns[i];
    const int index = static_cast<int>(i);
    out.Append(column.opening);
    if (!has_row) {
      out.Append(NullValueText(column.kind));
    } else if (!AppendDirectValue(column, query.FieldColumn(index), context, out)) {
      AppendEscapedText(ValueToText(query.FieldValue(index), column.kind, context.settings), out);
    }
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

// The head of the document: the declaration and the opening tag with the count.
std::string DocumentHead(int record_count) {
  return LoadResString(SXMLDeclaration) + std::string(kLineEnd) +
         OpeningTag(LoadResString(SOpenSQL) + " " + LoadResString(SRecordCount) + "=\"" +
                    IntToStr(record_count) + "\"") +
         std::string(kLineEnd);
}

// The bytes the answer may take (max-answer-bytes), checked against the whole document: its
// head, the rows written so far and the closing line still to come.
class AnswerBudget {
 public:
  explicit AnswerBudget(int64_t limit)
      : limit_(limit),
        closing_bytes_(
            static_cast<int64_t>(ClosingTag(LoadResString(SOpenSQL)).size() + kLineEnd.size())) {}
  void Check(int record_count, const Spool& rows) const {
    const int64_t bytes = static_cast<int64_t>(DocumentHead(record_count).size()) +
                          static_cast<int64_t>(rows.BodySize()) + closing_bytes_;
    if (bytes > limit_) throw Exception(Format(LoadResString(SAnswerTooLarge), {limit_}));
  }
  // While rows are written: a cheap check, whose head is counted short by the digits of the
  // count still to come (the final Check counts it exactly).
  void CheckRows(const Spool& rows) const {
    if (static_cast<int64_t>(rows.BodySize()) + closing_bytes_ > limit_)
      throw Exception(Format(LoadResString(SAnswerTooLarge), {limit_}));
  }

 private:
  int64_t limit_;
  int64_t closing_bytes_;
};

constexpr int kExactlyTimedFetches = 1000;

// Fetches and writes every row; answers the number of rows. The database calls (the statement's
// execution and every fetch) are timed into the result.
int WriteRows(IbQuery& query, const AnswerBudget& budget, const RegionalSettings& settings,
              Spool& out, ServiceResult& result) {
  {
    const DatabaseCallTimer timer(result);
    query.Open();
  }
  const std::vector<ColumnOutput> columns = ColumnOutputs(query, settings);
  const RecordTags tags;
  ValueContext context{IbClient(), settings, {}};
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

}  // namespace

Spool RunOpenSQL(const std::string& request_text, const RegionalSettings& settings,
                 ServiceResult& result) {
  SqlServiceSession session;
  {
    const DatabaseCallTimer timer(result);
    session.Connect(request_text);
  }
  result.attachment_reused = session.AttachmentReused();
  session.LoadStatement();
  const GatewayConfig& config = CurrentGatewayConfig();
  const AnswerBudget budget(config.maxAnswerBytes);
  Spool answer(static_cast<size_t>(config.spoolMemoryBytes));

  try {
    int count = 0;
    RunWatchedCalls([&] { count = WriteRows(session.Query(), budget, settings, answer, result); });
    answer.Flush();  // a file that cannot take the rows fails here, before anything is sent
    answer.SetHead(DocumentHead(count));
    const DatabaseCallTimer timer(result);
    session.Query().Close();
    result.rows = count;
  } catch (const Exception& failure) {
    result.failure = failure.Message();
    // A SELECT that fails once it has started (a selectable procedure or block may write before
    // a later row fails) leaves nothing behind: the client that sees the failure and retries
    // does not write twice. A statement that is not a SELECT ran whole before the failure that
    // it has no rows, and keeps its effect.
    if (session.Query().StatementType() == kSqlSelect)
      session.Transaction().SetDefaultAction(TransactionAction::kRollback);
    // What was written goes, its temporary file with it.
    answer =
        Spool(LoadResString(SXMLDeclaration) + std::string(kLineEnd) +
              OpeningTag(LoadResString(SOpenSQL)) + std::string(kLineEnd) +
              MakeElement(LoadResString(SMsgData), Variant::FromString(failure.Message()),
                          DataKind::kString, 0, 0, settings) +
              std::string(kLineEnd) + ClosingTag(LoadResString(SOpenSQL)) + std::string(kLineEnd));
  }

  // The transaction is still active: the disconnect ends it by its default action, a commit
  // unless the query failed.
  const DatabaseCallTimer timer(result);
  session.CheckSessionState();
  session.Finish();
  return answer;
}

}  // namespace xg
