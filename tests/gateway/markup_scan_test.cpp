// The look at a request's bytes before parsing: what could cost the parser more than linear
// time is refused, everything a request needs passes.
#include "gateway/markup_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "texts/exceptions.h"

namespace xg {
namespace {

std::string Refusal(const std::string& document) {
  try {
    CheckMarkupCost(document);
  } catch (const EDOMParseError& e) {
    return e.Message();
  }
  return "";
}

std::string Attributes(int count, const std::string& value = "\"\"") {
  std::string text;
  for (int i = 0; i < count; ++i) text += " a" + std::to_string(i) + "=" + value;
  return text;
}

const std::string kTooMany = "An element of the document could have more than 32 attributes";

TEST(MarkupScan, DocumentsThatPass) {
  for (const std::string& document : std::vector<std::string>{
           std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>"
                       "<SENDDATA><SERVICE>SERVICESTATUS</SERVICE><PASS>YQ==</PASS></SENDDATA>"),
           "<a" + Attributes(32) + "><b" + Attributes(32) + "/></a>",
           // 10 000 names: two tags and 9 998 elements, each in one tag.
           "<a>" +
               [] {
                 std::string elements;
                 for (int i = 0; i < 9998; ++i) elements += "<e/>";
                 return elements;
               }() +
               "</a>",
           // "=" and ">" inside quoted values, or in text, count for nothing.
           "<a x='=>=\"=' y=\"'='\">" + std::string(100, '=') + "</a>",
           "<a><!--" + Attributes(100) + "--><![CDATA[<b" + Attributes(100) + ">]]><?pi" +
               Attributes(100) + "?></a>",
           "<!DOCTYPE a [<!ENTITY e \"<b x='1'/>\"><!ATTLIST a x CDATA \"1\"><!-- % -->]><a/>",
           "<?xml version='1.0' encoding='utf-8'?><a/>",
           "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"windows-1252\"?><a/>",
           "<?xml version=\"1.0\" encoding=\"iso_8859-15\"?><a/>",
           "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><a/>",
       })
    EXPECT_EQ(Refusal(document), "") << document;
}

TEST(MarkupScan, DocumentsThatAreRefused) {
  const struct {
    std::string document;
    std::string message;
  } cases[] = {
      {"<a" + Attributes(33) + "/>", kTooMany},
      {"<a><b" + Attributes(33, "'x'") + "></b></a>", kTooMany},
      // A stray "<" ends the count of a tag, but the next tag is counted on its own.
      {"<a" + Attributes(20) + "<b" + Attributes(33) + ">", kTooMany},
      // Attribute defaults the document type declares, all elements together.
      {"<!DOCTYPE a [<!ATTLIST a" + Attributes(17, "CDATA \"1\"") + "><!ATTLIST b" +
           Attributes(17, "CDATA '1'") + ">]><a/>",
       kTooMany},
      // An entity's text is parsed as content, its character references turned into "<" or "=".
      {"<!DOCTYPE a [<!ENTITY e \"<b" + Attributes(33, "''") + "/>\">]><a>&e;</a>", kTooMany},
      {"<!DOCTYPE a [<!ENTITY e \"&#60;b" + std::string(33 * 8, ' ') + "&#61;&#61;" +
           std::string(31, ' ') +
           [] {
             std::string refs;
             for (int i = 0; i < 31; ++i) refs += "&#x3D;";
             return refs;
           }() +
           "/>\">]><a>&e;</a>",
       kTooMany},
      {"<!DOCTYPE a [<!ENTITY % p \"x\">]><a/>",
       "The document type declaration uses parameter entities"},
      {"<!DOCTYPE a [%p;]><a/>", "The document type declaration uses parameter entities"},
      // Each new name costs the parser more than the one before: their number is bounded.
      {"<a>" +
           [] {
             std::string elements;
             for (int i = 0; i < 10000; ++i) elements += "<e" + std::to_string(i) + "/>";
             return elements;
           }() +
           "</a>",
       "The document holds more than 10000 tags, attributes, declarations and references"},
      {"<a>" + std::string(10001, '&') + "</a>",
       "The document holds more than 10000 tags, attributes, declarations and references"},
      {"<a>" +
           [] {
             std::string elements;
             for (int i = 0; i < 400; ++i) elements += "<e" + Attributes(25) + "/>";
             return elements;
           }() +
           "</a>",
       "The document holds more than 10000 tags, attributes, declarations and references"},
      {"<?xml version=\"1.0\" encoding=\"UTF-7\"?><a/>",
       "The document's encoding is not accepted: UTF-7"},
      {"<?xml version=\"1.0\" encoding='ISO-2022-JP'?><a/>",
       "The document's encoding is not accepted: ISO-2022-JP"},
      {"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>",
       "The document's encoding is not accepted: UTF-16"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-17\"?><a/>",
       "The document's encoding is not accepted: ISO-8859-17"},
      {"\x4C\x6F\xA7\x94\x40\xA5\x85\x99", "The document's encoding is not accepted: EBCDIC"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Refusal(c.document), c.message) << c.document.substr(0, 200);
}

}  // namespace
}  // namespace xg
