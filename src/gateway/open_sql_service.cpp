// The query service: every row of a SELECT as an OPENSQL document.
#include <string>
#include <vector>

#include "config/gateway_config.h"
#include "db/ib_field_def.h"
#include "gateway/document_writer.h"
#include "gateway/protocol_strings.h"
#include "gateway/sql_service_session.h"
#include "gateway/sql_services.h"
#include "runtime/ascii_text.h"
#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "runtime/format.h"
#include "runtime/stop_signals.h"

namespace xg {
namespace {

XG_RESOURCE(SAnswerTooLarge, "A resposta passa do limite de %d bytes (max-answer-bytes)");

// The bytes the answer may take (max-answer-bytes). While rows are fetched it counts a lower
// bound of the document they will make, so that fetching stops before the row cache holds more
// than the answer may; while the lines are made it counts their exact bytes.
class AnswerBudget {
 public:
  explicit AnswerBudget(int64_t limit) : limit_(limit) {}
  void Add(int64_t bytes) {
    used_ += bytes;
    if (used_ > limit_) throw Exception(Format(LoadResString(SAnswerTooLarge), {limit_}));
  }
  // A line of the document (its values already escaped): its bytes and its CR LF.
  void AddLine(const std::string& line) { Add(static_cast<int64_t>(line.size() + 2)); }
  void Restart() { used_ = 0; }

 private:
  int64_t limit_;
  int64_t used_ = 0;
};

// The element name of a column: its name in upper case (ASCII letters only), each "&" written
// as "&amp;" as the values' are.
std::string ElementName(const std::string& field_name) {
  std::string name;
  name.reserve(field_name.size());
  for (char c : field_name) {
    if (c == '&') {
      name += "&amp;";
    } else {
      name += AsciiToUpper(c);
    }
  }
  return name;
}

// One element line per field of the current row (every value null when there is none).
template <class AddLine>
void AddRowElements(IbQuery& query, AddLine& add, const RegionalSettings& settings) {
  for (int i = 0; i < query.FieldCount(); ++i) {
    const FieldDef& field = query.Field(i);
    const int data_size = FieldDataSize(field) - (field.data_type == ftString ? 1 : 0);
    add(MakeElement(ElementName(field.name), query.FieldValue(i), FieldDataKind(field.data_type),
                    data_size, 0, settings));
  }
}

std::string RecordTag(int number) {
  return LoadResString(SRecord) + IntToStr(number);
}

// The bytes of a row's lines apart from its values: the record tags and each field's element
// with an empty value.
int64_t RowMarkupBytes(IbQuery& query) {
  int64_t bytes = 2 * (static_cast<int64_t>(RecordTag(1).size()) + 2) + 1;
  for (int i = 0; i < query.FieldCount(); ++i) {
    const FieldDef& field = query.Field(i);
    bytes += static_cast<int64_t>(OpeningTag(ElementName(field.name)).size() * 2) + 2;
  }
  return bytes;
}

void AddRows(IbQuery& query, std::vector<std::string>& lines, AnswerBudget& budget,
             const RegionalSettings& settings) {
  query.SetRowFetchedHandler(
      [&query, &budget, row_markup = int64_t{-1}](size_t value_bytes) mutable {
        if (row_markup < 0) row_markup = RowMarkupBytes(query);
        budget.Add(row_markup + static_cast<int64_t>(value_bytes));
      });
  query.Open();
  query.Last();  // the whole result into the row cache, so the count is known
  query.First();
  budget.Restart();
  // Every line goes through the budget; the closing tag, added by the caller, is counted here.
  auto add = [&](std::string line) {
    budget.AddLine(line);
    lines.push_back(std::move(line));
  };
  budget.AddLine(ClosingTag(LoadResString(SOpenSQL)));
  add(LoadResString(SXMLDeclaration));
  add(OpeningTag(LoadResString(SOpenSQL) + " " + LoadResString(SRecordCount) + "=\"" +
                 IntToStr(query.RecordCount()) + "\""));
  if (query.RecordCount() <= 0) {
    add(OpeningTag(RecordTag(0)));
    AddRowElements(query, add, settings);
    add(ClosingTag(RecordTag(0)));
  }
  while (!query.Eof()) {
    ThrowIfStopped();  // a long answer stops at a termination signal
    add(OpeningTag(RecordTag(query.RecNo())));
    AddRowElements(query, add, settings);
    add(ClosingTag(RecordTag(query.RecNo())));
    query.Next();
  }
}

}  // namespace

std::string RunOpenSQL(const std::string& request_text, const RegionalSettings& settings) {
  SqlServiceSession session;
  session.Connect(request_text);
  session.Transaction().StartTransaction();
  session.LoadStatement();
  std::vector<std::string> lines;
  AnswerBudget budget(CurrentGatewayConfig().maxAnswerBytes);

  try {
    AddRows(session.Query(), lines, budget, settings);
    // Every value is in the lines now: the row cache can go before the text is made.
    session.Query().Close();
  } catch (const Exception& failure) {
    lines.clear();
    lines.push_back(LoadResString(SXMLDeclaration));
    lines.push_back(OpeningTag(LoadResString(SOpenSQL)));
    lines.push_back(MakeElement(LoadResString(SMsgData), Variant::FromString(failure.Message()),
                                DataKind::kString, 0, 0, settings));
  }
  lines.push_back(ClosingTag(LoadResString(SOpenSQL)));
  std::string document = JoinDocumentLines(lines);

  // The transaction is still active: the disconnect commits it.
  session.Finish();
  return document;
}

}  // namespace xg
