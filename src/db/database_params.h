// The database parameter buffer sent with an attach, built from the database's parameter lines
// ("name=value"; names with or without the isc_dpb_ prefix, in any letter case).
#pragma once

#include <string>
#include <vector>

namespace xg {

// The buffer: version byte 1, then one entry per line in list order. Raises EIBClientError for
// a name that is not a parameter (114), one this builder does not support (11), and a value
// whose length does not fit its one length byte (122); a numeric value that is not an integer
// raises EConvertError.
std::string BuildDatabaseParams(const std::vector<std::string>& params);

// Appends the per-attachment configuration entry (isc_dpb_config) holding the text; raises
// EIBClientError 122 when the text is longer than 255 bytes.
void AppendConnectionConfig(std::string& buffer, const std::string& text);

}  // namespace xg
