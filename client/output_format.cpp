#include "output_format.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace xg::client {
namespace {

bool AlignsRight(const Column& column) {
  return column.kind == "INTEGER" || column.kind == "FLOAT";
}

void AppendPadded(std::string& out, const std::string& text, size_t width, bool right) {
  const size_t fill = width - std::min(width, DisplayWidth(text));
  if (right) out.append(fill, ' ');
  out += text;
  if (!right) out.append(fill, ' ');
}

// Lines of cells in columns two spaces apart, with a rule of dashes under the first line when
// `header` is set. No line ends in blanks.
void AppendAligned(std::string& out, const std::vector<std::vector<std::string>>& lines,
                   const std::vector<bool>& right, bool header) {
  std::vector<size_t> widths(right.size(), 0);
  for (const auto& line : lines)
    for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
  const auto append_line = [&](const std::vector<std::string>& line) {
    for (size_t c = 0; c < line.size(); ++c) {
      if (c > 0) out += "  ";
      AppendPadded(out, line[c], widths[c], right[c]);
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    out += '\n';
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    append_line(lines[i]);
    if (i == 0 && header) {
      std::vector<std::string> rule;
      for (const size_t width : widths) rule.emplace_back(width, '-');
      append_line(rule);
    }
  }
}

std::string FormatSingleRecord(const ResultTable& table) {
  std::vector<std::vector<std::string>> lines;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    const std::string& text = table.rows.empty() ? std::string() : table.rows[0][c];
    lines.push_back({table.columns[c].name, table.columns[c].kind, Printable(text)});
  }
  std::string out;
  AppendAligned(out, lines, {false, false, false}, false);
  return out;
}

void AppendCsvField(std::string& out, const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    out += text;
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendCsvLine(std::string& out, const std::vector<std::string>& fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    AppendCsvField(out, fields[i]);
  }
  out += '\n';
}

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<uint8_t>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

}  // namespace

size_t DisplayWidth(std::string_view utf8) {
  return static_cast<size_t>(std::count_if(
      utf8.begin(), utf8.end(), [](char c) { return (static_cast<uint8_t>(c) & 0xC0) != 0x80; }));
}

std::string Printable(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<uint8_t>(utf8[i]);
    // U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
    const bool c1 = byte == 0xC2 && i + 1 < utf8.size() &&
                    static_cast<uint8_t>(utf8[i + 1]) >= 0x80 &&
                    static_cast<uint8_t>(utf8[i + 1]) <= 0x9F;
    if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F || c1) {
      const unsigned code = c1 ? static_cast<uint8_t>(utf8[++i]) : byte;
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", code);
      out += escape;
    } else {
      out += utf8[i];
    }
  }
  return out;
}

std::string FormatTable(const ResultTable& table) {
  if (table.single_record) return FormatSingleRecord(table);
  std::vector<std::vector<std::string>> lines;
  std::vector<bool> right;
  lines.emplace_back();
  for (const Column& column : table.columns) {
    lines[0].push_back(column.name);
    right.push_back(AlignsRight(column));
  }
  for (const auto& row : table.rows) {
    lines.emplace_back();
    for (const std::string& text : row) lines.back().push_back(Printable(text));
  }
  std::string out;
  AppendAligned(out, lines, right, true);
  const size_t count = table.rows.size();
  out += "(" + std::to_string(count) + (count == 1 ? " row)\n" : " rows)\n");
  return out;
}

std::string FormatCsv(const ResultTable& table) {
  std::string out;
  std::vector<std::string> names;
  for (const Column& column : table.columns) names.push_back(column.name);
  AppendCsvLine(out, names);
  for (const auto& row : table.rows) AppendCsvLine(out, row);
  return out;
}

std::string FormatJsonLines(const ResultTable& table) {
  std::string out;
  for (const auto& row : table.rows) {
    out += '{';
    for (size_t c = 0; c < row.size(); ++c) {
      if (c > 0) out += ',';
      AppendJsonString(out, table.columns[c].name);
      out += ':';
      AppendJsonString(out, row[c]);
    }
    out += "}\n";
  }
  return out;
}

std::string FormatResult(const ResultTable& table, Format format) {
  switch (format) {
    case Format::kTable:
      return FormatTable(table);
    case Format::kCsv:
      return FormatCsv(table);
    case Format::kJson:
      return FormatJsonLines(table);
    case Format::kRaw:
      break;
  }
  return {};
}

}  // namespace xg::client
