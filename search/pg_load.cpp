#include "qelshare/pg_load.h"

#include <chrono>
#include <cstdio>
#include <deque>

#include "platform/fs/mapped_file.h"
#include "platform/pg/connection.h"
#include "platform/text/codepage.h"
#include "qelshare/CMrfCut.h"
#include "qelshare/collection.h"
#include "readers/library_format.h"
#include "readers/record_format.h"
#include "search/pg_library.h"
#include "search/pg_schema.h"

namespace qel {
namespace {

namespace schema = search::pg_schema;

constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

struct Column {
  std::string code;
  bool coded = false;
};

// The library's name as a table name: lower-case, other characters as "_".
std::string TableNameOf(std::string const& name) {
  std::string table;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    table += ok ? c : '_';
  }
  if (!table.empty() && table[0] >= '0' && table[0] <= '9') table.insert(0, 1, '_');
  if (table.size() > schema::kMaxTableName) table.resize(schema::kMaxTableName);
  return table;
}

// Appends text as a COPY text value: backslash, tab, LF and CR escaped.
void AppendCopyText(std::string_view text, std::string& out) {
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
}

Status Db(std::string const& error) {
  return Status(Status::kIoError, error);
}

// Runs a statement whose rows are not wanted.
bool Run(pg::Connection& c, std::string const& sql, std::vector<pg::Param> const& params,
         std::string& error) {
  return c.Run(
             sql, params, [](pg::Row) { return true; }, error) == pg::Outcome::kOk;
}

// The names a query answers in its first column.
bool Names(pg::Connection& c, std::string const& sql, std::vector<pg::Param> const& params,
           std::vector<std::string>& names, std::string& error) {
  names.clear();
  return c.Run(
             sql, params,
             [&](pg::Row row) {
               if (row[0]) names.emplace_back(*row[0]);
               return true;
             },
             error) == pg::Outcome::kOk;
}

// One server a part of the records goes to: its connection and the COPY text not yet sent.
struct Target {
  pg::Connection* connection = nullptr;
  std::string buffer;
};

class Loader {
 public:
  Loader(PgLoadOptions const& options, LibraryInfo const& info) : options_(options), info_(info) {}

  Status Load(PgLoadStats* stats);

 private:
  Status Prepare();
  Status Spread(std::vector<unsigned char>& shard_of);
  Status Copy(std::vector<unsigned char> const& shard_of);
  Status Row(std::uint32_t n, std::string_view text, std::string& row);
  Status Replace();
  void RemoveOld(pg::Connection& c);
  Status Stopped() const { return Status(Status::kCancelled, "the load was cancelled"); }

  PgLoadOptions const& options_;
  LibraryInfo const& info_;
  std::string table_, generation_, new_table_;
  std::vector<Column> columns_;
  std::uint64_t records_ = 0;
  pg::Connection coordinator_;
  std::vector<pg::Connection> shards_;
  std::vector<Target> targets_;
  std::vector<records::FieldView> views_;
  std::deque<std::pair<std::size_t, std::string>> joined_;
};

Status Loader::Load(PgLoadStats* stats) {
  records_ = *info_.records;
  if (records_ > INT32_MAX) {
    return Status(Status::kInvalid, "the library " + info_.base + " holds more records than a " +
                                        "PostgreSQL library serves (2^31 - 1)");
  }
  table_ = options_.table.empty() ? TableNameOf(info_.name) : options_.table;
  if (!schema::ValidTableName(table_)) {
    return Status(Status::kInvalid,
                  "'" + table_ + "' is not a table name a library can have (a lower-case " +
                      "letter or _, then lower-case letters, digits or _, at most " +
                      std::to_string(schema::kMaxTableName) + "); give one with --table");
  }
  // Columns in the order of the first record's fields (records are usually written in
  // one order, which the columns then rebuild), then the field table's other codes.
  std::vector<std::string> order;
  CMrfCut cut;
  if (cut.Open((info_.base + library_format::kRecordExt).c_str(), records::kSeparator, 0)) {
    CString first = cut.GetRecord();  // the views point into it
    records::Views(first, views_, joined_);
    for (records::FieldView const& f : views_) order.emplace_back(f.code);
  }
  for (Field const& f : info_.fields) {
    if (!f.group()) order.push_back(f.code);
  }
  for (std::string const& code : order) {
    Field const* field = nullptr;
    for (Field const& f : info_.fields) {
      if (!f.group() && f.code == code) {
        field = &f;
        break;
      }
    }
    bool known = false;
    for (Column const& c : columns_) known = known || c.code == code;
    if (field != nullptr && !known) columns_.push_back({code, schema::Coded(field->type)});
  }
  char gen[24];
  std::snprintf(
      gen, sizeof gen, "%016llx",
      static_cast<unsigned long long>(std::chrono::system_clock::now().time_since_epoch().count()));
  generation_ = gen;
  new_table_ = table_ + "_g" + generation_;

  if (Status s = Prepare(); !s.ok()) return s;
  std::vector<unsigned char> shard_of;
  if (Status s = Spread(shard_of); !s.ok()) return s;
  if (Status s = Copy(shard_of); !s.ok()) return s;
  if (Status s = Replace(); !s.ok()) return s;
  if (stats != nullptr) {
    stats->table = table_;
    stats->records = records_;
    pg::Options server;
    std::string error;
    if (pg::ParseOptions(options_.dsn, server, error))
      stats->address = search::ShownServer(server) + "?table=" + table_;
  }
  return Status();
}

// Connects to every server and starts the transaction that writes the new table on each.
Status Loader::Prepare() {
  std::string error;
  if (!coordinator_.Open(options_.dsn, search::kConnectTimeout, error)) return Db(error);
  std::string columns = "n int4 NOT NULL";
  for (std::size_t k = 0; k < columns_.size(); ++k)
    columns += ", " + schema::ValueColumn(k) + " text";
  for (std::size_t k = 0; k < columns_.size(); ++k) {
    if (columns_[k].coded) columns += ", " + schema::CodesColumn(k) + " int4[]";
  }
  columns += ", r text";
  std::string create = "CREATE TABLE " + new_table_ + " (" + columns + ")";
  // Building the GIN indexes is most of a load: with the whole build in memory it takes a fifth
  // less time (71 MiB of records: 96 s with 256 MB, 76 s with 2 GB).
  std::string begin = "BEGIN; SET LOCAL maintenance_work_mem = '1GB'; ";
  if (!coordinator_.Exec(begin, error)) return Db(error);
  if (options_.shards.empty()) {
    if (!coordinator_.Exec(create, error)) return Db(error);
    targets_.push_back({&coordinator_, {}});
    return Status();
  }
  std::size_t count = options_.shards.size();
  if (count > 64) return Status(Status::kInvalid, "at most 64 shards");
  // A database given twice would wait for ever on its own unfinished table.
  std::vector<std::string> databases;
  for (std::string const& dsn : options_.shards) {
    pg::Options o;
    if (pg::ParseOptions(dsn, o, error)) databases.push_back(search::ShownServer(o));
  }
  pg::Options o;
  if (pg::ParseOptions(options_.dsn, o, error)) databases.push_back(search::ShownServer(o));
  for (std::size_t i = 0; i < databases.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (databases[i] == databases[j]) {
        return Status(Status::kInvalid, databases[i] + " is given twice among --dsn and " +
                                            "--shard: each shard needs a database of its own");
      }
    }
  }
  if (!coordinator_.Exec(
          "CREATE EXTENSION IF NOT EXISTS postgres_fdw; " + create + " PARTITION BY HASH (n)",
          error)) {
    return Db(error);
  }
  shards_.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    pg::Options o;
    if (!pg::ParseOptions(options_.shards[i], o, error)) {
      return Status(Status::kInvalid, "shard " + std::to_string(i + 1) +
                                          " is not a PostgreSQL connection string: " + error);
    }
    std::string server = new_table_ + "_s" + std::to_string(i);
    std::string timeout = pg::OptionOf(o, "connect_timeout");
    // connect_timeout: postgres_fdw cannot interrupt a connection attempt, so a frozen
    // shard would hold a search for ever. cursor_tuple_fraction: the shards' cursors are
    // read to the end, so they are planned for all rows (an OR of GIN look-ups is
    // otherwise planned as a sequential scan).
    std::string server_options = "async_capable 'true', fetch_size '10000', connect_timeout " +
                                 coordinator_.Literal(timeout.empty() ? "10" : timeout) +
                                 ", options '-c cursor_tuple_fraction=1'";
    for (char const* key : {"host", "hostaddr", "port", "dbname", "sslmode"}) {
      std::string value = pg::OptionOf(o, key);
      if (!value.empty())
        server_options += ", " + std::string(key) + " " + coordinator_.Literal(value);
    }
    std::string mapping;
    for (char const* key : {"user", "password"}) {
      std::string value = pg::OptionOf(o, key);
      if (value.empty()) continue;
      mapping +=
          (mapping.empty() ? "" : ", ") + std::string(key) + " " + coordinator_.Literal(value);
    }
    std::string sql = "CREATE SERVER " + server + " FOREIGN DATA WRAPPER postgres_fdw OPTIONS (" +
                      server_options + "); CREATE USER MAPPING FOR PUBLIC SERVER " + server +
                      (mapping.empty() ? "" : " OPTIONS (" + mapping + ")") +
                      "; CREATE FOREIGN TABLE " + new_table_ + "_p" + std::to_string(i) +
                      " PARTITION OF " + new_table_ + " FOR VALUES WITH (MODULUS " +
                      std::to_string(count) + ", REMAINDER " + std::to_string(i) + ") SERVER " +
                      server + " OPTIONS (table_name '" + new_table_ + "')";
    if (!coordinator_.Exec(sql, error)) return Db(error);
    if (!shards_[i].Open(options_.shards[i], search::kConnectTimeout, error)) return Db(error);
    if (!shards_[i].Exec(begin + create, error)) return Db(error);
    targets_.push_back({&shards_[i], {}});
  }
  return Status();
}

// The shard of each record, as the coordinator's partitioning places it.
Status Loader::Spread(std::vector<unsigned char>& shard_of) {
  shard_of.assign(records_, 0);
  if (shards_.size() < 2 || records_ == 0) return Status();
  std::string which = "CASE";
  for (std::size_t i = 0; i + 1 < shards_.size(); ++i) {
    which += " WHEN satisfies_hash_partition('" + new_table_ + "'::regclass, " +
             std::to_string(shards_.size()) + ", " + std::to_string(i) + ", n) THEN " +
             std::to_string(i);
  }
  which += " ELSE " + std::to_string(shards_.size() - 1) + " END";
  std::vector<pg::Param> params{std::to_string(records_)};
  std::size_t next = 0;
  std::string error;
  auto outcome = coordinator_.Run(
      "SELECT " + which + " FROM generate_series(0, $1::int4 - 1) AS n", params,
      [&](pg::Row row) {
        if (next < shard_of.size() && row[0] && !row[0]->empty())
          shard_of[next] = static_cast<unsigned char>(std::stoi(std::string(*row[0])));
        ++next;
        return true;
      },
      error, options_.stop);
  if (outcome == pg::Outcome::kCancelled) return Stopped();
  if (outcome != pg::Outcome::kOk) return Db(error);
  return Status();
}

Status Loader::Row(std::uint32_t n, std::string_view text, std::string& row) {
  records::Views(text, views_, joined_);
  row = std::to_string(n);
  std::vector<std::string_view> values(columns_.size());
  std::vector<bool> present(columns_.size(), false);
  // The columns rebuild the record when its fields are some of them in their order.
  bool plain = true;
  std::size_t last = 0;
  std::string utf8, error;
  for (records::FieldView const& f : views_) {
    std::size_t k = 0;
    while (k < columns_.size() && columns_[k].code != f.code) ++k;
    if (k == columns_.size() || present[k]) {
      plain = false;
      continue;
    }
    if (k < last) plain = false;
    last = k + 1;
    present[k] = true;
    values[k] = f.value;
  }
  auto fault = [&](std::string_view code, std::string const& why) {
    return Status(Status::kInvalid, "record " + std::to_string(n + 1) + " of " + info_.base +
                                        ": field " + std::string(code) + " " + why);
  };
  for (std::size_t k = 0; k < columns_.size(); ++k) {
    row += '\t';
    if (!present[k]) {
      row += "\\N";
      continue;
    }
    if (values[k].find('\0') != std::string_view::npos)
      return fault(columns_[k].code, "holds a NUL byte, which PostgreSQL text cannot hold");
    if (!text::GbkToUtf8(values[k], utf8, error))
      return fault(columns_[k].code, "is not GBK text (" + error + ")");
    AppendCopyText(utf8, row);
  }
  std::vector<std::int32_t> codes;
  for (std::size_t k = 0; k < columns_.size(); ++k) {
    if (!columns_[k].coded) continue;
    row += '\t';
    if (!present[k]) {
      row += "\\N";
      continue;
    }
    schema::ValueCodes(values[k], codes);
    row += schema::ArrayText(codes);
  }
  row += '\t';
  if (plain) {
    row += "\\N";
  } else {
    if (text.find('\0') != std::string_view::npos || !text::GbkToUtf8(text, utf8, error))
      return fault("(the record's lines)", "is not GBK text");
    AppendCopyText(utf8, row);
  }
  row += '\n';
  return Status();
}

Status Loader::Copy(std::vector<unsigned char> const& shard_of) {
  std::string error;
  for (Target& t : targets_) {
    if (!t.connection->CopyBegin("COPY " + new_table_ + " FROM STDIN", error)) return Db(error);
  }
  std::string record_file = info_.base + library_format::kRecordExt;
  CMrfCut cut;
  if (!cut.Open(record_file.c_str(), records::kSeparator, 0)) {
    return Status(Status::kIoError, "cannot open the record file " + record_file);
  }
  std::uint64_t total = cut.GetSize();
  std::string row;
  std::uint32_t n = 0;
  for (;; ++n) {
    CString text = cut.GetRecord();
    if (text.empty()) break;
    if (n >= records_) break;
    if (Status s = Row(n, text, row); !s.ok()) return s;
    Target& t = targets_[shard_of[n] % targets_.size()];
    t.buffer += row;
    if (t.buffer.size() >= kFlushBytes) {
      if (!t.connection->CopyPut(t.buffer, error)) return Db(error);
      t.buffer.clear();
    }
    if (n % 1024 == 1023) {
      if (options_.stop.stop_requested()) return Stopped();
      if (options_.progress) options_.progress(cut.GetPos(), total);
    }
  }
  if (n != records_ || !cut.GetRecord().empty()) {
    return Status(Status::kCorrupt, record_file + " changed while it was loaded; load it again");
  }
  if (options_.progress) options_.progress(cut.GetPos(), total);
  for (Target& t : targets_) {
    if (!t.connection->CopyPut(t.buffer, error) || !t.connection->CopyEnd(error)) return Db(error);
  }
  // Every server builds its indexes at once.
  if (options_.step) options_.step("building the indexes");
  // Text fields are found by their codes; the others by their values (a hash index holds
  // values of any length).
  std::string indexes;
  for (std::size_t k = 0; k < columns_.size(); ++k) {
    indexes += "CREATE INDEX ON " + new_table_ +
               (columns_[k].coded ? " USING gin (" + schema::CodesColumn(k)
                                  : " USING hash (" + schema::ValueColumn(k)) +
               "); ";
  }
  indexes += "ALTER TABLE " + new_table_ + " ADD PRIMARY KEY (n)";
  for (Target& t : targets_) {
    if (!t.connection->Send(indexes, error)) return Db(error);
  }
  // Building the indexes is most of a load: a stop request cancels it on every server.
  bool built = true;
  for (Target& t : targets_) built = t.connection->Wait(error, options_.stop) && built;
  if (options_.stop.stop_requested()) return Stopped();
  if (!built) return Db(error);
  // The shards' parts are kept (invisible until the coordinator names them).
  for (pg::Connection& shard : shards_) {
    if (!shard.Exec("COMMIT", error)) return Db(error);
    if (!shard.Send("ANALYZE " + new_table_, error)) return Db(error);
  }
  for (pg::Connection& shard : shards_) {
    if (!shard.Wait(error)) return Db(error);
  }
  return Status();
}

// Puts the new table, its head and its field table in place of the old ones, in the
// coordinator's one transaction.
Status Loader::Replace() {
  std::string error;
  if (options_.step) options_.step("replacing the old table");
  pg::Connection& c = coordinator_;
  std::vector<std::string> servers;
  std::string old_servers = "^" + table_ + "_g[0-9a-f]{16}_s[0-9]+$";
  if (!Names(c,
             "SELECT srvname FROM pg_foreign_server WHERE srvname ~ $1 AND NOT "
             "starts_with(srvname, $2)",
             {old_servers, new_table_ + "_"}, servers, error)) {
    return Db(error);
  }
  std::string sql =
      "DROP TABLE IF EXISTS " + table_ + ", " + table_ + "_meta, " + table_ + "_fields CASCADE; ";
  for (std::string const& server : servers) sql += "DROP SERVER " + server + " CASCADE; ";
  sql += "ALTER TABLE " + new_table_ + " RENAME TO " + table_ + "; CREATE TABLE " + table_ +
         "_meta (version int4, title text, records int8, shards int4, generation text); " +
         "CREATE TABLE " + table_ +
         "_fields (i int4, name text, code text, type text, description text, col int4)";
  if (!c.Exec(sql, error)) return Db(error);
  auto utf8 = [](std::string_view gbk) { return text::GbkToUtf8Lossy(gbk); };
  if (!Run(c,
           "INSERT INTO " + table_ +
               "_meta VALUES ($1::int4, $2::text, $3::int8, $4::int4, $5::text)",
           {std::to_string(schema::kSchemaVersion), utf8(info_.title), std::to_string(records_),
            std::to_string(shards_.size()), generation_},
           error)) {
    return Db(error);
  }
  for (std::size_t i = 0; i < info_.fields.size(); ++i) {
    Field const& f = info_.fields[i];
    std::size_t column = 0;
    for (std::size_t k = 0; k < columns_.size() && !f.group(); ++k) {
      if (columns_[k].code == f.code) {
        column = k + 1;
        break;
      }
    }
    if (!Run(c,
             "INSERT INTO " + table_ +
                 "_fields VALUES ($1::int4, $2::text, $3::text, $4::text, $5::text, $6::int4)",
             {std::to_string(i), utf8(f.name), utf8(f.code),
              std::string(1, static_cast<char>(f.type)), utf8(f.description),
              std::to_string(column)},
             error)) {
      return Db(error);
    }
  }
  if (options_.stop.stop_requested()) return Stopped();
  if (!c.Exec("COMMIT", error)) return Db(error);
  if (shards_.empty() && !c.Exec("ANALYZE " + table_, error)) return Db(error);
  RemoveOld(c);
  for (pg::Connection& shard : shards_) RemoveOld(shard);
  return Status();
}

// Drops the tables of earlier loads left on a server (replaced, or of a load that stopped).
// Nothing names them any more; a failure here loses nothing.
void Loader::RemoveOld(pg::Connection& c) {
  std::vector<std::string> tables;
  std::string error;
  if (!Names(c,
             "SELECT tablename FROM pg_tables WHERE schemaname = current_schema() AND "
             "tablename ~ $1 AND tablename <> $2",
             {"^" + table_ + "_g[0-9a-f]{16}$", new_table_}, tables, error)) {
    return;
  }
  for (std::string const& t : tables) c.Exec("DROP TABLE IF EXISTS " + t, error);
}

}  // namespace

bool IsPgAddress(std::string_view base) {
  return search::IsPgAddress(base);
}

bool ShowPgAddress(std::string_view base, PgShownAddress& shown) {
  search::PgAddress address;
  std::string error;
  if (!search::IsPgAddress(base) || !search::ParsePgAddress(std::string(base), address, error)) {
    return false;
  }
  shown = {address.table, address.server, address.shown};
  return true;
}

Status LoadPostgres(std::string const& base, PgLoadOptions const& options, PgLoadStats* stats) {
  if (search::IsPgAddress(base)) {
    return Status(Status::kInvalid, "give the base path of a library's files, not an address");
  }
  Collection collection;
  if (Status s = collection.Open(base); !s.ok()) return s;
  if (!collection.library(0).records) {
    if (Status s = collection.CountRecords(0, {}, options.stop); !s.ok()) return s;
  }
  LibraryInfo info = collection.library(0);
  Loader loader(options, info);
  Status s = loader.Load(stats);
  if (s.ok() && stats != nullptr) {
    stats->record_bytes = 0;
    fs::FileStamp stamp;
    if (fs::Stamp(info.base + library_format::kRecordExt, stamp)) stats->record_bytes = stamp.size;
  }
  return s;
}

}  // namespace qel
