#include "db/sql_params.h"

#include <string_view>
#include <utility>

#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

[[noreturn]] void ParseFailure(const ResourceString& reason) {
  ThrowClientError(ClientError::kSqlParseError, {LoadResString(reason)});
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

enum class ScanState { kPlain, kComment, kSingleQuoted, kDoubleQuoted };

}  // namespace

std::string SqlLinesText(const std::string& text) {
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

namespace {

// The scan of a statement text: the text copied as it is, but for the parameter markers outside
// comments and quoted texts, each replaced by "?" and its name kept.
class SqlScanner {
 public:
  explicit SqlScanner(const std::string& sql) : sql_(sql) { processed_.text.reserve(sql.size()); }

  ProcessedSql Scan() && {
    while (at_ < sql_.size()) {
      switch (state_) {
        case ScanState::kPlain:
          ScanPlain();
          break;
        case ScanState::kComment:
          ScanComment();
          break;
        case ScanState::kSingleQuoted:
          ScanQuoted('\'');
          break;
        case ScanState::kDoubleQuoted:
          ScanQuoted('"');
          break;
      }
    }
    if (state_ == ScanState::kComment) ParseFailure(SIBEOCReached);
    if (state_ != ScanState::kPlain) ParseFailure(SIBEOSReached);
    return std::move(processed_);
  }

 private:
  bool At(size_t index, char c) const { return index < sql_.size() && sql_[index] == c; }

  void Copy(size_t count) {
    processed_.text.append(sql_, at_, count);
    at_ += count;
  }

  // Outside comments and quotes: a comment or a quoted text starts, a marker is replaced, or
  // the byte is copied.
  void ScanPlain() {
    const char c = sql_[at_];
    if (c == '/' && At(at_ + 1, '*')) {
      Copy(2);
      state_ = ScanState::kComment;
    } else if (c == '\'' || c == '"') {
      Copy(1);
      state_ = c == '\'' ? ScanState::kSingleQuoted : ScanState::kDoubleQuoted;
    } else if (c == ':' || c == '?') {
      ++at_;
      std::string name = At(at_, '"') ? QuotedMarkerName() : PlainMarkerName();
      processed_.text += '?';
      processed_.param_names.push_back(std::move(name));
    } else {
      Copy(1);
    }
  }

  // A marker's name in double quotes, where a doubled quote stands for one quote character.
  std::string QuotedMarkerName() {
    std::string name;
    size_t j = at_ + 1;
    bool closed = false;
    while (j < sql_.size()) {
      if (sql_[j] == '"') {
        if (At(j + 1, '"')) {
          name += '"';
          j += 2;
          continue;
        }
        ++j;
        closed = true;
        break;
      }
      name += sql_[j++];
    }
    if (!closed) ParseFailure(SIBEOSReached);
    if (name.empty()) ParseFailure(SIBParamNameExpected);
    at_ = j;
    return name;
  }

  std::string PlainMarkerName() {
    size_t j = at_;
    while (j < sql_.size() && IsNameChar(sql_[j])) ++j;
    if (j == at_) ParseFailure(SIBParamNameExpected);
    std::string name = sql_.substr(at_, j - at_);
    at_ = j;
    return name;
  }

  void ScanComment() {
    if (sql_[at_] == '*' && At(at_ + 1, '/')) {
      Copy(2);
      state_ = ScanState::kPlain;
    } else {
      Copy(1);
    }
  }

  // Inside a quoted text, which a doubled quote does not end.
  void ScanQuoted(char quote) {
    const char c = sql_[at_];
    Copy(1);
    if (c != quote) return;
    if (At(at_, quote)) {
      Copy(1);
    } else {
      state_ = ScanState::kPlain;
    }
  }

  const std::string& sql_;
  size_t at_ = 0;
  ScanState state_ = ScanState::kPlain;
  ProcessedSql processed_;
};

}  // namespace

ProcessedSql PreprocessSql(const std::string& sql) {
  return SqlScanner(sql).Scan();
}

}  // namespace xg
