#include "result.h"

#include <gtest/gtest.h>

#include "client_failure.h"

namespace xg::client {
namespace {

AnswerValue Value(const std::string& name, const std::string& text,
                  const std::string& kind = "STRING") {
  return {name, kind, text};
}

Answer Records(const std::string& count, std::vector<AnswerGroup> groups) {
  return {"OPENSQL", {{"RECORDCOUNT", count}}, {}, std::move(groups)};
}

AnswerGroup Record(const std::string& name, const std::string& id, const std::string& text) {
  return {name, {Value("ID", id, "INTEGER"), Value("NAME", text)}};
}

// Columns as NAME:KIND, then each row's texts.
std::string Render(const ResultTable& table) {
  std::string text = table.single_record ? "single:" : "rows:";
  for (const Column& column : table.columns) text += column.name + ":" + column.kind + " ";
  for (const auto& row : table.rows) {
    text += "|";
    for (const std::string& value : row) text += value + ";";
  }
  return text;
}

TEST(ReadResult, TurnsEachSuccessfulAnswerIntoRows) {
  const Answer status = {"STATUS",
                         {},
                         {Value("TIMESTAMP", "t", "DATETIME"), Value("MSGDATA", "ok")},
                         {{"DATATYPES", {Value("INTEGER", "2147483647", "INTEGER")}}}};
  const Answer done = {
      "EXECSQL", {}, {Value("MSGDATA", "Opera\u00e7\u00e3o efetuada com sucesso")}, {}};
  const struct {
    Answer answer;
    Service service;
    std::string rendered;
  } cases[] = {
      {status, Service::kStatus,
       "single:TIMESTAMP:DATETIME MSGDATA:STRING INTEGER:INTEGER |t;ok;2147483647;"},
      {done, Service::kExecSql, "single:MSGDATA:STRING |Opera\u00e7\u00e3o efetuada com sucesso;"},
      {Records("2", {Record("RECORD1", "1", "a"), Record("RECORD2", "2", "b")}), Service::kOpenSql,
       "rows:ID:INTEGER NAME:STRING |1;a;|2;b;"},
      {Records("0", {Record("RECORD0", "0", "")}), Service::kOpenSql,
       "rows:ID:INTEGER NAME:STRING "},
      // Element names give back the column names whose bytes the gateway escaped.
      {Records("1", {{"RECORD1",
                      {Value("RDB_x0024_RELATION_ID", "1"), Value("_x0031_ST_x0020__x00E7_", "2"),
                       Value("A_x00G0_", "3"), Value("B_x0026", "4")}}}),
       Service::kOpenSql,
       "rows:RDB$RELATION_ID:STRING 1ST \u00e7:STRING A_x00G0_:STRING B_x0026:STRING |1;2;3;4;"},
  };
  for (const auto& c : cases) EXPECT_EQ(Render(ReadResult(c.answer, c.service)), c.rendered);
}

TEST(ReadResult, ReportsFailuresWithTheirExitCodes) {
  const Answer error = {
      "ERROR", {}, {Value("TIMESTAMP", "t"), Value("MSGDATA", "Erro desconhecido")}, {}};
  const Answer exec_failed = {
      "EXECSQL", {}, {Value("MSGDATA", "Opera\u00e7\u00e3o n\u00e3o efetuada: violation")}, {}};
  const Answer query_failed = {"OPENSQL", {}, {Value("MSGDATA", "Table unknown")}, {}};
  const struct {
    Answer answer;
    Service service;
    ExitCode code;
    std::string message;
  } cases[] = {
      {error, Service::kError, ExitCode::kServer, "Erro desconhecido"},
      {error, Service::kOpenSql, ExitCode::kServer, "Erro desconhecido"},
      {exec_failed, Service::kExecSql, ExitCode::kServer,
       "Opera\u00e7\u00e3o n\u00e3o efetuada: violation"},
      {query_failed, Service::kOpenSql, ExitCode::kServer, "Table unknown"},
      {{"ERROR", {}, {}, {}},
       Service::kStatus,
       ExitCode::kAnswer,
       "not a gateway answer: the ERROR document carries no MSGDATA"},
      {query_failed, Service::kExecSql, ExitCode::kAnswer,
       "not a gateway answer: a OPENSQL document for the service SERVICEEXECSQL"},
      {Records("x", {}), Service::kOpenSql, ExitCode::kAnswer,
       "not a gateway answer: RECORDCOUNT is \"x\""},
      {Records("3", {Record("RECORD1", "1", "a"), Record("RECORD2", "2", "b")}), Service::kOpenSql,
       ExitCode::kAnswer, "not a gateway answer: RECORDCOUNT=\"3\" but 2 record blocks"},
      {Records("2", {Record("RECORD1", "1", "a"), Record("RECORD3", "2", "b")}), Service::kOpenSql,
       ExitCode::kAnswer, "not a gateway answer: the block RECORD3 where RECORD2 belongs"},
      {Records("0", {}), Service::kOpenSql, ExitCode::kAnswer,
       "not a gateway answer: RECORDCOUNT=\"0\" without a lone RECORD0 block"},
      {Records("2", {Record("RECORD1", "1", "a"), {"RECORD2", {Value("ID", "2")}}}),
       Service::kOpenSql, ExitCode::kAnswer,
       "not a gateway answer: the columns of RECORD2 differ from the first block's"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::FailureOf([&] { ReadResult(c.answer, c.service); }),
              test::Failed(c.code, c.message));
  }
}

}  // namespace
}  // namespace xg::client
