#include "platform/pg/connection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>

namespace qel::pg {
namespace {

// One line of libpq's text: lines joined by "; ", tabs and trailing blanks dropped.
std::string OneLine(std::string_view text) {
  std::string out;
  bool pending = false;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      pending = !out.empty();
      continue;
    }
    if (c == '\t') continue;
    if (pending) out += "; ";
    pending = false;
    out += c;
  }
  return out;
}

// The error of a failed statement: its message, its detail (where a remote server is
// named), and the server of this connection.
std::string ResultError(PGresult const* result, PGconn* conn, std::string const& where) {
  std::string message;
  if (result != nullptr) {
    if (char const* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY))
      message = OneLine(primary);
    if (char const* detail = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL))
      message += " (" + OneLine(detail) + ")";
  }
  if (message.empty()) message = OneLine(PQerrorMessage(conn));
  if (message.empty()) message = "the statement failed";
  return "PostgreSQL at " + where + ": " + message;
}

// Waits until a result of conn is ready to take without blocking, in steps of 50 ms; once
// stop is requested, cancels the statement on the server (once: cancelled).
void AwaitResult(PGconn* conn, std::stop_token const& stop, bool& cancelled) {
  while (PQisBusy(conn)) {
    if (!cancelled && stop.stop_requested()) {
      cancelled = true;
      if (PGcancel* cancel = PQgetCancel(conn)) {
        char buffer[256];
        PQcancel(cancel, buffer, sizeof buffer);
        PQfreeCancel(cancel);
      }
    }
    pollfd fd{PQsocket(conn), POLLIN, 0};
    if (poll(&fd, 1, 50) < 0 && errno != EINTR) return;
    if (!PQconsumeInput(conn)) return;
  }
}

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

}  // namespace

bool ParseOptions(std::string const& conninfo, Options& options, std::string& error) {
  options.clear();
  char* message = nullptr;
  PQconninfoOption* parsed = PQconninfoParse(conninfo.c_str(), &message);
  if (parsed == nullptr) {
    error = message != nullptr ? OneLine(message) : "not a connection string";
    PQfreemem(message);
    return false;
  }
  for (PQconninfoOption* o = parsed; o->keyword != nullptr; ++o) {
    if (o->val != nullptr) options.emplace_back(o->keyword, o->val);
  }
  PQconninfoFree(parsed);
  return true;
}

std::string OptionOf(Options const& options, std::string_view key) {
  for (auto const& [k, v] : options) {
    if (k == key) return v;
  }
  return {};
}

struct Connection::Impl {
  PGconn* conn = nullptr;
  ~Impl() {
    if (conn != nullptr) PQfinish(conn);
  }
};

Connection::Connection() = default;
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

bool Connection::Closed(std::string& error) const {
  if (is_open()) return false;
  error = "PostgreSQL at " + where_ + ": the connection is closed";
  return true;
}

bool Connection::is_open() const {
  return impl_ != nullptr && impl_->conn != nullptr && PQstatus(impl_->conn) == CONNECTION_OK;
}

bool Connection::Open(std::string const& conninfo, int default_timeout, std::string& error) {
  impl_ = std::make_unique<Impl>();
  Options options;
  if (!ParseOptions(conninfo, options, error)) {
    error = "not a PostgreSQL connection string: " + error;
    return false;
  }
  if (OptionOf(options, "connect_timeout").empty())
    options.emplace_back("connect_timeout", std::to_string(default_timeout));
  std::string host = OptionOf(options, "host");
  std::string port = OptionOf(options, "port");
  where_ = (host.empty() ? "localhost" : host) + ":" + (port.empty() ? "5432" : port);
  std::vector<char const*> keys, values;
  for (auto const& [k, v] : options) {
    keys.push_back(k.c_str());
    values.push_back(v.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  impl_->conn = PQconnectdbParams(keys.data(), values.data(), 0);
  if (impl_->conn == nullptr) {
    error = "PostgreSQL at " + where_ + ": out of memory";
    return false;
  }
  if (PQstatus(impl_->conn) != CONNECTION_OK) {
    error = "PostgreSQL at " + where_ + ": " + OneLine(PQerrorMessage(impl_->conn));
    return false;
  }
  // Notices ("table does not exist, skipping") are the server talking to itself.
  PQsetNoticeProcessor(
      impl_->conn, [](void*, char const*) {}, nullptr);
  // Text comes and goes as UTF-8 whatever the database's own encoding.
  if (PQsetClientEncoding(impl_->conn, "UTF8") != 0) {
    error = "PostgreSQL at " + where_ + ": cannot use UTF-8";
    return false;
  }
  return true;
}

Outcome Connection::Run(std::string_view sql, std::span<Param const> params,
                        std::function<bool(Row)> const& on_row, std::string& error,
                        std::stop_token stop) {
  if (Closed(error)) return Outcome::kFailed;
  PGconn* conn = impl_->conn;
  state_.clear();
  std::vector<char const*> values;
  for (Param const& p : params) values.push_back(p ? p->c_str() : nullptr);
  std::string text(sql);
  if (!PQsendQueryParams(conn, text.c_str(), static_cast<int>(values.size()), nullptr,
                         values.data(), nullptr, nullptr, 0) ||
      !PQsetSingleRowMode(conn)) {
    error = "PostgreSQL at " + where_ + ": " + OneLine(PQerrorMessage(conn));
    return Outcome::kFailed;
  }
  bool cancelled = false, failed = false, reading = true;
  std::vector<std::optional<std::string_view>> row;
  for (;;) {
    AwaitResult(conn, stop, cancelled);
    ResultPtr result(PQgetResult(conn));
    if (result == nullptr) break;
    ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_SINGLE_TUPLE && reading) {
      int columns = PQnfields(result.get());
      row.assign(static_cast<std::size_t>(columns), std::nullopt);
      for (int c = 0; c < columns; ++c) {
        if (!PQgetisnull(result.get(), 0, c)) {
          row[static_cast<std::size_t>(c)] =
              std::string_view(PQgetvalue(result.get(), 0, c),
                               static_cast<std::size_t>(PQgetlength(result.get(), 0, c)));
        }
      }
      if (!on_row(row)) reading = false;
    } else if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK &&
               status != PGRES_COMMAND_OK && !failed) {
      failed = true;
      error = ResultError(result.get(), conn, where_);
      char const* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
      state_ = state != nullptr ? state : "";
    }
    if (PQstatus(conn) == CONNECTION_BAD) {
      if (!failed) error = "PostgreSQL at " + where_ + ": " + OneLine(PQerrorMessage(conn));
      failed = true;
      break;
    }
  }
  if (cancelled) return Outcome::kCancelled;
  if (failed || PQstatus(conn) == CONNECTION_BAD) {
    if (!failed) error = "PostgreSQL at " + where_ + ": " + OneLine(PQerrorMessage(conn));
    return Outcome::kFailed;
  }
  return Outcome::kOk;
}

bool Connection::Exec(std::string_view sql, std::string& error) {
  return Send(sql, error) && Wait(error);
}

bool Connection::Send(std::string_view sql, std::string& error) {
  if (Closed(error)) return false;
  std::string text(sql);
  if (!PQsendQuery(impl_->conn, text.c_str())) {
    error = "PostgreSQL at " + where_ + ": " + OneLine(PQerrorMessage(impl_->conn));
    return false;
  }
  return true;
}

bool Connection::Wait(std::string& error, std::stop_token stop) {
  bool ok = true, cancelled = false;
  for (;;) {
    AwaitResult(impl_->conn, stop, cancelled);
    ResultPtr result{PQgetResult(impl_->conn)};
    if (result == nullptr) break;
    ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && ok) {
      ok = false;
      error = ResultError(result.get(), impl_->conn, where_);
    }
  }
  return ok;
}

std::string Connection::Literal(std::string_view text) const {
  char* escaped = is_open() ? PQescapeLiteral(impl_->conn, text.data(), text.size()) : nullptr;
  if (escaped == nullptr) return "NULL";  // only when out of memory or closed: fails the statement
  std::string out(escaped);
  PQfreemem(escaped);
  return out;
}

bool Connection::CopyBegin(std::string_view sql, std::string& error) {
  if (Closed(error)) return false;
  std::string text(sql);
  ResultPtr start(PQexec(impl_->conn, text.c_str()));
  if (!start || PQresultStatus(start.get()) != PGRES_COPY_IN) {
    error = ResultError(start.get(), impl_->conn, where_);
    return false;
  }
  return true;
}

bool Connection::CopyPut(std::string_view data, std::string& error) {
  if (data.empty()) return true;
  if (PQputCopyData(impl_->conn, data.data(), static_cast<int>(data.size())) != 1) {
    error = "PostgreSQL at " + where_ + ": " + OneLine(PQerrorMessage(impl_->conn));
    return false;
  }
  return true;
}

bool Connection::CopyEnd(std::string& error) {
  if (PQputCopyEnd(impl_->conn, nullptr) != 1) {
    error = "PostgreSQL at " + where_ + ": " + OneLine(PQerrorMessage(impl_->conn));
    return false;
  }
  return Wait(error);
}

}  // namespace qel::pg
