#include "db/sql_params.h"

#include <string_view>

#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "runtime/resource_strings.h"

namespace xg {
namespace {

[[noreturn]] void ParseFailure(const ResourceString& reason) {
  IBError(ibcSQLParseError, {LoadResString(reason)});
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
  size_t lineStart = 0;
  size_t i = 0;
  while (i < source.size()) {
    const char c = source[i];
    if (c == '\r' || c == '\n') {
      result.append(source.substr(lineStart, i - lineStart));
      result += "\r\n";
      i += (c == '\r' && i + 1 < source.size() && source[i + 1] == '\n') ? 2 : 1;
      lineStart = i;
    } else {
      ++i;
    }
  }
  if (lineStart < source.size()) {
    result.append(source.substr(lineStart));
    result += "\r\n";
  }
  return result;
}

TProcessedSQL PreprocessSQL(const std::string& sql) {
  TProcessedSQL processed;
  processed.Text.reserve(sql.size());
  ScanState state = ScanState::Plain;
  const size_t n = sql.size();
  size_t i = 0;
  while (i < n) {
    const char c = sql[i];
    switch (state) {
      case ScanState::Plain:
        if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
          processed.Text += "/*";
          i += 2;
          state = ScanState::Comment;
        } else if (c == '\'' || c == '"') {
          processed.Text += c;
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
          processed.Text += '?';
          processed.ParamNames.push_back(std::move(name));
          i = j;
        } else {
          processed.Text += c;
          ++i;
        }
        break;
      case ScanState::Comment:
        if (c == '*' && i + 1 < n && sql[i + 1] == '/') {
          processed.Text += "*/";
          i += 2;
          state = ScanState::Plain;
        } else {
          processed.Text += c;
          ++i;
        }
        break;
      case ScanState::SingleQuoted:
      case ScanState::DoubleQuoted: {
        const char quote = state == ScanState::SingleQuoted ? '\'' : '"';
        processed.Text += c;
        ++i;
        if (c == quote) {
          if (i < n && sql[i] == quote) {
            processed.Text += quote;  // a doubled quote stays inside the text
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
