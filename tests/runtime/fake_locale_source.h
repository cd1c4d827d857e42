// Hosts for tests: a Brazilian host as the platform describes it and the host that gives
// nothing (the defaults), as tables of raw locale items.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "runtime/regional_settings.h"
#include "runtime/table_locale_source.h"

namespace xg {

// A Brazilian host as the platform describes it: "dd/MM/yyyy", decimal comma, 24-hour clock
// with two-digit hours.
inline TableLocaleSource BrazilianLocaleSource() {
  return TableLocaleSource(0x0416, {{0x0E, ","},
                                    {0x0F, "."},
                                    {0x0C, ";"},
                                    {0x14, "R$"},
                                    {0x1B, "2"},
                                    {0x1C, "9"},
                                    {0x19, "2"},
                                    {0x1D, "/"},
                                    {0x1E, ":"},
                                    {0x1F, "dd/MM/yyyy"},
                                    {0x20, "dddd, d' de 'MMMM' de 'yyyy"},
                                    {0x23, "1"},
                                    {0x25, "1"},
                                    {0x28, ""},
                                    {0x29, ""},
                                    {0x38, "janeiro"},
                                    {0x44, "jan"},
                                    {0x30, "domingo"},
                                    {0x2A, "segunda-feira"},
                                    {0x37, "dom"},
                                    {0x31, "seg"}});
}

// Restores the process-wide settings that a test replaced with its own: the default settings
// (a host that gives nothing), the state a test program starts from after its first reading.
inline void ReadDefaultRegionalSettings() {
  ReadRegionalSettings(TableLocaleSource(0, {}));
}

}  // namespace xg
