#include "db/ib_xsqlda.h"

#include <algorithm>
#include <cstring>

#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "texts/ascii_text.h"

namespace xg {
namespace {

// The width of a value of a fixed type; -1 for the string types and types the gateway does not
// know.
int NaturalWidth(int type) {
  switch (type) {
    case SQL_BOOLEAN:
      return 1;
    case SQL_SHORT:
      return 2;
    case SQL_LONG:
    case SQL_FLOAT:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
      return 4;
    case SQL_INT64:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_TIMESTAMP:
    case SQL_BLOB:
    case SQL_ARRAY:
    case SQL_QUAD:
      return 8;
    case SQL_NULL:
      return 0;
    default:
      return -1;
  }
}

bool IntegerType(int type) {
  return type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64;
}

// The scales of an exact number the engine describes: NUMERIC(18, 18) has -18.
constexpr int kSmallestScale = -18;

// The alias of an entry, its length bounded by the field that holds it.
std::string AliasOf(const XSQLVAR& var) {
  const auto length = std::min<size_t>(
      static_cast<size_t>(std::max<ISC_SHORT>(var.aliasname_length, 0)), sizeof(var.aliasname) - 1);
  return std::string(var.aliasname, length);
}

[[noreturn]] void RefuseColumn(int index, const XSQLVAR& var) {
  ThrowClientError(
      ClientError::kColumnDescriptionInvalid,
      {static_cast<int64_t>(index + 1), AliasOf(var), static_cast<int64_t>(var.sqltype & ~1),
       static_cast<int64_t>(var.sqllen), static_cast<int64_t>(var.sqlscale)});
}

}  // namespace

std::string NormalizeIdentifier(int dialect, const std::string& name) {
  const std::string trimmed(TrimBlanksAndControls(name));
  if (dialect == 3 && !trimmed.empty() && trimmed[0] == '"') {
    std::string inner = trimmed.size() >= 2 ? trimmed.substr(1, trimmed.size() - 2) : "";
    std::string result;
    for (size_t i = 0; i < inner.size(); ++i) {
      result += inner[i];
      if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"') ++i;
    }
    return result;
  }
  return AsciiUpperCase(trimmed);
}

std::vector<std::string> UniqueColumnNames(const std::vector<std::string>& aliases, int dialect,
                                           size_t name_limit) {
  std::vector<std::string> names;
  std::vector<std::string> normalized;
  for (const std::string& alias : aliases) {
    const bool unnamed = alias.empty();
    const std::string own = unnamed ? "F_" : alias;
    std::string name = unnamed ? "F_1" : alias;
    int counter = unnamed ? 1 : 0;
    auto taken = [&](const std::string& candidate) {
      const std::string key = NormalizeIdentifier(dialect, candidate);
      for (const std::string& earlier : normalized) {
        if (earlier == key) return true;
      }
      return false;
    };
    while (taken(name)) {
      ++counter;
      const std::string digits = std::to_string(counter);
      std::string base = own;
      if (name.size() + digits.size() >= name_limit) {
        base = own.substr(0, name_limit - 1 - digits.size());
      }
      name = base + digits;
    }
    normalized.push_back(NormalizeIdentifier(dialect, name));
    names.push_back(std::move(name));
  }
  return names;
}

IbXsqlda::IbXsqlda() {
  Reserve(1);
}

void IbXsqlda::Reserve(int n) {
  if (n < 1) n = 1;
  buffers_.clear();
  indicators_.clear();
  bound_.clear();
  bound_types_.clear();
  bound_lengths_.clear();
  area_.assign(XSQLDA_LENGTH(n), std::byte{0});
  XSQLDA* area = Area();
  area->version = SQLDA_VERSION1;
  area->sqln = static_cast<ISC_SHORT>(n);
  area->sqld = 0;
  allocated_ = n;
}

int IbXsqlda::Count() const {
  const auto* area = reinterpret_cast<const XSQLDA*>(area_.data());
  return area->sqld < area->sqln ? area->sqld : area->sqln;
}

XSQLVAR& IbXsqlda::Var(int index) {
  if (index < 0 || index >= Count()) ThrowClientError(ClientError::kDescriptorIndexOutOfRange);
  return Area()->sqlvar[index];
}

const XSQLVAR& IbXsqlda::Var(int index) const {
  return const_cast<IbXsqlda*>(this)->Var(index);
}

void IbXsqlda::BindBuffers() {
  buffers_.clear();
  indicators_.clear();
  bound_.clear();
  bound_types_.clear();
  bound_lengths_.clear();
  const XSQLDA* area = Area();
  if (area->sqld < 0 || area->sqld > area->sqln) {
    // The first column that the area has no room for (a count that grew after the describe
    // that sized the area), or the first of a count below zero.
    ThrowClientError(ClientError::kColumnCountInvalid,
                     {static_cast<int64_t>(area->sqld < 0 ? 1 : area->sqln + 1),
                      static_cast<int64_t>(area->sqld), static_cast<int64_t>(area->sqln)});
  }
  const int count = area->sqld;

  // The shapes first, so that a refused description binds nothing.
  std::vector<BoundColumn> shapes(static_cast<size_t>(count));
  std::vector<ISC_SHORT> types(static_cast<size_t>(count));
  std::vector<ISC_SHORT> lengths(static_cast<size_t>(count));
  std::vector<size_t> sizes(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const XSQLVAR& var = area->sqlvar[i];
    const int type = var.sqltype & ~1;
    const int nullable = var.sqltype & 1;
    BoundColumn& shape = shapes[static_cast<size_t>(i)];
    shape.type = type;
    shape.scale = var.sqlscale;
    shape.subtype = var.sqlsubtype;
    if (type == SQL_TEXT || type == SQL_VARYING) {
      if (var.sqllen < 0) {
        // 32768 bytes and more, wrapped: fetched as the longest VARCHAR. A longer value fails
        // the fetch with the engine's string truncation; only blanks at its end may be cut.
        shape.type = SQL_VARYING;
        shape.length = kLongestVarying;
      } else {
        shape.length = var.sqllen;
      }
      sizes[static_cast<size_t>(i)] =
          static_cast<size_t>(shape.length) + (shape.type == SQL_VARYING ? 2 : 0);
      lengths[static_cast<size_t>(i)] = static_cast<ISC_SHORT>(shape.length);
    } else {
      const int width = NaturalWidth(type);
      if (width < 0 || var.sqllen < 0) RefuseColumn(i, var);
      if (IntegerType(type) && (var.sqlscale < kSmallestScale || var.sqlscale > 0))
        RefuseColumn(i, var);
      shape.length = width;
      // The library writes what the length says; the value is read at its natural width.
      sizes[static_cast<size_t>(i)] = static_cast<size_t>(std::max<int>(width, var.sqllen));
      lengths[static_cast<size_t>(i)] = var.sqllen;
    }
    types[static_cast<size_t>(i)] = static_cast<ISC_SHORT>(shape.type | nullable);
  }

  indicators_.assign(static_cast<size_t>(count), 0);
  for (int i = 0; i < count; ++i) {
    const size_t bytes = std::max<size_t>(sizes[static_cast<size_t>(i)], 1);
    buffers_.push_back(std::make_unique<std::byte[]>(bytes));  // zeroed
    BoundColumn& shape = shapes[static_cast<size_t>(i)];
    shape.data = reinterpret_cast<const char*>(buffers_.back().get());
    shape.indicator = &indicators_[static_cast<size_t>(i)];
  }
  bound_ = std::move(shapes);
  bound_types_ = std::move(types);
  bound_lengths_ = std::move(lengths);
  RestoreBinding();
}

const BoundColumn& IbXsqlda::Bound(int index) const {
  if (index < 0 || index >= BoundCount()) ThrowClientError(ClientError::kDescriptorIndexOutOfRange);
  return bound_[static_cast<size_t>(index)];
}

void IbXsqlda::RestoreBinding() {
  XSQLDA* area = Area();
  area->sqld = static_cast<ISC_SHORT>(bound_.size());
  for (size_t i = 0; i < bound_.size(); ++i) {
    XSQLVAR& var = area->sqlvar[i];
    const BoundColumn& shape = bound_[i];
    var.sqltype = bound_types_[i];
    var.sqllen = bound_lengths_[i];
    var.sqldata = const_cast<ISC_SCHAR*>(shape.data);
    var.sqlind = const_cast<short*>(shape.indicator);
  }
}

void IbXsqlda::NameColumns(int dialect) {
  std::vector<std::string> aliases;
  for (int i = 0; i < Count(); ++i) aliases.push_back(AliasOf(Var(i)));
  names_ = UniqueColumnNames(aliases, dialect);
}

const std::string& IbXsqlda::Name(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= names_.size()) {
    ThrowClientError(ClientError::kDescriptorIndexOutOfRange);
  }
  return names_[static_cast<size_t>(index)];
}

}  // namespace xg
