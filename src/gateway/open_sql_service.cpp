// The query service: every row of a SELECT as an OPENSQL document.
#include <string>
#include <vector>

#include "db/ib_field_def.h"
#include "gateway/document_writer.h"
#include "gateway/protocol_strings.h"
#include "gateway/sql_service_session.h"
#include "gateway/sql_services.h"
#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "runtime/stop_signals.h"

namespace xg {
namespace {

// The element name of a column: its name in upper case (ASCII letters only), each "&" written
// as "&amp;" as the values' are.
std::string ElementName(const std::string& fieldName) {
  std::string name;
  name.reserve(fieldName.size());
  for (char c : fieldName) {
    if (c >= 'a' && c <= 'z') {
      name += static_cast<char>(c - 'a' + 'A');
    } else if (c == '&') {
      name += "&amp;";
    } else {
      name += c;
    }
  }
  return name;
}

// One element line per field of the current row (every value null when there is none).
void AddRowElements(TIBQuery& query, std::vector<std::string>& lines) {
  for (int i = 0; i < query.FieldCount(); ++i) {
    const TFieldDef& field = query.Field(i);
    const int dataSize = FieldDataSize(field) - (field.DataType == ftString ? 1 : 0);
    lines.push_back(MakeElement(ElementName(field.Name), query.FieldValue(i),
                                FieldDataKind(field.DataType), dataSize, 0));
  }
}

std::string RecordTag(int number) {
  return LoadResString(SRecord) + IntToStr(number);
}

void AddRows(TIBQuery& query, std::vector<std::string>& lines) {
  query.Open();
  query.Last();  // the whole result into the row cache, so the count is known
  query.First();
  lines.push_back(LoadResString(SXMLDeclaration));
  lines.push_back(MakeTag(LoadResString(SOpenSQL) + " " + LoadResString(SRecordCount) + "=\"" +
                              IntToStr(query.RecordCount()) + "\"",
                          false));
  if (query.RecordCount() <= 0) {
    lines.push_back(MakeTag(RecordTag(0), false));
    AddRowElements(query, lines);
    lines.push_back(MakeTag(RecordTag(0), true));
  }
  while (!query.Eof()) {
    ThrowIfStopped();  // a long answer stops at a termination signal
    lines.push_back(MakeTag(RecordTag(query.RecNo()), false));
    AddRowElements(query, lines);
    lines.push_back(MakeTag(RecordTag(query.RecNo()), true));
    query.Next();
  }
}

}  // namespace

std::string RunOpenSQL(const std::string& RequestText) {
  TSQLServiceSession session;
  session.Connect(RequestText);
  session.Transaction().SetActive(false);
  session.Transaction().SetActive(true);
  session.LoadStatement();
  std::vector<std::string>& lines = session.CreateLines();

  try {
    AddRows(session.Query(), lines);
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
  std::string document = JoinDocumentLines(lines);

  // The transaction is still active: the disconnect commits it.
  session.Finish();
  return document;
}

}  // namespace xg
