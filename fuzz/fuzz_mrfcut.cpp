// Fuzz target: CMrfCut with random separators, modes and contents. The records must be
// exactly those of the byte-by-byte rule (the contents fit in one window), every call must
// progress, and GetPos ends at GetSize.
//
// Input: byte 0 = separator length (mod 9), then the separator, then one mode byte (bit 0:
// leading), then the file's contents.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "qelshare/CMrfCut.h"
#include "scratch_folder.h"

namespace {

bool Visible(unsigned char b) {
  return b > 32 && b != 127 && b != 128;
}

void Keep(std::vector<std::string>& out, std::string piece) {
  for (unsigned char b : piece) {
    if (Visible(b)) {
      out.push_back(std::move(piece));
      return;
    }
  }
}

// The records by definition: compare the separator at every position.
std::vector<std::string> Reference(std::string const& data, std::string const& sep, bool leading) {
  std::vector<std::string> out;
  if (sep.empty()) {
    Keep(out, data);
    return out;
  }
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t found = std::string::npos;
    for (std::size_t i = pos + (leading ? 1 : 0); i + sep.size() <= data.size(); ++i) {
      if (data.compare(i, sep.size(), sep) == 0) {
        found = i;
        break;
      }
    }
    if (found == std::string::npos) {
      Keep(out, data.substr(pos));
      break;
    }
    Keep(out, data.substr(pos, found - pos));
    pos = leading ? found : found + sep.size();
  }
  return out;
}

// The separator as CMrfCut reads it: "^l" and "^L" are CR LF.
std::string Converted(std::string const& sep) {
  std::string out;
  for (std::size_t i = 0; i < sep.size(); ++i) {
    if (sep[i] == '^' && i + 1 < sep.size() && (sep[i + 1] == 'l' || sep[i + 1] == 'L')) {
      out += "\r\n";
      ++i;
    } else {
      out += sep[i];
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  if (size < 2) return 0;
  std::size_t sep_length = data[0] % 9;
  if (size < 2 + sep_length) return 0;
  std::string sep(reinterpret_cast<char const*>(data) + 1, sep_length);
  // A NUL ends the separator as the interface sees it.
  sep = sep.substr(0, sep.find('\0'));
  bool leading = (data[1 + sep_length] & 1) != 0;
  std::string contents(reinterpret_cast<char const*>(data) + 2 + sep_length, size - 2 - sep_length);

  static std::string const path = (qel::fuzz::ScratchFolder("fuzz_mrfcut") / "lib.mrf").string();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (!contents.empty()) std::fwrite(contents.data(), 1, contents.size(), f);
  std::fclose(f);

  CMrfCut cut;
  if (cut.Open(path.c_str(), sep.c_str(), leading ? 1 : 0) != 1) std::abort();
  if (cut.GetSize() != contents.size()) std::abort();
  std::vector<std::string> records;
  for (std::size_t calls = 0;; ++calls) {
    if (calls > contents.size() + 1) std::abort();  // no progress
    unsigned long before = cut.GetPos();
    CString record = cut.GetRecord();
    if (cut.GetPos() > cut.GetSize()) std::abort();
    if (record.empty()) break;
    if (cut.GetPos() <= before) std::abort();
    records.push_back(record);
  }
  if (cut.GetPos() != cut.GetSize()) std::abort();
  if (records != Reference(contents, Converted(sep), leading)) std::abort();
  return 0;
}
