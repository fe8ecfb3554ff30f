// Plumbing of the qel host that needs neither the command-line parser nor JSON: exit
// codes, the failure a command throws, global options, text conversion at the
// terminal's edge, file input and progress. Sources that only read, write or convert
// include this instead of cli.h, which pulls in the large parser and JSON headers.
#ifndef QEL_TOOLS_HOST_H_
#define QEL_TOOLS_HOST_H_

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace qel::cli {

// Exit codes of every command.
enum Exit : int {
  kOk = 0,
  kFailed = 1,         // the operation itself failed or found nothing
  kUsage = 2,          // the command line is wrong (also: an argument that does not convert)
  kIo = 3,             // a file could not be read or written, or its text does not convert
  kInterrupted = 130,  // Ctrl-C stopped work that stops cleanly (see Interruption)
};

// A command's failure: the exit code and one sentence for stderr.
struct Failure {
  int code;
  std::string message;
};

// Options every command accepts.
struct Context {
  bool json = false;    // one JSON object per result instead of text for people
  bool gbk = false;     // arguments and output are raw GBK bytes, not UTF-8
  int exit_code = kOk;  // set by a command that ends without throwing
};

// A text argument or input line in the library's encoding (GBK). In UTF-8 mode it is
// converted; what does not convert throws Failure(code) naming `what`.
std::string ToLibrary(Context const& ctx, std::string_view text, std::string_view what,
                      int code = kUsage);

// Library text (GBK) for the terminal: converted to UTF-8 unless in GBK mode; bytes that
// are not GBK show as U+FFFD.
std::string ToUser(Context const& ctx, std::string_view gbk);

// The whole content of a file ("-" for standard input); throws Failure(kIo) on failure.
std::string ReadInput(std::string const& path);

// Lines of a file or of standard input ("-" or empty path), without their line ends
// (LF or CR LF).
std::vector<std::string> ReadLines(std::string const& path);

// Stopped by Ctrl-C. From the first call on, SIGINT requests a stop of this token instead
// of ending the process, so that work on a server is cancelled there and nothing is left
// half-done; a second Ctrl-C ends the process at once. Call it before the command starts
// threads of its own.
std::stop_token Interruption();

// A progress bar on stderr for long work, drawn only when stderr is a terminal and at
// most ten times a second; cleared when destroyed.
class Progress {
 public:
  // label names the work ("cutting poems.mrf"); total is the amount of work (bytes,
  // files), 0 when unknown (then the count done is shown, or only the label while it is 0).
  Progress(std::string label, std::uint64_t total);
  ~Progress();
  Progress(Progress const&) = delete;
  Progress& operator=(Progress const&) = delete;

  // Reports that done units of the total are finished.
  void Update(std::uint64_t done);

 private:
  std::string label_;
  std::uint64_t total_;
  bool enabled_;
  bool drawn_ = false;
  std::int64_t last_draw_ms_ = 0;
};

}  // namespace qel::cli

#endif  // QEL_TOOLS_HOST_H_
