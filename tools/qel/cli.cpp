#include "cli.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/text/codepage.h"

namespace qel::cli {
namespace host_detail {
namespace {

std::vector<std::pair<std::string, Setup>>& Registry() {
  static std::vector<std::pair<std::string, Setup>> registry;
  return registry;
}

}  // namespace
}  // namespace host_detail

RegisterCommand::RegisterCommand(char const* name, Setup setup) {
  host_detail::Registry().emplace_back(name, std::move(setup));
}

std::vector<std::pair<std::string, Setup>> const& Commands() {
  auto& registry = host_detail::Registry();
  std::sort(registry.begin(), registry.end(),
            [](auto const& a, auto const& b) { return a.first < b.first; });
  return registry;
}

std::string ToLibrary(Context const& ctx, std::string_view text, std::string_view what, int code) {
  if (ctx.gbk) return std::string(text);
  std::string out;
  std::string error;
  if (!text::Utf8ToGbk(text, out, error)) {
    throw Failure{code, std::string(what) + " does not convert to GBK (" + error + ")"};
  }
  return out;
}

std::string ToUser(Context const& ctx, std::string_view gbk) {
  return ctx.gbk ? std::string(gbk) : text::GbkToUtf8Lossy(gbk);
}

nlohmann::json JsonText(Context const& ctx, std::string_view gbk) {
  if (!ctx.gbk) return text::GbkToUtf8Lossy(gbk);
  std::string latin;
  latin.reserve(gbk.size() * 2);
  for (unsigned char b : gbk) {
    if (b < 0x80) {
      latin += static_cast<char>(b);
    } else {
      latin += static_cast<char>(0xC0 | b >> 6);
      latin += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return latin;
}

void AppendJsonText(Context const& ctx, std::string& out, std::string_view gbk) {
  std::string utf8;
  std::string_view text = gbk;
  if (!ctx.gbk) text = utf8 = text::GbkToUtf8Lossy(gbk);
  // Control bytes, quote and backslash, and in GBK mode every byte of 0x80 and above (one
  // code point per byte) are escaped; runs of other bytes are copied as they stand.
  auto plain = [&](unsigned char c) {
    return c >= 0x20 && c != '"' && c != '\\' && !(ctx.gbk && c >= 0x80);
  };
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t run = i;
    while (run < text.size() && plain(static_cast<unsigned char>(text[run]))) ++run;
    out.append(text, i, run - i);
    if (run == text.size()) break;
    auto c = static_cast<unsigned char>(text[run]);
    i = run + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        static constexpr char kHex[] = "0123456789abcdef";
        char escaped[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        out.append(escaped, sizeof escaped);
      }
    }
  }
  out += '"';
}

void PrintJson(Context const& ctx, nlohmann::json const& value) {
  std::cout << value.dump(-1, ' ', ctx.gbk, nlohmann::json::error_handler_t::replace) << '\n';
}

std::string ReadInput(std::string const& path) {
  if (path.empty() || path == "-") {
    return std::string(std::istreambuf_iterator<char>(std::cin), {});
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure{kIo, "cannot read " + path + ": " + std::strerror(errno)};
  std::ostringstream data;
  data << in.rdbuf();
  if (in.bad()) throw Failure{kIo, "cannot read " + path + ": " + std::strerror(errno)};
  return std::move(data).str();
}

std::vector<std::string> ReadLines(std::string const& path) {
  std::string data = ReadInput(path);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::size_t stop = end;
    if (stop > start && data[stop - 1] == '\r') --stop;
    lines.emplace_back(data, start, stop - start);
    start = end + 1;
  }
  return lines;
}

namespace host_detail {
namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace
}  // namespace host_detail

std::stop_token Interruption() {
  static std::stop_source source;
  static std::once_flag once;
  std::call_once(once, [] {
    // SIGINT blocked here, and in the threads started later, reaches only the watcher.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
      int signal = 0;
      sigwait(&set, &signal);
      source.request_stop();
      sigwait(&set, &signal);
      std::_Exit(kInterrupted);
    }).detach();
  });
  return source.get_token();
}

Progress::Progress(std::string label, std::uint64_t total)
    : label_(std::move(label)), total_(total), enabled_(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
  if (drawn_) std::cerr << "\r\033[K" << std::flush;
}

void Progress::Update(std::uint64_t done) {
  if (!enabled_) return;
  std::int64_t now = host_detail::NowMs();
  if (drawn_ && now - last_draw_ms_ < 100) return;
  last_draw_ms_ = now;
  drawn_ = true;
  std::cerr << "\r\033[K" << label_;
  if (total_ > 0) {
    int percent = static_cast<int>(done * 100 / total_);
    int filled = percent * 30 / 100;
    std::cerr << " [" << std::string(filled, '#') << std::string(30 - filled, '.') << "] "
              << percent << "%";
  } else if (done > 0) {
    std::cerr << " " << done;
  }
  std::cerr << std::flush;
}

}  // namespace qel::cli
