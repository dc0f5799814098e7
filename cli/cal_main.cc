// tarvokline-cal: prints a month of the lunar calendar, or one day's lunar
// date, for users and scripts.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cal_tool.h"
#include "datetime/date_time.h"

namespace tarvok::cal {
namespace {

constexpr std::string_view kHelp =
    "Usage: tarvokline-cal [--json] [YYYY-MM]\n"
    "       tarvokline-cal [--json] --day YYYY-MM-DD\n"
    "\n"
    "Prints a Gregorian month as the organiser's month calendar shows it: six\n"
    "rows of seven days from Monday, each day with its Gregorian day (the month\n"
    "and day, 5.1, on the 1st) above its lunar day (the lunar month's name on\n"
    "the first day of a lunar month); the days of the neighbouring months are\n"
    "in parentheses. Under the grid, the month's solar terms, each after its\n"
    "lunar day. Without a month, the current one.\n"
    "\n"
    "  --day YYYY-MM-DD  the day's stem-branch year, zodiac animal and lunar date\n"
    "                    (癸巳年(蛇)四月初三 2013-5-12), the year counted from 立春\n"
    "  --json            the same as one JSON object: for a month its 42 cells\n"
    "                    (date, weekday 1 = Monday, in_month, lunar year, month,\n"
    "                    day and leap flag or null, upper and lower label,\n"
    "                    solar_term 1-24 or 0) and the information line \"info\"\n"
    "  --help            this text\n"
    "\n"
    "Lunar dates exist from 1901-02-19 to 2048-12-31; months 1901-02 to 2048-12\n"
    "can be shown. Output is UTF-8.\n"
    "\n"
    "Exit status: 0 success; 2 a malformed argument or a date outside the range.\n";

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// "YYYY-M[M]" or "YYYY-M[M]-D[D]": four digits for the year, one or two for
// the others. Only the form is checked here.
bool SplitNumbers(std::string_view text, int parts, int* out) {
  for (int i = 0; i < parts; ++i) {
    const size_t dash = i + 1 < parts ? text.find('-') : text.size();
    if (dash == std::string_view::npos) return false;
    const std::string_view digits = text.substr(0, dash);
    const size_t width = digits.size();
    if (!AllDigits(digits) || (i == 0 ? width != 4 : width < 1 || width > 2)) return false;
    out[i] = std::stoi(std::string(digits));
    text = dash < text.size() ? text.substr(dash + 1) : std::string_view();
  }
  return true;
}

const char* const kMonthNames[] = {"January", "February", "March",     "April",
                                   "May",     "June",     "July",      "August",
                                   "September", "October", "November", "December"};

bool ParseMonth(const std::string& text, Args* out, std::string* error) {
  int n[2];
  if (!SplitNumbers(text, 2, n)) {
    *error = "\"" + text + "\" is not a month: write YYYY-MM, for example 2013-05";
    return false;
  }
  if (n[1] < 1 || n[1] > 12) {
    *error = "\"" + text + "\" is not a month: the month is 1 to 12";
    return false;
  }
  out->has_month = true;
  out->year = n[0];
  out->month = n[1];
  return true;
}

bool ParseDay(const std::string& text, Args* out, std::string* error) {
  int n[3];
  if (!SplitNumbers(text, 3, n)) {
    *error = "\"" + text + "\" is not a date: write YYYY-MM-DD, for example 2013-05-12";
    return false;
  }
  if (n[1] < 1 || n[1] > 12) {
    *error = "\"" + text + "\" is not a date: the month is 1 to 12";
    return false;
  }
  const int days = DaysInMonth(n[0], n[1]);
  if (n[2] < 1 || n[2] > days) {
    *error = "\"" + text + "\" is not a date: " + kMonthNames[n[1] - 1] + " " +
             std::to_string(n[0]) + " has " + std::to_string(days) + " days";
    return false;
  }
  out->has_day = true;
  out->year = n[0];
  out->month = n[1];
  out->day = n[2];
  return true;
}

int Fail(const std::string& message) {
  std::cerr << "tarvokline-cal: " << message << "\n";
  return 2;
}

int Run(const std::vector<std::string>& argv) {
  Args args;
  std::string error;
  if (!ParseArgs(argv, &args, &error))
    return Fail(error + " (tarvokline-cal --help tells more)");
  if (args.help) {
    std::cout << kHelp;
    return 0;
  }
  if (args.has_day) {
    if (!lunar::GregorianToLunar(args.year, args.month, args.day)) {
      char day[16];
      std::snprintf(day, sizeof day, "%04d-%02d-%02d", args.year, args.month, args.day);
      return Fail(std::string(day) + " is outside the lunar calendar's range, 1901-02-19 to 2048-12-31");
    }
    std::cout << (args.json ? DayJson(args.year, args.month, args.day)
                            : DayText(args.year, args.month, args.day));
    return 0;
  }
  if (!args.has_month) {
    const DateParts now = SplitDate(Now());
    args.year = now.year;
    args.month = now.month;
  }
  const std::optional<lunar::MonthGrid> grid = lunar::BuildMonthGrid(args.year, args.month);
  if (!grid) {
    char month[16];
    std::snprintf(month, sizeof month, "%04d-%02d", args.year, args.month);
    return Fail(std::string(args.has_month ? "" : "the current month ") + month +
                " is outside the lunar calendar's range, 1901-02 to 2048-12");
  }
  std::cout << (args.json ? MonthJson(*grid) : MonthText(*grid));
  return 0;
}

}  // namespace

bool ParseArgs(const std::vector<std::string>& argv, Args* out, std::string* error) {
  *out = Args{};
  std::vector<std::string> operands;
  std::vector<std::string> days;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      out->help = true;
    } else if (arg == "--json") {
      out->json = true;
    } else if (arg == "--day") {
      if (i + 1 == argv.size()) {
        *error = "--day needs a date YYYY-MM-DD";
        return false;
      }
      days.push_back(argv[++i]);
    } else if (arg.rfind("--day=", 0) == 0) {
      days.push_back(arg.substr(6));
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else {
      operands.push_back(arg);
    }
  }
  if (out->help) return true;
  if (days.size() > 1 || operands.size() > 1 || (!days.empty() && !operands.empty())) {
    *error = "give one month or one --day";
    return false;
  }
  if (!days.empty()) return ParseDay(days[0], out, error);
  if (!operands.empty()) return ParseMonth(operands[0], out, error);
  return true;
}

}  // namespace tarvok::cal

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = tarvok::cal::Run(args);
  std::cout.flush();
  if (!std::cout) {
    std::fprintf(stderr, "tarvokline-cal: cannot write the output\n");
    return 2;
  }
  return status;
}
