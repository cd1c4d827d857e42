// The floor of the FastCGI benchmark: what the Firebird client library alone achieves with the
// calls the gateway makes for one OPENSQL request (start a transaction, prepare, execute, fetch
// every row, drop the statement, commit), with no web server, no HTTP, no XML and no answer.
// WORKERS processes run the query for SECONDS, either each on one attachment kept for the whole
// run (`kept`) or attaching before and detaching after every query (`attach`), and the total of
// queries per second is printed. A gateway answering the same query through a web server on the
// same machine does all of this and more, so it cannot pass this figure.
//
// Usage: client_floor kept|attach DATABASE SECONDS SQL [WORKERS]
//   DATABASE  as the gateway's DB element, e.g. 127.0.0.1:/path/big.fdb
//   WORKERS   processes, default 8 (the benchmark's connections)
// The user and password come from XG_FB_SERVER_USER and XG_FB_SERVER_PASSWORD.
#include <ibase.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "attach_params.h"

namespace {

using Clock = std::chrono::steady_clock;

void Check(const ISC_STATUS* status, const char* call) {
  if (status[0] == 1 && status[1] != 0) {
    std::fprintf(stderr, "%s failed: ", call);
    isc_print_status(status);
    std::exit(1);
  }
}

// Output area of a prepared statement, with a buffer for every column.
class Columns {
 public:
  Columns() : area_(static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(kMaxColumns)))) {
    area_->version = SQLDA_VERSION1;
    area_->sqln = kMaxColumns;
  }
  ~Columns() { std::free(area_); }
  Columns(const Columns&) = delete;
  Columns& operator=(const Columns&) = delete;

  XSQLDA* Area() { return area_; }
  // Preconditions: a statement was prepared into Area().
  void Allocate() {
    if (area_->sqld > area_->sqln) {
      std::fprintf(stderr, "the query has more than %d columns\n", kMaxColumns);
      std::exit(1);
    }
    buffers_.clear();
    for (int i = 0; i < area_->sqld; ++i) {
      buffers_.emplace_back(area_->sqlvar[i].sqllen + sizeof(short));
      area_->sqlvar[i].sqldata = buffers_.back().data();
      area_->sqlvar[i].sqlind = &indicators_[i];
    }
  }

 private:
  static constexpr int kMaxColumns = 64;

  XSQLDA* area_;
  std::vector<std::vector<char>> buffers_;
  short indicators_[kMaxColumns] = {};
};

// One worker: runs the query until the deadline and returns how many times it ran.
long RunQueries(bool keep_attachment, const std::string& database, const std::string& params,
                const std::string& sql, Clock::time_point deadline) {
  ISC_STATUS status[20];
  isc_db_handle attachment = 0;
  Columns columns;
  long count = 0;
  while (Clock::now() < deadline) {
    if (attachment == 0) {
      isc_attach_database(status, 0, database.c_str(), &attachment,
                          static_cast<short>(params.size()), params.data());
      Check(status, "isc_attach_database");
    }
    isc_tr_handle transaction = 0;
    isc_start_transaction(status, &transaction, 1, &attachment, 0, nullptr);
    Check(status, "isc_start_transaction");
    isc_stmt_handle statement = 0;
    isc_dsql_allocate_statement(status, &attachment, &statement);
    Check(status, "isc_dsql_allocate_statement");
    isc_dsql_prepare(status, &transaction, &statement, 0, sql.c_str(), SQL_DIALECT_V6,
                     columns.Area());
    Check(status, "isc_dsql_prepare");
    columns.Allocate();
    isc_dsql_execute(status, &transaction, &statement, SQLDA_VERSION1, nullptr);
    Check(status, "isc_dsql_execute");
    while (isc_dsql_fetch(status, &statement, SQLDA_VERSION1, columns.Area()) == 0) {
    }
    isc_dsql_free_statement(status, &statement, DSQL_drop);
    Check(status, "isc_dsql_free_statement");
    isc_commit_transaction(status, &transaction);
    Check(status, "isc_commit_transaction");
    if (!keep_attachment) {
      isc_detach_database(status, &attachment);
      Check(status, "isc_detach_database");
    }
    ++count;
  }
  if (attachment != 0) isc_detach_database(status, &attachment);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (std::strcmp(argv[1], "kept") != 0 && std::strcmp(argv[1], "attach") != 0)) {
    std::fprintf(stderr, "usage: %s kept|attach DATABASE SECONDS SQL [WORKERS]\n", argv[0]);
    return 2;
  }
  const bool keep_attachment = std::strcmp(argv[1], "kept") == 0;
  const std::string database = argv[2];
  const double seconds = std::atof(argv[3]);
  const std::string sql = argv[4];
  const int workers = argc > 5 ? std::atoi(argv[5]) : 8;
  const char* user = std::getenv("XG_FB_SERVER_USER");
  const char* password = std::getenv("XG_FB_SERVER_PASSWORD");
  if (user == nullptr || password == nullptr || seconds <= 0 || workers <= 0) {
    std::fprintf(stderr,
                 "needs XG_FB_SERVER_USER, XG_FB_SERVER_PASSWORD, SECONDS > 0, WORKERS > 0\n");
    return 2;
  }
  const std::string params = AttachParams(user, password);

  int counts[2];
  if (pipe(counts) != 0) return 1;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(seconds));
  for (int i = 0; i < workers; ++i) {
    if (fork() == 0) {
      const long count = RunQueries(keep_attachment, database, params, sql, deadline);
      _exit(write(counts[1], &count, sizeof count) == sizeof count ? 0 : 1);
    }
  }
  close(counts[1]);
  long total = 0;
  long count = 0;
  int reported = 0;
  while (read(counts[0], &count, sizeof count) == sizeof count) {
    total += count;
    ++reported;
  }
  int failed = 0;
  for (int status = 0; wait(&status) > 0;)
    failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  if (failed > 0 || reported != workers) {
    std::fprintf(stderr, "%d of %d workers failed\n", workers - reported, workers);
    return 1;
  }
  std::printf("queries=%ld rps=%.1f\n", total, total / seconds);
  return 0;
}
