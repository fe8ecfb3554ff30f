// A retrieval library in memory and the host's side of a query: the road of one query from
// an expression to a hit bitmap, as the host program of libqelshare walks it.
//
// Open reads the descriptor with CQel2000 and registers the field table's fields with
// CAnalyseExpression::AddField. Search analyses an expression, builds the hit bitmap of
// every leaf item of the postfix stream in one pass over the records of BASE.mrf (lines
// CODE=value, records separated by a blank line, cut with CMrfCut, never all held in
// memory), and evaluates the stream with CExpStack. Hits are read back by their offsets.
//
// Leaf rules (the host's own; words are matched as GBK characters, never across one):
//   - text item, one word: the word occurs in the field;
//   - NEAR: every word occurs, all within kNearDistance characters of each other (from the
//     end of the earliest-ending word to the start of the latest-starting one);
//   - ORDER: as NEAR, in the order given, each word after the end of the one before;
//   - PARA: every word occurs on one line of the field;
//   - comparison item: the field value compared with the ten comparison codes, as numbers
//     when both sides are numbers, otherwise as text in the library's collation;
//   - value item: the field value equals the value;
//   - "#N": the N-th result of the session (History).
// Quotes around a word are dropped; a quoted word may hold spaces.
#ifndef QEL_TOOLS_RETRIEVAL_H_
#define QEL_TOOLS_RETRIEVAL_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/fs/mapped_file.h"
#include "qelshare/CAnalyseExpression.h"
#include "readers/search_index.h"

namespace qel::retrieval {

inline constexpr int kNearDistance = 10;

// One record: its fields in file order (a code met twice gets its values joined by LF).
struct Record {
  std::uint64_t offset = 0;
  std::vector<std::pair<std::string, std::string>> fields;
  // The value of a field, or null when the record has none.
  std::string const* Find(std::string_view code) const;
};

// A hit bitmap: bit i (byte i / 8, bit i % 8 from the lowest) is record i.
using Bits = std::vector<unsigned char>;

// Results kept by an interactive session, for "#N" leaves (1-based).
using History = std::vector<Bits>;

// A query's outcome: ok, or the reason it failed (one sentence).
struct Outcome {
  bool ok = false;
  std::string error;
  Bits hits;
  std::string poland, redkey;
};

class Library {
 public:
  // Progress of a pass over the records: bytes cut so far of the total.
  using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

  // Opens BASE (descriptor and field table; the record file is checked to open) and its
  // index BASE.qix when there is one. Returns false with error set to one sentence naming
  // the file at fault; an index that is damaged or older than the record file is refused
  // with the command that rebuilds it.
  bool Open(std::string const& base, std::string& error);

  // Runs one GBK expression. history serves "#N" leaves (null: none kept).
  Outcome Search(std::string const& expression, History const* history,
                 Progress const& progress = {});

  // Record i of the last search (0-based), read from the record file at its offset;
  // false when it cannot be read.
  bool ReadRecord(std::size_t i, Record& record) const;

  // Records seen by the last search.
  std::size_t size() const { return indexed_ ? index_.records() : offsets_.size(); }
  // Codes of the registered fields, for reading highlight entries.
  std::vector<std::string> const& codes() const { return codes_; }
  // The record file, BASE.mrf.
  std::string const& file() const { return file_; }
  // True when searches use the index.
  bool indexed() const { return indexed_; }

  // A leaf item of a postfix stream, parsed.
  struct Leaf;

 private:
  // The hits of a leaf from the index: exact sets for words of one or two characters,
  // otherwise candidates from the sets, checked against the records.
  bool IndexedLeaf(Leaf const& leaf, Bits& bits);
  // Where record n starts: from the index when there is one, else from the last pass.
  std::uint64_t Offset(std::size_t n) const {
    return indexed_ ? index_.Offset(static_cast<std::uint32_t>(n)) : offsets_[n];
  }

  bool indexed_ = false;
  search_index::Reader index_;
  fs::MappedFile mapped_records_;
  std::unique_ptr<CAnalyseExpression> analyser_ = std::make_unique<CAnalyseExpression>();
  std::string file_;
  std::vector<std::uint64_t> offsets_;
  std::uint64_t file_size_ = 0;
  std::vector<std::string> codes_;
};

// The fields of a record's text (lines CODE=value; a code met twice gets its values joined
// by LF).
void ParseRecord(std::string_view text, Record& record);

// Writes the search index of record_file to index_file (see readers/search_index.h).
// Returns false with error set to one sentence naming the file at fault; records is set
// to the number of records indexed. progress is told the bytes read so far. Posting lists
// beyond memory_budget bytes are written to segment files beside index_file.
bool BuildIndex(std::string const& record_file, std::string const& index_file,
                std::uint32_t& records, std::string& error, Library::Progress const& progress = {},
                std::size_t memory_budget = search_index::Builder::kMemoryBudget);

// Splits a highlight string ("words[CODE]words[CODE]...") into (code, word) pairs; words
// of one entry are separated by spaces, quotes dropped. Only known codes end an entry.
std::vector<std::pair<std::string, std::string>> HighlightTerms(
    std::string const& redkey, std::vector<std::string> const& codes);

// GBK text with every occurrence of a term wrapped in open/close (longest term first).
std::string Mark(std::string_view text, std::vector<std::string> const& terms,
                 std::string_view open, std::string_view close);

// The words of a text item: split at spaces outside quotes, quotes dropped.
std::vector<std::string> Words(std::string_view words);

// True when the leaf rules above hold for the given field value (exposed for tests).
bool MatchText(std::string_view kind, std::vector<std::string> const& words,
               std::string_view value);
bool MatchComparison(int op, std::string_view operand, std::string_view value);

}  // namespace qel::retrieval

#endif  // QEL_TOOLS_RETRIEVAL_H_
