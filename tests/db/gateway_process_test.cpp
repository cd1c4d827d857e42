// The gateway program run as a CGI process with SQL requests: the answers a client reads for a
// query, a statement, failures of the set-up (wrong password, missing database file, a host that
// does not answer) and a client library that cannot be loaded.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include "db_test_support.h"
#include "support/child_process.h"
#include "support/request_body.h"
#include "support/scoped_config.h"
#include "support/xml_reader.h"

namespace xg {
namespace {

std::string FormValue(const std::string& text) {
  std::string encoded;
  for (char c : text) {
    if (c == '+' || c == '/' || c == '=') {
      static const char kHex[] = "0123456789ABCDEF";
      encoded += '%';
      encoded += kHex[static_cast<unsigned char>(c) >> 4];
      encoded += kHex[c & 15];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

std::string RequestDocument(const std::string& service, const std::string& db,
                            const std::string& user, const std::string& password,
                            const std::string& sql) {
  return "<?xml version=\"1.0\"?><SENDDATA><SERVICE>" + service + "</SERVICE><DB>" + db +
         "</DB><USER>" + user + "</USER><PASS>" + test::Base64Encode(password) + "</PASS><SQL>" +
         test::Base64Encode(sql) + "</SQL></SENDDATA>";
}

struct Answer {
  std::string head;
  std::string body;
  int exit_code = -1;
  long max_rss_kb = 0;
};

// Runs the program as the web server would for a POSTed form, with the configuration file
// `config`; `program` may be a wrapper.
Answer Post(const std::string& document,
            const std::string& config = test::EmbeddedScratchConfigFile(),
            const std::string& program = XG_PROGRAM,
            const std::vector<std::string>& more_environment = {}) {
  const std::string body = "SENDDATA=" + FormValue(test::Base64Encode(document));
  std::vector<std::string> environment = {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                          "CONTENT_LENGTH=" + std::to_string(body.size()),
                                          "PATH=/usr/bin:/bin", "XMLGATEWAY_CONF=" + config};
  environment.insert(environment.end(), more_environment.begin(), more_environment.end());
  const test::ChildResult result = test::RunChild(program, environment, body);
  Answer answer;
  answer.exit_code = result.exit_code;
  answer.max_rss_kb = result.max_rss_kb;
  const size_t split = result.out.find("\r\n\r\n");
  answer.head = result.out.substr(0, split);
  answer.body = split == std::string::npos ? "" : result.out.substr(split + 4);
  return answer;
}

// The message of an ERROR document: the MSGDATA value up to the two CR bytes that precede the
// request text the gateway appends.
std::string ErrorMessage(const Answer& answer) {
  const std::string open = "<ERROR>\r\n";
  EXPECT_NE(answer.body.find(open), std::string::npos) << answer.body.substr(0, 300);
  const std::string tag = " <MSGDATA DATATYPE=\"STRING\">";
  const size_t start = answer.body.find(tag);
  if (start == std::string::npos) return "(no MSGDATA) " + answer.body.substr(0, 300);
  const size_t end = answer.body.find("\r\r", start);
  return answer.body.substr(start + tag.size(), end - start - tag.size());
}

TEST(GatewayProcess, QueryAndStatementAnswers) {
  const std::string demo = test::CreateDemoDatabase();
  Answer answer = Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "",
                                       "select code, name, price from products order by code"));
  EXPECT_EQ(answer.exit_code, 0);
  EXPECT_NE(answer.head.find("200"), std::string::npos) << answer.head;
  EXPECT_EQ(answer.body,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<OPENSQL RECORDCOUNT=\"3\">\r\n"
            "<RECORD1>\r\n <CODE DATATYPE=\"INTEGER\" DATASIZE=\"4\">1</CODE>\r\n"
            " <NAME DATATYPE=\"STRING\" DATASIZE=\"40\">Coffee</NAME>\r\n"
            " <PRICE DATATYPE=\"STRING\" DATASIZE=\"8\">12.5</PRICE>\r\n</RECORD1>\r\n"
            "<RECORD2>\r\n <CODE DATATYPE=\"INTEGER\" DATASIZE=\"4\">2</CODE>\r\n"
            " <NAME DATATYPE=\"STRING\" DATASIZE=\"40\">Tea</NAME>\r\n"
            " <PRICE DATATYPE=\"STRING\" DATASIZE=\"8\">7.9</PRICE>\r\n</RECORD2>\r\n"
            "<RECORD3>\r\n <CODE DATATYPE=\"INTEGER\" DATASIZE=\"4\">3</CODE>\r\n"
            " <NAME DATATYPE=\"STRING\" DATASIZE=\"40\">Sugar</NAME>\r\n"
            " <PRICE DATATYPE=\"STRING\" DATASIZE=\"8\">4.25</PRICE>\r\n</RECORD3>\r\n"
            "</OPENSQL>\r\n");

  answer = Post(RequestDocument("SERVICEEXECSQL", demo, "SYSDBA", "",
                                "insert into products (code, name) values (4, 'Salt')"));
  EXPECT_EQ(answer.body,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<EXECSQL>\r\n"
            " <MSGDATA DATATYPE=\"STRING\">Opera\xE7\xE3o efetuada com sucesso</MSGDATA>\r\n"
            "</EXECSQL>\r\n");
}

TEST(GatewayProcess, RefusedConnectionsAnswerTheErrorDocument) {
  const auto server = test::Server();
  ASSERT_FALSE(server.host.empty());
  // A file that is not there is no embedded database: the server on this host reports it.
  std::string message =
      ErrorMessage(Post(RequestDocument("SERVICEOPENSQL", test::ScratchDirectory() + "/absent.fdb",
                                        server.user, server.password, "select 1")));
  EXPECT_NE(message.find("absent.fdb"), std::string::npos) << message;

  message = ErrorMessage(Post(RequestDocument("SERVICEEXECSQL", "127.0.0.1/3999:/tmp/none.fdb",
                                              "SYSDBA", "x", "delete from t")));
  EXPECT_NE(message.find("Unable to complete network request to host \"127.0.0.1"),
            std::string::npos)
      << message;

  const std::string demo = test::CreateDemoDatabase();
  test::GiveToServer(demo);
  message = ErrorMessage(
      Post(RequestDocument("SERVICEOPENSQL", test::ServerDatabaseName(demo), server.user,
                           server.password + "x", "select * from products")));
  EXPECT_EQ(message.rfind("Your user name and password are not defined", 0), 0u) << message;
}

// Runs the program in a mount namespace of its own where the client library's file is replaced
// by an empty one, so that loading it fails as it would on a host without it.
// Whether any regular file below the folder (or the file itself) holds the text.
bool AnyFileHolds(const std::filesystem::path& place, const std::string& text) {
  std::error_code error;
  std::vector<std::filesystem::path> files;
  if (std::filesystem::is_regular_file(place, error)) files.push_back(place);
  for (auto it = std::filesystem::recursive_directory_iterator(place, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error)) files.push_back(it->path());
  }
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (content.find(text) != std::string::npos) return true;
  }
  return false;
}

// Started with standard descriptors closed, the gateway opens them on /dev/null before it opens
// anything else: the answer never lands in a file the process opened (the client library's lock
// files, the database).
TEST(GatewayProcess, ClosedStandardStreamsWriteTheAnswerNowhere) {
  const std::string demo = test::CreateDemoDatabase();
  const std::string marker = "closed-streams-" + std::to_string(getpid());
  const std::string body =
      "SENDDATA=" +
      FormValue(test::Base64Encode(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "",
                                                   "select '" + marker + "' from rdb$database")));
  const std::vector<std::string> environment = {
      "REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
      "CONTENT_LENGTH=" + std::to_string(body.size()), "PATH=/usr/bin:/bin",
      "XMLGATEWAY_CONF=" + test::EmbeddedScratchConfigFile()};
  const std::string lock_folder =
      std::getenv("FIREBIRD_LOCK") != nullptr ? std::getenv("FIREBIRD_LOCK") : "/tmp/firebird";

  for (const std::vector<int>& closed :
       std::vector<std::vector<int>>{{1}, {1, 2}, {0, 1, 2}, {2}}) {
    SCOPED_TRACE(::testing::PrintToString(closed));
    test::ChildControl control;
    control.closed_descriptors = closed;
    const test::ChildResult result = test::RunChild(XG_PROGRAM, environment, body, {}, control);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.signal, 0);
    if (closed == std::vector<int>{2}) {
      EXPECT_NE(result.out.find("<RECORD1>"), std::string::npos) << result.out;
    }
    EXPECT_FALSE(AnyFileHolds(lock_folder, marker));
    EXPECT_FALSE(AnyFileHolds(demo, marker));
  }
}

TEST(GatewayProcess, MissingClientLibrary) {
  char library[PATH_MAX];
  ASSERT_NE(realpath("/usr/lib/x86_64-linux-gnu/libfbclient.so.2", library), nullptr)
      << "the client library is not installed where expected";
  const std::string empty = test::ScratchDirectory() + "/empty-library";
  std::ofstream(empty).close();
  const std::string wrapper = test::ScratchDirectory() + "/without-client-library.sh";
  std::ofstream(wrapper) << "#!/bin/sh\nexec unshare --mount sh -c 'mount --bind " << empty << " "
                         << library << " && exec " << XG_PROGRAM << "'\n";
  chmod(wrapper.c_str(), 0755);

  const std::string request =
      RequestDocument("SERVICEOPENSQL", test::CreateDemoDatabase(), "SYSDBA", "", "select 1");
  const Answer answer = Post(request, test::EmbeddedScratchConfigFile(), wrapper);
  EXPECT_EQ(answer.exit_code, 0);
  EXPECT_EQ(ErrorMessage(answer),
            "Biblioteca gds32.dll do InterBase n\xE3o encontrada no caminho. Favor instalar "
            "InterBase para usar esta funcionalidade");
  EXPECT_NE(test::UnescapeText(answer.body).find("\r\r" + request), std::string::npos);
}

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";
const std::string kRefused = "Acesso ao banco de dados n\xE3o permitido: ";

// The first lines of an OPENSQL document up to its RECORD1 tag, or its failure message.
std::string OpenOutcome(const Answer& answer) {
  const std::string failure = kDeclaration + "<OPENSQL>\r\n <MSGDATA DATATYPE=\"STRING\">";
  if (answer.body.rfind(failure, 0) == 0)
    return answer.body.substr(failure.size(), answer.body.find("</MSGDATA>") - failure.size());
  if (answer.body.rfind(kDeclaration + "<OPENSQL RECORDCOUNT=", 0) == 0)
    return answer.body.substr(kDeclaration.size(),
                              answer.body.find("\r\n", kDeclaration.size()) - kDeclaration.size());
  if (answer.body.find("<ERROR>") != std::string::npos) return ErrorMessage(answer);
  return "(no answer) " + answer.head;
}

TEST(GatewayProcess, ANameWithoutHostGoesToTheServerUnlessListedAsEmbedded) {
  const auto server = test::Server();
  ASSERT_FALSE(server.host.empty());
  const std::string demo = test::CreateDemoDatabase();
  test::GiveToServer(demo);
  const std::string query = "select code from products";
  const std::string no_config = test::WriteConfigFile("");
  // The server checks the password: a wrong one never reads a row.
  EXPECT_EQ(OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", demo, server.user, "wrong", query),
                             no_config))
                .rfind("Your user name and password are not defined", 0),
            0u);
  EXPECT_EQ(
      OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", demo, server.user, server.password, query),
                       no_config)),
      "<OPENSQL RECORDCOUNT=\"3\">");
  // Listed under embedded, the engine inside the gateway opens it, and checks no password.
  const std::string embedded = test::WriteConfigFile("[databases]\nembedded = " + demo + "\n");
  EXPECT_EQ(OpenOutcome(
                Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "wrong", query), embedded)),
            "<OPENSQL RECORDCOUNT=\"3\">");
  // The name is resolved before it is matched: the same file by another way is listed too,
  // while "embedded" matching only the link's own name does not make the file embedded.
  const std::string link = test::ScratchDirectory() + "/link-to-demo.fdb";
  std::filesystem::create_symlink(demo, link);
  EXPECT_EQ(OpenOutcome(
                Post(RequestDocument("SERVICEOPENSQL", link, "SYSDBA", "wrong", query), embedded)),
            "<OPENSQL RECORDCOUNT=\"3\">");
  const std::string by_link_name = test::WriteConfigFile("[databases]\nembedded = " + link + "\n");
  EXPECT_EQ(OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", link, "SYSDBA", "wrong", query),
                             by_link_name))
                .rfind("Your user name and password are not defined", 0),
            0u);
}

TEST(GatewayProcess, AllowRefusesWhatItDoesNotMatchBeforeAnyAttach) {
  const std::string dir = test::ScratchDirectory();
  const std::string allowed_dir = dir + "/allowed";
  std::filesystem::create_directory(allowed_dir);
  const std::string allowed = allowed_dir + "/demo.fdb";
  std::filesystem::rename(test::CreateDemoDatabase(), allowed);
  const std::string outside = test::CreateDemoDatabase();
  const std::string link = allowed_dir + "/link.fdb";
  std::filesystem::create_symlink(outside, link);
  const std::string config = test::WriteConfigFile("[databases]\nallow = " + allowed_dir +
                                                   "/*\nembedded = " + allowed_dir + "/*\n");
  const std::string query = "select code from products";

  EXPECT_EQ(
      OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", allowed, "SYSDBA", "p", query), config)),
      "<OPENSQL RECORDCOUNT=\"3\">");
  const std::string long_name = allowed_dir + "/../" + std::string(300, 'x') + ".fdb";
  const std::string refused[] = {
      outside,   allowed_dir + "/../" + std::filesystem::path(outside).filename().string(),
      link,      "127.0.0.1:" + outside,
      long_name,
  };
  for (const std::string& name : refused) {
    for (const char* service : {"SERVICEOPENSQL", "SERVICEEXECSQL"}) {
      SCOPED_TRACE(std::string(service) + " " + name.substr(0, 100));
      const Answer answer = Post(RequestDocument(service, name, "u", "p", query), config);
      EXPECT_EQ(answer.exit_code, 0);
      // The name as sent, cut to 200 bytes.
      EXPECT_EQ(ErrorMessage(answer), kRefused + name.substr(0, 200));
    }
  }
}

// A folder of the scratch directory with a copy of the demo database in it; its path.
std::string ListedFolderWithDemo(const std::string& name) {
  const std::string folder = test::ScratchDirectory() + "/" + name;
  std::filesystem::create_directory(folder);
  chmod(folder.c_str(), 0777);
  std::filesystem::rename(test::CreateDemoDatabase(), folder + "/demo.fdb");
  return folder;
}

// What a statement on a listed embedded database reaches: databases and files in the folders of
// the "embedded" patterns only. No other file, and no server, whatever user and password the
// statement names: the embedded engine checks none.
TEST(GatewayProcess, StatementsOnAnEmbeddedDatabaseReachOnlyTheListedFolders) {
  const std::string folder = ListedFolderWithDemo("confined");
  const std::string demo = folder + "/demo.fdb";
  const std::string config =
      test::WriteConfigFile("[databases]\nembedded = " + folder + "/*.fdb\n");
  const std::string outside = test::CreateDemoDatabase();
  auto from_source = [](const std::string& source, const std::string& password) {
    return "execute block returns (name varchar(40)) as begin for execute statement "
           "'select name from products' on external data source '" +
           source + "' as user 'SYSDBA' password '" + password + "' into name do suspend; end";
  };
  const std::string not_allowed = "is not allowed by server configuration";

  // The listed database answers, and a statement may open another database of its folder.
  EXPECT_EQ(OpenOutcome(Post(
                RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "x", "select code from products"),
                config)),
            "<OPENSQL RECORDCOUNT=\"3\">");
  std::filesystem::copy_file(outside, folder + "/neighbour.fdb");
  EXPECT_EQ(OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "x",
                                             from_source(folder + "/neighbour.fdb", "wrong")),
                             config)),
            "<OPENSQL RECORDCOUNT=\"3\">");

  std::vector<std::pair<std::string, std::string>> refused = {
      {from_source(outside, "wrong"), not_allowed},
  };
  if (test::ServerConfigured()) {
    // A server reached from inside the engine would be a door to every host it can reach.
    const auto server = test::Server();
    const std::string on_server = test::CreateDemoDatabase();
    test::GiveToServer(on_server);
    refused.push_back(
        {from_source(server.host + ":" + on_server, server.password), "unavailable database"});
  }
  // The engine settings the process is handed (here ones that open everything) give whatever the
  // gateway's own do not set, and cannot reopen what those close.
  const std::string open_settings = test::ScratchDirectory() + "/open-engine";
  std::filesystem::create_directory(open_settings);
  std::ofstream(open_settings + "/firebird.conf")
      << "DatabaseAccess = Full\nExternalFileAccess = Full\nUdfAccess = Full\n"
         "Providers = Remote, Engine12, Loopback\n";
  for (const std::vector<std::string>& environment :
       {std::vector<std::string>{}, std::vector<std::string>{"FIREBIRD=" + open_settings}}) {
    for (const auto& [sql, message] : refused) {
      SCOPED_TRACE(sql + (environment.empty() ? "" : " with " + environment[0]));
      const std::string outcome =
          OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "x", sql), config,
                           XG_PROGRAM, environment));
      EXPECT_NE(outcome.find(message), std::string::npos) << outcome;
    }
  }

  const std::string shadow = test::ScratchDirectory() + "/shadow-of-confined.fdb";
  const Answer answer = Post(
      RequestDocument("SERVICEEXECSQL", demo, "SYSDBA", "x", "create shadow 1 '" + shadow + "'"),
      config);
  EXPECT_NE(answer.body.find(not_allowed), std::string::npos) << answer.body;
  EXPECT_FALSE(std::filesystem::exists(shadow));
}

// Another local user can make the engine folder's shared name first (it is foreseeable, and /tmp
// is open to all). The gateway then neither uses that folder nor fails: it confines the engine
// with a folder of the process's own, removed when the process exits.
TEST(GatewayProcess, AnEngineFolderNameHeldByAnotherUserGivesAPrivateFolder) {
  const std::string folder = ListedFolderWithDemo("squatted");
  const std::string demo = folder + "/demo.fdb";
  const std::string config =
      test::WriteConfigFile("[databases]\nembedded = " + folder + "/*.fdb\n");
  const std::string lock = test::ScratchDirectory() + "/squatted-lock";
  std::filesystem::create_directory(lock);
  ASSERT_EQ(chmod(lock.c_str(), 01777), 0);
  const std::vector<std::string> environment = {"FIREBIRD_LOCK=" + lock};
  auto gateway_folders = [&lock] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(lock)) {
      const std::string name = entry.path().filename();
      if (name.rfind("xmlgateway-", 0) == 0) names.push_back(name);
    }
    return names;
  };
  const std::string query =
      RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "x", "select code from products");
  ASSERT_EQ(OpenOutcome(Post(query, config, XG_PROGRAM, environment)),
            "<OPENSQL RECORDCOUNT=\"3\">");
  const std::vector<std::string> made = gateway_folders();
  ASSERT_EQ(made.size(), 1u);
  const std::string shared = lock + "/" + made[0];
  std::filesystem::remove_all(shared);
  std::filesystem::create_directory(shared);
  const std::string squatter_settings =
      "DatabaseAccess = Full\nExternalFileAccess = Full\nProviders = Engine12\n";
  std::ofstream(shared + "/firebird.conf") << squatter_settings;
  ASSERT_EQ(chmod(shared.c_str(), 0755), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(shared.c_str(), 65534, 65534), 0);
  }

  EXPECT_EQ(OpenOutcome(Post(query, config, XG_PROGRAM, environment)),
            "<OPENSQL RECORDCOUNT=\"3\">");
  const std::string outside = test::CreateDemoDatabase();
  const std::string from_outside =
      "execute block returns (name varchar(40)) as begin for execute statement "
      "'select name from products' on external data source '" +
      outside + "' as user 'SYSDBA' password 'wrong' into name do suspend; end";
  const std::string outcome =
      OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "x", from_outside), config,
                       XG_PROGRAM, environment));
  EXPECT_NE(outcome.find("is not allowed by server configuration"), std::string::npos) << outcome;
  // The squatter's folder is untouched, and the processes' own folders are gone with them.
  EXPECT_EQ(gateway_folders(), made);
  std::ifstream settings(shared + "/firebird.conf");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(settings), {}), squatter_settings);
}

// With embedded-user set, the engine attaches as that user whatever the request claims, so the
// database's own grants apply.
TEST(GatewayProcess, EmbeddedUserReplacesTheClaimedUser) {
  const std::string folder = ListedFolderWithDemo("as-reader");
  const std::string demo = folder + "/demo.fdb";
  const std::string config =
      test::WriteConfigFile("[databases]\nembedded = " + folder + "/*\nembedded-user = READER\n");
  const std::string user_query = "select current_user from rdb$database";
  Answer answer = Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "", user_query), config);
  EXPECT_NE(answer.body.find(">READER<"), std::string::npos) << answer.body;
  // READER has no grant on the demo table: SYSDBA's claim does not lift that.
  EXPECT_NE(OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "",
                                             "select code from products"),
                             config))
                .find("no permission for SELECT access to TABLE PRODUCTS"),
            std::string::npos);
}

// The file the route was chosen on is the file attached: not an alias of the same name, and not
// what a link swapped meanwhile points at.
TEST(GatewayProcess, TheCheckedFileIsTheAttachedFile) {
  const std::string folder = ListedFolderWithDemo("resolved");
  const std::string config = test::WriteConfigFile("[databases]\nembedded = " + folder + "/*\n");
  // "security.db" is an alias of the installed engine; here it is a file of the listed folder,
  // named relative to the working directory.
  std::filesystem::copy_file(folder + "/demo.fdb", folder + "/security.db");
  const std::string wrapper = folder + "/run-in-folder.sh";
  std::ofstream(wrapper) << "#!/bin/sh\ncd '" << folder << "' && exec '" << XG_PROGRAM << "'\n";
  chmod(wrapper.c_str(), 0755);
  EXPECT_EQ(OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", "security.db", "SYSDBA", "",
                                             "select code from products"),
                             config, wrapper)),
            "<OPENSQL RECORDCOUNT=\"3\">");

  // The engine reports the opened file's name cut to 254 bytes: a longer one cannot be
  // confirmed and is refused, though listed.
  const std::string deep = folder + "/" + std::string(250, 'd');
  std::filesystem::create_directory(deep);
  std::filesystem::copy_file(folder + "/demo.fdb", deep + "/demo.fdb");
  EXPECT_EQ(OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", deep + "/demo.fdb", "SYSDBA", "",
                                             "select code from products"),
                             config)),
            kRefused + (deep + "/demo.fdb").substr(0, 200));

  // A link that flips between the listed database and one outside, while requests name it.
  const std::string outside =
      test::CreateDatabase(3,
                           "create table products (code integer, name varchar(40)); "
                           "insert into products values (99, 'Outside'); commit;");
  const std::string link = folder + "/flipping.fdb";
  std::filesystem::create_symlink(folder + "/demo.fdb", link + ".in");
  std::filesystem::create_symlink(outside, link + ".out");
  std::filesystem::copy_symlink(link + ".in", link);
  // Only the folder is allowed: a request that finds the link pointing outside is refused at
  // once, without a login at the server.
  const std::string allow_folder =
      test::WriteConfigFile("[databases]\nallow = " + folder + "/*\nembedded = " + folder + "/*\n");
  std::atomic<bool> stop{false};
  std::thread flipper([&] {
    for (bool in = false; !stop; in = !in) {
      std::filesystem::copy_symlink(in ? link + ".in" : link + ".out", link + ".next");
      std::filesystem::rename(link + ".next", link);
    }
  });
  int answered_outside = 0;
  int answered_listed = 0;
  for (int i = 0; i < 60; ++i) {
    const Answer answer =
        Post(RequestDocument("SERVICEOPENSQL", link, "SYSDBA", "", "select name from products"),
             allow_folder);
    answered_outside += answer.body.find(">Outside<") != std::string::npos;
    answered_listed += answer.body.find(">Coffee<") != std::string::npos;
  }
  stop = true;
  flipper.join();
  EXPECT_EQ(answered_outside, 0);
  // Some requests found the link at the listed database: the requests did reach the engine.
  EXPECT_GT(answered_listed, 0);
}

TEST(GatewayProcess, ANameTooLongForTheClientLibraryIsRefusedNotCut) {
  // A length of 65 536 more than the name's own would reach the client library as the name
  // alone; blanks at its end would not count either.
  const std::string demo = test::CreateDemoDatabase();
  for (size_t padding : {size_t{32768}, size_t{65536}}) {
    const std::string name = demo + std::string(padding, ' ');
    EXPECT_EQ(OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", name, "SYSDBA", "",
                                               "select 1 "
                                               "from rdb$database")))
                  .substr(0, 62),
              "Nome do banco de dados \xE9 longo demais: o m\xE1ximo \xE9 32767 bytes");
  }
  // The longest name the library takes whole still reaches it (the server on this host, since
  // no file has that name).
  test::GiveToServer(demo);
  const std::string fits = demo + std::string(32767 - demo.size(), ' ');
  EXPECT_EQ(
      OpenOutcome(Post(RequestDocument("SERVICEOPENSQL", fits, test::Server().user,
                                       test::Server().password, "select code from products"))),
      "<OPENSQL RECORDCOUNT=\"3\">");
}

TEST(GatewayProcess, AnAnswerAboveMaxAnswerBytesStopsTheQuery) {
  const std::string demo = test::CreateDemoDatabase();
  const std::string query = "select code, name, price from products order by code";
  const Answer whole = Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "", query));
  ASSERT_EQ(OpenOutcome(whole), "<OPENSQL RECORDCOUNT=\"3\">");
  auto limited = [&](int64_t limit, const std::string& sql) {
    return Post(
        RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "", sql),
        test::WriteConfigFile(test::EmbeddedScratchConfig() +
                              "[limits]\nmax-answer-bytes = " + std::to_string(limit) + "\n"));
  };
  // The document fits its own length exactly, and not one byte less.
  EXPECT_EQ(limited(static_cast<int64_t>(whole.body.size()), query).body, whole.body);
  const std::string too_large = "A resposta passa do limite de " +
                                std::to_string(whole.body.size() - 1) + " bytes (max-answer-bytes)";
  EXPECT_EQ(OpenOutcome(limited(static_cast<int64_t>(whole.body.size()) - 1, query)), too_large);
  // Fifteen million rows of 200 bytes would take minutes and gigabytes to fetch: fetching stops
  // once the rows written make more than the answer may hold.
  const Answer huge = limited(1 << 20,
                              "select a.rdb$type, cast('x' as char(200)) from rdb$types a, "
                              "rdb$types b, rdb$types c");
  EXPECT_EQ(OpenOutcome(huge), "A resposta passa do limite de 1048576 bytes (max-answer-bytes)");
  EXPECT_LT(huge.max_rss_kb, 100 * 1024);
}

// The value of the header line `name` ("Content-Length"), empty when there is none.
std::string HeaderValue(const Answer& answer, const std::string& name) {
  const size_t at = answer.head.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 4;
  return answer.head.substr(start, answer.head.find("\r\n", start) - start);
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// An empty folder for the gateway's temporary files, and whether it is still empty.
struct TemporaryFolder {
  std::string path = test::ScratchDirectory() + "/tmp-" + std::to_string(getpid());
  TemporaryFolder() { std::filesystem::create_directories(path); }
  bool Empty() const { return std::filesystem::is_empty(path); }
  std::vector<std::string> Environment() const { return {"TMPDIR=" + path}; }
};

// The query answered with the answer held in memory up to `spool_bytes` and in a temporary file
// beyond.
Answer PostSpooled(const std::string& database, const std::string& sql, int64_t spool_bytes,
                   const TemporaryFolder& folder) {
  return Post(
      RequestDocument("SERVICEOPENSQL", database, "SYSDBA", "", sql),
      test::WriteConfigFile(test::EmbeddedScratchConfig() +
                            "[limits]\nspool-memory-bytes = " + std::to_string(spool_bytes) + "\n"),
      XG_PROGRAM, folder.Environment());
}

TEST(GatewayProcess, AnswersAreTheSameBytesInMemoryAndInATemporaryFile) {
  const std::string demo = test::CreateDemoDatabase();
  const TemporaryFolder folder;
  // Every column type, values that need escaping and nulls, over 600 rows (about 700 KB).
  const std::string every_type =
      "select t.*, r.n from column_types t cross join (select first 200 row_number() over () as "
      "n from rdb$types) r order by r.n, t.id";
  const Answer in_memory = PostSpooled(demo, every_type, 64 << 20, folder);
  ASSERT_EQ(OpenOutcome(in_memory), "<OPENSQL RECORDCOUNT=\"600\">");
  EXPECT_EQ(Occurrences(in_memory.body, "</RECORD"), 600u);
  EXPECT_EQ(HeaderValue(in_memory, "Content-Length"), std::to_string(in_memory.body.size()));
  EXPECT_TRUE(in_memory.body.ends_with("</RECORD600>\r\n</OPENSQL>\r\n"));
  // Every byte in the file, and the file taking over a few rows in.
  for (int64_t spool_bytes : {0, 5000}) {
    const Answer spooled = PostSpooled(demo, every_type, spool_bytes, folder);
    EXPECT_EQ(spooled.exit_code, 0);
    EXPECT_EQ(spooled.head, in_memory.head) << spool_bytes;
    EXPECT_TRUE(spooled.body == in_memory.body) << spool_bytes;
    EXPECT_TRUE(folder.Empty());
  }
  // No rows: the RECORD0 block, the same either way.
  const std::string no_rows = "select * from column_types where id < 0";
  const Answer none = PostSpooled(demo, no_rows, 0, folder);
  EXPECT_EQ(OpenOutcome(none), "<OPENSQL RECORDCOUNT=\"0\">");
  EXPECT_NE(none.body.find("<RECORD0>"), std::string::npos);
  EXPECT_EQ(PostSpooled(demo, no_rows, 64 << 20, folder).body, none.body);
  EXPECT_EQ(HeaderValue(none, "Content-Length"), std::to_string(none.body.size()));
  EXPECT_TRUE(folder.Empty());
}

TEST(GatewayProcess, AFetchFailingAmidTheRowsAnswersTheFailureAndLeavesNoFile) {
  const std::string demo = test::CreateDemoDatabase();
  const TemporaryFolder folder;
  // Row 2500 divides by zero, long after the answer went to the temporary file.
  const std::string failing =
      "select 1 / (n - 2500) as q, cast('row ' || n as varchar(200)) as t from (select first "
      "3000 row_number() over () as n from rdb$types a cross join rdb$types b)";
  for (int64_t spool_bytes : {0, 1000, 64 << 20}) {
    const Answer answer = PostSpooled(demo, failing, spool_bytes, folder);
    EXPECT_EQ(answer.exit_code, 0);
    const std::string outcome = OpenOutcome(answer);
    EXPECT_NE(outcome.find("divide by zero"), std::string::npos) << outcome;
    EXPECT_EQ(answer.body.find("<RECORD"), std::string::npos);
    EXPECT_TRUE(answer.body.ends_with("</MSGDATA>\r\n</OPENSQL>\r\n"));
    EXPECT_EQ(HeaderValue(answer, "Content-Length"), std::to_string(answer.body.size()));
    EXPECT_TRUE(folder.Empty()) << spool_bytes;
  }
  // A folder where no file can be made: the answer says why, and none of the rows is sent.
  const Answer no_folder = Post(
      RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "", "select * from products"),
      test::WriteConfigFile(test::EmbeddedScratchConfig() + "[limits]\nspool-memory-bytes = 0\n"),
      XG_PROGRAM, {"TMPDIR=" + folder.path + "/missing"});
  EXPECT_EQ(OpenOutcome(no_folder), "System Error.  Code: 2.\r\nNo such file or directory");
}

// A selectable block that writes and then fails at a later row leaves nothing behind, whatever
// stops it: the client that retries does not write twice. A block that is not selectable (no
// rows to answer) keeps what it did, with the failure document, and so does a selectable one
// that answers all its rows.
TEST(GatewayProcess, AFailedQueryKeepsNothingItWrote) {
  const std::string demo = test::CreateDemoDatabase();
  const TemporaryFolder folder;
  // Inserts product `code`, then answers rows of about 300 bytes; row `failing_row` (0: none)
  // divides by zero.
  auto writing_block = [](int code, int failing_row) {
    return "execute block returns (q integer, t varchar(200)) as declare i integer = 0; begin "
           "insert into products (code, name, price) values (" +
           std::to_string(code) +
           ", 'written', 1); while (i < 3000) do begin i = i + 1; q = 1 / (i - " +
           std::to_string(failing_row) + "); t = rpad('row', 200, 'x'); suspend; end end";
  };
  const struct {
    const char* how;
    int code;
    std::string sql;
    std::string limits;
    std::vector<std::string> environment;
    std::string outcome;  // a part of it
    bool kept;
  } cases[] = {
      {"a division by zero at row 2500",
       101,
       writing_block(101, 2500),
       "",
       {},
       "divide by zero",
       false},
      {"max-answer-bytes",
       102,
       writing_block(102, 0),
       "max-answer-bytes = 100000\n",
       {},
       "A resposta passa do limite de 100000 bytes",
       false},
      {"a spool that cannot go to a file",
       103,
       writing_block(103, 0),
       "spool-memory-bytes = 1000\n",
       {"TMPDIR=" + folder.path + "/missing"},
       "System Error.  Code: 2.",
       false},
      {"every row answered",
       104,
       writing_block(104, 0),
       "",
       {},
       "<OPENSQL RECORDCOUNT=\"3000\">",
       true},
      {"a block with no rows to answer",
       105,
       "execute block as begin insert into products (code, name, price) values (105, 'written', "
       "1); end",
       "",
       {},
       "A instru\xE7\xE3o n\xE3o devolveu um conjunto de registros",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    const Answer answer =
        Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "", c.sql),
             test::WriteConfigFile(test::EmbeddedScratchConfig() + "[limits]\n" + c.limits),
             XG_PROGRAM, c.environment);
    EXPECT_EQ(answer.exit_code, 0);
    EXPECT_NE(OpenOutcome(answer).find(c.outcome), std::string::npos) << OpenOutcome(answer);
    const std::string rows = test::RunIsql(
        demo,
        "select 'ROWS=' || count(*) from products where code = " + std::to_string(c.code) + ";\n");
    EXPECT_NE(rows.find(c.kept ? "ROWS=1" : "ROWS=0"), std::string::npos) << rows;
  }
}

TEST(GatewayProcess, TheConnectionCharacterSetTransliteratesText) {
  const std::string path = test::ScratchDirectory() + "/utf8.fdb";
  test::RunIsql("", "SET NAMES UTF8;\nCREATE DATABASE '" + path +
                        "' DEFAULT CHARACTER SET UTF8;\nCREATE TABLE T (ID INTEGER, NAME "
                        "VARCHAR(10));\nINSERT INTO T VALUES (1, 'Jos\xC3\xA9 \xC2\xBD');\n"
                        "INSERT INTO T VALUES (2, '\xE4\xB8\xAD');\nCOMMIT;\n");
  const std::string latin1 =
      test::WriteConfigFile(test::EmbeddedScratchConfig() + "charset = ISO8859_1\n");
  const std::string none = test::EmbeddedScratchConfigFile();
  auto name = [&](int id, const std::string& config) {
    const Answer answer =
        Post(RequestDocument("SERVICEOPENSQL", path, "SYSDBA", "",
                             "select name from t where id = " + std::to_string(id)),
             config);
    // The size the server describes depends on the connection character set.
    const size_t element = answer.body.find(" <NAME DATATYPE=\"STRING\" DATASIZE=\"");
    if (element == std::string::npos) return OpenOutcome(answer);
    const size_t start = answer.body.find('>', element) + 1;
    return answer.body.substr(start, answer.body.find("</NAME>") - start);
  };
  // Without a character set the UTF-8 bytes come as they are stored.
  EXPECT_EQ(name(1, none), "Jos\xC3\xA9 \xC2\xBD");
  // With ISO8859_1 they arrive in the document's encoding, and a character it cannot hold is
  // the server's error, not a wrong byte.
  EXPECT_EQ(name(1, latin1), "Jos\xE9 \xBD");
  const std::string failure = name(2, latin1);
  EXPECT_NE(failure.find("Cannot transliterate character between character sets"),
            std::string::npos)
      << failure;
}

}  // namespace
}  // namespace xg
