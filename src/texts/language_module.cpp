#include "texts/language_module.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "texts/ascii_text.h"
#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SInvalidLanguageModuleEntry, "Invalid entry in language module %s, line %d");

bool IsNameCharacter(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_';
}

// The text with its escapes resolved; nothing when an escape is not one of the four.
std::optional<std::string> Unescape(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      result += text[i];
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case 'r':
        result += '\r';
        break;
      case 'n':
        result += '\n';
        break;
      case '\\':
        result += '\\';
        break;
      case 'x': {
        const int high = i + 1 < text.size() ? AsciiHexDigitValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? AsciiHexDigitValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) return std::nullopt;
        result += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return result;
}

// The whole file, or nothing when it cannot be opened or read (a missing file, a directory, no
// permission): the search then goes on with the next name.
std::optional<std::string> ReadFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return content;
}

}  // namespace

LanguageTexts ParseLanguageModule(std::string_view content, std::string_view file_name) {
  LanguageTexts texts;
  int line_number = 0;
  while (!content.empty()) {
    ++line_number;
    const size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const size_t equals = line.find('=');
    const std::string_view name = line.substr(0, equals);
    bool valid = equals != std::string_view::npos && !name.empty();
    for (char c : name) valid = valid && IsNameCharacter(c);
    std::optional<std::string> text;
    if (valid) text = Unescape(line.substr(equals + 1));
    if (!text)
      throw EConvertError(Format(LoadResString(SInvalidLanguageModuleEntry),
                                 {std::string(file_name), int64_t{line_number}}));
    texts.insert_or_assign(std::string(name), std::move(*text));
  }
  return texts;
}

std::vector<std::string> LanguageModuleCandidates(std::string_view program_path,
                                                  std::string_view abbreviation) {
  std::vector<std::string> candidates;
  if (program_path.empty() || abbreviation.empty()) return candidates;
  const std::string_view file_name = program_path.substr(program_path.rfind('/') + 1);
  const size_t dot = file_name.rfind('.');
  const std::string stem(program_path.substr(
      0, program_path.size() - file_name.size() +
             (dot == std::string_view::npos || dot == 0 ? file_name.size() : dot)));
  candidates.push_back(stem + "." + std::string(abbreviation));
  if (abbreviation.size() > 2)
    candidates.push_back(stem + "." + std::string(abbreviation.substr(0, 2)));
  return candidates;
}

std::string LoadLanguageModule(std::string_view program_path, std::string_view abbreviation) {
  for (const std::string& path : LanguageModuleCandidates(program_path, abbreviation)) {
    std::optional<std::string> content = ReadFile(path);
    if (!content) continue;
    InstallLanguageModule(ParseLanguageModule(*content, path));
    return path;
  }
  return std::string();
}

}  // namespace xg
