#include "answer_parser.h"

#include <gtest/gtest.h>

#include "client_failure.h"

namespace xg::client {
namespace {

using namespace std::string_literals;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";

// ROOT[attributes] {values} GROUP{values} ..., values as NAME:KIND=text.
std::string Render(const Answer& answer) {
  std::string text = answer.root;
  for (const auto& [name, value] : answer.attributes) text += "[" + name + "=" + value + "]";
  const auto values = [&](const std::vector<AnswerValue>& list) {
    text += "{";
    for (const AnswerValue& value : list)
      text += value.name + ":" + value.kind + "=" + value.text + ";";
    text += "}";
  };
  values(answer.values);
  for (const AnswerGroup& group : answer.groups) {
    text += group.name;
    values(group.values);
  }
  return text;
}

std::string Query(const std::string& record1_name, const std::string& record2_name) {
  return kDeclaration + "<OPENSQL RECORDCOUNT=\"2\">\r\n<RECORD1>\r\n" +
         " <ID DATATYPE=\"INTEGER\" DATASIZE=\"4\">1</ID>\r\n" +
         " <NAME DATATYPE=\"STRING\" DATASIZE=\"40\">" + record1_name + "</NAME>\r\n" +
         "</RECORD1>\r\n<RECORD2>\r\n <ID DATATYPE=\"INTEGER\" DATASIZE=\"4\">2</ID>\r\n" +
         " <NAME DATATYPE=\"STRING\" DATASIZE=\"40\">" + record2_name + "</NAME>\r\n" +
         "</RECORD2>\r\n</OPENSQL>\r\n";
}

std::string Message(const std::string& root, const std::string& message) {
  return kDeclaration + "<" + root + ">\r\n <MSGDATA DATATYPE=\"STRING\">" + message +
         "</MSGDATA>\r\n</" + root + ">\r\n";
}

TEST(ParseAnswer, ReadsTheGatewaysDocumentsWhetherWellFormedOrNot) {
  const struct {
    std::string document, rendered;
  } cases[] = {
      {kDeclaration +
           "<STATUS>\r\n <TIMESTAMP DATATYPE=\"DATETIME\">08/12/2025 21:13:05</TIMESTAMP>"
           "\r\n <AGENT DATATYPE=\"STRING\"></AGENT>\r\n"
           " <MSGDATA DATATYPE=\"STRING\">Servi\xE7o em Opera\xE7\xE3o</MSGDATA>\r\n"
           "<DATATYPES>\r\n <STRING DATATYPE=\"STRING\">ABC</STRING>\r\n"
           " <BOOLEAN DATATYPE=\"BOOLEAN\">True</BOOLEAN>\r\n</DATATYPES>\r\n"
           "</STATUS>\r\n",
       "STATUS{TIMESTAMP:DATETIME=08/12/2025 21:13:05;AGENT:STRING=;"
       "MSGDATA:STRING=Servi\xC3\xA7o em Opera\xC3\xA7\xC3\xA3o;}"
       "DATATYPES{STRING:STRING=ABC;BOOLEAN:BOOLEAN=True;}"},
      // Any well-formed document of the same elements, whatever its layout.
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><STATUS><MSGDATA DATATYPE='STRING'>"
       "<![CDATA[a<b]]>&#233;\xE9</MSGDATA><!-- c --></STATUS>",
       "STATUS{MSGDATA:STRING=a<b\xC3\xA9\xC3\xA9;}"},
      // Today's query answer: "&" escaped, "<", a NUL and a line break not; trailing blanks kept.
      {Query("Bia &amp; Caio <3>", "x\0y\r\nz  "s),
       "OPENSQL[RECORDCOUNT=2]{}RECORD1{ID:INTEGER=1;NAME:STRING=Bia & Caio <3>;}"
       "RECORD2{ID:INTEGER=2;NAME:STRING=x\0y\nz  ;}"s},
      // The same values escaped, control characters as "?": well-formed, the same texts.
      {Query("Bia &amp; Caio &lt;3&gt;", "x?y\r\nz  "),
       "OPENSQL[RECORDCOUNT=2]{}RECORD1{ID:INTEGER=1;NAME:STRING=Bia & Caio <3>;}"
       "RECORD2{ID:INTEGER=2;NAME:STRING=x?y\nz  ;}"},
      // Markup an XML parser would take for structure, and the element's own closing tag
      // inside its text, are text.
      {Query("<b>x</b>", "a<!--c-->b"),
       "OPENSQL[RECORDCOUNT=2]{}RECORD1{ID:INTEGER=1;NAME:STRING=<b>x</b>;}"
       "RECORD2{ID:INTEGER=2;NAME:STRING=a<!--c-->b;}"},
      {Query("a</NAME>\r\nb", "c"),
       "OPENSQL[RECORDCOUNT=2]{}RECORD1{ID:INTEGER=1;NAME:STRING=a</NAME>\nb;}"
       "RECORD2{ID:INTEGER=2;NAME:STRING=c;}"},
      {Query("&#233;&#xE9;&unknown; & &amp;lt;", "<"),
       "OPENSQL[RECORDCOUNT=2]{}RECORD1{ID:INTEGER=1;NAME:STRING=\xC3\xA9\xC3\xA9&unknown; & &lt;;}"
       "RECORD2{ID:INTEGER=2;NAME:STRING=<;}"},
      {kDeclaration + "<OPENSQL RECORDCOUNT=\"0\">\r\n<RECORD0>\r\n"
                      " <ID DATATYPE=\"INTEGER\" DATASIZE=\"4\">0</ID>\r\n</RECORD0>\r\n"
                      "</OPENSQL>\r\n",
       "OPENSQL[RECORDCOUNT=0]{}RECORD0{ID:INTEGER=0;}"},
      // The gateway's failure message quotes the request after two CRs.
      {Message("ERROR",
               "Uneven size in DecodeToStream.\r\r<?xml version=\"1.0\"?><SENDDATA>"
               "<SERVICE>X</SERVICE></SENDDATA>"),
       "ERROR{MSGDATA:STRING=Uneven size in DecodeToStream.\n\n<?xml version=\"1.0\"?>"
       "<SENDDATA><SERVICE>X</SERVICE></SENDDATA>;}"},
      {Message("EXECSQL", "Opera\xE7\xE3o n\xE3o efetuada: key 'a&b'"),
       "EXECSQL{MSGDATA:STRING=Opera\xC3\xA7\xC3\xA3o n\xC3\xA3o efetuada: key 'a&b';}"},
  };
  for (const auto& c : cases) {
    try {
      EXPECT_EQ(Render(ParseAnswer(c.document)), c.rendered) << c.document;
    } catch (const ClientError& e) {
      ADD_FAILURE() << e.what() << "\n" << c.document;
    }
  }
}

TEST(ParseAnswer, RefusesCutAndForeignDocumentsNamingTheLine) {
  const std::string status = Message("STATUS", "ok");
  const struct {
    std::string document, message;
  } cases[] = {
      {"", "line 1: the document ends before <?xml"},
      {"<html><body>Not Found</body></html>", "line 1: expected <?xml"},
      {status.substr(0, status.size() - 11), "line 4: the document ends before </STATUS>"},
      {status.substr(0, status.size() - 24), "line 3: the value of MSGDATA does not end"},
      {status.substr(0, kDeclaration.size() + 8), "line 2: expected the end of the line"},
      {status + "<STATUS>\r\n", "line 5: more text after the closing tag of STATUS"},
      {kDeclaration + "<STATUS>\r\n <A>x</A>\r\n</STATUS>\r\n", "line 3: A has no DATATYPE"},
      {kDeclaration + "<STATUS>\r\nloose text\r\n</STATUS>\r\n",
       "line 3: expected a tag or a value line"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::FailureOf([&] { ParseAnswer(c.document); }),
              test::Failed(ExitCode::kAnswer, "not a gateway answer: " + c.message))
        << c.document;
  }
}

}  // namespace
}  // namespace xg::client
