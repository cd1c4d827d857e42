#include "db/database_params.h"

#include <gtest/gtest.h>

#include "db/ib_error.h"

namespace xg {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

TEST(DatabaseParams, UserPasswordCharsetAndConfigurationInTheirOrder) {
  EXPECT_EQ(BuildDatabaseParams({"SYSDBA", "k", "", ""}),
            Bytes({1, 28, 6}) + "SYSDBA" + Bytes({29, 1}) + "k");
  EXPECT_EQ(BuildDatabaseParams({"", "", "", ""}), Bytes({1, 28, 0, 29, 0}));
  EXPECT_EQ(BuildDatabaseParams({"ana", "a=b", "ISO8859_1", "Providers = Remote"}),
            Bytes({1, 28, 3}) + "ana" + Bytes({29, 3}) + "a=b" + Bytes({48, 9}) + "ISO8859_1" +
                Bytes({87, 18}) + "Providers = Remote");
}

TEST(DatabaseParams, ValueLongerThanItsLengthByteIsRefusedNamingTheEntry) {
  const struct {
    AttachParams params;
    std::string entry;
  } cases[] = {
      {{std::string(256, 'u'), "", "", ""}, "user_name"},
      {{"u", std::string(256, 'p'), "", ""}, "password"},
      {{"u", "p", std::string(256, 'c'), ""}, "lc_ctype"},
      {{"u", "p", "", std::string(256, 'x')}, "config"},
  };
  for (const auto& c : cases) {
    try {
      BuildDatabaseParams(c.params);
      ADD_FAILURE() << "accepted: " << c.entry;
    } catch (const EIBClientError& e) {
      EXPECT_EQ(e.SqlCode(), 122);
      EXPECT_EQ(e.Message(), "Valor do par\xE2metro DPB (" + c.entry +
                                 ") \xE9 longo demais: o m\xE1ximo \xE9 255 bytes");
    }
  }
  EXPECT_EQ(BuildDatabaseParams({"u", std::string(255, 'p'), "", ""}).size(), 1u + 2 + 1 + 2 + 255);
}

}  // namespace
}  // namespace xg
