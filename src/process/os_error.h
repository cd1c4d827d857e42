// Failed platform calls: the platform's text for an error code and the EOSError raised for it.
#pragma once

#include <string>
#include <string_view>

namespace xg {

// The platform's message for the error code (an errno value), at most 256 characters, with
// every trailing character below "!" (blanks, line breaks) or "." removed.
std::string SysErrorMessage(int code);
// The cut that SysErrorMessage applies to the platform's text.
std::string TrimPlatformMessage(std::string_view text);

// Raises EOSError for the code: "System Error.  Code: <code>.\r\n<SysErrorMessage>", or "A call
// to an OS function failed" for code 0. The object keeps the code.
[[noreturn]] void RaiseLastOsError(int code);
// The same for the calling thread's current errno.
[[noreturn]] void RaiseLastOsError();

}  // namespace xg
