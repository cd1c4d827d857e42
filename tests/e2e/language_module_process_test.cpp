// The built program with a language module beside it, and a start-up that fails: a copy of the
// program in a temporary folder, the module file next to it, the locale from the environment.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "protocol/protocol_strings.h"
#include "support/child_process.h"
#include "support/request_body.h"

namespace xg {
namespace {

using test::ChildResult;

// The protocol's names as the program has them built in: a real module must carry them all.
std::string ProtocolEntries() {
  std::string entries = "# the protocol's names, unchanged\r\n";
  for (const ResourceString* r :
       {&SSendData,       &SService,     &SServiceStatus, &SServiceError, &SServiceOpenSQL,
        &SServiceExecSQL, &SDB,          &SUser,          &SPass,         &SSQL,
        &SXMLDeclaration, &SStatus,      &SError,         &SOpenSQL,      &SExecSQL,
        &STimestamp,      &SAgent,       &SMsgData,       &SDataTypes,    &SDataType,
        &SDataSize,       &SRecordCount, &SRecord,        &SKindString,   &SKindInteger,
        &SKindFloat,      &SKindBoolean, &SKindDate,      &SKindTime,     &SKindDateTime})
    entries += std::string(r->name) + "=" + r->text + "\r\n";
  return entries;
}

class LanguageModuleProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/xg-e2e-language.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::filesystem::create_directory(dir_ / "bin");
    program_ = dir_ / "bin" / "xmlgateway";
    std::filesystem::copy_file(XG_PROGRAM, program_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void WriteModule(const std::string& name, const std::string& content) {
    std::ofstream(dir_ / "bin" / name, std::ios::binary) << content;
  }

  // A POST of the document (or of the raw body) to the program at `program`.
  ChildResult Post(const std::string& body, const std::string& lang,
                   const std::filesystem::path& program) {
    std::vector<std::string> variables = {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                          "CONTENT_LENGTH=" + std::to_string(body.size()),
                                          "LANG=" + lang};
    ChildResult result = test::RunChild(program, variables, body);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.signal, 0);
    return result;
  }

  // The MSGDATA text of a served answer (exit code 0, nothing on standard error).
  static std::string Message(const ChildResult& result) {
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "");
    const std::string open = " <MSGDATA DATATYPE=\"STRING\">";
    const size_t start = result.out.find(open);
    const size_t end = result.out.find("</MSGDATA>\r\n");
    if (start == std::string::npos || end == std::string::npos) {
      ADD_FAILURE() << "no message in: " << result.out;
      return "";
    }
    return result.out.substr(start + open.size(), end - start - open.size());
  }

  std::filesystem::path dir_;
  std::filesystem::path program_;
};

const char kBadBase64[] = "SENDDATA=QUJDR";

TEST_F(LanguageModuleProcess, TheModuleOfTheLocalesLanguageReplacesTheMessages) {
  WriteModule("xmlgateway.PTB",
              ProtocolEntries() + "SUnevenSize=Tamanho \\xEDmpar em DecodeToStream.\r\n");
  EXPECT_EQ(Message(Post(kBadBase64, "pt_BR.UTF-8", program_)),
            "Tamanho \xEDmpar em DecodeToStream.\r\r");
  // A resource the module does not name reads as empty; the protocol names it carries keep the
  // status document whole.
  const ChildResult status =
      Post(test::SendDataBody(
               "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>"),
           "pt_BR.UTF-8", program_);
  EXPECT_EQ(Message(status), "");
  EXPECT_NE(status.out.find("<STATUS>\r\n"), std::string::npos);
  EXPECT_NE(status.out.find(" <INTEGER DATATYPE=\"INTEGER\">2147483647</INTEGER>\r\n"),
            std::string::npos);
  // A web server that starts the program through a link elsewhere: the module is found beside
  // the real file.
  const std::filesystem::path link = dir_ / "xmlgateway";
  std::filesystem::create_symlink(program_, link);
  EXPECT_EQ(Message(Post(kBadBase64, "pt_BR.UTF-8", link)),
            "Tamanho \xEDmpar em DecodeToStream.\r\r");
  // The C locale has no language abbreviation, and no module is there for English.
  EXPECT_EQ(Message(Post(kBadBase64, "C", program_)), "Uneven size in DecodeToStream.\r\r");
  EXPECT_EQ(Message(Post(kBadBase64, "en_US.UTF-8", program_)),
            "Uneven size in DecodeToStream.\r\r");
}

TEST_F(LanguageModuleProcess, TheTwoLetterModuleServesWhenTheThreeLetterOneIsMissing) {
  WriteModule("xmlgateway.PT", ProtocolEntries() + "SUnevenSize=Tamanho irregular\n");
  EXPECT_EQ(Message(Post(kBadBase64, "pt_BR.UTF-8", program_)), "Tamanho irregular\r\r");
}

TEST_F(LanguageModuleProcess, AMalformedModuleStopsStartUpWithTheTextOnStandardError) {
  WriteModule("xmlgateway.PTB", ProtocolEntries() + "SUnevenSize Tamanho irregular\n");
  const ChildResult result = Post(kBadBase64, "pt_BR.UTF-8", program_);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.exit_code, 1);
  const std::string expected =
      "Exception EConvertError in module xmlgateway at [0-9A-F]{8}\\.\r\n"
      "Invalid entry in language module " +
      (dir_ / "bin" / "xmlgateway.PTB").string() + ", line 32\\.\r\n";
  EXPECT_TRUE(std::regex_match(result.err, std::regex(expected))) << result.err;
}

}  // namespace
}  // namespace xg
