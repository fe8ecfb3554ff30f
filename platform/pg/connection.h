// A connection to a PostgreSQL server, over libpq: the only place that speaks to one.
//
// Statements carry every value as a bound text parameter ($1, $2 ...), never spliced into
// the statement's text. Rows arrive one at a time as the server sends them, so a large
// answer is never held whole. A statement waits in steps of 50 ms, so that a stop request
// cancels it on the server too. Errors come back as one line that names the server by
// host and port (never by the password of its connection string).
//
// A connection is used by one thread at a time; separate connections are independent.
#ifndef QELSHARE_PLATFORM_PG_CONNECTION_H_
#define QELSHARE_PLATFORM_PG_CONNECTION_H_

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qel::pg {

// The options of a connection string (a postgresql:// URI or "key=value ..."), as libpq
// reads them, with the defaults it would use left out. False with error when it is no
// connection string.
using Options = std::vector<std::pair<std::string, std::string>>;
bool ParseOptions(std::string const& conninfo, Options& options, std::string& error);
// The value of one option, or empty.
std::string OptionOf(Options const& options, std::string_view key);

// A parameter of a statement: text, or SQL NULL.
using Param = std::optional<std::string>;
// A row: its values as text (nullopt for NULL), valid during the call that gets it.
using Row = std::span<std::optional<std::string_view> const>;

enum class Outcome { kOk, kFailed, kCancelled };

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;

  // Connects with the options of conninfo; when it sets no connect_timeout, the connection
  // attempt gives up after default_timeout seconds. False with error set.
  bool Open(std::string const& conninfo, int default_timeout, std::string& error);
  bool is_open() const;
  // "host:port" of the server, for messages.
  std::string const& where() const { return where_; }
  // The SQLSTATE of the last statement that failed on the server ("42P01": no such
  // table), or empty.
  std::string const& state() const { return state_; }

  // Runs one statement with params bound to $1, $2 ...; on_row gets each row of its answer
  // (returning false stops reading them). kCancelled when stop was requested while the
  // server worked (the statement is cancelled there); kFailed with error otherwise.
  Outcome Run(std::string_view sql, std::span<Param const> params,
              std::function<bool(Row)> const& on_row, std::string& error,
              std::stop_token stop = {});
  // Runs statements without parameters and without rows (schema statements whose names
  // the caller has checked, values written with Literal).
  bool Exec(std::string_view sql, std::string& error);
  // Exec in two halves, so that several servers work at once: Send starts the statements,
  // Wait waits for them to end (a stop request cancels them on the server: false).
  bool Send(std::string_view sql, std::string& error);
  bool Wait(std::string& error, std::stop_token stop = {});
  // A string literal of text for a schema statement ('...' with its quotes doubled), for
  // the few values that cannot be parameters (options of a foreign server).
  std::string Literal(std::string_view text) const;

  // A COPY ... FROM STDIN statement: CopyBegin starts it, CopyPut sends COPY text (rows
  // ended by LF, any number at a time), CopyEnd ends it. Several connections may copy at
  // once, each to its own server.
  bool CopyBegin(std::string_view sql, std::string& error);
  bool CopyPut(std::string_view data, std::string& error);
  bool CopyEnd(std::string& error);

 private:
  // True, with error set, when the connection is not open.
  bool Closed(std::string& error) const;
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string where_;
  std::string state_;
};

}  // namespace qel::pg

#endif  // QELSHARE_PLATFORM_PG_CONNECTION_H_
