#include "gateway/request_parser.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "gateway/xml_document.h"
#include "support/failures.h"
#include "support/scoped_language_module.h"
#include "texts/exceptions.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

const std::string kDeclaration = "<?xml version=\"1.0\"?>\r\n";

std::string Request(const std::string& children, const std::string& prolog = kDeclaration) {
  return prolog + "<SENDDATA>" + children + "</SENDDATA>\r\n";
}

RequestParams Parse(const std::string& text) {
  RequestParams params;
  ParseRequest(text, params);
  return params;
}

// The message of the failure of class E that parsing raises; fails the test when there is none.
template <typename E>
std::string FailureOf(const std::string& text) {
  SCOPED_TRACE(text);
  return test::FailureMessage<E>([&] { Parse(text); });
}

const std::string kNotSingleText = "Element does not contain a single text node";

TEST(GetServiceKind, FoldsAsciiCaseOnlyAndDoesNotTrim) {
  const struct {
    std::string name;
    std::optional<ServiceKind> kind;
  } cases[] = {
      {"SERVICESTATUS", ServiceKind::kStatus},
      {"SERVICEERROR", ServiceKind::kError},
      {"SERVICEOPENSQL", ServiceKind::kOpenSql},
      {"SERVICEEXECSQL", ServiceKind::kExecSql},
      {"servicestatus", ServiceKind::kStatus},
      {"ServiceOpenSql", ServiceKind::kOpenSql},
      {"sErViCeExEcSqL", ServiceKind::kExecSql},
      {" SERVICESTATUS", std::nullopt},
      {"SERVICESTATUS ", std::nullopt},
      {"SERVICESTATUS\r\n", std::nullopt},
      {"SERVICESTATUSX", std::nullopt},
      {"", std::nullopt},
      {std::string("SERVICESTATUS\0", 14), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(GetServiceKind(c.name), c.kind) << c.name;
}

TEST(GetServiceKind, BytesAboveAsciiAreComparedUnchanged) {
  const test::ScopedLanguageModule module(LanguageTexts{{"SServiceStatus", "STATUS\xC9"},
                                                        {"SServiceError", "ERRO"},
                                                        {"SServiceOpenSQL", "ABRIR"},
                                                        {"SServiceExecSQL", "EXECUTAR"}});
  EXPECT_EQ(GetServiceKind("status\xC9"), ServiceKind::kStatus);
  EXPECT_EQ(GetServiceKind("status\xE9"), std::nullopt);
  EXPECT_EQ(GetServiceKind("Executar"), ServiceKind::kExecSql);
  EXPECT_EQ(GetServiceKind("SERVICESTATUS"), std::nullopt);
}

TEST(ParseRequest, ReadsServiceRootAndTheDatabaseElementsOfTheSqlKinds) {
  RequestParams params = Parse(Request(
      "\r\n  <SQL>U0VMRUNUIDEgRlJPTSBSREIkREFUQUJBU0U=</SQL>\r\n  <USER>SYSDBA</USER>\r\n"
      "  <SERVICE>ServiceOpenSQL</SERVICE>\r\n  <PASS>bWFzdGVya2V5</PASS>\r\n"
      "  <DB>localhost:/data/base.fdb</DB>\r\n  <EXTRA a=\"1\"><X/></EXTRA><!-- note -->\r\n"));
  EXPECT_EQ(params.service, ServiceKind::kOpenSql);
  EXPECT_EQ(params.root, "SENDDATA");
  EXPECT_EQ(params.db, "localhost:/data/base.fdb");
  EXPECT_EQ(params.user, "SYSDBA");
  EXPECT_EQ(params.pass, "bWFzdGVya2V5");
  EXPECT_EQ(params.sql, "U0VMRUNUIDEgRlJPTSBSREIkREFUQUJBU0U=");

  params =
      Parse(Request("<SERVICE>SERVICEEXECSQL</SERVICE><DB>d</DB><USER>u</USER>"
                    "<PASS>p</PASS><SQL>s</SQL>"));
  EXPECT_EQ(params.service, ServiceKind::kExecSql);
  EXPECT_EQ(params.db + params.user + params.pass + params.sql, "dups");
}

TEST(ParseRequest, OtherKindsReadNoDatabaseElements) {
  for (const std::string& service :
       std::vector<std::string>{"SERVICESTATUS", "SERVICEERROR", "UNKNOWN", ""}) {
    RequestParams params;
    params.db = "kept";
    ParseRequest(Request("<SERVICE>" + service + "</SERVICE><USER>ignored</USER>"), params);
    EXPECT_EQ(params.service, GetServiceKind(service));
    EXPECT_EQ(params.db, "kept");
    EXPECT_EQ(params.user, "");
  }
}

TEST(ParseRequest, MissingRequiredElementFailsNamingIt) {
  EXPECT_EQ(FailureOf<EXMLDocError>(Request("<DB>d</DB>")),
            "Element SERVICE not found in the request document");
  // Lower case is another name; the search compares names exactly.
  EXPECT_EQ(FailureOf<EXMLDocError>(Request("<service>SERVICESTATUS</service>")),
            "Element SERVICE not found in the request document");

  RequestParams params;
  EXPECT_THROW(ParseRequest(Request("<SERVICE>SERVICEOPENSQL</SERVICE><DB>d</DB><USER>u</USER>"
                                    "<SQL>s</SQL>"),
                            params),
               EXMLDocError);
  // What was read before the failure stays.
  EXPECT_EQ(params.service, ServiceKind::kOpenSql);
  EXPECT_EQ(params.root, "SENDDATA");
  EXPECT_EQ(params.user, "u");
  EXPECT_EQ(params.pass, "");
  EXPECT_EQ(FailureOf<EXMLDocError>(Request(
                "<SERVICE>SERVICEEXECSQL</SERVICE><USER>u</USER><PASS>p</PASS><SQL>s</SQL>")),
            "Element DB not found in the request document");
}

TEST(ParseRequest, RootIsTheSecondTopLevelNode) {
  const std::string element = "<SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>";
  const struct {
    std::string text, root;
  } cases[] = {
      {kDeclaration + element, "SENDDATA"},
      {"<!-- first -->\r\n" + element, "SENDDATA"},
      {kDeclaration + "<!-- first -->" + element, "#comment"},
      {kDeclaration + "<?xml-stylesheet href=\"a\"?>" + element, "xml-stylesheet"},
      {"<!DOCTYPE SENDDATA>" + element, "SENDDATA"},
      {kDeclaration + "<!DOCTYPE REQ>\r\n" + element, "REQ"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>" + element, "SENDDATA"},
      {"\xEF\xBB\xBF" + kDeclaration + "<SendData><SERVICE>x</SERVICE></SendData>", "SendData"},
      {kDeclaration + "<p:SENDDATA xmlns:p=\"urn:a\"><p:SERVICE>x</p:SERVICE></p:SENDDATA>",
       "p:SENDDATA"},
      {element + "<!-- after -->", "#comment"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.text).root, c.root) << c.text;
}

TEST(ParseRequest, NoSecondTopLevelNodeIsAListIndexFailureAfterServiceWasRead) {
  RequestParams params;
  EXPECT_EQ(test::FailureMessage<EListError>([&] {
              ParseRequest("<SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>", params);
            }),
            "List index out of bounds (1)");
  EXPECT_EQ(params.service, ServiceKind::kStatus);
  EXPECT_EQ(params.root, "");
  // Without SERVICE the missing element is what fails, not the index.
  EXPECT_EQ(FailureOf<EXMLDocError>("<SENDDATA/>"),
            "Element SERVICE not found in the request document");
}

// The text of USER in a query request whose USER element holds `content`.
std::string UserText(const std::string& content, const std::string& prolog = kDeclaration) {
  return Parse(Request("<SERVICE>SERVICEOPENSQL</SERVICE><DB/><PASS/><SQL/><USER>" + content +
                           "</USER>",
                       prolog))
      .user;
}

TEST(ParseRequest, ElementTextIsItsSingleTextOrCdataChild) {
  const struct {
    std::string content, text;
  } cases[] = {
      {"", ""},
      {"   ", ""},
      {"\r\n\t ", ""},
      {" a b ", " a b "},
      {"\r\nSYSDBA\r\n", "\nSYSDBA\n"},  // line ends as the parser normalises them
      {"<![CDATA[ <x>&amp; ]]>", " <x>&amp; "},
      {"  <![CDATA[cd]]>\r\n ", "cd"},  // the blanks around it make no nodes
      {"<![CDATA[]]>", ""},
      {"&lt;&amp;&gt;&quot;&apos;&#65;&#x42;", "<&>\"'AB"},
      {"a&#32;b", "a b"},
  };
  for (const auto& c : cases) EXPECT_EQ(UserText(c.content), c.text) << c.content;
  EXPECT_EQ(Parse(Request("<SERVICE/>")).service, std::nullopt);
  EXPECT_EQ(Parse(Request("<SERVICE> <![CDATA[SERVICESTATUS]]> </SERVICE>")).service,
            ServiceKind::kStatus);
  EXPECT_EQ(Parse(Request("<SERVICE> SERVICESTATUS </SERVICE>")).service, std::nullopt);
}

TEST(ParseRequest, ElementWithoutASingleTextChildFails) {
  for (const std::string& content : std::vector<std::string>{
           "a<!--c-->b", "<!--c-->", " <!-- c --> ", "<![CDATA[a]]>b", "a<![CDATA[b]]>",
           "<X>SERVICESTATUS</X>", "<X/><Y/>", "<?pi data?>"}) {
    EXPECT_EQ(FailureOf<EXMLDocError>(Request("<SERVICE>" + content + "</SERVICE>")),
              kNotSingleText)
        << content;
  }
}

TEST(ParseRequest, ChildSearchTakesTheFirstMatchAndFollowsTheNamespaceRule) {
  EXPECT_EQ(
      Parse(Request("<SERVICE>SERVICEERROR</SERVICE><SERVICE>SERVICESTATUS</SERVICE>")).service,
      ServiceKind::kError);
  // A prefixed child is found by its local name when the list's namespace is empty or the same.
  EXPECT_EQ(Parse(Request("<x:SERVICE xmlns:x=\"urn:a\">SERVICESTATUS</x:SERVICE>")).service,
            ServiceKind::kStatus);
  EXPECT_EQ(Parse(kDeclaration + "<SENDDATA xmlns=\"urn:a\"><SERVICE>SERVICESTATUS</SERVICE>" +
                  "</SENDDATA>")
                .service,
            ServiceKind::kStatus);
  EXPECT_EQ(Parse(kDeclaration + "<p:SENDDATA xmlns:p=\"urn:Req\" xmlns:q=\"URN:REQ\">" +
                  "<q:SERVICE>SERVICESTATUS</q:SERVICE></p:SENDDATA>")
                .service,
            ServiceKind::kStatus);
  // A child in another namespace than a namespaced list is skipped.
  EXPECT_EQ(Parse(kDeclaration + "<p:SENDDATA xmlns:p=\"urn:a\" xmlns:q=\"urn:b\">" +
                  "<q:SERVICE>SERVICEERROR</q:SERVICE><p:SERVICE>SERVICESTATUS</p:SERVICE>" +
                  "</p:SENDDATA>")
                .service,
            ServiceKind::kStatus);
  EXPECT_THROW(Parse(kDeclaration + "<p:SENDDATA xmlns:p=\"urn:a\"><SERVICE>SERVICESTATUS" +
                     "</SERVICE></p:SENDDATA>"),
               EXMLDocError);
  EXPECT_THROW(Parse(kDeclaration + "<SENDDATA xmlns=\"urn:a\"><SERVICE xmlns=\"urn:b\">" +
                     "SERVICESTATUS</SERVICE></SENDDATA>"),
               EXMLDocError);
  // The name is matched exactly, so a processing instruction with that target is found too
  // and read for its value.
  EXPECT_EQ(Parse(Request("<?SERVICE SERVICESTATUS?><SERVICE>x</SERVICE>")).service,
            ServiceKind::kStatus);
}

TEST(ParseRequest, TextIsConvertedFromTheDeclaredEncodingToEightBit) {
  EXPECT_EQ(UserText("Jos\xE9", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"), "Jos\xE9");
  EXPECT_EQ(UserText("\x80\xE9\x9F", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"),
            "\x80\xE9\x9F");
  // UTF-8, declared or not: characters outside the code page become "?".
  EXPECT_EQ(UserText("Jos\xC3\xA9 \xE2\x82\xAC \xE4\xB8\x80 \xF0\x9F\x98\x80"), "Jos\xE9 \x80 ? ?");
  EXPECT_EQ(UserText("&#233;&#8364;&#x4E00;&#x9D;&#x80;"), "\xE9\x80?\x9D?");
  // Latin-1 bytes without a declaration are malformed UTF-8.
  EXPECT_THROW(UserText("Jos\xE9"), EDOMParseError);
}

TEST(ParseRequest, TextEndsAtItsFirstNul) {
  const std::string request = Request("<SERVICE>SERVICESTATUS</SERVICE>");
  EXPECT_EQ(Parse(request + std::string("\0<garbage", 9)).service, ServiceKind::kStatus);
  // Cut inside the document element, the rest is missing.
  EXPECT_THROW(Parse(Request(std::string("<SERVICE>SERVICESTATUS</SERVICE>\0", 33))),
               EDOMParseError);
}

TEST(ParseRequest, EmptyTextIsAnEmptyDocument) {
  for (const std::string& text :
       std::vector<std::string>{std::string(), std::string("\0<SENDDATA/>", 12)}) {
    EXPECT_EQ(FailureOf<EXMLDocError>(text), "The request holds no XML document");
  }
  // A line break alone is one empty line: the parser sees it and finds no document element.
  EXPECT_THROW(Parse("\r\n"), EDOMParseError);
  EXPECT_THROW(Parse("   "), EDOMParseError);
}

TEST(JoinSourceLines, CutsAtEveryLineBreakAndEndsEachLineWithCrLf) {
  const struct {
    std::string text;
    std::optional<std::string> joined;
  } cases[] = {
      {"", std::nullopt},
      {std::string("\0abc", 4), std::nullopt},
      {"a", "a\r\n"},
      {"a\r\n", "a\r\n"},
      {"a\n", "a\r\n"},
      {"a\r", "a\r\n"},
      {"a\rb\nc\r\nd", "a\r\nb\r\nc\r\nd\r\n"},
      {"a\n\rb", "a\r\n\r\nb\r\n"},  // LF then CR: two breaks
      {"a\r\n\r\n", "a\r\n\r\n"},
      {"\r\n", "\r\n"},
      {std::string("a\rb\0c\r", 6), "a\r\nb\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinSourceLines(c.text), c.joined) << c.text;
}

TEST(ParseRequest, ParseErrorGivesReasonLineAndTheStartOfThatLine) {
  // Lines: declaration, the empty line between LF and CR, SENDDATA, SERVICE, the wrong end tag.
  std::string message = FailureOf<EDOMParseError>(
      "<?xml version=\"1.0\"?>\n\r<SENDDATA>\r<SERVICE>x</SERVICE>\r\n</WRONG>");
  size_t layout = message.find("\r\nLine: 5\r\n</WRONG>");
  ASSERT_NE(layout, std::string::npos) << message;
  EXPECT_EQ(layout + 19, message.size()) << message;
  EXPECT_GT(layout, 0u);
  EXPECT_NE(message[layout - 1], '\n') << "reason keeps its trailing newline";

  // Only the first 40 characters of the line.
  message = FailureOf<EDOMParseError>(kDeclaration +
                                      "<SENDDATA><SERVICE>SERVICESTATUS</SERVICE> & </SENDDATA>");
  EXPECT_NE(message.find("\r\nLine: 2\r\n<SENDDATA><SERVICE>SERVICESTATUS</SERVIC"),
            std::string::npos)
      << message;
  EXPECT_EQ(message.substr(message.size() - 40), "<SENDDATA><SERVICE>SERVICESTATUS</SERVIC");

  // Characters, not bytes: a UTF-8 line is converted to 8-bit text first.
  message = FailureOf<EDOMParseError>(kDeclaration + "<SENDDATA><USER>\xC3\xA9\xC3\xA9\xC3\xA9" +
                                      "</USER><SERVICE>SERVICESTATUS</SERVICE> & </SENDDATA>");
  EXPECT_EQ(message.substr(message.size() - 40),
            "<SENDDATA><USER>\xE9\xE9\xE9</USER><SERVICE>SERVI");
  // A Latin-1 line stays as it is.
  message = FailureOf<EDOMParseError>(
      "<?xml version=\"1.0\" "
      "encoding=\"ISO-8859-1\"?>\r\n<SENDDATA><USER>Jos\xE9</USER>&</SENDDATA>");
  const std::string latin1Tail = "\r\nLine: 2\r\n<SENDDATA><USER>Jos\xE9</USER>&</SENDDATA>";
  EXPECT_EQ(message.substr(message.size() - latin1Tail.size()), latin1Tail);

  // Undeclared Latin-1: the offending line is still shown with its byte.
  message = FailureOf<EDOMParseError>(Request("<USER>Jos\xE9</USER>"));
  EXPECT_NE(message.find("\r\nLine: 2\r\n<SENDDATA><USER>Jos\xE9</USER></SENDDATA>"),
            std::string::npos)
      << message;
}

TEST(ParseRequest, MalformedDocumentsAreParseErrors) {
  for (const std::string& text : std::vector<std::string>{
           std::string("plain text"), kDeclaration, kDeclaration + "<SENDDATA>",
           kDeclaration + "<SENDDATA></senddata>", kDeclaration + "<A/><B/>",
           Request("<x:SERVICE>SERVICESTATUS</x:SERVICE>"),  // undeclared prefix
           Request("<SERVICE>&undeclared;</SERVICE>"),
           "<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><SENDDATA/>",
           kDeclaration + "<SENDDATA/>\r\n" + kDeclaration}) {
    EXPECT_FALSE(FailureOf<EDOMParseError>(text).empty()) << text;
  }
}

int hostErrors = 0;
void CountHostError(void*, xmlErrorPtr) {
  ++hostErrors;
}

TEST(ParseRequest, ParserFailuresPrintNothingAndLeaveTheHostsHandlersInPlace) {
  xmlSetStructuredErrorFunc(nullptr, CountHostError);
  hostErrors = 0;
  testing::internal::CaptureStderr();
  for (const std::string& text : std::vector<std::string>{
           Request("<USER>Jos\xE9</USER>"), kDeclaration + "<SENDDATA>", std::string("<a><b></a>"),
           "<?xml version=\"1.0\" encoding=\"windows-1252\"?><SENDDATA>\x81</SENDDATA"}) {
    RequestParams params;
    EXPECT_THROW(ParseRequest(text, params), EDOMParseError) << text;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(hostErrors, 0);
  // The handler that was installed before is back.
  xmlDocPtr doc = xmlReadMemory("<a>", 3, nullptr, nullptr, XML_PARSE_NONET);
  EXPECT_EQ(doc, nullptr);
  EXPECT_GT(hostErrors, 0);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
}

// --- Hostile documents: answered at once, nothing read, nothing expanded. ---

class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& content) {
    char name[] = "/tmp/xg_request_XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
    path_ = name;
  }
  ~TemporaryFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

TEST(ParseRequest, ExternalEntityNamingALocalFileIsNotRead) {
  TemporaryFile secret("SERVICESTATUS");
  const std::string dtd = "<!DOCTYPE SENDDATA [<!ENTITY e SYSTEM \"file://" + secret.Path() +
                          "\"><!ENTITY f SYSTEM \"" + secret.Path() + "\">]>\r\n";
  EXPECT_EQ(FailureOf<EXMLDocError>(Request("<SERVICE>&e;</SERVICE>", kDeclaration + dtd)),
            kNotSingleText);
  EXPECT_EQ(FailureOf<EXMLDocError>(
                Request("<SERVICE>SERVICEOPENSQL</SERVICE><DB>&f;</DB>", kDeclaration + dtd)),
            kNotSingleText);
}

TEST(ParseRequest, ExternalDocumentTypeIsNotLoaded) {
  // Were this DTD read, its syntax error would make the document fail.
  TemporaryFile dtd("<!ENTITY svc \"SERVICESTATUS\"> <!ELEMENT broken");
  RequestParams params =
      Parse(Request("<SERVICE>SERVICEERROR</SERVICE>",
                    kDeclaration + "<!DOCTYPE SENDDATA SYSTEM \"" + dtd.Path() + "\">\r\n"));
  EXPECT_EQ(params.service, ServiceKind::kError);
  EXPECT_EQ(params.root, "SENDDATA");
  // An entity only that DTD could declare stays an unexpanded reference.
  EXPECT_EQ(FailureOf<EXMLDocError>(
                Request("<SERVICE>&svc;</SERVICE>",
                        kDeclaration + "<!DOCTYPE SENDDATA SYSTEM \"" + dtd.Path() + "\">\r\n")),
            kNotSingleText);
}

// A local listener that counts the connections made to it and closes each at once, so that a
// client that did connect gets an answer-less end instead of waiting.
class CountingListener {
 public:
  CountingListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 8) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no local listener";
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd wait{fd_, POLLIN, 0};
        if (poll(&wait, 1, 20) <= 0) continue;
        int connection = accept(fd_, nullptr, nullptr);
        if (connection < 0) continue;
        ++connections_;
        close(connection);
      }
    });
  }
  ~CountingListener() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/x.dtd"; }
  // Stops listening and gives the number of connections seen.
  int Connections() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    // Connections still waiting in the backlog count too.
    for (pollfd wait{fd_, POLLIN, 0}; poll(&wait, 1, 0) > 0; wait.revents = 0) {
      int connection = accept(fd_, nullptr, nullptr);
      if (connection < 0) break;
      ++connections_;
      close(connection);
    }
    return connections_;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

TEST(ParseRequest, NoNetworkAccessForExternalEntitiesOrDocumentTypes) {
  CountingListener listener;
  RequestParams params;
  EXPECT_THROW(ParseRequest(Request("<SERVICE>&e;</SERVICE>",
                                    kDeclaration + "<!DOCTYPE SENDDATA [<!ENTITY e SYSTEM \"" +
                                        listener.Url() + "\">]>"),
                            params),
               EXMLDocError);
  EXPECT_EQ(Parse(Request("<SERVICE>SERVICESTATUS</SERVICE>",
                          kDeclaration + "<!DOCTYPE SENDDATA SYSTEM \"" + listener.Url() + "\">"))
                .service,
            ServiceKind::kStatus);
  EXPECT_EQ(listener.Connections(), 0);
}

std::string LaughsDeclarations() {
  std::string dtd = "<!DOCTYPE SENDDATA [\r\n<!ENTITY l0 \"lol\">\r\n";
  for (int level = 1; level <= 10; ++level) {
    std::string previous = "&l" + std::to_string(level - 1) + ";";
    dtd += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) dtd += previous;
    dtd += "\">\r\n";
  }
  return dtd + "]>\r\n";
}

TEST(ParseRequest, NestedEntityBombIsRefusedWithoutExpansion) {
  // Ten levels of ten references each: 10^10 copies of "lol" if expanded.
  const std::string prolog = kDeclaration + LaughsDeclarations();
  for (const std::string& body : std::vector<std::string>{
           "<SERVICE>&l10;</SERVICE>", "<SERVICE>SERVICESTATUS</SERVICE><USER a=\"&l10;\"/>"}) {
    RequestParams params;
    try {
      ParseRequest(Request(body, prolog), params);
      ADD_FAILURE() << "accepted " << body;
    } catch (const EXMLDocError& e) {
      EXPECT_EQ(e.Message(), kNotSingleText);
    } catch (const EDOMParseError& e) {
      EXPECT_LT(e.Message().size(), 1000u);
    }
    EXPECT_EQ(params.user.find("lol"), std::string::npos);
  }
}

}  // namespace
}  // namespace xg
