// The output formats of a result: an aligned table for people, CSV and JSON lines for programs.
// (The fourth format, the raw document, is the answer's bytes and needs no formatting.) Texts
// are UTF-8 in and out.
#pragma once

#include <string>
#include <string_view>

#include "result.h"

namespace xg::client {

enum class Format { kTable, kCsv, kJson, kRaw };

// Rows as an aligned table: a header of the column names, a rule, one line per row, "(n rows)";
// INTEGER and FLOAT columns aligned right, the others left; control characters shown as "\n",
// "\r", "\t" or "\xHH". A single record is shown as one "NAME  DATATYPE  value" line per value.
std::string FormatTable(const ResultTable& table);

// A header line of the column names, then one line per row, fields separated by ",", a field
// holding ",", a double quote, CR or LF quoted with its double quotes doubled; lines end in LF.
// Every other byte, NUL included, is written as it is.
std::string FormatCsv(const ResultTable& table);

// One JSON object per row, on a line of its own: the column names as keys in column order, the
// values' texts as strings ("\"", "\\" and control characters escaped, NUL as \u0000).
std::string FormatJsonLines(const ResultTable& table);

std::string FormatResult(const ResultTable& table, Format format);

// The text as the table shows it: control characters (C0, DEL and the C1 range) escaped.
std::string Printable(std::string_view utf8);

// The number of characters of a UTF-8 text, the width it takes on a terminal for the texts the
// gateway sends (every ISO-8859-1 character takes one column).
size_t DisplayWidth(std::string_view utf8);

}  // namespace xg::client
