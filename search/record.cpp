#include "qelshare/record.h"

#include <algorithm>

#include "platform/text/codepage.h"
#include "platform/text/mbcs.h"
#include "qelshare/collection.h"

namespace qel {

FieldValue const* Record::Find(std::string_view code_or_name) const {
  for (FieldValue const& f : fields) {
    if (f.code == code_or_name) return &f;
  }
  if (table == nullptr) return nullptr;
  for (Field const& def : *table) {
    if (def.group() || def.name != code_or_name) continue;
    for (FieldValue const& f : fields) {
      if (f.code == def.code) return &f;
    }
    return nullptr;
  }
  return nullptr;
}

Snippet Record::Kwic(std::string_view code_or_name, std::size_t context) const {
  Snippet snippet;
  FieldValue const* f = Find(code_or_name);
  if (f == nullptr) return snippet;
  std::string_view value = f->value;
  std::size_t hit_begin = f->hits.empty() ? 0 : f->hits.front().begin;
  std::size_t hit_end = f->hits.empty() ? 0 : f->hits.front().end;
  // The line holding the hit bounds the context.
  std::size_t newline = hit_begin == 0 ? std::string_view::npos : value.rfind('\n', hit_begin - 1);
  std::size_t line_begin = newline == std::string_view::npos ? 0 : newline + 1;
  std::size_t line_end = value.find('\n', hit_end);
  if (line_end == std::string_view::npos) line_end = value.size();
  // Character starts from the line's start to the hit: the context starts `context`
  // characters before the hit.
  std::vector<std::size_t> starts;
  for (std::size_t i = line_begin; i < hit_begin; i += text::CharLength(value, i)) {
    starts.push_back(i);
  }
  std::size_t begin = starts.size() > context ? starts[starts.size() - context] : line_begin;
  std::size_t end = hit_end;
  for (std::size_t k = 0; k < context && end < line_end; ++k) end += text::CharLength(value, end);
  end = std::min(end, line_end);
  snippet.text = std::string(value.substr(begin, end - begin));
  snippet.cut_before = begin > 0;
  snippet.cut_after = end < value.size();
  for (Span const& s : f->hits) {
    if (s.begin >= begin && s.end <= end) snippet.hits.push_back({s.begin - begin, s.end - begin});
  }
  return snippet;
}

Record Record::ToUtf8() const {
  Record out;
  out.library = library;
  out.number = number;
  out.offset = offset;
  if (table != nullptr) {
    auto utf8 = std::make_shared<std::vector<Field>>(*table);
    for (Field& f : *utf8) {
      f.name = text::GbkToUtf8Lossy(f.name);
      f.code = text::GbkToUtf8Lossy(f.code);
      f.description = text::GbkToUtf8Lossy(f.description);
    }
    out.table = std::move(utf8);
  }
  for (FieldValue const& f : fields) {
    FieldValue& u = out.fields.emplace_back();
    u.code = text::GbkToUtf8Lossy(f.code);
    u.name = text::GbkToUtf8Lossy(f.name);
    // Converted piece by piece, so that each span's ends are known in the new text.
    std::size_t at = 0;
    for (Span const& s : f.hits) {
      u.value += text::GbkToUtf8Lossy(std::string_view(f.value).substr(at, s.begin - at));
      std::size_t begin = u.value.size();
      u.value += text::GbkToUtf8Lossy(std::string_view(f.value).substr(s.begin, s.end - s.begin));
      u.hits.push_back({begin, u.value.size()});
      at = s.end;
    }
    u.value += text::GbkToUtf8Lossy(std::string_view(f.value).substr(at));
  }
  return out;
}

}  // namespace qel
