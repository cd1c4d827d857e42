#include "process/os_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/runtime_messages.h"

namespace xg {

std::string SysErrorMessage(int code) {
  char buffer[257];
  // The GNU form: the answer may be a fixed text instead of the buffer.
  const char* text = ::strerror_r(code, buffer, sizeof buffer);
  return TrimPlatformMessage(std::string_view(text, ::strnlen(text, 256)));
}

std::string TrimPlatformMessage(std::string_view text) {
  text = text.substr(0, std::min<size_t>(text.size(), 256));
  while (!text.empty() && (static_cast<unsigned char>(text.back()) < '!' || text.back() == '.'))
    text.remove_suffix(1);
  return std::string(text);
}

void RaiseLastOsError(int code) {
  if (code == 0) throw EOSError(LoadResString(SUnkOSError), 0);
  throw EOSError(Format(LoadResString(SOSError), {int64_t{code}, SysErrorMessage(code)}), code);
}

void RaiseLastOsError() {
  RaiseLastOsError(errno);
}

}  // namespace xg
