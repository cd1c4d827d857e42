// Regional settings for the fuzz targets: a small table-driven locale source and three hosts to
// choose from with one input byte, so that the text conversions run under different
// separators, patterns and names. The settings are read again only when the choice changes.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "runtime/regional_settings.h"
#include "runtime/table_locale_source.h"

namespace xg::fuzz {

enum class Host : uint8_t {
  Defaults = 0,   // a host that gives nothing: "m/d/yy", "h:mm:ss AMPM", decimal point
  Brazilian = 1,  // "dd/MM/yyyy", decimal comma, two-digit 24-hour clock, Portuguese names
  Unusual = 2,    // designator first, empty time separator, quoted literals in the long date
};
constexpr int kHostCount = 3;

inline TableLocaleSource BrazilianSource() {
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
                                    {0x39, "fevereiro"},
                                    {0x3A, "mar\xE7o"},
                                    {0x3B, "abril"},
                                    {0x3C, "maio"},
                                    {0x3D, "junho"},
                                    {0x3E, "julho"},
                                    {0x3F, "agosto"},
                                    {0x40, "setembro"},
                                    {0x41, "outubro"},
                                    {0x42, "novembro"},
                                    {0x43, "dezembro"},
                                    {0x44, "jan"},
                                    {0x45, "fev"},
                                    {0x46, "mar"},
                                    {0x47, "abr"},
                                    {0x48, "mai"},
                                    {0x49, "jun"},
                                    {0x4A, "jul"},
                                    {0x4B, "ago"},
                                    {0x4C, "set"},
                                    {0x4D, "out"},
                                    {0x4E, "nov"},
                                    {0x4F, "dez"},
                                    {0x2A, "segunda-feira"},
                                    {0x2B,
                                     "ter\xE7"
                                     "a-feira"},
                                    {0x2C, "quarta-feira"},
                                    {0x2D, "quinta-feira"},
                                    {0x2E, "sexta-feira"},
                                    {0x2F,
                                     "s\xE1"
                                     "bado"},
                                    {0x30, "domingo"},
                                    {0x31, "seg"},
                                    {0x32, "ter"},
                                    {0x33, "qua"},
                                    {0x34, "qui"},
                                    {0x35, "sex"},
                                    {0x36,
                                     "s\xE1"
                                     "b"},
                                    {0x37, "dom"}});
}

inline TableLocaleSource UnusualSource() {
  return TableLocaleSource(0x0407, {{0x0E, ","},
                                    {0x0F, "  "},  // too long for one character: the default
                                    {0x1D, "."},
                                    {0x1E, ""},  // the zero character: ":" writes nothing
                                    {0x1F, "d.M.yy"},
                                    {0x20, "dddd, 'den' d. MMMM yyyy \"(\"gg\")\""},
                                    {0x23, "0"},
                                    {0x25, "0"},
                                    {0x1005, "1"},
                                    {0x28, "vorm."},
                                    {0x29, "nachm."}});
}

// Makes `host` the process's regional settings unless it already is.
inline void UseHost(Host host) {
  static std::optional<Host> current;
  if (current == host) return;
  switch (host) {
    case Host::Defaults:
      ReadRegionalSettings(TableLocaleSource(0, {}));
      break;
    case Host::Brazilian:
      ReadRegionalSettings(BrazilianSource());
      break;
    case Host::Unusual:
      ReadRegionalSettings(UnusualSource());
      break;
  }
  current = host;
}

inline Host HostOf(uint8_t selector) {
  return static_cast<Host>(selector % kHostCount);
}

}  // namespace xg::fuzz
