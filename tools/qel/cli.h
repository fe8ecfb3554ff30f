// Command plumbing of the qel host: command registration and JSON output, over the
// exit codes, options and text conversion of host.h.
//
// Every command lives in its own source and registers itself with a static
// RegisterCommand; main builds the command line from the registry. Commands report
// failure by throwing Failure with an exit code and one sentence naming the input at fault.
#ifndef QEL_TOOLS_CLI_H_
#define QEL_TOOLS_CLI_H_

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host.h"

namespace qel::cli {

// Work of one command, run after the whole command line is parsed. It sets
// ctx.exit_code or throws Failure.
using Run = std::function<void()>;

// Adds the command named at registration as a subcommand of app (its options bound to
// variables the returned Run captures) and returns its work.
using Setup = std::function<Run(CLI::App& app, Context& ctx)>;

// Static registration of a command: `static RegisterCommand r("sort", SetupSort);`.
// The setup must create the subcommand under exactly that name.
struct RegisterCommand {
  RegisterCommand(char const* name, Setup setup);
};

// The registered commands, ordered by name.
std::vector<std::pair<std::string, Setup>> const& Commands();

// Library text as a JSON string: UTF-8 text, or in GBK mode each byte as one code point
// (U+0000..U+00FF), so that an ASCII-escaped dump keeps every byte.
nlohmann::json JsonText(Context const& ctx, std::string_view gbk);

// Appends library text to out as a JSON string, exactly as PrintJson would write
// JsonText(ctx, gbk), without building a JSON value: for output lines written by the
// thousand (qel analyse --batch).
void AppendJsonText(Context const& ctx, std::string& out, std::string_view gbk);

// Prints one JSON value on a line (ASCII-escaped in GBK mode).
void PrintJson(Context const& ctx, nlohmann::json const& value);

}  // namespace qel::cli

#endif  // QEL_TOOLS_CLI_H_
