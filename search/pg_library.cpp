#include "search/pg_library.h"

#include <cctype>
#include <charconv>

#include "platform/text/codepage.h"
#include "readers/record_format.h"
#include "search/collection_state.h"
#include "search/pg_schema.h"

namespace qel::search {
namespace {

constexpr std::string_view kSchemes[] = {"postgresql://", "postgres://"};

bool Gbk(std::optional<std::string_view> utf8, std::string& out) {
  std::string error;
  out.clear();
  return !utf8 || text::Utf8ToGbk(*utf8, out, error);
}

template <typename T>
bool Number(std::optional<std::string_view> text, T& out) {
  if (!text) return false;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), out);
  return ec == std::errc() && end == text->data() + text->size();
}

std::vector<pg::Param> Params(std::vector<std::string> const& values) {
  return {values.begin(), values.end()};
}

// One "key=value" of a connection string in libpq's keyword form: its key, its value
// without quotes, and its text as written.
struct Keyword {
  std::string_view key, text;
  std::string value;
};

// The keywords of text in libpq's keyword form (values bare or in single quotes, with \'
// and \\ inside quotes); false when text is not in that form.
bool Keywords(std::string_view text, std::vector<Keyword>& out) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  out.clear();
  std::size_t i = 0;
  for (;;) {
    while (i < text.size() && blank(text[i])) ++i;
    if (i == text.size()) return !out.empty();
    Keyword k;
    std::size_t start = i;
    while (i < text.size() && (std::islower(static_cast<unsigned char>(text[i])) || text[i] == '_'))
      ++i;
    k.key = text.substr(start, i - start);
    while (i < text.size() && blank(text[i])) ++i;
    if (k.key.empty() || i == text.size() || text[i] != '=') return false;
    ++i;
    while (i < text.size() && blank(text[i])) ++i;
    if (i < text.size() && text[i] == '\'') {
      for (++i;; ++i) {
        if (i == text.size()) return false;
        if (text[i] == '\'') break;
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        k.value += text[i];
      }
      ++i;
    } else {
      while (i < text.size() && !blank(text[i])) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        k.value += text[i++];
      }
    }
    k.text = text.substr(start, i - start);
    out.push_back(std::move(k));
  }
}

// Keywords that make a text a server's address rather than a base path.
constexpr std::string_view kServerKeywords[] = {"host", "hostaddr", "port",    "dbname",
                                                "user", "password", "service", "table"};

bool IsUri(std::string_view text) {
  for (std::string_view scheme : kSchemes) {
    if (text.starts_with(scheme)) return true;
  }
  return false;
}

// Checks the connection string and the table of an address split into out, and shows it;
// how tells how the address form names a table.
bool Finish(PgAddress& out, std::string_view how, std::string& error) {
  pg::Options options;
  if (!pg::ParseOptions(out.conninfo, options, error)) {
    error = "not a PostgreSQL address: " + error;
    return false;
  }
  out.shown = ShownServer(options);
  out.server = HostPort(options);
  if (out.table.empty()) {
    error = "the address " + out.shown + " names no table: add " + std::string(how);
    return false;
  }
  if (!pg_schema::ValidTableName(out.table)) {
    error = "'" + out.table + "' is not a library table name (a lower-case letter or _, then " +
            "lower-case letters, digits or _, at most " + std::to_string(pg_schema::kMaxTableName) +
            ")";
    return false;
  }
  out.shown += "?table=" + out.table;
  return true;
}

}  // namespace

bool IsPgAddress(std::string_view base) {
  if (IsUri(base)) return true;
  std::vector<Keyword> keywords;
  if (!Keywords(base, keywords)) return false;
  for (Keyword const& k : keywords) {
    for (std::string_view known : kServerKeywords) {
      if (k.key == known) return true;
    }
  }
  return false;
}

std::string HostPort(pg::Options const& options) {
  std::string host = pg::OptionOf(options, "host");
  std::string port = pg::OptionOf(options, "port");
  return (host.empty() ? "localhost" : host) + (port.empty() ? "" : ":" + port);
}

std::string ShownServer(pg::Options const& options) {
  std::string user = pg::OptionOf(options, "user");
  return "postgresql://" + (user.empty() ? "" : user + "@") + HostPort(options) + "/" +
         pg::OptionOf(options, "dbname");
}

bool ParsePgAddress(std::string const& address, PgAddress& out, std::string& error) {
  out = PgAddress();
  std::vector<Keyword> keywords;
  if (!IsUri(address) && !Keywords(address, keywords)) {
    error = "not a PostgreSQL address: neither a postgresql:// URI nor key=value words";
    return false;
  }
  if (!IsUri(address)) {
    for (Keyword const& k : keywords) {
      if (k.key == "table") {
        out.table = k.value;
      } else {
        if (!out.conninfo.empty()) out.conninfo += ' ';
        out.conninfo += k.text;
      }
    }
    return Finish(out, "table=NAME", error);
  }
  std::size_t question = address.find('?');
  std::string kept = address.substr(0, question);
  std::string rest;
  if (question != std::string::npos) {
    std::string_view query = std::string_view(address).substr(question + 1);
    while (!query.empty()) {
      std::size_t amp = query.find('&');
      std::string_view part = query.substr(0, amp);
      query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
      if (part.substr(0, 6) == "table=") {
        out.table = std::string(part.substr(6));
      } else if (!part.empty()) {
        rest += rest.empty() ? '?' : '&';
        rest += part;
      }
    }
  }
  out.conninfo = kept + rest;
  return Finish(out, "?table=NAME", error);
}

Status PgLibrary::Query(std::string const& sql, std::vector<pg::Param> const& params,
                        std::function<bool(pg::Row)> const& on_row, std::stop_token stop) const {
  for (int attempt = 0;; ++attempt) {
    pg::Connection c;
    bool kept = false;
    {
      std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        c = std::move(idle_.back());
        idle_.pop_back();
        kept = true;
      }
    }
    std::string error;
    if (!kept && !c.Open(address_.conninfo, kConnectTimeout, error)) {
      return Status(Status::kIoError, address_.shown + ": " + error);
    }
    bool rows = false;
    auto outcome = c.Run(
        sql, params,
        [&](pg::Row row) {
          rows = true;
          return on_row(row);
        },
        error, stop);
    bool alive = c.is_open();
    std::string state = c.state();
    if (alive) {
      std::lock_guard lock(mutex_);
      idle_.push_back(std::move(c));
    }
    if (outcome == pg::Outcome::kOk) return Status();
    if (outcome == pg::Outcome::kCancelled)
      return Status(Status::kCancelled, "the search was cancelled");
    if (kept && !rows && attempt == 0 && !alive) continue;
    // Class 42: a table or column the statement names is not there.
    if (alive && state.substr(0, 2) == "42")
      return Status(Status::kCorrupt, address_.shown + ": " + error);
    return Status(Status::kIoError, address_.shown + ": " + error);
  }
}

Status PgLibrary::Open(std::string const& address, LibraryState& lib) {
  auto self = std::make_unique<PgLibrary>();
  std::string error;
  if (!ParsePgAddress(address, self->address_, error)) return Status(Status::kInvalid, error);
  std::string const& t = self->address_.table;
  std::string const& shown = self->address_.shown;
  // A table that is not a loaded library fails a statement: the server's error says how.
  auto not_library = [&](Status const& s) {
    if (s.code() != Status::kCorrupt) return s;
    return Status(Status::kCorrupt, s.message() + " (not a library loaded by `qel pg load`)");
  };

  // The head: version, title, records.
  std::string title;
  int version = 0;
  bool have_meta = false;
  Status s =
      self->Query("SELECT version, title, records FROM " + t + "_meta", {}, [&](pg::Row row) {
        have_meta = Number(row[0], version) && Gbk(row[1], title) && Number(row[2], self->records_);
        return false;
      });
  if (!s.ok()) return not_library(s);
  if (!have_meta) {
    return Status(Status::kCorrupt, shown + " is not a library loaded by `qel pg load` (its " +
                                        "head row " + t + "_meta is missing or damaged)");
  }
  if (version != pg_schema::kSchemaVersion || self->records_ > UINT32_MAX) {
    return Status(Status::kCorrupt, shown + " was loaded in another layout (version " +
                                        std::to_string(version) +
                                        "); load it again with `qel pg load`");
  }
  // The field table, and the column of each code.
  auto table = std::make_shared<std::vector<Field>>();
  bool fields_ok = true;
  s = self->Query("SELECT name, code, type, description, col FROM " + t + "_fields ORDER BY i", {},
                  [&](pg::Row row) {
                    Field f;
                    std::string type;
                    int column = 0;
                    if (!Gbk(row[0], f.name) || !Gbk(row[1], f.code) || !Gbk(row[2], type) ||
                        !Gbk(row[3], f.description) || !Number(row[4], column) ||
                        type.size() != 1 || column < 0 || column > 4096) {
                      fields_ok = false;
                      return false;
                    }
                    f.type = static_cast<unsigned char>(type[0]);
                    if (column > 0 && !f.group()) {
                      auto k = static_cast<std::size_t>(column - 1);
                      if (k >= self->columns_.codes.size()) {
                        self->columns_.codes.resize(k + 1);
                        self->columns_.coded.resize(k + 1);
                      }
                      if (self->columns_.codes[k].empty()) {
                        self->columns_.codes[k] = f.code;
                        self->columns_.coded[k] = pg_schema::Coded(f.type);
                      }
                    }
                    table->push_back(std::move(f));
                    return true;
                  });
  if (!s.ok()) return not_library(s);
  bool columns_ok = fields_ok;
  // Every column the field table names must exist with its codes.
  std::string columns = "n, r";
  for (std::size_t k = 0; k < self->columns_.codes.size(); ++k) {
    columns_ok = columns_ok && !self->columns_.codes[k].empty();
    columns += ", " + pg_schema::ValueColumn(k);
    if (self->columns_.coded[k]) columns += ", " + pg_schema::CodesColumn(k);
  }
  if (!columns_ok) {
    return Status(Status::kCorrupt, shown + " is not a library loaded by `qel pg load` (its " +
                                        "field table " + t + "_fields is damaged)");
  }
  s = self->Query("SELECT " + columns + " FROM " + t + " LIMIT 0", {},
                  [](pg::Row) { return true; });
  if (!s.ok()) return not_library(s);

  lib.info.base = shown;
  lib.info.name = t;
  lib.info.title = title;
  lib.info.fields = *table;
  lib.info.indexed = true;
  lib.table = std::move(table);
  lib.codes = self->columns_.codes;
  lib.record_file = shown;
  lib.pg = std::move(self);
  return Status();
}

Status PgLibrary::Search(std::vector<std::string_view> const& items,
                         std::vector<Leaf> const& leaves, std::vector<std::string> const& history,
                         std::vector<Bits>& bits, Bits& mask, bool& masked,
                         std::stop_token stop) const {
  PgQuery query;
  std::string error;
  if (!CompileQuery(address_.table, items, leaves, history, columns_, query, error)) {
    return Status(Status::kRejected, error);
  }
  std::size_t bytes = (records_ + 7) / 8;
  bits.assign(leaves.size(), Bits(bytes, 0));
  masked = query.masked;
  mask.assign(masked ? bytes : 0, 0);
  if (query.sql.empty()) return Status();
  std::string value;
  bool damaged = false;
  Status s = Query(
      query.sql, Params(query.params),
      [&](pg::Row row) {
        std::uint32_t n = 0;
        std::size_t tag = 0;
        if (!Number(row[0], n) || !Number(row[1], tag) || n >= records_ || tag > leaves.size()) {
          damaged = true;
          return false;
        }
        auto set = [&](Bits& b) { b[n / 8] |= static_cast<unsigned char>(1u << (n % 8)); };
        if (tag == 0) {
          set(mask);
        } else if (!query.checked[tag - 1]) {
          set(bits[tag - 1]);
        } else if (row[2] && Gbk(row[2], value) && Match(leaves[tag - 1], value)) {
          set(bits[tag - 1]);
        }
        return true;
      },
      stop);
  if (!s.ok()) return s;
  if (damaged) {
    return Status(Status::kCorrupt, address_.shown +
                                        " answered a record number past its records; load it "
                                        "again with `qel pg load`");
  }
  return Status();
}

Status PgLibrary::Read(std::uint32_t n, std::span<std::uint32_t const> ahead,
                       std::vector<std::pair<std::string, std::string>>& fields) const {
  fields.clear();
  {
    std::lock_guard lock(mutex_);
    if (auto kept = ahead_.find(n); kept != ahead_.end()) {
      fields = kept->second;
      return Status();
    }
  }
  std::string columns = "n, r";
  for (std::size_t k = 0; k < columns_.codes.size(); ++k)
    columns += ", " + pg_schema::ValueColumn(k);
  std::vector<std::uint32_t> wanted{n};
  wanted.insert(wanted.end(), ahead.begin(), ahead.end());
  std::string array = "{";
  for (std::uint32_t w : wanted) {
    if (array.size() > 1) array += ',';
    array += std::to_string(w);
  }
  array += '}';
  decltype(ahead_) batch;
  bool found = false, text_ok = true;
  Status s = Query("SELECT " + columns + " FROM " + address_.table + " WHERE n = ANY($1::int4[])",
                   {array}, [&](pg::Row row) {
                     std::uint32_t number = 0;
                     if (!Number(row[0], number)) return true;
                     std::vector<std::pair<std::string, std::string>> got;
                     std::string value;
                     bool ok = true;
                     if (row[1]) {
                       ok = Gbk(row[1], value);
                       records::Parse(value, got);
                     } else {
                       for (std::size_t k = 0; k < columns_.codes.size(); ++k) {
                         if (!row[k + 2]) continue;
                         if (!Gbk(row[k + 2], value)) ok = false;
                         got.emplace_back(columns_.codes[k], value);
                       }
                     }
                     if (number == n) {
                       found = true;
                       text_ok = ok;
                       fields = got;
                     }
                     // A record without a GBK form is not kept: its own read reports it.
                     if (ok) batch.emplace(number, std::move(got));
                     return true;
                   });
  if (!s.ok()) return s;
  if (!found) {
    return Status(Status::kInvalid, "no record " + std::to_string(n + 1) + " in " + address_.shown);
  }
  if (!text_ok) {
    fields.clear();
    return Status(Status::kCorrupt, "record " + std::to_string(n + 1) + " of " + address_.shown +
                                        " holds text without a GBK form");
  }
  if (!ahead.empty()) {
    std::lock_guard lock(mutex_);
    ahead_ = std::move(batch);
  }
  return Status();
}

}  // namespace qel::search
