#include "gateway/base64.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/exceptions.h"

namespace xg {
namespace {

TEST(DecodeBase64, DecodesGroupsWithTheFillCharacterOnlyInTheLastTwoPlaces) {
  const struct {
    std::string text, bytes;
  } cases[] = {
      {"", ""},
      {"QQ==", "A"},
      {"QUI=", "AB"},
      {"QUJD", "ABC"},
      {"QQ==QUJD", "AABC"},        // a padded group does not end the decoding
      {"QQ=x", "A"},               // "=" in the third place decides alone
      {"QQ\r\n", "\x41\x3F\xFF"},  // line breaks are not skipped: entry 255, ORed
      {"Q Q=", "\x4F\xF4"},        // a space (an unencoded "+") is outside the alphabet
      {"=QUJ", "\xFD\x05\x09"},    // "=" in the first place is just entry 255
      {"U2VydmnnbyBlbSBPcGVyYefjbw==", "Servi\xE7o em Opera\xE7\xE3o"},
      {"+/+/", "\xFB\xFF\xBF"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.text;
}

TEST(DecodeBase64, BytesOutsideTheTableCountAsEntry255) {
  // NUL and the bytes above 127 lie outside the table; they enter their group like any other
  // character outside the alphabet, here in the places of "Q " in "Q Q=".
  EXPECT_EQ(DecodeBase64(std::string("Q\0Q=", 4)), "\x4F\xF4");
  EXPECT_EQ(DecodeBase64("Q\xE9Q="), "\x4F\xF4");
  EXPECT_EQ(DecodeBase64("Q\x80Q="), "\x4F\xF4");
}

TEST(DecodeBase64, LengthNotAMultipleOfFourFails) {
  for (const std::string& text : std::vector<std::string>{"Q", "QQ=", "QUJDR", "QUJDQUJ"}) {
    try {
      DecodeBase64(text);
      ADD_FAILURE() << text;
    } catch (const EDecodeError& e) {
      EXPECT_EQ(e.Message(), "Uneven size in DecodeToStream.");
    }
  }
}

}  // namespace
}  // namespace xg
