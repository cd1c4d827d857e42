#include "db/database_params.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "runtime/ascii_text.h"
#include "runtime/conversions.h"

namespace xg {
namespace {

// The parameter names in code order: a name's code is its position, counting from 1.
constexpr std::array<std::string_view, 83> kDPBNames = {"cdd_pathname",
                                                        "allocation",
                                                        "journal",
                                                        "page_size",
                                                        "num_buffers",
                                                        "buffer_length",
                                                        "debug",
                                                        "garbage_collect",
                                                        "verify",
                                                        "sweep",
                                                        "enable_journal",
                                                        "disable_journal",
                                                        "dbkey_scope",
                                                        "number_of_users",
                                                        "trace",
                                                        "no_garbage_collect",
                                                        "damaged",
                                                        "license",
                                                        "sys_user_name",
                                                        "encrypt_key",
                                                        "activate_shadow",
                                                        "sweep_interval",
                                                        "delete_shadow",
                                                        "force_write",
                                                        "begin_log",
                                                        "quit_log",
                                                        "no_reserve",
                                                        "user_name",
                                                        "password",
                                                        "password_enc",
                                                        "sys_user_name_enc",
                                                        "interp",
                                                        "online_dump",
                                                        "old_file_size",
                                                        "old_num_files",
                                                        "old_file_name",
                                                        "old_start_page",
                                                        "old_start_seqno",
                                                        "old_start_file",
                                                        "drop_walfile",
                                                        "old_dump_id",
                                                        "wal_backup_dir",
                                                        "wal_chkptlen",
                                                        "wal_numbufs",
                                                        "wal_bufsize",
                                                        "wal_grp_cmt_wait",
                                                        "lc_messages",
                                                        "lc_ctype",
                                                        "cache_manager",
                                                        "shutdown",
                                                        "online",
                                                        "shutdown_delay",
                                                        "reserved",
                                                        "overwrite",
                                                        "sec_attach",
                                                        "disable_wal",
                                                        "connect_timeout",
                                                        "dummy_packet_interval",
                                                        "gbak_attach",
                                                        "sql_role_name",
                                                        "set_page_buffers",
                                                        "working_directory",
                                                        "sql_dialect",
                                                        "set_db_readonly",
                                                        "set_db_sql_dialect",
                                                        "gfix_attach",
                                                        "gstat_attach",
                                                        "gbak_ods_version",
                                                        "gbak_ods_minor_version",
                                                        "set_group_commit",
                                                        "gbak_validate",
                                                        "client_interbase_var",
                                                        "admin_option",
                                                        "flush_interval",
                                                        "instance_name",
                                                        "old_overwrite",
                                                        "archive_database",
                                                        "archive_journals",
                                                        "archive_sweep",
                                                        "archive_dumps",
                                                        "archive_recover",
                                                        "recover_until",
                                                        "force"};

enum class EntryGroup { Text, Dialect, OneByte, Sweep, Flag, FourBytes, Unsupported };

EntryGroup GroupOf(std::string_view name) {
  static constexpr std::string_view kText[] = {"user_name",     "password",     "password_enc",
                                               "sys_user_name", "license",      "encrypt_key",
                                               "old_file_name", "lc_messages",  "lc_ctype",
                                               "sql_role_name", "instance_name"};
  static constexpr std::string_view kOneByte[] = {"num_buffers", "verify",        "dbkey_scope",
                                                  "damaged",     "force_write",   "no_reserve",
                                                  "online_dump", "old_file_size", "overwrite"};
  static constexpr std::string_view kFlag[] = {"activate_shadow", "delete_shadow", "begin_log",
                                               "quit_log"};
  for (auto n : kText)
    if (n == name) return EntryGroup::Text;
  for (auto n : kOneByte)
    if (n == name) return EntryGroup::OneByte;
  for (auto n : kFlag)
    if (n == name) return EntryGroup::Flag;
  if (name == "sql_dialect") return EntryGroup::Dialect;
  if (name == "sweep") return EntryGroup::Sweep;
  if (name == "sweep_interval") return EntryGroup::FourBytes;
  return EntryGroup::Unsupported;
}

void AppendCountedValue(std::string& buffer, const std::string& name, const std::string& value) {
  if (value.size() > 255) ThrowClientError(ClientError::kDPBValueTooLong, {name});
  buffer += static_cast<char>(value.size());
  buffer += value;
}

}  // namespace

void AppendConnectionConfig(std::string& buffer, const std::string& text) {
  buffer += static_cast<char>(isc_dpb_config);
  AppendCountedValue(buffer, "config", text);
}

std::string BuildDatabaseParams(const std::vector<std::string>& params) {
  std::string buffer(1, static_cast<char>(isc_dpb_version1));
  for (const std::string& line : params) {
    const size_t equals = line.find('=');
    const std::string written_name = line.substr(0, equals);
    if (TrimBlanksAndControls(written_name).empty()) continue;
    const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);

    std::string name = AsciiLowerCase(written_name);
    if (name.starts_with("isc_dpb_")) name.erase(0, 8);
    size_t index = 0;
    while (index < kDPBNames.size() && kDPBNames[index] != name) ++index;
    if (index == kDPBNames.size())
      ThrowClientError(ClientError::kDPBConstantUnknown, {written_name});
    const char code = static_cast<char>(index + 1);

    switch (GroupOf(name)) {
      case EntryGroup::Text:
        buffer += code;
        AppendCountedValue(buffer, name, value);
        break;
      case EntryGroup::Dialect: {
        std::string dialect = value;
        if (!dialect.empty()) dialect[0] = static_cast<char>(dialect[0] - '0');
        buffer += code;
        AppendCountedValue(buffer, name, dialect);
        break;
      }
      case EntryGroup::OneByte:
        buffer += code;
        buffer += '\x01';
        buffer += static_cast<char>(StrToInt(value));
        break;
      case EntryGroup::Sweep:
        buffer += code;
        buffer += '\x01';
        buffer += '\x02';
        break;
      case EntryGroup::Flag:
        buffer += code;
        buffer += '\x01';
        buffer += '\x00';
        break;
      case EntryGroup::FourBytes: {
        const auto number = static_cast<uint32_t>(StrToInt(value));
        buffer += code;
        buffer += '\x04';
        for (int shift = 0; shift < 32; shift += 8) {
          buffer += static_cast<char>((number >> shift) & 0xFF);
        }
        break;
      }
      case EntryGroup::Unsupported:
        ThrowClientError(ClientError::kDPBConstantNotSupported, {std::string(kDPBNames[index])});
    }
  }
  return buffer;
}

}  // namespace xg
