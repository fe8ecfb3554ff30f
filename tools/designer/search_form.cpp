#include "search_form.h"

#include <algorithm>
#include <cctype>

namespace qel::designer {

namespace {

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b])) != 0) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])) != 0) --e;
  return std::string(s.substr(b, e - b));
}

}  // namespace

bool SearchSession::Open(std::string const& base, std::string& error,
                         std::function<void(std::uint64_t, std::uint64_t)> const& progress) {
  qel::Status status = collection_.Open(base);
  if (status.ok()) status = collection_.CountRecords(0, progress);
  if (!status.ok()) {
    error = status.message();
    return false;
  }
  session_ = std::make_unique<qel::Session>(collection_);
  for (qel::Field const& f : collection_.library(0).fields) names_.push_back(f.name);
  return true;
}

std::size_t SearchSession::records() const {
  return collection_.size() == 0 ? 0 : collection_.library(0).records.value_or(0);
}

std::string SearchSession::DisplayName(std::string const& code) const {
  if (collection_.size() == 0) return code;
  std::string first;
  for (qel::Field const& f : collection_.library(0).fields) {
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
  if (typed.empty()) {
    result.error = "the expression is empty";
    return result;
  }
  std::size_t kept = session_ == nullptr ? 0 : session_->history().size();
  if (session_ == nullptr) {
    result.error = "no library is open";
    return result;
  }
  result.expression =
      again && kept > 0 ? "#" + std::to_string(kept) + " AND (" + typed + ")" : typed;
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
  for (qel::Hit const& hit : found.Hits(0, kRows)) {
    qel::Record record;
    std::string label("[");
    label += std::to_string(hit.record + 1);
    label += ']';
    if (found.Read(hit, record).ok()) {
      std::string head;
      for (char const* code : {"TI", "AU", "SO"}) {
        if (qel::FieldValue const* f = record.Find(code)) {
          head += (head.empty() ? "" : " \xA1\xA4 ") + f->value.substr(0, f->value.find('\n'));
        }
      }
      if (head.empty() && !record.fields.empty()) {
        std::string const& v = record.fields.front().value;
        head = v.substr(0, std::min<std::size_t>(v.find('\n'), 60));
      }
      label += " " + head;
    }
    result.rows.push_back({hit.record, std::move(label)});
  }
  last_ = std::move(found);
  result.ok = true;
  return result;
}

bool SearchSession::Record(std::size_t record, std::string_view open, std::string_view close,
                           Fields& fields) const {
  qel::Record r;
  if (!last_.Read({0, static_cast<std::uint32_t>(record), 0}, r).ok()) return false;
  fields.clear();
  for (qel::FieldValue const& f : r.fields) {
    std::string marked;
    std::size_t at = 0;
    for (qel::Span const& s : f.hits) {
      marked.append(f.value, at, s.begin - at).append(open);
      marked.append(f.value, s.begin, s.end - s.begin).append(close);
      at = s.end;
    }
    fields.emplace_back(DisplayName(f.code), marked.append(f.value, at));
  }
  return true;
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
    surface_.Status("the form has no expression box (mark _SYS_ED_EXP)", true);
    return;
  }
  if (std::string why = surface_.Unconvertible(edit); !why.empty()) {
    surface_.Status(why, true);
    return;
  }
  SearchSession::Result result = session_.Search(surface_.Text(edit), again);
  if (!result.ok) {
    // The hits of an earlier search would read as this one's: the lists are emptied.
    rows_.clear();
    open_row_ = -1;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      if (IsList(i)) surface_.SetRows(i, {});
    }
    surface_.Status(result.error, true);
    if (result.error_char != kNone) surface_.MarkError(edit, result.error_char);
    return;
  }
  rows_ = std::move(result.rows);
  open_row_ = -1;
  std::vector<std::string> labels;
  labels.reserve(rows_.size());
  for (auto const& hit : rows_) labels.push_back(hit.label);
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (IsList(i)) surface_.SetRows(i, labels);
  }
  std::string status = std::to_string(result.hits) + " hits in " +
                       std::to_string(session_.records()) + " records: " + result.expression;
  if (result.hits > rows_.size()) status += " (first " + std::to_string(rows_.size()) + " shown)";
  surface_.Status(status, false);
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
      if (IsList(k)) surface_.SetRows(k, {});
    }
    rows_.clear();
    open_row_ = -1;
    session_.Clear();
    surface_.Status("", false);
  } else if (mark == "_SYS_BT_HISTORY") {
    std::size_t edit = Find("_SYS_ED_EXP");
    if (session_.history().empty()) {
      surface_.Status("no expression searched yet", false);
      return;
    }
    int pick = surface_.Choose("Earlier expressions", session_.history());
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
      surface_.Status("fill in at least one field box to build an expression", true);
      return;
    }
    std::size_t edit = Find("_SYS_ED_EXP");
    if (edit != kNone) surface_.SetText(edit, expression);
  } else if (mark == "_SYS_BT_CANCEL") {
    surface_.Close();
  }
}

void SearchForm::Opened(std::size_t i, int row) {
  if (!IsList(i) || row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return;
  SearchSession::Hit const& hit = rows_[static_cast<std::size_t>(row)];
  Fields fields;
  if (!session_.Record(hit.record, kOpen, kClose, fields)) {
    surface_.Status("cannot read record " + std::to_string(hit.record + 1), true);
    return;
  }
  open_list_ = i;
  open_row_ = row;
  surface_.ShowRecord(hit.label, fields, static_cast<std::size_t>(row), rows_.size());
}

bool SearchForm::OpenNext(int delta) {
  if (open_list_ == kNone || open_row_ < 0) return false;
  long long row = static_cast<long long>(open_row_) + delta;
  if (row < 0 || row >= static_cast<long long>(rows_.size())) return false;
  Opened(open_list_, static_cast<int>(row));
  return true;
}

}  // namespace qel::designer
