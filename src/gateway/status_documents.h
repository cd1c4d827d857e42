// The two answers of fixed shape: the STATUS document and the ERROR document.
#pragma once

#include <string>

#include "runtime/clock.h"

namespace xg {

std::string BuildStatusXML(const std::string& RequestText, const std::string& Agent,
                           const Clock& clock = SystemClock());
std::string BuildErrorXML(const std::string& Message, const Clock& clock = SystemClock());

}  // namespace xg
