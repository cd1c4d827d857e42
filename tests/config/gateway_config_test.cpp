// The configuration file: what a well-formed file sets, and every way a file is refused, with the
// file and line its message names.
#include "config/gateway_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/config_file.h"
#include "support/scoped_config.h"

namespace xg {
namespace {

std::string FailureOf(const std::string& text) {
  try {
    ParseGatewayConfig(text, "/etc/xg.conf");
  } catch (const EConfigError& e) {
    return e.Message();
  }
  return "(accepted)";
}

TEST(GatewayConfig, NoFileAndAnEmptyFileGiveTheDefaults) {
  for (const GatewayConfig& config :
       {GatewayConfig(), ParseGatewayConfig("", "x.conf"),
        ParseGatewayConfig("# only a comment\r\n\r\n   \n[databases]\n[limits]\n", "x.conf")}) {
    EXPECT_EQ(config.allow, std::vector<std::string>{"*"});
    EXPECT_TRUE(config.embedded.empty());
    EXPECT_EQ(config.charset, "");
    EXPECT_EQ(config.max_request_bytes, 16 * 1024 * 1024);
    EXPECT_EQ(config.max_answer_bytes, 512 * 1024 * 1024);
    EXPECT_EQ(config.spool_memory_bytes, 4 * 1024 * 1024);
    EXPECT_FALSE(config.pool_attachments);
    EXPECT_TRUE(config.pool_check_session);
    EXPECT_EQ(config.pool_idle_seconds, 60);
    EXPECT_EQ(config.pool_max_age_seconds, 300);
    EXPECT_EQ(config.pool_max_per_process, 4);
    EXPECT_EQ(config.max_query_seconds, 0);
    EXPECT_EQ(config.fastcgi_read_timeout_seconds, 30);
    EXPECT_TRUE(config.fastcgi_allowed_clients.empty());
  }
}

TEST(GatewayConfig, EveryKeyIsRead) {
  const GatewayConfig config = ParseGatewayConfig(
      "# the operator's choices\r\n"
      "[databases]\r\n"
      "allow = /srv/xg/*.fdb\t/srv/other/a.fdb   # two patterns\r\n"
      "embedded=/srv/xg/demo.fdb\r\n"
      "charset = WIN1252\r\n"
      "embedded-user = READER\r\n"
      "[ limits ]\n"
      "max-request-bytes = 64K\n"
      "max-answer-bytes = 3G\n"
      "spool-memory-bytes = 0\n"
      "max-query-seconds = 300\n"
      "[fastcgi]\n"
      "read-timeout-seconds = 7\n"
      "stop-seconds = 0\n"
      "workers = 3\n"
      "max-requests = 1000\n"
      "status-path = /xg-status\n"
      "ping-path = /xg-ping\n"
      "status-clients = 192.0.2.9\n"
      "allowed-clients = 192.0.2.1, 2001:db8::5 ::ffff:10.0.0.1\n"
      "[pool]\n"
      "attachments = on\n"
      "check-session = off\n"
      "idle-seconds = 5\n"
      "max-age-seconds = 0\n"
      "max-per-process = 12\n",
      "x.conf");
  EXPECT_EQ(config.allow, (std::vector<std::string>{"/srv/xg/*.fdb", "/srv/other/a.fdb"}));
  EXPECT_EQ(config.embedded, std::vector<std::string>{"/srv/xg/demo.fdb"});
  EXPECT_EQ(config.embedded_user, "READER");
  EXPECT_EQ(config.charset, "WIN1252");
  EXPECT_EQ(config.max_request_bytes, 64 * 1024);
  EXPECT_EQ(config.max_answer_bytes, int64_t{3} << 30);
  EXPECT_EQ(config.spool_memory_bytes, 0);
  EXPECT_TRUE(config.pool_attachments);
  EXPECT_FALSE(config.pool_check_session);
  EXPECT_EQ(config.pool_idle_seconds, 5);
  EXPECT_EQ(config.pool_max_age_seconds, 0);
  EXPECT_EQ(config.pool_max_per_process, 12);
  EXPECT_EQ(config.max_query_seconds, 300);
  EXPECT_EQ(config.fastcgi_read_timeout_seconds, 7);
  EXPECT_EQ(config.fastcgi_stop_seconds, 0);
  EXPECT_EQ(config.fastcgi_workers, 3);
  EXPECT_EQ(config.fastcgi_max_requests, 1000);
  EXPECT_EQ(config.fastcgi_status_path, "/xg-status");
  EXPECT_EQ(config.fastcgi_ping_path, "/xg-ping");
  EXPECT_EQ(config.fastcgi_status_clients, std::vector<std::string>{"192.0.2.9"});
  EXPECT_EQ(ParseGatewayConfig("[fastcgi]\nworkers = auto\n", "x.conf").fastcgi_workers, 0);
  EXPECT_EQ(config.fastcgi_allowed_clients,
            (std::vector<std::string>{"192.0.2.1", "2001:db8::5", "::ffff:10.0.0.1"}));
  EXPECT_FALSE(ParseGatewayConfig("[pool]\nattachments = off\n", "x.conf").pool_attachments);

  // An empty allow list allows nothing; byte counts may be plain numbers.
  const GatewayConfig closed =
      ParseGatewayConfig("[databases]\nallow =\n[limits]\nmax-answer-bytes = 0\n", "x.conf");
  EXPECT_TRUE(closed.allow.empty());
  EXPECT_EQ(closed.max_answer_bytes, 0);
  // A "#" inside a word is part of it.
  EXPECT_EQ(ParseGatewayConfig("[databases]\nembedded = /a#b.fdb\n", "x.conf").embedded,
            std::vector<std::string>{"/a#b.fdb"});
}

TEST(GatewayConfig, MalformedFilesAreRefusedWithTheirFileAndLine) {
  const std::string at = "Error in configuration file /etc/xg.conf, line ";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"allow = *\n", at + "1: key allow before the first section"},
      {"[databases]\nallow\n", at + "2: expected \"[section]\" or \"key = value\""},
      {"[databases\n", at + "1: expected \"[section]\" or \"key = value\""},
      {"[]\n", at + "1: empty section name"},
      {"[databases]\n = x\n", at + "2: empty key"},
      {"[databases]\nallow = a\x01"
       "b\n",
       at + "2: control character in the line"},
      {"[pools]\nsize = 4\n", at + "1: unknown section [pools]"},
      // The embedded engine is confined to the folders of the patterns: a folder must be one.
      {"[databases]\nembedded = /srv/xg/a.fdb /srv/*/a.fdb\n",
       at + "2: embedded pattern /srv/*/a.fdb has a wildcard in a folder: the embedded engine is "
            "confined to the folders of the patterns, so only the file name may hold one"},
      {"[databases]\nembedded = /srv/x?/a.fdb\n",
       at + "2: embedded pattern /srv/x?/a.fdb has a wildcard in a folder: the embedded engine is "
            "confined to the folders of the patterns, so only the file name may hold one"},
      {"[databases]\nembedded = *\n", at + "2: embedded pattern * is not an absolute path"},
      {"[databases]\nembedded = srv/a.fdb\n",
       at + "2: embedded pattern srv/a.fdb is not an absolute path"},
      {"[databases]\nembedded = /srv;/etc/a.fdb\n",
       at + "2: embedded pattern /srv;/etc/a.fdb has a folder with one of ; # \" $ { } \\"},
      {"[databases]\nembedded-user = two words\n",
       at + "2: embedded-user must be one user name of 1 to 63 bytes without blanks: two words"},
      {"[databases]\nembedded-user =\n",
       at + "2: embedded-user must be one user name of 1 to 63 bytes without blanks: "},
      {"[pool]\nsize = 4\n", at + "2: unknown key size in section [pool]"},
      {"[pool]\nattachments = yes\n", at + "2: attachments must be on or off: yes"},
      {"[pool]\nattachments =\n", at + "2: attachments must be on or off: "},
      {"[pool]\ncheck-session = 1\n", at + "2: check-session must be on or off: 1"},
      {"[pool]\nidle-seconds = -1\n",
       at + "2: idle-seconds must be a whole number from 0 to 31622400: -1"},
      {"[pool]\nmax-age-seconds = 31622401\n",
       at + "2: max-age-seconds must be a whole number from 0 to 31622400: 31622401"},
      {"[pool]\nmax-per-process = 99999999999\n",
       at + "2: max-per-process must be a whole number from 0 to 1000: 99999999999"},
      {"[pool]\nmax-per-process = 4x\n",
       at + "2: max-per-process must be a whole number from 0 to 1000: 4x"},
      {"[limits]\nmax-query-seconds = 1m\n",
       at + "2: max-query-seconds must be a whole number from 0 to 31622400: 1m"},
      {"[fastcgi]\nread-timeout-seconds = 0\n",
       at + "2: read-timeout-seconds must be a whole number from 1 to 31622400: 0"},
      {"[fastcgi]\nworkers = 0\n",
       at + "2: workers must be auto or a whole number from 1 to 1024: 0"},
      {"[fastcgi]\nworkers = many\n",
       at + "2: workers must be auto or a whole number from 1 to 1024: many"},
      {"[fastcgi]\nmax-requests = -5\n",
       at + "2: max-requests must be a whole number from 0 to 2147483647: -5"},
      {"[fastcgi]\nstatus-path = status\n",
       at + "2: status-path must be a path beginning with /, without ? or #: status"},
      {"[fastcgi]\nping-path = /ping?x\n",
       at + "2: ping-path must be a path beginning with /, without ? or #: /ping?x"},
      {"[fastcgi]\nstatus-clients = localhost\n",
       at + "2: status-clients must list numeric IP addresses: localhost"},
      {"[fastcgi]\nstop-seconds = -1\n",
       at + "2: stop-seconds must be a whole number from 0 to 31622400: -1"},
      {"[fastcgi]\nallowed-clients = 127.0.0.1 web.example.com\n",
       at + "2: allowed-clients must list numeric IP addresses: web.example.com"},
      {"[fastcgi]\nallowed-clients = 10.0.0.0/8\n",
       at + "2: allowed-clients must list numeric IP addresses: 10.0.0.0/8"},
      {"[fastcgi]\nbacklog = 5\n", at + "2: unknown key backlog in section [fastcgi]"},
      {"[Databases]\n", at + "1: unknown section [Databases]"},
      {"[databases]\nallowed = *\n", at + "2: unknown key allowed in section [databases]"},
      {"[limits]\nallow = *\n", at + "2: unknown key allow in section [limits]"},
      {"[databases]\nallow = a\n\nallow = b\n",
       at + "4: key allow given a second time in section [databases]"},
      {"[databases]\ncharset = ISO8859_1 WIN1252\n",
       at + "2: charset must be one character set name: ISO8859_1 WIN1252"},
      {"[databases]\ncharset = UTF-8\n", at + "2: charset must be one character set name: UTF-8"},
  };
  for (const auto& c : cases) EXPECT_EQ(FailureOf(c.text), c.message) << c.text;

  const std::string request =
      ": max-request-bytes must be a whole number of bytes, optionally "
      "followed by K, M or G, at most 2147483647 bytes: ";
  const std::string answer =
      ": max-answer-bytes must be a whole number of bytes, optionally "
      "followed by K, M or G, at most 1125899906842624 bytes: ";
  for (const char* value : {"", "-1", "1.5", "12KB", "k", "16 M", "2147483648", "2G", "0x10"}) {
    EXPECT_EQ(FailureOf("[limits]\nmax-request-bytes = " + std::string(value) + "\n"),
              at + "2" + request + value);
  }
  EXPECT_EQ(FailureOf("[limits]\nmax-answer-bytes = 1048577G\n"), at + "2" + answer + "1048577G");
  EXPECT_EQ(FailureOf("[limits]\nspool-memory-bytes = 2G\n"),
            at + "2: spool-memory-bytes must be a whole number of bytes, optionally followed by K, "
                 "M or G, at most 1073741824 bytes: 2G");
  EXPECT_EQ(FailureOf("[limits]\nmax-answer-bytes = 99999999999999999999999\n"),
            at + "2" + answer + "99999999999999999999999");
}

TEST(GatewayConfig, TheRequestLogKeys) {
  const GatewayConfig defaults = ParseGatewayConfig("[log]\n", "x.conf");
  EXPECT_EQ(defaults.log.place, RequestLogPlace::kDefault);
  EXPECT_FALSE(defaults.log.sql);
  EXPECT_EQ(defaults.log.slow_ms, 0);

  const struct {
    std::string value;
    RequestLogPlace place;
    std::string path;
  } places[] = {
      {"off", RequestLogPlace::kOff, ""},
      {"stderr", RequestLogPlace::kStderr, ""},
      {"syslog", RequestLogPlace::kSyslog, ""},
      {"/var/log/xmlgateway/requests.log", RequestLogPlace::kFile,
       "/var/log/xmlgateway/requests.log"},
  };
  for (const auto& c : places) {
    const GatewayConfig config = ParseGatewayConfig(
        "[log]\nrequests = " + c.value + "\nsql = on\nslow-ms = 250\n", "x.conf");
    EXPECT_EQ(config.log.place, c.place) << c.value;
    EXPECT_EQ(config.log.path, c.path);
    EXPECT_TRUE(config.log.sql);
    EXPECT_EQ(config.log.slow_ms, 250);
  }

  const std::string at = "Error in configuration file /etc/xg.conf, line 2: ";
  const std::string place = "requests must be off, stderr, syslog or the absolute path of a file: ";
  const struct {
    std::string line;
    std::string message;
  } refused[] = {
      {"requests = file", place + "file"},
      {"requests = log/requests.log", place + "log/requests.log"},
      {"requests = /", place + "/"},
      {"requests =", place},
      {"requests = Stderr", place + "Stderr"},
      {"sql = yes", "sql must be on or off: yes"},
      {"slow-ms = -5", "slow-ms must be a whole number from 0 to 86400000: -5"},
      {"slow-ms = 86400001", "slow-ms must be a whole number from 0 to 86400000: 86400001"},
      {"password = off", "unknown key password in section [log]"},
  };
  for (const auto& c : refused)
    EXPECT_EQ(FailureOf("[log]\n" + c.line + "\n"), at + c.message) << c.line;
}

TEST(GatewayConfig, AFileThatCannotBeUsedStillNamesItsRequestLog) {
  const struct {
    std::optional<std::string> text;
    RequestLogPlace place;
    bool sql;
  } cases[] = {
      // Another section's mistake: the [log] section still says where its refusals go.
      {"[log]\nrequests = /var/log/xg.log\nsql = on\n[limits]\nmax = 1\n", RequestLogPlace::kFile,
       true},
      {"[limits]\nmax-request-bytes = lots\n[log]\nrequests = syslog\n", RequestLogPlace::kSyslog,
       false},
      // A mistake in the section itself, or lines that cannot be read: the defaults.
      {"[log]\nrequests = /var/log/xg.log\nslow-ms = soon\n", RequestLogPlace::kDefault, false},
      {"[log]\nrequests = syslog\n[limits\n", RequestLogPlace::kDefault, false},
      {std::nullopt, RequestLogPlace::kDefault, false},
  };
  for (const auto& c : cases) {
    const LoadedGatewayConfig loaded(TextConfigSource("x.conf", c.text));
    if (c.text) {
      EXPECT_THROW(loaded.Settings(), EConfigError) << *c.text;
    }
    EXPECT_EQ(loaded.LogSettings().place, c.place) << c.text.value_or("(no file)");
    EXPECT_EQ(loaded.LogSettings().sql, c.sql);
  }
  const LoadedGatewayConfig good(TextConfigSource("test.conf", "[log]\nrequests = stderr\n"));
  EXPECT_EQ(good.LogSettings().place, RequestLogPlace::kStderr);
}

TEST(GatewayConfig, TheLoadedConfigurationKeepsTheSettingsOrTheFailure) {
  EXPECT_EQ(LoadedGatewayConfig(TextConfigSource("test.conf", "[limits]\nmax-answer-bytes = 1K\n"))
                .Settings()
                .max_answer_bytes,
            1024);
  EXPECT_EQ(LoadedGatewayConfig().Settings().max_answer_bytes, int64_t{512} << 20);
  const LoadedGatewayConfig broken(
      TextConfigSource("b.conf", "[databases]\nembedded = /srv/*\n[limits]\nmax = 1\n"));
  // Asked again, the failure is raised again: no request runs on a more open default.
  for (int i = 0; i < 2; ++i) {
    try {
      broken.Settings();
      ADD_FAILURE() << "settings of a broken file";
    } catch (const EConfigError& e) {
      EXPECT_EQ(e.Message(),
                "Error in configuration file b.conf, line 4: unknown key max in section [limits]");
    }
  }
}

TEST(GatewayConfig, TheFileSourceReadsTheNamedOrTheDefaultFile) {
  const std::string file = test::WriteConfigFile("[databases]\ncharset = WIN1252\n");
  setenv("XMLGATEWAY_CONF", file.c_str(), 1);
  EXPECT_EQ(FileConfigSource().FileName(), file);
  EXPECT_EQ(FileConfigSource().Text(), "[databases]\ncharset = WIN1252\n");
  setenv("XMLGATEWAY_CONF", (file + ".absent").c_str(), 1);
  try {
    FileConfigSource().Text();
    ADD_FAILURE() << "a named file that is missing gave no failure";
  } catch (const EConfigError& e) {
    EXPECT_EQ(e.Message(),
              "Cannot read configuration file " + file + ".absent: No such file or directory");
  }
  unsetenv("XMLGATEWAY_CONF");
  EXPECT_EQ(FileConfigSource().FileName(), "/etc/xmlgateway/xmlgateway.conf");
}

// Only a regular file of at most 1 MiB is read: anything else named by XMLGATEWAY_CONF is the
// file's failure, never an empty text or the defaults, and never a read without end.
TEST(GatewayConfig, OnlyARegularFileOfAtMostOneMebibyteIsRead) {
  std::string folder = "/tmp/xg-conf-folder-XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::string fifo = folder + "/config.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string largest = test::WriteConfigFile("#" + std::string(1048575, 'x'));
  const std::string larger = test::WriteConfigFile("#" + std::string(1048576, 'x'));
  const struct {
    std::string file;
    std::string why;
  } refused[] = {
      {folder, "not a regular file"},
      {larger, "larger than 1048576 bytes"},
      {"/dev/zero", "not a regular file"},
      {fifo, "not a regular file"},
  };
  for (const auto& [file, why] : refused) {
    setenv("XMLGATEWAY_CONF", file.c_str(), 1);
    const LoadedGatewayConfig loaded(FileConfigSource());
    try {
      loaded.Settings();
      ADD_FAILURE() << file << " gave settings";
    } catch (const EConfigError& e) {
      EXPECT_EQ(e.Message(), "Cannot read configuration file " + file + ": " + why);
    }
  }
  setenv("XMLGATEWAY_CONF", largest.c_str(), 1);
  EXPECT_EQ(FileConfigSource().Text()->size(), 1048576u);
  unsetenv("XMLGATEWAY_CONF");
  unlink(fifo.c_str());
  rmdir(folder.c_str());
}

}  // namespace
}  // namespace xg
