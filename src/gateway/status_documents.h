// The two answers of fixed shape: the STATUS document and the ERROR document.
#pragma once

#include <string>

#include "values/clock.h"
#include "values/regional_settings.h"

namespace xg {

std::string BuildStatusXml(const std::string& request_text, const std::string& agent,
                           const RegionalSettings& settings, const Clock& clock = SystemClock());
std::string BuildErrorXml(const std::string& message, const RegionalSettings& settings,
                          const Clock& clock = SystemClock());

}  // namespace xg
