// The query service: every row of a SELECT as an OPENSQL document.
#include <algorithm>
#include <string>
#include <vector>

#include "config/gateway_config.h"
#include "db/ib_field_def.h"
#include "gateway/document_writer.h"
#include "gateway/protocol_strings.h"
#include "gateway/sql_service_session.h"
#include "gateway/sql_services.h"
#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "runtime/format.h"

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
  // A line of the document: its bytes, its CR LF, and four more for every "&" the escaping
  // turns into "&amp;".
  void AddLine(const std::string& line) {
    Add(static_cast<int64_t>(line.size() + 2 + 4 * std::count(line.begin(), line.end(), '&')));
  }
  void Restart() { used_ = 0; }

 private:
  int64_t limit_;
  int64_t used_ = 0;
};

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// One element line per field of the current row (every value null when there is none).
template <class AddLine>
void AddRowElements(TIBQuery& query, AddLine& add) {
  for (int i = 0; i < query.FieldCount(); ++i) {
    const TFieldDef& field = query.Field(i);
    const int dataSize = FieldDataSize(field) - (field.DataType == ftString ? 1 : 0);
    add(MakeElement(AsciiUpper(field.Name), query.FieldValue(i), FieldDataKind(field.DataType),
                    dataSize, 0));
  }
}

std::string RecordTag(int number) {
  return LoadResString(SRecord) + IntToStr(number);
}

// The bytes of a row's lines apart from its values: the record tags and each field's element
// with an empty value.
int64_t RowMarkupBytes(TIBQuery& query) {
  int64_t bytes = 2 * (static_cast<int64_t>(RecordTag(1).size()) + 2) + 1;
  for (int i = 0; i < query.FieldCount(); ++i) {
    const TFieldDef& field = query.Field(i);
    bytes += static_cast<int64_t>(MakeTag(AsciiUpper(field.Name), false).size() * 2) + 2;
  }
  return bytes;
}

void AddRows(TIBQuery& query, std::vector<std::string>& lines, AnswerBudget& budget) {
  query.SetRowFetchedHandler([&query, &budget, rowMarkup = int64_t{-1}](size_t valueBytes) mutable {
    if (rowMarkup < 0) rowMarkup = RowMarkupBytes(query);
    budget.Add(rowMarkup + static_cast<int64_t>(valueBytes));
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
  budget.AddLine(MakeTag(LoadResString(SOpenSQL), true));
  add(LoadResString(SXMLDeclaration));
  add(MakeTag(LoadResString(SOpenSQL) + " " + LoadResString(SRecordCount) + "=\"" +
                  IntToStr(query.RecordCount()) + "\"",
              false));
  if (query.RecordCount() <= 0) {
    add(MakeTag(RecordTag(0), false));
    AddRowElements(query, add);
    add(MakeTag(RecordTag(0), true));
  }
  while (!query.Eof()) {
    add(MakeTag(RecordTag(query.RecNo()), false));
    AddRowElements(query, add);
    add(MakeTag(RecordTag(query.RecNo()), true));
    query.Next();
  }
}

// The document text: every line followed by CR LF, with every "&" replaced by "&amp;" (the only
// escaping of the system), made in one pass.
std::string JoinEscaped(const std::vector<std::string>& lines) {
  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size + size / 64);
  for (const std::string& line : lines) {
    size_t start = 0;
    for (size_t amp = line.find('&'); amp != std::string::npos; amp = line.find('&', start)) {
      text.append(line, start, amp - start);
      text += "&amp;";
      start = amp + 1;
    }
    text.append(line, start, std::string::npos);
    text += "\r\n";
  }
  return text;
}

}  // namespace

std::string RunOpenSQL(const std::string& RequestText) {
  TSQLServiceSession session;
  session.Connect(RequestText);
  session.Transaction().SetActive(false);
  session.Transaction().SetActive(true);
  session.LoadStatement();
  std::vector<std::string>& lines = session.CreateLines();
  AnswerBudget budget(CurrentGatewayConfig().maxAnswerBytes);

  try {
    AddRows(session.Query(), lines, budget);
    // Every value is in the lines now: the row cache can go before the text is made.
    session.Query().Close();
  } catch (const Exception& failure) {
    lines.clear();
    lines.push_back(LoadResString(SXMLDeclaration));
    lines.push_back(MakeTag(LoadResString(SOpenSQL), false));
    lines.push_back(MakeElement(LoadResString(SMsgData), Variant::FromString(failure.Message()),
                                dkString, 0, 0));
  }
  lines.push_back(MakeTag(LoadResString(SOpenSQL), true));
  std::string document = JoinEscaped(lines);

  // The transaction is still active: the disconnect commits it.
  session.Finish();
  return document;
}

}  // namespace xg
