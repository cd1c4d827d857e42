// The database client library's handle and status types under the layer's own names, so that
// headers read by the gateway do not need the library's header. ib_error.cpp checks that each
// one is the library's type.
#pragma once

#include <cstdint>

namespace xg {

// An attachment's and a transaction's handle, as the client library's calls take them.
using DatabaseHandle = unsigned int;
using TransactionHandle = unsigned int;
// One entry of a status vector, and the number of entries the library fills.
using StatusWord = intptr_t;
inline constexpr int kStatusLength = 20;

}  // namespace xg
