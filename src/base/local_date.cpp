#include "base/local_date.h"

#include <ctime>

#include "base/file_os.h"

namespace keyloom::base {

namespace {

bool LocalNow(std::tm* local) { return LocalTime(std::time(nullptr), local); }

}  // namespace

LocalDate TodayLocalDate() {
  std::tm local{};
  if (!LocalNow(&local)) return LocalDate{};
  return LocalDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string LocalDateTimeText() { return DateTimeText(std::time(nullptr)); }

std::string DateTimeText(std::time_t when) {
  std::tm local{};
  if (!LocalTime(when, &local)) return "";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string DateText(const LocalDate& date) {
  auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  std::string year = std::to_string(date.year);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  return year + two(date.month) + two(date.day);
}

}  // namespace keyloom::base
