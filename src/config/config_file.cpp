#include "config/config_file.h"

#include "texts/format.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SConfigErrorAtLine, "Error in configuration file %s, line %d: %s");
XG_RESOURCE(SConfigLineMalformed, "expected \"[section]\" or \"key = value\"");
XG_RESOURCE(SConfigSectionNameEmpty, "empty section name");
XG_RESOURCE(SConfigKeyEmpty, "empty key");
XG_RESOURCE(SConfigKeyOutsideSection, "key %s before the first section");
XG_RESOURCE(SConfigControlByte, "control character in the line");

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The line without a comment: "#" at the start or after a blank begins one.
std::string_view WithoutComment(std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i)
    if (line[i] == '#' && (i == 0 || IsBlank(line[i - 1]))) return line.substr(0, i);
  return line;
}

}  // namespace

EConfigError ConfigErrorAtLine(const std::string& file_name, int line, const std::string& what) {
  return EConfigError(
      Format(LoadResString(SConfigErrorAtLine), {file_name, static_cast<int64_t>(line), what}));
}

void RaiseConfigError(const std::string& file_name, int line, const std::string& what) {
  throw ConfigErrorAtLine(file_name, line, what);
}

std::vector<ConfigEntry> ParseConfigFile(std::string_view text, const std::string& file_name) {
  std::vector<ConfigEntry> entries;
  std::string section;
  bool in_section = false;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    for (char c : line)
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
        RaiseConfigError(file_name, number, LoadResString(SConfigControlByte));
      }
    line = Trim(WithoutComment(line));
    if (line.empty()) continue;

    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 2)
        RaiseConfigError(file_name, number, LoadResString(SConfigLineMalformed));
      section = std::string(Trim(line.substr(1, line.size() - 2)));
      if (section.empty())
        RaiseConfigError(file_name, number, LoadResString(SConfigSectionNameEmpty));
      in_section = true;
      entries.push_back({section, std::string(), std::string(), number});
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
      RaiseConfigError(file_name, number, LoadResString(SConfigLineMalformed));
    ConfigEntry entry;
    entry.key = std::string(Trim(line.substr(0, equals)));
    entry.value = std::string(Trim(line.substr(equals + 1)));
    entry.line = number;
    if (entry.key.empty()) RaiseConfigError(file_name, number, LoadResString(SConfigKeyEmpty));
    if (!in_section)
      RaiseConfigError(file_name, number,
                       Format(LoadResString(SConfigKeyOutsideSection), {entry.key}));
    entry.section = section;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace xg
