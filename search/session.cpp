#include "qelshare/session.h"

#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/text/codepage.h"
#include "platform/text/mbcs.h"
#include "qelshare/CAnalyseExpression.h"
#include "qelshare/CExpStack.h"
#include "qelshare/CMrfCut.h"
#include "qelshare/memory.h"
#include "readers/record_format.h"
#include "search/index_leaf.h"
#include "search/leaf_rules.h"
#include "search/result_data.h"

namespace qel {
namespace {

using search::Bits;
using search::LibraryState;

constexpr std::string_view kByteNote = " at byte ";

// The byte an analyser's message names (" at byte N"), or npos.
std::size_t ByteOf(std::string_view message) {
  std::size_t at = message.rfind(kByteNote);
  if (at == std::string_view::npos) return Status::npos;
  std::size_t n = 0;
  bool digits = false;
  for (std::size_t i = at + kByteNote.size();
       i < message.size() && message[i] >= '0' && message[i] <= '9'; ++i) {
    n = n * 10 + static_cast<std::size_t>(message[i] - '0');
    digits = true;
  }
  return digits ? n : Status::npos;
}

std::size_t CharsBefore(std::string_view gbk, std::size_t byte) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < gbk.size() && i < byte; i += text::CharLength(gbk, i)) ++chars;
  return chars;
}

// Evaluates the stream over the leaves' hit sets, in stream order, with CExpStack, into
// hits; a record whose bit is clear in mask (when one is given) is no hit.
Status Evaluate(std::vector<std::string_view> const& items, std::vector<Bits>& leaves,
                std::uint64_t records, Bits const* mask, bitmap::RecordSet& hits) {
  CExpStack stack(static_cast<int>(records));
  std::size_t next = 0;
  for (std::string_view item : items) {
    int ok = 1;
    if (item == "AND") {
      ok = stack.And();
    } else if (item == "OR") {
      ok = stack.Or();
    } else if (item == "SUB") {
      ok = stack.Sub();
    } else if (item == "NOT") {
      ok = stack.Not();
    } else {
      auto* block = static_cast<unsigned char*>(GlobalAlloc(GMEM_FIXED, stack.m_nBytes));
      if (block == nullptr) return Status(Status::kIoError, "out of memory for a hit bitmap");
      Bits const& leaf = leaves[next++];
      std::size_t n = std::min<std::size_t>(leaf.size(), stack.m_nBytes);
      if (n > 0) std::memcpy(block, leaf.data(), n);  // a library of no records has no bytes
      ok = stack.Push(block);
      if (!ok) GlobalFree(block);
    }
    if (!ok) {
      return Status(Status::kRejected, "the expression does not evaluate: '" + std::string(item) +
                                           "' lacks an operand or too many operands are pending");
    }
  }
  unsigned char* result = nullptr;
  if (!stack.GetResult(result)) {
    return Status(Status::kRejected,
                  "the expression does not evaluate: operands are left without an operator");
  }
  std::span<unsigned char> bits(result, stack.m_nBytes);
  // Bits past the last record (set by NOT) are no records.
  if (records % 8 != 0) bits.back() &= static_cast<unsigned char>((1u << (records % 8)) - 1);
  for (std::size_t i = 0; mask != nullptr && i < bits.size() && i < mask->size(); ++i) {
    bits[i] &= (*mask)[i];
  }
  hits.AssignBits(bits);
  GlobalFree(result);
  return Status();
}

// The code point of one UTF-8 character (0xFFFD when it is not one).
unsigned CodePoint(std::string_view ch) {
  auto b = [&](std::size_t i) { return static_cast<unsigned char>(ch[i]); };
  switch (ch.size()) {
    case 1:
      return b(0);
    case 2:
      return (b(0) & 0x1Fu) << 6 | (b(1) & 0x3Fu);
    case 3:
      return (b(0) & 0x0Fu) << 12 | (b(1) & 0x3Fu) << 6 | (b(2) & 0x3Fu);
    case 4:
      return (b(0) & 0x07u) << 18 | (b(1) & 0x3Fu) << 12 | (b(2) & 0x3Fu) << 6 | (b(3) & 0x3Fu);
    default:
      return 0xFFFD;
  }
}

// The records of a hit set as an int4[] literal.
std::string RecordList(bitmap::RecordSet const& hits) {
  std::string list = "{";
  for (std::uint32_t n : hits.Members()) {
    if (list.size() > 1) list += ',';
    list += std::to_string(n);
  }
  return list + "}";
}

// The leaves of one library's stream, decoded.
struct Plan {
  std::string poland, redkey;
  std::vector<std::string_view> items;
  std::vector<search::Leaf> leaves;
};

}  // namespace

struct Session::Impl {
  std::shared_ptr<Collection::State const> state;
  std::vector<std::unique_ptr<CAnalyseExpression>> analysers;  // one per library
  std::vector<Result> history;

  // Fills the leaf hit sets of a scanned library in one pass over its records.
  Status Scan(LibraryState const& lib, std::vector<search::Leaf> const& leaves,
              std::vector<Bits>& bits, std::shared_ptr<search::Offsets const>& offsets,
              SearchOptions const& options, std::uint64_t& done, std::uint64_t total) const;
};

Session::Session(Collection const& collection) : impl_(std::make_unique<Impl>()) {
  impl_->state = collection.state_;
  if (impl_->state == nullptr) return;
  for (auto const& lib : impl_->state->libraries) {
    auto analyser = std::make_unique<CAnalyseExpression>();
    for (Field const& f : *lib->table) analyser->AddField(f.name.c_str(), f.code.c_str(), f.type);
    impl_->analysers.push_back(std::move(analyser));
  }
}

Session::~Session() = default;
Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;

std::vector<Result> const& Session::history() const {
  return impl_->history;
}

void Session::Clear() {
  impl_->history.clear();
}

Status Session::Impl::Scan(LibraryState const& lib, std::vector<search::Leaf> const& leaves,
                           std::vector<Bits>& bits, std::shared_ptr<search::Offsets const>& offsets,
                           SearchOptions const& options, std::uint64_t& done,
                           std::uint64_t total) const {
  CMrfCut cut;
  if (!cut.Open(lib.record_file.c_str(), records::kSeparator, 0)) {
    return Status(Status::kIoError, "cannot open the record file " + lib.record_file);
  }
  auto found = std::make_shared<search::Offsets>();
  std::vector<records::FieldView> fields;
  std::deque<std::pair<std::size_t, std::string>> joined;
  std::uint64_t start_done = done;
  for (;;) {
    std::uint64_t offset = cut.GetPos();
    CString text = cut.GetRecord();
    if (text.empty()) break;
    std::size_t n = found->size();
    found->push_back(offset);
    records::Views(text, fields, joined);
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      if (n % 8 == 0) bits[k].push_back(0);
      search::Leaf const& leaf = leaves[k];
      if (leaf.item.kind == expr::LeafItem::kHistory) continue;
      for (records::FieldView const& f : fields) {
        if (f.code == leaf.item.code) {
          if (search::Match(leaf, f.value))
            bits[k][n / 8] |= static_cast<unsigned char>(1u << (n % 8));
          break;
        }
      }
    }
    if (n % 256 == 255) {
      if (options.stop.stop_requested())
        return Status(Status::kCancelled, "the search was cancelled");
      done = start_done + cut.GetPos();
      if (options.progress) options.progress(done, total);
    }
  }
  done = start_done + cut.GetPos();
  if (options.progress) options.progress(done, total);
  if (!lib.Check().ok()) {
    return Status(Status::kCorrupt, lib.record_file + " changed while it was searched");
  }
  lib.SetScanned(found);
  std::shared_ptr<search::Offsets const> shared = lib.Scanned();
  offsets = *shared == *found ? shared : std::move(found);
  return Status();
}

Result Session::Search(std::string_view expression, SearchOptions const& options) {
  Result result;
  result.expression_ = std::string(expression);
  Impl& s = *impl_;
  if (s.state == nullptr || s.state->libraries.empty()) {
    result.status_ = Status(Status::kInvalid, "the collection is not open");
    return result;
  }
  auto& libraries = s.state->libraries;
  bool several = libraries.size() > 1;
  auto label = [&](std::size_t k) {
    return several ? libraries[k]->info.name + ": " : std::string();
  };
  // Analysis and leaves, library by library (each has its own fields).
  std::vector<Plan> plans(libraries.size());
  for (std::size_t k = 0; k < libraries.size(); ++k) {
    CAnalyseExpression& analyser = *s.analysers[k];
    Plan& plan = plans[k];
    if (!analyser.Analyse(result.expression_.c_str())) {
      std::string error = analyser.GetError();
      std::size_t byte = ByteOf(error);
      result.status_ = Status::Rejected(
          label(k) + "the expression is rejected: " + error, byte,
          byte == Status::npos ? Status::npos : CharsBefore(result.expression_, byte));
      return result;
    }
    plan.poland = analyser.GetPoland();
    plan.redkey = analyser.GetRedKey();
    plan.items = expr::StreamItems(plan.poland);
    for (std::string_view item : plan.items) {
      if (expr::IsOperator(item)) continue;
      expr::LeafItem leaf;
      if (!expr::DecodeLeaf(item, leaf)) {
        result.status_ = Status(Status::kRejected, label(k) + "the postfix item '" +
                                                       std::string(item) + "' is not a leaf");
        return result;
      }
      if (leaf.kind == expr::LeafItem::kHistory &&
          (leaf.history == 0 || leaf.history > s.history.size())) {
        result.status_ = Status(Status::kRejected, "no result #" + std::string(leaf.operand));
        return result;
      }
      plan.leaves.push_back(search::MakeLeaf(leaf));
    }
  }
  result.poland_ = plans[0].poland;
  result.redkey_ = plans[0].redkey;

  std::uint64_t total = 0, done = 0;
  for (auto const& lib : libraries) {
    if (!lib->indexed) total += lib->record_stamp.size;
  }
  auto data = std::make_shared<Result::Data>();
  data->state = s.state;
  data->libraries.resize(libraries.size());
  for (std::size_t k = 0; k < libraries.size(); ++k) {
    LibraryState const& lib = *libraries[k];
    Plan const& plan = plans[k];
    Result::Data::Library& out = data->libraries[k];
    if (options.stop.stop_requested()) {
      result.status_ = Status(Status::kCancelled, "the search was cancelled");
      return result;
    }
    if (Status check = lib.Check(); !check.ok()) {
      result.status_ = check;
      return result;
    }
    std::vector<Bits> bits(plan.leaves.size());
    Bits mask;
    bool masked = false;
    if (lib.pg != nullptr) {
      out.records = lib.pg->records();
      std::vector<std::string> history(plan.leaves.size());
      for (std::size_t i = 0; i < plan.leaves.size(); ++i) {
        expr::LeafItem const& item = plan.leaves[i].item;
        if (item.kind == expr::LeafItem::kHistory)
          history[i] = RecordList(s.history[item.history - 1].data_->libraries[k].hits);
      }
      Status searched =
          lib.pg->Search(plan.items, plan.leaves, history, bits, mask, masked, options.stop);
      if (!searched.ok()) {
        result.status_ = Status(searched.code(), label(k) + searched.message());
        return result;
      }
    } else if (lib.indexed) {
      out.records = lib.index.records();
      for (std::size_t i = 0; i < plan.leaves.size(); ++i) {
        if (plan.leaves[i].item.kind == expr::LeafItem::kHistory) continue;
        if (Status s = search::IndexLeafHits(lib, plan.leaves[i], bits[i]); !s.ok()) {
          result.status_ = Status(s.code(), label(k) + s.message());
          return result;
        }
      }
    } else {
      Status scanned = s.Scan(lib, plan.leaves, bits, out.offsets, options, done, total);
      if (!scanned.ok()) {
        result.status_ = Status(scanned.code(), label(k) + scanned.message());
        return result;
      }
      out.records = out.offsets->size();
    }
    // References to earlier results, and the words they marked.
    for (std::size_t i = 0; i < plan.leaves.size(); ++i) {
      expr::LeafItem const& item = plan.leaves[i].item;
      if (item.kind != expr::LeafItem::kHistory) continue;
      Result::Data::Library const& earlier = s.history[item.history - 1].data_->libraries[k];
      bits[i].assign((out.records + 7) / 8, 0);
      earlier.hits.OrInto(bits[i]);
      out.redkeys.insert(out.redkeys.end(), earlier.redkeys.begin(), earlier.redkeys.end());
      out.values.insert(out.values.end(), earlier.values.begin(), earlier.values.end());
    }
    // Records outside the bound the database answered are no hits, whatever NOT made of
    // their absence. The hits are kept in a set of their own: a few bytes each when they
    // are few, as a session keeps every result it numbered.
    if (Status evaluated =
            Evaluate(plan.items, bits, out.records, masked ? &mask : nullptr, out.hits);
        !evaluated.ok()) {
      result.status_ = Status(evaluated.code(), label(k) + evaluated.message());
      return result;
    }
    out.redkeys.insert(out.redkeys.begin(), plan.redkey);
    for (search::Leaf const& leaf : plan.leaves) {
      if (leaf.item.kind == expr::LeafItem::kValue) {
        out.values.emplace_back(std::string(leaf.item.code), std::string(leaf.item.operand));
      }
    }
  }
  result.data_ = std::move(data);
  if (options.keep) {
    result.number_ = s.history.size() + 1;
    s.history.push_back(result);
  }
  return result;
}

Result Session::SearchUtf8(std::string_view expression, SearchOptions const& options) {
  std::string gbk;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < expression.size();) {
    auto lead = static_cast<unsigned char>(expression[i]);
    std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    n = std::min(n, expression.size() - i);
    std::string_view ch = expression.substr(i, n);
    std::string out, error;
    if (!text::Utf8ToGbk(ch, out, error)) {
      Result result;
      result.expression_ = std::string(expression);
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", CodePoint(ch));
      result.status_ = Status::Rejected(std::string("the character ") + code + " at character " +
                                            std::to_string(chars + 1) + " has no GBK form",
                                        Status::npos, chars);
      return result;
    }
    gbk += out;
    i += n;
    ++chars;
  }
  return Search(gbk, options);
}

}  // namespace qel
