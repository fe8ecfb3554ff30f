// qel date, time, datetime, cy, format-date: the normalisers of dates, times and amounts.
#include <cstdio>
#include <iostream>
#include <optional>

#include "cli.h"
#include "platform/clock/clock.h"
#include "qelshare/CPublicFun.h"

namespace qel::cli::dates_command {
namespace {

clock::LocalTime ParseNow(std::string const& text) {
  clock::LocalTime m;
  char tail = 0;
  int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &m.year, &m.month, &m.day, &m.hour,
                      &m.minute, &m.second, &tail);
  if (n != 6 || m.year < 0 || m.year > 9999 || m.month < 1 || m.month > 12 || m.day < 1 ||
      m.day > 31 || m.hour < 0 || m.hour > 23 || m.minute < 0 || m.minute > 59 || m.second < 0 ||
      m.second > 60) {
    throw Failure{kUsage, "--now must be \"yyyy-mm-dd hh:mm:ss\", got '" + text + "'"};
  }
  return m;
}

void Print(Context const& ctx, std::string_view input, std::string_view result) {
  if (ctx.json) {
    PrintJson(ctx, {{"input", JsonText(ctx, input)}, {"result", JsonText(ctx, result)}});
  } else {
    std::cout << ToUser(ctx, result) << '\n';
  }
}

// Applies convert to TEXT, or to every line of standard input when TEXT is absent.
void EachText(Context const& ctx, std::optional<std::string> const& text,
              std::function<CString(std::string const&)> const& convert) {
  if (text) {
    std::string gbk = ToLibrary(ctx, *text, "TEXT");
    Print(ctx, gbk, convert(gbk));
    return;
  }
  int line_no = 0;
  for (std::string const& line : ReadLines("-")) {
    ++line_no;
    std::string gbk = ToLibrary(ctx, line, "input line " + std::to_string(line_no), kIo);
    Print(ctx, gbk, convert(gbk));
  }
}

struct Normaliser {
  char const* name;
  CString (*member)(char const*);
  bool keywords;
  char const* help;
};

constexpr Normaliser kNormalisers[] = {
    {"date", CPublicFun::StandardDate, true,
     "Normalise a date to yyyy.mm.dd: ASCII or full-width digits, the separators . / , -\n"
     "or the words for year and month; two-digit years get 1900 added, the month is\n"
     "clamped to 0-12 and the day to 0-31. \"CurrentDay\" is today.\n"
     "Example: qel date 2005年4月23日   prints 2005.04.23"},
    {"time", CPublicFun::StandardTime, true,
     "Normalise a time to hh:mm:ss: fields between : ' \" . / , - or the words for hour,\n"
     "o'clock and minute; clamped to 23:59:59. Prints an empty line when TEXT has no\n"
     "separator. \"CurrentTime\" is now.\n"
     "Example: qel time 10点30分   prints 10:30:00"},
    {"datetime", CPublicFun::StandardDateTime, true,
     "Normalise a date and time to yyyy.mm.dd hh:mm:ss (date, a space or hyphen, time);\n"
     "the fields that cannot be read are 0. \"CurrentDayTime\" is now.\n"
     "Example: qel datetime '2005-4-23 10:30'   prints 2005.04.23 10:30:00"},
    {"cy", CPublicFun::StandardCy, false,
     "Normalise an amount to the integer part, a point and ten fraction digits (cut,\n"
     "never rounded).\n"
     "Example: qel cy 3.14159265358979   prints 3.1415926535"},
};

Run SetupNormaliser(CLI::App& app, Context& ctx, Normaliser const& kind) {
  auto* cmd = app.add_subcommand(kind.name, kind.help);
  struct Args {
    std::optional<std::string> text;
    std::optional<std::string> now;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("TEXT", args->text, "Text to normalise; standard input lines when absent");
  if (kind.keywords) {
    cmd->add_option("--now", args->now,
                    "The present moment the keywords stand for, \"yyyy-mm-dd hh:mm:ss\"");
  }
  return [args, &ctx, &kind] {
    if (args->now) clock::SetFixedNow(ParseNow(*args->now));
    EachText(ctx, args->text, [&](std::string const& text) { return kind.member(text.c_str()); });
  };
}

Run SetupFormatDate(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "format-date",
      "Find a date (and time) in SOURCE by TEMPLATE, a pattern of the text's shape where\n"
      "y m d h t s stand for the digits of year, month, day, hour, minute and second.\n"
      "Example: qel format-date 'Date: 2005年4月23日' yyyy年mm月dd日   prints 2005.04.23");
  cmd->footer(
      "Single digits are read as pairs (4 as 04) and full-width digits as ASCII. The time\n"
      "is printed only when hour, minute and second are all non-zero. Years outside\n"
      "10-2026 print an empty line (exit 1).");
  struct Args {
    std::string source, format;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("SOURCE", args->source, "Text that holds the date")->required();
  cmd->add_option("TEMPLATE", args->format, "Pattern such as yyyy-mm-dd hh:tt:ss")->required();
  return [args, &ctx] {
    std::string source = ToLibrary(ctx, args->source, "SOURCE");
    std::string format = ToLibrary(ctx, args->format, "TEMPLATE");
    CString result = CPublicFun::GetFormatDate(source.c_str(), format.c_str());
    Print(ctx, source, result);
    if (result.empty()) ctx.exit_code = kFailed;
  };
}

Run SetupDate(CLI::App& app, Context& ctx) {
  return SetupNormaliser(app, ctx, kNormalisers[0]);
}
Run SetupTime(CLI::App& app, Context& ctx) {
  return SetupNormaliser(app, ctx, kNormalisers[1]);
}
Run SetupDateTime(CLI::App& app, Context& ctx) {
  return SetupNormaliser(app, ctx, kNormalisers[2]);
}
Run SetupCy(CLI::App& app, Context& ctx) {
  return SetupNormaliser(app, ctx, kNormalisers[3]);
}

RegisterCommand date("date", SetupDate);
RegisterCommand time("time", SetupTime);
RegisterCommand datetime("datetime", SetupDateTime);
RegisterCommand cy("cy", SetupCy);
RegisterCommand format_date("format-date", SetupFormatDate);

}  // namespace
}  // namespace qel::cli::dates_command
