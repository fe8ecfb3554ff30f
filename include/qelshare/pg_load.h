// Loading a retrieval library into PostgreSQL, where a collection then opens it by its
// address (postgresql://...?table=NAME) and searches it with the same expressions and the
// same hits as the library's own files.
//
// One server: the library becomes table NAME (with NAME_meta and NAME_fields) in the
// database of the connection string. Shards: the records are spread by a hash of their
// number over the shard servers, each holding its part as a table of its own, and the
// first server (the coordinator) holds NAME as a table partitioned over them through
// postgres_fdw, which searches every shard at once. The layout is described for database
// administrators in the library's source (search/pg_schema.h).
//
// A load is one transaction on each shard and a last one on the coordinator that puts the
// new tables in place of the old: a load that fails or is stopped leaves the old library
// answering. One load of a table at a time: a second load of the same table started
// meanwhile may remove the first one's unfinished tables.
#ifndef QELSHARE_PG_LOAD_H_
#define QELSHARE_PG_LOAD_H_

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "qelshare/export.h"
#include "qelshare/status.h"

namespace qel {

struct PgLoadOptions {
  // The coordinator, or the one server: a libpq connection string or URI.
  std::string dsn;
  // The shard servers' connection strings; none: one table on dsn. Their user and password
  // become the coordinator's credentials for them (a user mapping for every user).
  std::vector<std::string> shards;
  // The table's name; empty: the library's name, lower-cased with other characters as "_".
  std::string table;
  // Told the bytes of the record file read so far.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
  // Told each step after the records are sent, which reports no progress of its own:
  // "building the indexes" (most of a load), "replacing the old table".
  std::function<void(std::string const& step)> step;
  // A stop request ends the load with kCancelled, the old table untouched.
  std::stop_token stop;
};

struct PgLoadStats {
  std::string table;
  std::string address;  // what `qel search --lib` takes, without the password
  std::uint64_t records = 0;
  std::uint64_t record_bytes = 0;
};

// Loads the library BASE (a base path: kInvalid for an address). kNotFound or kCorrupt for
// a library that cannot be opened,
// kInvalid for a table name that cannot serve or a record whose text has no UTF-8 form,
// kIoError naming the server for a database that fails.
QELSHARE_API Status LoadPostgres(std::string const& base, PgLoadOptions const& options,
                                 PgLoadStats* stats = nullptr);

// True when base is the address of a library in PostgreSQL rather than a base path: a
// postgresql:// or postgres:// URI, or libpq's key=value words of which one names a
// server, a database, a user or a table (host=... dbname=... table=NAME).
QELSHARE_API bool IsPgAddress(std::string_view base);

// How a library in PostgreSQL is shown to people, never with its password.
struct PgShownAddress {
  std::string table;    // the library's table
  std::string server;   // host:port of its server (the host alone when no port is given)
  std::string address;  // postgresql://user@host:port/database?table=NAME
};

// Splits the address base for showing it: false when base is no usable address (see
// Collection::Open for the forms).
QELSHARE_API bool ShowPgAddress(std::string_view base, PgShownAddress& shown);

}  // namespace qel

#endif  // QELSHARE_PG_LOAD_H_
