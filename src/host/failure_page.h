// The server failure page: what the request cycle writes when a request cannot be served at all.
#pragma once

#include <exception>

#include "host/env.h"

namespace xg {

// Writes "Status: 500 <message>" with the content type and length lines, then the page naming
// the failure's class and message, straight to standard output in two writes. A failure that is
// not an Exception has an empty message. Write failures are ignored.
void WriteFailurePage(const std::exception_ptr& failure, Env& env);

}  // namespace xg
