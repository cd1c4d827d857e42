// HTTP date texts: reading the RFC 1123 form of a request header and writing the form of the
// response's Expires and Last-Modified lines.
#pragma once

#include <optional>
#include <string>

#include "runtime/date_time.h"
#include "runtime/regional_settings.h"

namespace xg {

// "Sun, 06 Nov 1994 08:49:37 GMT" (day name optional, any letter case in the names); nothing for
// any other text or an impossible date or time. The value is taken as it stands, no zone
// conversion.
std::optional<DateTime> ParseHttpDate(const std::string& text);

// "Sun, 06 Nov 1994 08:49:37 GMT" with the regional time separator between the time parts. The
// value is written as it stands, no conversion to GMT.
std::string HttpDateText(DateTime value, const RegionalSettings& settings);

}  // namespace xg
