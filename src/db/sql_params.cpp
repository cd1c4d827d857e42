#include "db/sql_params.h"

#include <string_view>

#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "runtime/resource_strings.h"

namespace xg {
namespace {

[[noreturn]] void ParseFailure(const ResourceString& reason) {
  ThrowClientError(ClientError::kSQLParseError, {LoadResString(reason)});
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

enum class ScanState { Plain, Comment, SingleQuoted, DoubleQuoted };

}  // namespace

std::string SQLLinesText(const std::string& text) {
  const std::string_view source(text.c_str());  // ends at the first byte 0
  std::string result;
  result.reserve(source.size() + 2);
  size_t line_start = 0;
  size_t i = 0;
  while (i < source.size()) {
    const char c = source[i];
    if (c == '\r' || c == '\n') {
      result.append(source.substr(line_start, i - line_start));
      result += "\r\n";
      i += (c == '\r' && i + 1 < source.size() && source[i + 1] == '\n') ? 2 : 1;
      line_start = i;
    } else {
      ++i;
    }
  }
  if (line_start < source.size()) {
    result.append(source.substr(line_start));
    result += "\r\n";
  }
  return result;
}

ProcessedSql PreprocessSQL(const std::string& sql) {
  ProcessedSql processed;
  processed.text.reserve(sql.size());
  ScanState state = ScanState::Plain;
  const size_t n = sql.size();
  size_t i = 0;
  while (i < n) {
    const char c = sql[i];
    switch (state) {
      case ScanState::Plain:
        if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
          processed.text += "/*";
          i += 2;
          state = ScanState::Comment;
        } else if (c == '\'' || c == '"') {
          processed.text += c;
          ++i;
          state = c == '\'' ? ScanState::SingleQuoted : ScanState::DoubleQuoted;
        } else if (c == ':' || c == '?') {
          size_t j = i + 1;
          std::string name;
          if (j < n && sql[j] == '"') {
            // A quoted name; a doubled quote stands for one quote character.
            ++j;
            bool closed = false;
            while (j < n) {
              if (sql[j] == '"') {
                if (j + 1 < n && sql[j + 1] == '"') {
                  name += '"';
                  j += 2;
                  continue;
                }
                ++j;
                closed = true;
                break;
              }
              name += sql[j++];
            }
            if (!closed) ParseFailure(SIBEOSReached);
            if (name.empty()) ParseFailure(SIBParamNameExpected);
          } else {
            while (j < n && IsNameChar(sql[j])) name += sql[j++];
            if (name.empty()) ParseFailure(SIBParamNameExpected);
          }
          processed.text += '?';
          processed.param_names.push_back(std::move(name));
          i = j;
        } else {
          processed.text += c;
          ++i;
        }
        break;
      case ScanState::Comment:
        if (c == '*' && i + 1 < n && sql[i + 1] == '/') {
          processed.text += "*/";
          i += 2;
          state = ScanState::Plain;
        } else {
          processed.text += c;
          ++i;
        }
        break;
      case ScanState::SingleQuoted:
      case ScanState::DoubleQuoted: {
        const char quote = state == ScanState::SingleQuoted ? '\'' : '"';
        processed.text += c;
        ++i;
        if (c == quote) {
          if (i < n && sql[i] == quote) {
            processed.text += quote;  // a doubled quote stays inside the text
            ++i;
          } else {
            state = ScanState::Plain;
          }
        }
        break;
      }
    }
  }
  if (state == ScanState::Comment) ParseFailure(SIBEOCReached);
  if (state != ScanState::Plain) ParseFailure(SIBEOSReached);
  return processed;
}

}  // namespace xg
