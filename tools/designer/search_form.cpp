#include "search_form.h"

#include <algorithm>
#include <cctype>

#include "qelshare/CQel2000.h"
#include "qelshare/CStringArr.h"

namespace qel::designer {

namespace {

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b])) != 0) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])) != 0) --e;
  return std::string(s.substr(b, e - b));
}

bool Bit(retrieval::Bits const& bits, std::size_t i) {
  return (bits[i / 8] >> (i % 8) & 1) != 0;
}

}  // namespace

bool SearchSession::Open(std::string const& base, std::string& error) {
  if (!library_.Open(base, error)) return false;
  CQel2000 descriptor;
  CStringArr names, codes, descriptions, members;
  CByteArray types;
  if (descriptor.Open(base.c_str()) &&
      descriptor.GetField(&names, &codes, &types, &descriptions, &members)) {
    for (int i = 0; i < names.GetSize(); ++i) {
      if (char const* name = names.Get(i)) names_.emplace_back(name);
    }
  }
  return true;
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
  result.expression = again && !results_.empty()
                          ? "#" + std::to_string(results_.size()) + " AND (" + typed + ")"
                          : typed;
  retrieval::Outcome outcome = library_.Search(result.expression, &results_);
  if (!outcome.ok) {
    result.error = outcome.error;
    return result;
  }
  typed_.erase(std::remove(typed_.begin(), typed_.end(), typed), typed_.end());
  typed_.push_back(typed);
  redkey_ = outcome.redkey;
  for (std::size_t i = 0; i < library_.size(); ++i) {
    if (!Bit(outcome.hits, i)) continue;
    ++result.hits;
    if (result.rows.size() >= kRows) continue;
    retrieval::Record record;
    std::string label("[");
    label += std::to_string(i + 1);
    label += ']';
    if (library_.ReadRecord(i, record)) {
      std::string head;
      for (char const* code : {"TI", "AU", "SO"}) {
        if (std::string const* v = record.Find(code)) {
          head += (head.empty() ? "" : " \xA1\xA4 ") + v->substr(0, v->find('\n'));
        }
      }
      if (head.empty() && !record.fields.empty()) {
        std::string const& v = record.fields.front().second;
        head = v.substr(0, std::min<std::size_t>(v.find('\n'), 60));
      }
      label += " " + head;
    }
    result.rows.push_back({i, std::move(label)});
  }
  results_.push_back(std::move(outcome.hits));
  result.ok = true;
  return result;
}

bool SearchSession::Record(std::size_t record, std::string_view open, std::string_view close,
                           Fields& fields) const {
  retrieval::Record r;
  if (!library_.ReadRecord(record, r)) return false;
  auto terms = retrieval::HighlightTerms(redkey_, library_.codes());
  fields.clear();
  for (auto const& [code, value] : r.fields) {
    std::vector<std::string> mine;
    for (auto const& [c, w] : terms) {
      if (c == code) mine.push_back(w);
    }
    fields.emplace_back(code, retrieval::Mark(value, mine, open, close));
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
  SearchSession::Result result = session_.Search(surface_.Text(edit), again);
  if (!result.ok) {
    surface_.Status(result.error, true);
    return;
  }
  rows_ = std::move(result.rows);
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
  surface_.ShowRecord(hit.label, fields);
}

}  // namespace qel::designer
