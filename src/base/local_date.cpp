#include "base/local_date.h"

#include <ctime>

namespace keyloom::base {

LocalDate TodayLocalDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &now) != 0) return LocalDate{};
#else
  if (localtime_r(&now, &local) == nullptr) return LocalDate{};
#endif
  return LocalDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string DateText(const LocalDate& date) {
  auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  std::string year = std::to_string(date.year);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  return year + two(date.month) + two(date.day);
}

}  // namespace keyloom::base
