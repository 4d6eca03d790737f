// Dates as the program's file names carry them: the debug log's and the undo files'.
#pragma once

#include <ctime>
#include <string>

namespace keyloom::base {

struct LocalDate {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
};

// Today's date on the local clock.
LocalDate TodayLocalDate();

// yyyymmdd, for example 20261206.
std::string DateText(const LocalDate& date);

// Today's local date as "yyyymmdd".
inline std::string LocalDateText() { return DateText(TodayLocalDate()); }

// Now on the local clock as "yyyy-mm-dd hh:mm:ss"; "" when the clock cannot be read.
std::string LocalDateTimeText();
// `when` on the local clock, in the same form; "" when it cannot be converted.
std::string DateTimeText(std::time_t when);

}  // namespace keyloom::base
