#include "db/database_params.h"

#include <ibase.h>

#include "db/ib_error.h"
#include "db/ib_messages.h"

namespace xg {
namespace {

// One entry: its code, the value's length in one byte, the value.
void AppendEntry(std::string& buffer, char code, const char* name, const std::string& value) {
  constexpr size_t kLongestValue = 255;
  if (value.size() > kLongestValue)
    ThrowClientError(ClientError::kDpbValueTooLong, {std::string(name)});
  buffer += code;
  buffer += static_cast<char>(value.size());
  buffer += value;
}

}  // namespace

std::string BuildDatabaseParams(const AttachParams& params) {
  std::string buffer(1, static_cast<char>(isc_dpb_version1));
  AppendEntry(buffer, isc_dpb_user_name, "user_name", params.user);
  AppendEntry(buffer, isc_dpb_password, "password", params.password);
  if (!params.charset.empty()) AppendEntry(buffer, isc_dpb_lc_ctype, "lc_ctype", params.charset);
  if (!params.connection_config.empty())
    AppendEntry(buffer, isc_dpb_config, "config", params.connection_config);
  return buffer;
}

}  // namespace xg
