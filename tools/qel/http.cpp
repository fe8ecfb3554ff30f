// qel http probe / check: the two HTTP probes (URLCommand, CheckHttpFile), showing the
// answer's status line and the rule that decided the result.
#include <chrono>
#include <iostream>
#include <memory>
#include <string>

#include "cli.h"
#include "platform/net/http.h"
#include "publicfun/http_probe.h"

namespace qel::cli::http_command {
namespace {

Run SetupHttp(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "http",
      "Probe an http:// address as the library does: probe fires a command address\n"
      "(URLCommand), check asks whether it delivers a file (CheckHttpFile).\n"
      "Example: qel http check http://127.0.0.1:8080/index.html --timeout 5");
  cmd->require_subcommand(1, 1);
  cmd->footer(
      "probe sends agent QelCommand and gives 1 when the answer's headers hold OK and the\n"
      "start of its body (8192 bytes) can be read. check sends agent QelClient and gives 1\n"
      "when the headers hold \"200 OK\", or else \"Content-Type:\". Both give 0 on status 401\n"
      "and on redirections (301, 302, 303), which are never followed, and when no answer\n"
      "comes within the timeout. Prints the status line and the rule that decided; exit\n"
      "status 0 for a result of 1, else 1.");
  struct Args {
    std::string url;
    double timeout = 30;
  };
  auto args = std::make_shared<Args>();
  auto* probe = cmd->add_subcommand("probe", "URLCommand: fire a command address");
  auto* check = cmd->add_subcommand("check", "CheckHttpFile: does the address deliver a file");
  for (CLI::App* sub : {probe, check}) {
    sub->add_option("URL", args->url, "http:// address")->required();
    sub->add_option("--timeout", args->timeout, "Seconds the whole exchange may take")
        ->check(CLI::Range(0.001, 86400.0))
        ->capture_default_str();
  }
  return [args, &ctx, probe] {
    net::Timeouts timeouts = net::GetTimeouts();
    timeouts.total = std::chrono::milliseconds(static_cast<long long>(args->timeout * 1000));
    if (timeouts.connect > timeouts.total) timeouts.connect = timeouts.total;
    net::SetTimeouts(timeouts);
    std::string url = ToLibrary(ctx, args->url, "URL");
    net::Response seen;
    probe::Verdict verdict =
        *probe ? probe::UrlCommand(url.c_str(), &seen) : probe::CheckHttpFile(url.c_str(), &seen);
    if (ctx.json) {
      PrintJson(ctx, {{"url", args->url},
                      {"result", verdict.result},
                      {"status", seen.status},
                      {"status_line", seen.status_line},
                      {"rule", verdict.rule}});
    } else {
      if (!seen.status_line.empty()) std::cout << seen.status_line << '\n';
      std::cout << verdict.result << ": " << verdict.rule << '\n';
    }
    ctx.exit_code = verdict.result == 1 ? kOk : kFailed;
  };
}

RegisterCommand reg("http", SetupHttp);

}  // namespace
}  // namespace qel::cli::http_command
