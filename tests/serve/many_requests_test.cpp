// Many requests in one process through the program's own start-up and request path: requests held
// in memory (a status probe, an error probe, a request that is no document, a query of a scratch
// database that the configuration lists as embedded) served one after the other by one Host. Each
// answer must be what the same request got the first time, and the memory in use must not grow
// with the number of requests served.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "db/db_test_support.h"
#include "host/startup.h"
#include "support/fake_request.h"
#include "support/request_body.h"

namespace xg {
namespace {

struct Exchange {
  std::string name;
  std::string body;
};

std::vector<Exchange> Exchanges(const std::string& database) {
  const std::string query =
      "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>" + database +
      "</DB><USER>SYSDBA</USER><PASS>" + test::Base64Encode("unchecked") + "</PASS><SQL>" +
      test::Base64Encode("select * from products order by code") + "</SQL></SENDDATA>";
  return {
      {"status",
       test::SendDataBody(
           "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>")},
      {"error", test::SendDataBody(
                    "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEERROR</SERVICE></SENDDATA>")},
      {"bad input", "SENDDATA=%zz"},
      {"query", test::SendDataBody(query)},
  };
}

struct Served {
  std::string output;
  bool output_started_before = false;
  bool output_started_after = false;
};

Served Serve(const Host& host, const Exchange& exchange) {
  test::FakeRequest request({{"SERVER_PROTOCOL", "HTTP/1.1"},
                             {"REQUEST_METHOD", "POST"},
                             {"HTTP_USER_AGENT", "many-requests/1"},
                             {"CONTENT_LENGTH", std::to_string(exchange.body.size())}},
                            exchange.body);
  Served served;
  served.output_started_before = request.fault_state().OutputStarted();
  host.Serve(request);
  served.output = request.Output();
  served.output_started_after = request.fault_state().OutputStarted();
  return served;
}

// Every document names the moment it was made (and the status document shows it in each kind of
// moment), which also moves the length line when the time text grows; everything else is the
// same each time.
std::string WithoutMoment(const std::string& output) {
  const std::string moments = std::regex_replace(
      output, std::regex("DATATYPE=\"(DATE|TIME|DATETIME)\">[^<]*<"), "DATATYPE=\"$1\"><");
  return std::regex_replace(moments, std::regex("Content-Length: [0-9]+"), "Content-Length: n");
}

// Bytes of heap in use, and the resident set, in bytes. Under AddressSanitizer the C library's
// allocator statistics stay empty, so the sanitizer's own count stands in; and the resident set
// grows by design there, since freed blocks wait in the sanitizer's quarantine (256 MiB).
#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
constexpr bool kResidentSetTracksHeap = false;
size_t HeapInUse() {
  return __sanitizer_get_current_allocated_bytes();
}
#else
constexpr bool kResidentSetTracksHeap = true;
size_t HeapInUse() {
  return mallinfo2().uordblks;
}
#endif
size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096;
}

TEST(ManyRequests, EachAnswerIsTheFirstOneAgainAndMemoryStaysFlat) {
  const std::string database = test::CreateDemoDatabase();
  setenv("XMLGATEWAY_CONF", test::EmbeddedScratchConfigFile().c_str(), 1);
  const Host host = Startup();
  const std::vector<Exchange> exchanges = Exchanges(database);

  std::vector<Served> first;
  for (const Exchange& exchange : exchanges) first.push_back(Serve(host, exchange));
  for (size_t i = 0; i < exchanges.size(); ++i) {
    EXPECT_FALSE(first[i].output_started_before) << exchanges[i].name;
    EXPECT_TRUE(first[i].output_started_after) << exchanges[i].name;
    EXPECT_EQ(first[i].output.rfind("Status: 200 OK\r\n", 0), 0u) << first[i].output;
  }
  EXPECT_NE(first[0].output.find(">many-requests/1</AGENT>"), std::string::npos) << first[0].output;
  EXPECT_NE(first[1].output.find("Erro desconhecido"), std::string::npos) << first[1].output;
  EXPECT_NE(first[2].output.find("<ERROR>"), std::string::npos) << first[2].output;
  EXPECT_NE(first[3].output.find("Coffee"), std::string::npos) << first[3].output;

  // The second round answers as the first.
  for (size_t i = 0; i < exchanges.size(); ++i) {
    const Served again = Serve(host, exchanges[i]);
    EXPECT_EQ(WithoutMoment(again.output), WithoutMoment(first[i].output)) << exchanges[i].name;
    EXPECT_EQ(again.output_started_before, first[i].output_started_before);
    EXPECT_EQ(again.output_started_after, first[i].output_started_after);
  }

  // A thousand requests more: the answers stay the same, and the memory in use after request
  // 1000 is that after request 100 (a generous bound: a leak of even a few hundred bytes a
  // request would exceed it).
  size_t heap_at_100 = 0, resident_at_100 = 0;
  int differing = 0;
  for (int n = 1; n <= 1000; ++n) {
    const size_t i = static_cast<size_t>(n) % exchanges.size();
    const Served served = Serve(host, exchanges[i]);
    if (WithoutMoment(served.output) != WithoutMoment(first[i].output) && differing++ == 0)
      ADD_FAILURE() << "request " << n << ":\n" << served.output << "\nfirst:\n" << first[i].output;
    if (n == 100) {
      heap_at_100 = HeapInUse();
      resident_at_100 = ResidentBytes();
    }
  }
  EXPECT_EQ(differing, 0);
  const size_t heap_at_1000 = HeapInUse();
  const size_t resident_at_1000 = ResidentBytes();
  EXPECT_LT(heap_at_1000, heap_at_100 + 512 * 1024)
      << "heap in use: " << heap_at_100 << " after 100 requests, " << heap_at_1000 << " after 1000";
  if (kResidentSetTracksHeap) {
    EXPECT_LT(resident_at_1000, resident_at_100 + 16 * 1024 * 1024)
        << "resident: " << resident_at_100 << " after 100 requests, " << resident_at_1000
        << " after 1000";
  }
  std::cout << "heap in use after 100 requests: " << heap_at_100 << ", after 1000: " << heap_at_1000
            << "; resident: " << resident_at_100 << ", " << resident_at_1000 << "\n";
}

}  // namespace
}  // namespace xg
