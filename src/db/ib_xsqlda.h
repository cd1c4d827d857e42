// IbXsqlda: a descriptor area of the client API (version 1: entries with names of up to 31
// characters), with the buffers its entries point to and the unique names of result columns.
#pragma once

#include <ibase.h>

#include <cstddef>
#include <string>
#include <vector>

namespace xg {

// The name limit of a version-1 area: names hold at most kNameLimit - 1 characters.
inline constexpr size_t kXsqldaNameLimit = 32;

// The identifier rule used to compare names: blanks trimmed; in dialect 3 a name in double
// quotes loses them (a doubled quote inside becomes one), any other name is upper-cased, as in
// dialect 1.
std::string NormalizeIdentifier(int dialect, const std::string& name);

// Unique names for result columns from their alias names: an empty alias becomes "F_1"; a name
// already taken by an earlier column gets a counter ("ID", "ID1", "ID2"; "F_1", "F_2"), the
// alias cut so that no name reaches the limit.
std::vector<std::string> UniqueColumnNames(const std::vector<std::string>& aliases, int dialect,
                                           size_t name_limit = kXsqldaNameLimit);

class IbXsqlda {
 public:
  IbXsqlda();
  IbXsqlda(const IbXsqlda&) = delete;
  IbXsqlda& operator=(const IbXsqlda&) = delete;

  // Room for n entries; the area's own count is kept.
  void Reserve(int n);
  XSQLDA* Area() { return reinterpret_cast<XSQLDA*>(area_.data()); }
  int Allocated() const { return allocated_; }
  // The number of entries the server described.
  int Count() const;
  // Raises EIBClientError 26 outside 0..Count()-1.
  XSQLVAR& Var(int index);
  const XSQLVAR& Var(int index) const;

  // Points every described entry at a buffer of its own (VARYING with its length word) and an
  // indicator, after a describe.
  void BindBuffers();

  // Result areas: the unique names of the columns (after the first describe).
  void NameColumns(int dialect);
  const std::string& Name(int index) const;

 private:
  std::vector<std::byte> area_;
  int allocated_ = 0;
  std::vector<long double> data_;  // aligned storage for all entries
  std::vector<short> indicators_;
  std::vector<std::string> names_;
};

}  // namespace xg
