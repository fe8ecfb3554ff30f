// qel::Status: the outcome of an operation of the search API.
//
// An operation either succeeds (ok()) or fails with a code and one sentence for people
// that names the input at fault: the library and file, the line or byte, or the place in
// an expression. Messages are GBK, like every text of the library; Utf8Message gives
// them to a UTF-8 host. A status is a small value, cheap to copy.
#ifndef QELSHARE_STATUS_H_
#define QELSHARE_STATUS_H_

#include <cstddef>
#include <string>
#include <utility>

#include "qelshare/export.h"

namespace qel {

class QELSHARE_API Status {
 public:
  enum Code : unsigned char {
    kOk = 0,
    kRejected,   // the expression is not one the collection can search
    kNotFound,   // a library, file or record that does not exist
    kCorrupt,    // a file that exists but is damaged, stale or of another kind
    kIoError,    // a file that could not be read or written
    kCancelled,  // the caller asked the operation to stop; no partial result is given
    kInvalid,    // an argument out of its range (a record number, a field too long)
  };
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // Success.
  Status() = default;
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}
  // A rejected expression, with where it went wrong: the byte offset in the GBK expression
  // and the offset in characters (what a text box shows).
  static Status Rejected(std::string message, std::size_t byte, std::size_t character);

  bool ok() const { return code_ == kOk; }
  Code code() const { return code_; }
  // One sentence, GBK; empty when ok.
  std::string const& message() const { return message_; }
  // The message in UTF-8 (bytes that are not GBK become U+FFFD).
  std::string Utf8Message() const;
  // For kRejected: the place of the fault, or npos when the analyser named none.
  std::size_t byte_offset() const { return byte_; }
  std::size_t char_offset() const { return char_; }

 private:
  Code code_ = kOk;
  std::string message_;
  std::size_t byte_ = npos;
  std::size_t char_ = npos;
};

}  // namespace qel

#endif  // QELSHARE_STATUS_H_
