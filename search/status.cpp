#include "qelshare/status.h"

#include "platform/text/codepage.h"

namespace qel {

Status Status::Rejected(std::string message, std::size_t byte, std::size_t character) {
  Status s(kRejected, std::move(message));
  s.byte_ = byte;
  s.char_ = character;
  return s;
}

std::string Status::Utf8Message() const {
  return text::GbkToUtf8Lossy(message_);
}

}  // namespace qel
