#include "gateway/status_documents.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_hosts.h"
#include "support/xml_reader.h"
#include "values/date_time.h"

namespace xg {
namespace {

// Answers its readings in turn and counts them; the last one repeats.
class FakeClock : public Clock {
 public:
  explicit FakeClock(std::vector<DateTime> readings) : readings_(std::move(readings)) {}
  DateTime Now() const override {
    size_t index = reads_ < readings_.size() ? reads_ : readings_.size() - 1;
    ++reads_;
    return readings_[index];
  }
  size_t Reads() const { return reads_; }

 private:
  std::vector<DateTime> readings_;
  mutable size_t reads_ = 0;
};

DateTime At(int year, int month, int day, int hour, int minute, int second) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

class StatusDocuments : public testing::Test {
 protected:
  const RegionalSettings settings = test::BrazilianSettings();
};

TEST_F(StatusDocuments, StatusDocumentOnABrazilianHost) {
  FakeClock clock({At(2025, 12, 8, 21, 13, 5)});
  EXPECT_EQ(BuildStatusXml("<request/>", "abc", settings, clock),
            Lines({
                "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
                "<STATUS>",
                " <TIMESTAMP DATATYPE=\"DATETIME\">08/12/2025 21:13:05</TIMESTAMP>",
                " <AGENT DATATYPE=\"STRING\">abc</AGENT>",
                " <MSGDATA DATATYPE=\"STRING\">Servi\xE7o em Opera\xE7\xE3o</MSGDATA>",
                "<DATATYPES>",
                " <STRING DATATYPE=\"STRING\">ABCDEFGHIJKLMNOPQRSTWVWXYZ</STRING>",
                " <INTEGER DATATYPE=\"INTEGER\">2147483647</INTEGER>",
                " <BOOLEAN DATATYPE=\"BOOLEAN\">True</BOOLEAN>",
                " <FLOAT DATATYPE=\"FLOAT\">1,7E308</FLOAT>",
                " <DATE DATATYPE=\"DATE\">08/12/2025</DATE>",
                " <TIME DATATYPE=\"TIME\">21:13:05</TIME>",
                " <DATETIME DATATYPE=\"DATETIME\">08/12/2025 21:13:05</DATETIME>",
                "</DATATYPES>",
                "</STATUS>",
            }));
  EXPECT_EQ(clock.Reads(), 4u);
}

TEST_F(StatusDocuments, ErrorDocumentOnABrazilianHost) {
  FakeClock clock({At(2025, 12, 8, 21, 13, 5)});
  EXPECT_EQ(BuildErrorXml("Erro desconhecido", settings, clock),
            Lines({
                "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
                "<ERROR>",
                " <TIMESTAMP DATATYPE=\"DATETIME\">08/12/2025 21:13:05</TIMESTAMP>",
                " <MSGDATA DATATYPE=\"STRING\">Erro desconhecido</MSGDATA>",
                "</ERROR>",
            }));
  EXPECT_EQ(clock.Reads(), 1u);
}

TEST_F(StatusDocuments, ClockIsReadForEachDateLineInDocumentOrder) {
  // TIMESTAMP just before midnight; DATE, TIME and DATETIME read after it.
  FakeClock clock({At(2025, 12, 31, 23, 59, 59), At(2026, 1, 1, 0, 0, 0) + EncodeTime(0, 0, 0, 400),
                   At(2026, 1, 1, 0, 0, 0), At(2026, 1, 1, 0, 0, 1)});
  std::string document = BuildStatusXml("", "", settings, clock);
  for (const std::string& line : std::vector<std::string>{
           " <TIMESTAMP DATATYPE=\"DATETIME\">31/12/2025 23:59:59</TIMESTAMP>\r\n",
           " <DATE DATATYPE=\"DATE\">01/01/2026</DATE>\r\n",
           " <TIME DATATYPE=\"TIME\">00:00:00</TIME>\r\n",
           " <DATETIME DATATYPE=\"DATETIME\">01/01/2026 00:00:01</DATETIME>\r\n",
       })
    EXPECT_NE(document.find(line), std::string::npos) << line << "\nin\n" << document;
}

TEST_F(StatusDocuments, FirstSecondAfterMidnightShowsTheDateAlone) {
  FakeClock clock({At(2025, 12, 9, 0, 0, 0)});
  std::string document = BuildStatusXml("", "", settings, clock);
  for (const std::string& line : std::vector<std::string>{
           " <TIMESTAMP DATATYPE=\"DATETIME\">09/12/2025</TIMESTAMP>\r\n",
           " <TIME DATATYPE=\"TIME\">00:00:00</TIME>\r\n",
           " <DATETIME DATATYPE=\"DATETIME\">09/12/2025</DATETIME>\r\n",
       })
    EXPECT_NE(document.find(line), std::string::npos) << line << "\nin\n" << document;
}

TEST_F(StatusDocuments, AgentAndMessageAreEscaped) {
  FakeClock clock({At(2025, 12, 8, 21, 13, 5)});
  std::string status = BuildStatusXml("", "", settings, clock);
  EXPECT_NE(status.find("\r\n <AGENT DATATYPE=\"STRING\"></AGENT>\r\n"), std::string::npos);
  status = BuildStatusXml("", " Mozilla/5.0 <&> ", settings, clock);
  EXPECT_NE(status.find("\r\n <AGENT DATATYPE=\"STRING\"> Mozilla/5.0 &lt;&amp;&gt; </AGENT>\r\n"),
            std::string::npos);

  const std::string head =
      Lines({"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "<ERROR>",
             " <TIMESTAMP DATATYPE=\"DATETIME\">08/12/2025 21:13:05</TIMESTAMP>"});
  EXPECT_EQ(BuildErrorXml("", settings, clock),
            head + " <MSGDATA DATATYPE=\"STRING\"></MSGDATA>\r\n</ERROR>\r\n");
  // The line breaks of the message stay inside its line.
  const std::string message =
      "Element does not contain a single text node\r\r<SENDDATA>\r\n"
      "<SERVICE>x</SERVICE></SENDDATA>\r\n";
  EXPECT_EQ(BuildErrorXml(message, settings, clock),
            head +
                " <MSGDATA DATATYPE=\"STRING\">Element does not contain a single text node\r\r"
                "&lt;SENDDATA&gt;\r\n&lt;SERVICE&gt;x&lt;/SERVICE&gt;&lt;/SENDDATA&gt;\r\n"
                "</MSGDATA>\r\n</ERROR>\r\n");
}

TEST_F(StatusDocuments, AnXmlParserReadsBothDocumentsBack) {
  FakeClock clock({At(2025, 12, 8, 21, 13, 5)});
  std::string error;
  const test::XmlElement status = test::ReadXmlDocument(
      BuildStatusXml("", "agent <&> \"x\" \x01\x7F\xE7", settings, clock), error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(status.Child("AGENT").text, "agent <&> \"x\" ?\x7F\xE7");
  EXPECT_EQ(status.Child("MSGDATA").text, "Servi\xE7o em Opera\xE7\xE3o");
  EXPECT_EQ(status.Child("DATATYPES").Child("FLOAT").text, "1,7E308");

  // The error document that quotes a request after its message: declaration, markup, a
  // reference, a CDATA end, a NUL (the parser's text ends there) and control characters.
  static const char kRequest[] =
      "<?xml version=\"1.0\"?><SENDDATA a='&amp;'><SERVICE>]]>\x02</SERVICE>\0</SENDDATA>";
  const std::string request(kRequest, sizeof kRequest - 1);
  const test::XmlElement failure = test::ReadXmlDocument(
      BuildErrorXml("Elemento SENDDATA n\xE3o encontrado\r\r" + request, settings, clock), error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(failure.name, "ERROR");
  // XML reads a lone CR as a line feed.
  EXPECT_EQ(failure.Child("MSGDATA").text,
            "Elemento SENDDATA n\xE3o encontrado\n\n<?xml version=\"1.0\"?><SENDDATA "
            "a='&amp;'><SERVICE>]]>?</SERVICE>?</SENDDATA>");
}

TEST(StatusDocumentFloat, FullStopSeparatorHost) {
  const RegionalSettings settings = test::SettingsWithDecimalSeparator('.');
  FakeClock clock({At(2025, 12, 8, 21, 13, 5)});
  EXPECT_NE(BuildStatusXml("", "abc", settings, clock)
                .find("\r\n <FLOAT DATATYPE=\"FLOAT\">1.7E308</FLOAT>\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace xg
