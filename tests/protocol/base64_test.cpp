#include "protocol/base64.h"

#include <gtest/gtest.h>

#include <vector>

#include "texts/exceptions.h"

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

TEST(EncodeBase64, EncodesEveryGroupSizeAndDecodesBack) {
  const struct {
    std::string bytes, text;
  } cases[] = {
      {"", ""},
      {"A", "QQ=="},
      {"AB", "QUI="},
      {"ABC", "QUJD"},
      {"ABCD", "QUJDRA=="},
      {std::string("\0\0\0\0", 4), "AAAAAA=="},
      {"\xFB\xFF\xBF", "+/+/"},
      {"Servi\xE7o em Opera\xE7\xE3o", "U2VydmnnbyBlbSBPcGVyYefjbw=="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeBase64(c.bytes), c.text) << c.text;
    EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.text;
  }
  // Every byte value in every place of a group.
  std::string all;
  for (int round = 0; round < 3; ++round)
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (size_t cut = all.size() - 3; cut <= all.size(); ++cut) {
    const std::string bytes = all.substr(0, cut);
    const std::string text = EncodeBase64(bytes);
    EXPECT_EQ(
        text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
        std::string::npos);
    EXPECT_EQ(DecodeBase64(text), bytes);
  }
}

}  // namespace
}  // namespace xg
