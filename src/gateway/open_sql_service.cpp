// The query service: every row of a SELECT as an OPENSQL document.
#include <string>
#include <vector>

#include "db/ib_field_def.h"
#include "gateway/document_writer.h"
#include "gateway/protocol_strings.h"
#include "gateway/sql_service_session.h"
#include "gateway/sql_services.h"
#include "runtime/ascii_text.h"
#include "runtime/conversions.h"
#include "runtime/exceptions.h"

namespace xg {
namespace {

// One element line per field of the current row (every value null when there is none).
void AddRowElements(TIBQuery& query, std::vector<std::string>& lines,
                    const RegionalSettings& settings) {
  for (int i = 0; i < query.FieldCount(); ++i) {
    const TFieldDef& field = query.Field(i);
    const int dataSize = FieldDataSize(field) - (field.DataType == ftString ? 1 : 0);
    lines.push_back(MakeElement(AsciiUpperCase(field.Name), query.FieldValue(i),
                                FieldDataKind(field.DataType), dataSize, 0, settings));
  }
}

std::string RecordTag(int number) {
  return LoadResString(SRecord) + IntToStr(number);
}

void AddRows(TIBQuery& query, std::vector<std::string>& lines, const RegionalSettings& settings) {
  query.Open();
  query.Last();  // the whole result into the row cache, so the count is known
  query.First();
  lines.push_back(LoadResString(SXMLDeclaration));
  lines.push_back(MakeTag(LoadResString(SOpenSQL) + " " + LoadResString(SRecordCount) + "=\"" +
                              IntToStr(query.RecordCount()) + "\"",
                          false));
  if (query.RecordCount() <= 0) {
    lines.push_back(MakeTag(RecordTag(0), false));
    AddRowElements(query, lines, settings);
    lines.push_back(MakeTag(RecordTag(0), true));
  }
  while (!query.Eof()) {
    lines.push_back(MakeTag(RecordTag(query.RecNo()), false));
    AddRowElements(query, lines, settings);
    lines.push_back(MakeTag(RecordTag(query.RecNo()), true));
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

std::string RunOpenSQL(const std::string& RequestText, const RegionalSettings& settings) {
  TSQLServiceSession session;
  session.Connect(RequestText);
  session.Transaction().SetActive(false);
  session.Transaction().SetActive(true);
  session.LoadStatement();
  std::vector<std::string>& lines = session.CreateLines();

  try {
    AddRows(session.Query(), lines, settings);
    // Every value is in the lines now: the row cache can go before the text is made.
    session.Query().Close();
  } catch (const Exception& failure) {
    lines.clear();
    lines.push_back(LoadResString(SXMLDeclaration));
    lines.push_back(MakeTag(LoadResString(SOpenSQL), false));
    lines.push_back(MakeElement(LoadResString(SMsgData), Variant::FromString(failure.Message()),
                                dkString, 0, 0, settings));
  }
  lines.push_back(MakeTag(LoadResString(SOpenSQL), true));
  std::string document = JoinEscaped(lines);

  // The transaction is still active: the disconnect commits it.
  session.Finish();
  return document;
}

}  // namespace xg
