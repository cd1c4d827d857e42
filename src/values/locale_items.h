// The codes of the host's locale items that the regional settings are read from: the numbers
// by which a LocaleSource is asked for a separator, a pattern or a name.
#pragma once

#include <cstdint>

namespace xg {

constexpr uint32_t kItemLanguageAbbrev = 0x03;
constexpr uint32_t kItemDecimalSeparator = 0x0E;
constexpr uint32_t kItemDateSeparator = 0x1D;
constexpr uint32_t kItemTimeSeparator = 0x1E;
constexpr uint32_t kItemShortDate = 0x1F;
constexpr uint32_t kItemLongDate = 0x20;
constexpr uint32_t kItemTimeClock = 0x23;        // 0 = 12-hour clock, 1 = 24-hour clock
constexpr uint32_t kItemHourLeadingZero = 0x25;  // 1 = two-digit hours
constexpr uint32_t kItemAmDesignator = 0x28;
constexpr uint32_t kItemPmDesignator = 0x29;
constexpr uint32_t kItemDayName1 = 0x2A;           // Monday; 0x30 is Sunday
constexpr uint32_t kItemAbbrevDayName1 = 0x31;     // Monday; 0x37 is Sunday
constexpr uint32_t kItemMonthName1 = 0x38;         // January
constexpr uint32_t kItemAbbrevMonthName1 = 0x44;   // January
constexpr uint32_t kItemTimeMarkerFirst = 0x1005;  // 1 = designator before the time
constexpr uint32_t kItemCalendarType = 0x1009;

}  // namespace xg
