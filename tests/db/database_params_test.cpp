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

TEST(DatabaseParams, UserAndPasswordAsTheServicesSendThem) {
  EXPECT_EQ(BuildDatabaseParams({"user_name=SYSDBA", "password=k"}),
            Bytes({1, 28, 6}) + "SYSDBA" + Bytes({29, 1}) + "k");
}

TEST(DatabaseParams, NamesFoldedPrefixDroppedValuesKeepEquals) {
  EXPECT_EQ(BuildDatabaseParams({"ISC_DPB_USER_NAME=ana", "  =skipped", "password=a=b"}),
            Bytes({1, 28, 3}) + "ana" + Bytes({29, 3}) + "a=b");
  EXPECT_EQ(BuildDatabaseParams({"user_name="}), Bytes({1, 28, 0}));
}

TEST(DatabaseParams, EntryGroups) {
  EXPECT_EQ(BuildDatabaseParams({"sql_dialect=3"}), Bytes({1, 63, 1, 3}));
  EXPECT_EQ(BuildDatabaseParams({"num_buffers=200"}), Bytes({1, 5, 1, 200}));
  EXPECT_EQ(BuildDatabaseParams({"sweep=whatever"}), Bytes({1, 10, 1, 2}));
  EXPECT_EQ(BuildDatabaseParams({"begin_log=x"}), Bytes({1, 25, 1, 0}));
  EXPECT_EQ(BuildDatabaseParams({"sweep_interval=20000"}), Bytes({1, 22, 4, 0x20, 0x4E, 0, 0}));
  EXPECT_EQ(BuildDatabaseParams({"lc_ctype=ISO8859_1"}), Bytes({1, 48, 9}) + "ISO8859_1");
}

struct RefusedLine {
  std::string line;
  int number;
  std::string message;
};

TEST(DatabaseParams, RefusedLines) {
  const RefusedLine cases[] = {
      {"foo=1", 114, "Constante DPB (foo) \xE9 desconhecida"},
      {"Isc_Dpb_Foo=1", 114, "Constante DPB (Isc_Dpb_Foo) \xE9 desconhecida"},
      {"page_size=4096", 11, "Constante DPB (isc_dpb_page_size) n\xE3o \xE9 suportada"},
      {"user_name=" + std::string(256, 'u'), 122,
       "Valor do par\xE2metro DPB (user_name) \xE9 longo demais: o m\xE1ximo \xE9 255 bytes"},
  };
  for (const RefusedLine& c : cases) {
    try {
      BuildDatabaseParams({c.line});
      ADD_FAILURE() << "accepted: " << c.line.substr(0, 40);
    } catch (const EIBClientError& e) {
      EXPECT_EQ(e.SQLCode(), c.number);
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_EQ(BuildDatabaseParams({"password=" + std::string(255, 'p')}).size(), 1u + 2 + 255);
}

}  // namespace
}  // namespace xg
