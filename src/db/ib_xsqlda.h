// IbXsqlda: a descriptor area of the client API (version 1: entries with names of up to 31
// characters), with the buffers its entries point to and the unique names of result columns.
#pragma once

#include <ibase.h>

#include <cstddef>
#include <memory>
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

// The most bytes a VARCHAR holds: a string column whose described length does not fit the
// signed 16-bit field (a concatenation of long strings, described as 40000 bytes wrapped to
// -25536) is fetched as a VARCHAR of this length.
inline constexpr int kLongestVarying = 32765;

// An entry as bound for fetching: the shape its buffer was sized from, kept apart from the area
// (which the client library is handed at every call) so that reading a value never trusts the
// area's lengths again.
struct BoundColumn {
  int type = 0;  // the SQL type without the null flag, as fetched
  // TEXT: its bytes; VARYING: the most bytes after the length word; any other type: the width
  // of its value.
  int length = 0;
  int scale = 0;
  int subtype = 0;
  const char* data = nullptr;  // at least `length` bytes (VARYING: 2 more, the length word)
  const short* indicator = nullptr;
};

class IbXsqlda {
 public:
  IbXsqlda();
  IbXsqlda(const IbXsqlda&) = delete;
  IbXsqlda& operator=(const IbXsqlda&) = delete;

  // Room for n entries, none described or bound.
  void Reserve(int n);
  XSQLDA* Area() { return reinterpret_cast<XSQLDA*>(area_.data()); }
  int Allocated() const { return allocated_; }
  // The number of entries the server described (at most the room of the area).
  int Count() const;
  // Raises EIBClientError 26 outside 0..Count()-1.
  XSQLVAR& Var(int index);
  const XSQLVAR& Var(int index) const;

  // After a describe: points every described entry at a buffer of its own, sized from its type
  // (a fixed type at least its natural width, whatever its length says; a VARYING with its
  // length word), and at an indicator. A string column whose length does not fit the signed
  // 16-bit field is fetched as a VARCHAR of kLongestVarying bytes (its null flag kept). A
  // description that cannot be made safe (a count beyond the area's room, a negative length of
  // a fixed type, an integer's scale outside -18..0) raises EIBClientError 125 or 126 naming
  // the column; nothing is bound then.
  void BindBuffers();
  // The entries as bound (none before BindBuffers); Bound raises EIBClientError 26 outside
  // 0..BoundCount()-1.
  int BoundCount() const { return static_cast<int>(bound_.size()); }
  const BoundColumn& Bound(int index) const;
  // Puts the bound count, types, lengths, buffers and indicators back into the area, so that
  // the next call of the client library sees the shapes the buffers were sized from.
  void RestoreBinding();

  // Result areas: the unique names of the columns (after the first describe).
  void NameColumns(int dialect);
  const std::string& Name(int index) const;

 private:
  std::vector<std::byte> area_;
  int allocated_ = 0;
  // One block per entry, so that the sanitizers see a write past any one of them.
  std::vector<std::unique_ptr<std::byte[]>> buffers_;
  std::vector<short> indicators_;
  std::vector<BoundColumn> bound_;
  // What the area holds for each bound entry: the type with its null flag, and the length.
  std::vector<ISC_SHORT> bound_types_;
  std::vector<ISC_SHORT> bound_lengths_;
  std::vector<std::string> names_;
};

}  // namespace xg
