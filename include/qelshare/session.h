// qel::Session and qel::Result: searching a collection with retrieval expressions.
//
// A session analyses each expression with the fields of its collection's libraries
// (CAnalyseExpression), builds the hit set of every leaf of the postfix stream (from the
// index, or in one pass over the record file), evaluates the stream (CExpStack) and keeps
// each result it returns, numbered from 1, so that a later expression can name it as "#N"
// (the history of an interactive search). Each library of the collection is searched on
// its own with its own field table; a library that lacks a field the expression names
// rejects the expression, and the status names the library.
//
// How a leaf matches a record (words are GBK characters; a word never matches across
// one):
//   word              the word occurs in the field
//   a NEAR b          every word occurs, all within 10 characters of each other (from the
//                     end of the earliest-ending word to the start of the latest-starting)
//   a ORDER b         as NEAR, in the order given, each word after the end of the one
//                     before and at most 10 characters after it
//   a PARA b          every word occurs on one line of the field
//   >=4, [1,8) ...    the field compared as numbers when both sides are numbers, else as
//                     text in the library's collation: = > >= < <= <> () (] [) []
//   value             the whole field value equals the value (fields D, #, E)
//   #N                the records of result N of this session
// A field met on several lines of a record is one value, its lines joined by LF. Double
// quotes around a word are dropped; a quoted word may hold spaces.
//
// Threads: a session is used by one thread at a time; several sessions may search one
// collection at once. Results are values that stay valid after the session moves on.
#ifndef QELSHARE_SESSION_H_
#define QELSHARE_SESSION_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "qelshare/collection.h"
#include "qelshare/export.h"
#include "qelshare/record.h"
#include "qelshare/status.h"

namespace qel {

struct SearchOptions {
  // Told the bytes of record files scanned so far of those to scan, from the thread that
  // searches; not called when every library answers from its index.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
  // A stop request ends a scanning search early with kCancelled (and no result kept).
  std::stop_token stop;
  // Keep the result in the session's history (numbered for "#N").
  bool keep = true;
};

// The outcome of one search: its status, the hits and what the analysis gave.
class QELSHARE_API Result {
 public:
  Result();
  ~Result();
  Result(Result const&);
  Result& operator=(Result const&);
  Result(Result&&) noexcept;
  Result& operator=(Result&&) noexcept;

  Status const& status() const { return status_; }
  bool ok() const { return status_.ok(); }
  // The result's number in the session's history ("#N"); 0 when it was not kept.
  std::size_t number() const { return number_; }
  // The expression searched (GBK), the postfix stream and highlight string of its analysis.
  std::string const& expression() const { return expression_; }
  std::string const& poland() const { return poland_; }
  std::string const& redkey() const { return redkey_; }

  // Hits in all libraries, and in library i.
  std::uint64_t count() const;
  std::uint64_t count(std::size_t library) const;
  // Records searched in all libraries, and in library i.
  std::uint64_t records() const;
  std::uint64_t records(std::size_t library) const;
  // True when record of library is a hit.
  bool Contains(std::size_t library, std::uint32_t record) const;

  // Hits first .. first + n - 1 in collection order (library by library, records in file
  // order); fewer at the end. A page costs about its own hits, wherever it starts.
  std::vector<Hit> Hits(std::uint64_t first = 0, std::uint64_t n = UINT64_MAX) const;

  // Reads the record of a hit with the spans of the result's hit words in each field: the
  // highlight words of its own expression and of the results it refined ("#N"), each
  // found by the leaf rules (characters, never inside one), and a field whose whole value
  // a value item asked for.
  Status Read(Hit const& hit, Record& record) const;

  // Internal state, set by Session.
  struct Data;

 private:
  friend class Session;
  Status status_;
  std::size_t number_ = 0;
  std::string expression_, poland_, redkey_;
  std::shared_ptr<Data const> data_;
};

class QELSHARE_API Session {
 public:
  // A session over collection, which must stay open while the session and its results live.
  explicit Session(Collection const& collection);
  ~Session();
  Session(Session const&) = delete;
  Session& operator=(Session const&) = delete;
  Session(Session&&) noexcept;
  Session& operator=(Session&&) noexcept;

  // Searches a GBK expression in every library of the collection. A rejected expression
  // gives kRejected with the place of the fault; "#N" naming no kept result is rejected
  // too. kCorrupt or kIoError name the library whose files failed; kCancelled when
  // options.stop was requested.
  Result Search(std::string_view expression, SearchOptions const& options = {});
  // The same for a UTF-8 expression: a character without a GBK form is rejected at its
  // place; the status's character offset counts UTF-8 characters.
  Result SearchUtf8(std::string_view expression, SearchOptions const& options = {});

  // Results kept so far, oldest first (result N is history()[N - 1]).
  std::vector<Result> const& history() const;
  // Forgets every kept result: the next one is #1 again.
  void Clear();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qel

#endif  // QELSHARE_SESSION_H_
