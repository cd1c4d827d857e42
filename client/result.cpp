#include "result.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

#include "client_error.h"
#include "protocol/protocol_strings.h"
#include "text_encoding.h"

namespace xg::client {
namespace {

// The gateway's message for a statement carried out and committed, in UTF-8.
constexpr std::string_view kStatementDone = "Opera\u00e7\u00e3o efetuada com sucesso";

std::string_view Name(const ResourceString& resource) {
  return resource.text;
}

[[noreturn]] void FailAnswer(const std::string& what) {
  throw ClientError(ExitCode::kAnswer, "not a gateway answer: " + what);
}

// The MSGDATA text directly inside the root.
std::string Message(const Answer& answer) {
  for (const AnswerValue& value : answer.values)
    if (value.name == Name(SMsgData)) return value.text;
  FailAnswer("the " + answer.root + " document carries no " + std::string(Name(SMsgData)));
}

// The column name an element of a record block stands for: the gateway writes each byte that
// cannot stand in an XML name as "_x" + four hexadecimal digits + "_", and as it writes names in
// upper case, a "_x" in one always starts such an escape.
std::string ColumnName(std::string_view element_name) {
  std::string name;
  for (size_t i = 0; i < element_name.size(); ++i) {
    const std::string_view rest = element_name.substr(i);
    uint32_t code = 0;
    if (rest.size() >= 7 && rest.starts_with("_x") && rest[6] == '_' &&
        std::from_chars(rest.data() + 2, rest.data() + 6, code, 16).ptr == rest.data() + 6) {
      AppendUtf8(code, name);
      i += 6;
    } else {
      name += element_name[i];
    }
  }
  return name;
}

// The number after the stem "RECORD", or nothing when the name is not a record block's.
std::optional<long long> RecordNumber(std::string_view name) {
  const std::string_view stem = Name(SRecord);
  if (!name.starts_with(stem) || name.size() == stem.size()) return std::nullopt;
  long long number = 0;
  const auto [end, error] =
      std::from_chars(name.data() + stem.size(), name.data() + name.size(), number);
  if (error != std::errc() || end != name.data() + name.size()) return std::nullopt;
  return number;
}

ResultTable SingleRecord(const std::vector<const AnswerValue*>& values) {
  ResultTable table;
  table.single_record = true;
  table.rows.emplace_back();
  for (const AnswerValue* value : values) {
    table.columns.push_back({value->name, value->kind});
    table.rows.back().push_back(value->text);
  }
  return table;
}

// The columns and the texts of one record block.
void ReadBlock(const AnswerGroup& group, std::vector<Column>& columns,
               std::vector<std::string>& row) {
  for (const AnswerValue& value : group.values) {
    columns.push_back({ColumnName(value.name), value.kind});
    row.push_back(value.text);
  }
}

ResultTable QueryRows(const Answer& answer, const std::string& record_count) {
  long long count = 0;
  const auto [end, error] =
      std::from_chars(record_count.data(), record_count.data() + record_count.size(), count);
  if (error != std::errc() || end != record_count.data() + record_count.size())
    FailAnswer("RECORDCOUNT is \"" + record_count + "\"");
  const std::string record(Name(SRecord));
  ResultTable table;
  if (count <= 0) {
    // An empty result: one RECORD0 block names the columns.
    if (answer.groups.size() != 1 || RecordNumber(answer.groups[0].name) != 0)
      FailAnswer("RECORDCOUNT=\"" + record_count + "\" without a lone " + record + "0 block");
    std::vector<std::string> no_row;
    ReadBlock(answer.groups[0], table.columns, no_row);
    return table;
  }
  if (static_cast<long long>(answer.groups.size()) != count)
    FailAnswer("RECORDCOUNT=\"" + record_count + "\" but " + std::to_string(answer.groups.size()) +
               " record blocks");
  for (size_t k = 0; k < answer.groups.size(); ++k) {
    const AnswerGroup& group = answer.groups[k];
    if (RecordNumber(group.name) != static_cast<long long>(k + 1))
      FailAnswer("the block " + group.name + " where " + record + std::to_string(k + 1) +
                 " belongs");
    std::vector<Column> columns;
    table.rows.emplace_back();
    ReadBlock(group, k == 0 ? table.columns : columns, table.rows.back());
    const auto same_name = [](const Column& a, const Column& b) { return a.name == b.name; };
    if (k > 0 && !std::equal(columns.begin(), columns.end(), table.columns.begin(),
                             table.columns.end(), same_name))
      FailAnswer("the columns of " + group.name + " differ from the first block's");
  }
  return table;
}

}  // namespace

ResultTable ReadResult(const Answer& answer, Service service) {
  if (answer.root == Name(SError)) throw ClientError(ExitCode::kServer, Message(answer));
  if (answer.root != AnswerRoot(service))
    FailAnswer("a " + answer.root + " document for the service " +
               std::string(ServiceName(service)));
  switch (service) {
    case Service::kStatus: {
      std::vector<const AnswerValue*> values;
      for (const AnswerValue& value : answer.values) values.push_back(&value);
      for (const AnswerGroup& group : answer.groups)
        for (const AnswerValue& value : group.values) values.push_back(&value);
      return SingleRecord(values);
    }
    case Service::kExecSql: {
      const std::string message = Message(answer);
      if (message != kStatementDone) throw ClientError(ExitCode::kServer, message);
      ResultTable table;
      table.single_record = true;
      table.columns.push_back({std::string(Name(SMsgData)), std::string(Name(SKindString))});
      table.rows.push_back({message});
      return table;
    }
    case Service::kOpenSql: {
      const auto count = answer.attributes.find(std::string(Name(SRecordCount)));
      if (count == answer.attributes.end()) throw ClientError(ExitCode::kServer, Message(answer));
      return QueryRows(answer, count->second);
    }
    case Service::kError:
      break;
  }
  FailAnswer("an " + answer.root + " document");
}

}  // namespace xg::client
