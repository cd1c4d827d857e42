#include "texts/language_module.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/failures.h"
#include "texts/exceptions.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(STestGreeting, "Hello");
XG_RESOURCE(STestOther, "Other");

TEST(LanguageModule, ReadsEntriesCommentsEscapesAndBothLineEnds) {
  const LanguageTexts texts = ParseLanguageModule(
      "# a comment\r\n"
      "SServiceStatus=SERVICESTATUS\r\n"
      "\n"
      "SServiceInOperation=Servi\xE7o em Opera\xE7\xE3o\n"
      "SLines=one\\r\\ntwo\\\\three\\x41\\xe3\n"
      "SFormat=a=b %s # not a comment\n"
      "SEmpty=\n"
      "SGreeting=first\n"
      "SGreeting=second",
      "xmlgateway.PTB");
  const LanguageTexts expected = {
      {"SServiceStatus", "SERVICESTATUS"},
      {"SServiceInOperation", "Servi\xE7o em Opera\xE7\xE3o"},
      {"SLines", "one\r\ntwo\\threeA\xE3"},
      {"SFormat", "a=b %s # not a comment"},
      {"SEmpty", ""},
      {"SGreeting", "second"},
  };
  EXPECT_EQ(texts, expected);
  EXPECT_TRUE(ParseLanguageModule("", "x").empty());
}

TEST(LanguageModule, ALineThatIsNoEntryStopsWithItsNumber) {
  const std::pair<const char*, int> cases[] = {
      {"SGood=1\nno equals sign\n", 2},
      {"=text without a name\n", 1},
      {"# ok\n\n SLeadingBlank=x\n", 3},
      {"SName With Blank=x\n", 1},
      {"SOk=1\r\nSBadEscape=\\t\r\n", 2},
      {"SEndsInBackslash=x\\\n", 1},
      {"SBadHex=\\x4\n", 1},
      {"SBadHex=\\xG0\n", 1},
  };
  for (const auto& [content, line] : cases) {
    SCOPED_TRACE(content);
    EXPECT_EQ(
        test::FailureMessage<EConvertError>(
            [&] { ParseLanguageModule(content, "/opt/gw/xmlgateway.PTB"); }),
        "Invalid entry in language module /opt/gw/xmlgateway.PTB, line " + std::to_string(line));
  }
}

TEST(LanguageModule, CandidatesAreBesideTheProgramWithTheAbbreviationThenItsFirstTwoLetters) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(LanguageModuleCandidates("/srv/cgi/xmlgateway", "PTB"),
            (Names{"/srv/cgi/xmlgateway.PTB", "/srv/cgi/xmlgateway.PT"}));
  EXPECT_EQ(LanguageModuleCandidates("/srv/cgi/xmlgateway.cgi", "ENU"),
            (Names{"/srv/cgi/xmlgateway.ENU", "/srv/cgi/xmlgateway.EN"}));
  EXPECT_EQ(LanguageModuleCandidates("/srv/v1.2/gw", "DEU"),
            (Names{"/srv/v1.2/gw.DEU", "/srv/v1.2/gw.DE"}));
  EXPECT_EQ(LanguageModuleCandidates("/srv/cgi/xmlgateway", "PT"),
            (Names{"/srv/cgi/xmlgateway.PT"}));
  EXPECT_TRUE(LanguageModuleCandidates("/srv/cgi/xmlgateway", "").empty());
  EXPECT_TRUE(LanguageModuleCandidates("", "PTB").empty());
}

class LanguageModuleFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/xg-language.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    program_ = dir_ + "/xmlgateway";
  }
  void TearDown() override {
    RemoveLanguageModule();
    std::filesystem::remove_all(dir_);
  }
  void Write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << content;
  }

  std::string dir_;
  std::string program_;
};

TEST_F(LanguageModuleFiles, TheFoundModuleReplacesEveryResource) {
  Write("xmlgateway.PTB", "STestGreeting=Ol\xE1\n");
  EXPECT_EQ(LoadLanguageModule(program_, "PTB"), program_ + ".PTB");
  EXPECT_EQ(LoadResString(STestGreeting), "Ol\xE1");
  EXPECT_EQ(LoadResString(STestOther), "");  // not in the module: empty
}

TEST_F(LanguageModuleFiles, TheTwoLetterNameIsTriedWhenTheFullOneCannotBeRead) {
  std::filesystem::create_directory(dir_ + "/xmlgateway.PTB");  // not a file that reads
  Write("xmlgateway.PT", "STestGreeting=Ol\xE1 (PT)\n");
  EXPECT_EQ(LoadLanguageModule(program_, "PTB"), program_ + ".PT");
  EXPECT_EQ(LoadResString(STestGreeting), "Ol\xE1 (PT)");
}

TEST_F(LanguageModuleFiles, WithoutAnAbbreviationOrAFileTheBuiltInTextsStay) {
  Write("xmlgateway.PTB", "STestGreeting=Ol\xE1\n");
  EXPECT_EQ(LoadLanguageModule(program_, ""), "");
  EXPECT_EQ(LoadLanguageModule(program_, "DEU"), "");
  EXPECT_EQ(LoadResString(STestGreeting), "Hello");
}

TEST_F(LanguageModuleFiles, AMalformedModuleIsNotInstalled) {
  Write("xmlgateway.PTB", "STestGreeting=Ol\xE1\nbroken\n");
  EXPECT_THROW(LoadLanguageModule(program_, "PTB"), EConvertError);
  EXPECT_EQ(LoadResString(STestGreeting), "Hello");
}

}  // namespace
}  // namespace xg
