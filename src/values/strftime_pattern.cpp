#include "values/strftime_pattern.h"

#include <cstring>
#include <vector>

#include "texts/ascii_text.h"

namespace xg {
namespace {

// One piece of a strftime pattern: a directive (conversion letter and whether a flag asked
// for no zero padding) or a run of literal characters.
struct PatternPiece {
  bool directive = false;
  char conversion = 0;
  bool unpadded = false;
  std::string literal;
};

// Splits a pattern into directives and literals, expanding the directives that stand for
// whole patterns (%T, %R, %r, %D, %F, %x, %X, %c) one level deep.
void SplitPattern(std::string_view pattern, const StrftimeLocalePatterns& locale, int depth,
                  std::vector<PatternPiece>& pieces) {
  auto add_literal = [&pieces](char c) {
    if (pieces.empty() || pieces.back().directive) pieces.push_back({});
    pieces.back().literal += c;
  };
  std::size_t pos = 0;
  while (pos < pattern.size()) {
    char c = pattern[pos++];
    if (c != '%') {
      add_literal(c);
      continue;
    }
    bool unpadded = false;
    while (pos < pattern.size() && std::strchr("_-0^#", pattern[pos]) != nullptr) {
      if (pattern[pos] == '-' || pattern[pos] == '_') unpadded = true;
      ++pos;
    }
    while (pos < pattern.size() && pattern[pos] >= '0' && pattern[pos] <= '9') ++pos;
    if (pos < pattern.size() && (pattern[pos] == 'E' || pattern[pos] == 'O')) ++pos;
    if (pos >= pattern.size()) break;
    char conversion = pattern[pos++];
    const char* expansion = nullptr;
    switch (conversion) {
      case '%':
        add_literal('%');
        continue;
      case 'n':
        add_literal('\n');
        continue;
      case 't':
        add_literal('\t');
        continue;
      case 'T':
        expansion = "%H:%M:%S";
        break;
      case 'R':
        expansion = "%H:%M";
        break;
      case 'D':
        expansion = "%m/%d/%y";
        break;
      case 'F':
        expansion = "%Y-%m-%d";
        break;
      case 'r':
        expansion = locale.time_12_hour.empty() ? "%I:%M:%S %p" : locale.time_12_hour.c_str();
        break;
      case 'x':
        expansion = locale.date.c_str();
        break;
      case 'X':
        expansion = locale.time.c_str();
        break;
      case 'c':
        expansion = locale.date_time.c_str();
        break;
      default:
        break;
    }
    if (expansion != nullptr) {
      if (depth < 2) SplitPattern(expansion, locale, depth + 1, pieces);
      continue;
    }
    PatternPiece piece;
    piece.directive = true;
    piece.conversion = conversion;
    piece.unpadded = unpadded;
    pieces.push_back(piece);
  }
}

std::vector<PatternPiece> SplitPattern(std::string_view pattern,
                                       const StrftimeLocalePatterns& locale) {
  std::vector<PatternPiece> pieces;
  SplitPattern(pattern, locale, 0, pieces);
  return pieces;
}

bool IsTimeDirective(char conversion) {
  return conversion != '\0' && std::strchr("HIklMSpPZzs", conversion) != nullptr;
}

bool IsDateDirective(char conversion) {
  return conversion != '\0' && std::strchr("deimYyCbhBaAuwjgGUVW", conversion) != nullptr;
}

// The system's pattern letters for a directive; directives without an equivalent (time zone,
// week and day-of-year numbers, ...) write nothing.
std::string TranslateDirective(const PatternPiece& piece) {
  switch (piece.conversion) {
    case 'd':
      return piece.unpadded ? "d" : "dd";
    case 'e':
      return "d";
    case 'm':
      return piece.unpadded ? "M" : "MM";
    case 'Y':
      return "yyyy";
    case 'y':
      return "yy";
    case 'b':
    case 'h':
      return "MMM";
    case 'B':
      return "MMMM";
    case 'a':
      return "ddd";
    case 'A':
      return "dddd";
    case 'H':
    case 'I':
      return piece.unpadded ? "h" : "hh";
    case 'k':
    case 'l':
      return "h";
    case 'M':
      return piece.unpadded ? "n" : "nn";
    case 'S':
      return piece.unpadded ? "s" : "ss";
    case 'p':
      return "AMPM";
    default:
      return "";
  }
}

// Literal letters are quoted so that the formatter does not read them as pattern letters; a
// literal quote character is quoted with the other kind.
std::string TranslateLiteral(const std::string& literal) {
  std::string result;
  std::size_t pos = 0;
  while (pos < literal.size()) {
    char c = literal[pos];
    if (IsAsciiLetter(c)) {
      std::size_t end = pos;
      while (end < literal.size() && IsAsciiLetter(literal[end])) ++end;
      result += '\'' + literal.substr(pos, end - pos) + '\'';
      pos = end;
    } else if (c == '\'') {
      result += "\"'\"";
      ++pos;
    } else if (c == '"') {
      result += "'\"'";
      ++pos;
    } else {
      result += c;
      ++pos;
    }
  }
  return result;
}

std::string TranslatePattern(const std::vector<PatternPiece>& pieces) {
  std::string result;
  for (const PatternPiece& piece : pieces) {
    result += piece.directive ? TranslateDirective(piece) : TranslateLiteral(piece.literal);
  }
  return result;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

bool IsOnlySeparators(const std::string& literal) {
  for (char c : literal) {
    if (IsAsciiLetter(c) || static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The date part of a date-and-time pattern: the time directives go, and so do the separators
// left over at either end; the separators between date fields where a time stood become one
// space.
std::vector<PatternPiece> DatePart(const std::vector<PatternPiece>& pieces) {
  std::vector<PatternPiece> kept;
  std::vector<bool> lost_time;  // per kept piece: a literal that surrounded a dropped directive
  for (const PatternPiece& piece : pieces) {
    bool dropped = piece.directive && IsTimeDirective(piece.conversion);
    if (dropped || !piece.directive) {
      if (kept.empty() || kept.back().directive) {
        kept.push_back({});
        lost_time.push_back(false);
      }
      kept.back().literal += piece.literal;
      if (dropped) lost_time.back() = true;
      continue;
    }
    kept.push_back(piece);
    lost_time.push_back(false);
  }
  std::vector<PatternPiece> result;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    PatternPiece& piece = kept[i];
    if (!piece.directive && IsOnlySeparators(piece.literal)) {
      if (i == 0 || i + 1 == kept.size()) continue;
      if (lost_time[i]) piece.literal.assign(1, ' ');
    }
    result.push_back(piece);
  }
  return result;
}

bool HasDateDirective(const std::vector<PatternPiece>& pieces) {
  for (const PatternPiece& piece : pieces) {
    if (piece.directive && IsDateDirective(piece.conversion)) return true;
  }
  return false;
}

}  // namespace

std::string TranslateStrftimeDate(std::string_view pattern, const StrftimeLocalePatterns& locale) {
  return TranslatePattern(SplitPattern(pattern, locale));
}

std::string TranslateStrftimeLongDate(const StrftimeLocalePatterns& locale) {
  std::vector<PatternPiece> date = DatePart(SplitPattern(locale.date_time, locale));
  if (!HasDateDirective(date)) date = SplitPattern(locale.date, locale);
  if (!HasDateDirective(date)) return "";
  return TranslatePattern(date);
}

std::optional<char> StrftimeSeparator(std::string_view pattern,
                                      const StrftimeLocalePatterns& locale) {
  for (const PatternPiece& piece : SplitPattern(pattern, locale)) {
    if (piece.directive) continue;
    for (char c : piece.literal) {
      if (!IsAsciiLetter(c) && !IsSpace(c) && static_cast<unsigned char>(c) < 0x80) return c;
    }
  }
  return std::nullopt;
}

std::optional<StrftimeClock> StrftimeHourClock(std::string_view pattern,
                                               const StrftimeLocalePatterns& locale) {
  bool marker_seen = false;
  for (const PatternPiece& piece : SplitPattern(pattern, locale)) {
    if (!piece.directive) continue;
    char c = piece.conversion;
    if (c == 'p' || c == 'P') marker_seen = true;
    if (c == 'H' || c == 'k' || c == 'I' || c == 'l') {
      StrftimeClock clock;
      clock.leading_zero = (c == 'H' || c == 'I') && !piece.unpadded;
      clock.twelve_hour = c == 'I' || c == 'l';
      clock.marker_first = marker_seen;
      return clock;
    }
  }
  return std::nullopt;
}

}  // namespace xg
