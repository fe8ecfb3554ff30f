#include "search_form.h"

#include <algorithm>
#include <cctype>

#include "platform/text/mbcs.h"

namespace qel::designer {

namespace {

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b])) != 0) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])) != 0) --e;
  return std::string(s.substr(b, e - b));
}

// The first line of text, at most chars characters of it.
std::string FirstLine(std::string_view text, std::size_t chars) {
  std::size_t end = 0;
  for (std::size_t n = 0; end < text.size() && text[end] != '\r' && text[end] != '\n' && n < chars;
       ++n) {
    end += text::CharLength(text, end);
  }
  return std::string(text.substr(0, std::min(end, text.size())));
}

// The value with its hit spans between the hit marks.
std::string Marked(std::string_view value, std::vector<qel::Span> const& spans) {
  std::string marked;
  std::size_t at = 0;
  for (qel::Span const& s : spans) {
    marked.append(value, at, s.begin - at).append(kHitOpen);
    marked.append(value, s.begin, s.end - s.begin).append(kHitClose);
    at = s.end;
  }
  return marked.append(value, at);
}

// The fields a hit list line shows as its title.
constexpr char const* kTitleCodes[] = {"TI", "AU", "SO"};

// What the hit list calls a record: its title, author and source, else the start of its
// first field.
std::string Title(qel::Record const& record) {
  std::string head;
  for (char const* code : kTitleCodes) {
    if (qel::FieldValue const* f = record.Find(code)) {
      head += (head.empty() ? "" : " \xA1\xA4 ") + FirstLine(f->value, 40);
    }
  }
  if (head.empty() && !record.fields.empty()) head = FirstLine(record.fields.front().value, 40);
  return head;
}

// Some words either side of the record's first hit word, in the first field that has one
// and is not in the title (a hit in the title only: there).
std::string Context(qel::Record const& record) {
  qel::FieldValue const* chosen = nullptr;
  for (qel::FieldValue const& f : record.fields) {
    if (f.hits.empty()) continue;
    bool titled = std::any_of(std::begin(kTitleCodes), std::end(kTitleCodes),
                              [&](char const* code) { return f.code == code; });
    if (!titled) {
      chosen = &f;
      break;
    }
    if (chosen == nullptr) chosen = &f;
  }
  if (chosen == nullptr) return {};
  qel::Snippet snippet = record.Kwic(chosen->code, 12);
  constexpr std::string_view kEllipsis = "\xA1\xAD";
  std::string text;
  if (snippet.cut_before) text = kEllipsis;
  text += Marked(snippet.text, snippet.hits);
  if (snippet.cut_after) text += kEllipsis;
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

bool SearchSession::Open(std::vector<std::string> const& bases, std::string& error,
                         std::function<void(std::uint64_t, std::uint64_t)> const& progress) {
  qel::Collection opened;
  qel::Status status = opened.Open(bases);
  for (std::size_t i = 0; status.ok() && i < opened.size(); ++i) {
    status = opened.CountRecords(i, progress);
  }
  if (!status.ok()) {
    error = status.message();
    return false;
  }
  // Results and the session point into the collection: they go before it is replaced.
  last_ = qel::Result();
  session_.reset();
  collection_ = std::move(opened);
  session_ = std::make_unique<qel::Session>(collection_);
  bases_ = bases;
  names_.clear();
  for (std::size_t i = 0; i < collection_.size(); ++i) {
    for (qel::Field const& f : collection_.library(i).fields) {
      if (std::find(names_.begin(), names_.end(), f.name) == names_.end()) names_.push_back(f.name);
    }
  }
  return true;
}

std::uint64_t SearchSession::records() const {
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < collection_.size(); ++i) {
    total += collection_.library(i).records.value_or(0);
  }
  return total;
}

std::string SearchSession::DisplayName(std::size_t library, std::string const& code) const {
  if (library >= collection_.size()) return code;
  std::string first;
  for (qel::Field const& f : collection_.library(library).fields) {
    if (f.group() || f.code != code) continue;
    bool chinese = std::any_of(f.name.begin(), f.name.end(),
                               [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (chinese == chinese_names_) return f.name;
    if (first.empty()) first = f.name;
  }
  return first.empty() ? code : first;
}

void SearchSession::Clear() {
  if (session_ != nullptr) session_->Clear();
  last_ = qel::Result();
}

bool SearchSession::IsField(std::string_view name) const {
  return !name.empty() && std::find(names_.begin(), names_.end(), name) != names_.end();
}

std::string SearchSession::BuildExpression(
    std::vector<std::pair<std::string, std::string>> const& edits) const {
  std::string out;
  for (auto const& [mark, text] : edits) {
    std::string value = Trim(text);
    if (value.empty() || !IsField(mark)) continue;
    if (!out.empty()) out += " AND ";
    bool plain = value.find_first_of(" ()") == std::string::npos;
    out += (plain ? value : "(" + value + ")") + "/" + mark;
  }
  return out;
}

SearchSession::Result SearchSession::Search(std::string const& expression, bool again) {
  Result result;
  std::string typed = Trim(expression);
  std::size_t kept = session_ == nullptr ? 0 : session_->history().size();
  if (session_ == nullptr) {
    result.error = "no library is open";
    return result;
  }
  result.expression = typed;
  if (again && kept > 0) {
    result.expression = '#' + std::to_string(kept);
    result.expression.append(" AND (").append(typed).append(")");
  }
  qel::Result found = session_->Search(result.expression);
  if (!found.ok()) {
    result.error = found.status().message();
    // The place counts characters of what was typed, not of the "#N AND (" before it.
    std::size_t place = found.status().char_offset();
    std::size_t before = result.expression.size() - typed.size() - (result.expression != typed);
    if (place != qel::Status::npos && place >= before) result.error_char = place - before;
    return result;
  }
  typed_.erase(std::remove(typed_.begin(), typed_.end(), typed), typed_.end());
  typed_.push_back(typed);
  result.hits = found.count();
  last_ = std::move(found);
  result.ok = true;
  return result;
}

std::vector<HitRow> SearchSession::Rows(std::uint64_t first, std::size_t n) const {
  std::vector<HitRow> rows;
  if (!last_.ok()) return rows;
  std::vector<qel::Hit> hits = last_.Hits(first, n);
  rows.reserve(hits.size());
  for (qel::Hit const& hit : hits) {
    HitRow row;
    row.library = hit.library;
    row.record = hit.record;
    row.number = std::to_string(hit.record + 1);
    if (collection_.size() > 1)
      row.number = collection_.library(hit.library).name + " " + row.number;
    qel::Record record;
    if (last_.Read(hit, record).ok()) {
      row.title = Title(record);
      row.context = Context(record);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

bool SearchSession::Record(HitRow const& row, Fields& fields) const {
  qel::Record r;
  if (!last_.ok() || !last_.Read({row.library, row.record, 0}, r).ok()) return false;
  fields.clear();
  for (qel::FieldValue const& f : r.fields) {
    fields.emplace_back(DisplayName(row.library, f.code), Marked(f.value, f.hits));
  }
  return true;
}

std::string SearchForm::Tr(char const* english, std::initializer_list<std::string> args) const {
  std::string text = translate_ ? translate_(english) : std::string(english);
  // %1 .. %9 stand for the arguments, wherever the translation puts them.
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t n = i + 1 < text.size() ? static_cast<std::size_t>(text[i + 1] - '1') : 9;
    if (text[i] == '%' && n < args.size()) {
      out += *(args.begin() + n);
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::size_t SearchForm::Find(std::string_view mark) const {
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i].mark == mark) return i;
  }
  return kNone;
}

bool SearchForm::IsList(std::size_t i) const {
  if (i >= controls_.size()) return false;
  std::string type = controls_[i].type;
  for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return type == "LIST";
}

void SearchForm::Run(bool again) {
  std::size_t edit = Find("_SYS_ED_EXP");
  if (edit == kNone) {
    surface_.Status(Tr("the form has no expression box (mark _SYS_ED_EXP)"), true);
    return;
  }
  if (std::string why = surface_.Unconvertible(edit); !why.empty()) {
    surface_.Status(why, true);
    return;
  }
  std::string typed = surface_.Text(edit);
  if (Trim(typed).empty()) {
    Forget();
    surface_.Status(Tr("the expression is empty"), true);
    return;
  }
  SearchSession::Result result = session_.Search(typed, again);
  if (!result.ok) {
    // The hits of an earlier search would read as this one's: the lists are emptied.
    Forget();
    surface_.Status(result.error, true);
    if (result.error_char != kNone) surface_.MarkError(edit, result.error_char);
    return;
  }
  rows_ = result.hits;
  open_row_ = -1;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (IsList(i)) surface_.SetHits(i, rows_, result.expression);
  }
  surface_.Status(
      Tr("%1 hits in %2 records: %3",
         {std::to_string(result.hits), std::to_string(session_.records()), result.expression}),
      false);
}

void SearchForm::Forget() {
  rows_ = 0;
  open_row_ = -1;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (IsList(i)) surface_.SetHits(i, 0, {});
  }
}

void SearchForm::Entered() {
  std::size_t ok = Find("_SYS_BT_OK");
  if (ok != kNone) {
    Clicked(ok);
  } else {
    Run(false);
  }
}

void SearchForm::Clicked(std::size_t i) {
  if (i >= controls_.size()) return;
  std::string const& mark = controls_[i].mark;
  if (mark == "_SYS_BT_OK") {
    bool again = false;
    for (std::size_t k = 0; k < controls_.size(); ++k) {
      if (controls_[k].mark == "_SYS_CK_AGAIN" && surface_.Checked(k)) again = true;
    }
    Run(again);
  } else if (mark == "_SYS_BT_AGAIN") {
    Run(true);
  } else if (mark == "_SYS_BT_CLEAR") {
    for (std::size_t k = 0; k < controls_.size(); ++k) {
      if (controls_[k].mark == "_SYS_ED_EXP" || session_.IsField(controls_[k].mark)) {
        surface_.SetText(k, "");
      }
    }
    Forget();
    session_.Clear();
    surface_.Status("", false);
  } else if (mark == "_SYS_BT_HISTORY") {
    std::size_t edit = Find("_SYS_ED_EXP");
    if (session_.history().empty()) {
      surface_.Status(Tr("no expression searched yet"), false);
      return;
    }
    int pick = surface_.Choose(Tr("Earlier expressions"), session_.history());
    if (pick >= 0 && edit != kNone && static_cast<std::size_t>(pick) < session_.history().size()) {
      surface_.SetText(edit, session_.history()[static_cast<std::size_t>(pick)]);
    }
  } else if (mark == "_SYS_BT_BUILDEXP") {
    std::vector<std::pair<std::string, std::string>> edits;
    for (std::size_t k = 0; k < controls_.size(); ++k) {
      if (session_.IsField(controls_[k].mark))
        edits.emplace_back(controls_[k].mark, surface_.Text(k));
    }
    std::string expression = session_.BuildExpression(edits);
    if (expression.empty()) {
      surface_.Status(Tr("fill in at least one field box to build an expression"), true);
      return;
    }
    std::size_t edit = Find("_SYS_ED_EXP");
    if (edit != kNone) surface_.SetText(edit, expression);
  } else if (mark == "_SYS_BT_CANCEL") {
    surface_.Close();
  }
}

void SearchForm::Opened(std::size_t i, int row) {
  if (!IsList(i) || row < 0 || static_cast<std::uint64_t>(row) >= rows_) return;
  std::vector<HitRow> hit = session_.Rows(static_cast<std::uint64_t>(row), 1);
  Fields fields;
  if (hit.empty() || !session_.Record(hit.front(), fields)) {
    surface_.Status(Tr("cannot read hit %1", {std::to_string(row + 1)}), true);
    return;
  }
  open_list_ = i;
  open_row_ = row;
  surface_.ShowRecord(hit.front().Label(), fields, static_cast<std::size_t>(row), rows_);
}

bool SearchForm::OpenNext(int delta) {
  if (open_list_ == kNone || open_row_ < 0) return false;
  long long row = static_cast<long long>(open_row_) + delta;
  if (row < 0 || static_cast<std::uint64_t>(row) >= rows_) return false;
  Opened(open_list_, static_cast<int>(row));
  return true;
}

}  // namespace qel::designer
