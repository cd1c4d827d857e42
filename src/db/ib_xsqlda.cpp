#include "db/ib_xsqlda.h"

#include <algorithm>
#include <cstring>

#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "texts/ascii_text.h"

namespace xg {
namespace {

size_t EntryBytes(const XSQLVAR& var) {
  size_t length = static_cast<unsigned short>(var.sqllen);
  if ((var.sqltype & ~1) == SQL_VARYING) length += 2;
  return length == 0 ? 1 : length;
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
  const int count = Count();
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    total += (EntryBytes(Var(i)) + sizeof(long double) - 1) / sizeof(long double);
  }
  data_.assign(total, 0);
  indicators_.assign(static_cast<size_t>(count), 0);
  size_t offset = 0;
  for (int i = 0; i < count; ++i) {
    XSQLVAR& var = Var(i);
    var.sqldata = reinterpret_cast<ISC_SCHAR*>(data_.data() + offset);
    var.sqlind = &indicators_[static_cast<size_t>(i)];
    offset += (EntryBytes(var) + sizeof(long double) - 1) / sizeof(long double);
  }
}

void IbXsqlda::NameColumns(int dialect) {
  std::vector<std::string> aliases;
  for (int i = 0; i < Count(); ++i) {
    const XSQLVAR& var = Var(i);
    const auto length =
        std::min<size_t>(static_cast<size_t>(std::max<ISC_SHORT>(var.aliasname_length, 0)),
                         sizeof(var.aliasname) - 1);
    aliases.emplace_back(var.aliasname, length);
  }
  names_ = UniqueColumnNames(aliases, dialect);
}

const std::string& IbXsqlda::Name(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= names_.size()) {
    ThrowClientError(ClientError::kDescriptorIndexOutOfRange);
  }
  return names_[static_cast<size_t>(index)];
}

}  // namespace xg
