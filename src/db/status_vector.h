// A status vector of the client library: every call that can fail fills one, and the caller
// reads the failure from it. Each attachment, transaction and statement owns its own.
#pragma once

#include "db/client_types.h"

namespace xg {

class StatusVector {
 public:
  StatusWord* get() { return status_; }
  const StatusWord* get() const { return status_; }
  // The first error code the vector carries.
  StatusWord ErrorCode() const { return status_[1]; }
  // Whether the vector carries the error code among its error entries.
  bool Has(StatusWord code) const;

 private:
  StatusWord status_[kStatusLength]{};
};

}  // namespace xg
