// The working search form: a form's controls in run mode, bound to the search functions
// by their system marks, over one retrieval library.
//
//   "_SYS_ED_EXP"       the expression edit box
//   "_SYS_BT_OK"        searches the expression (within the previous result when a
//                       "_SYS_CK_AGAIN" check box is ticked)
//   "_SYS_BT_AGAIN"     searches the expression within the previous result
//   "_SYS_BT_CLEAR"     empties the expression, the field edit boxes and the hit list, and
//                       forgets the results (the next search is not within them)
//   "_SYS_BT_HISTORY"   offers the expressions searched so far; the one chosen is put back
//   "_SYS_BT_BUILDEXP"  writes an expression from the edit boxes whose mark is a field
//                       name of the library: "text/field" joined with AND
//   "_SYS_BT_CANCEL"    closes the form
// A "LIST" control shows every hit, read as it comes into view: the record number, the
// title and the context of the first hit word; a double click (or Enter) on one opens its
// record with the highlighted words marked. A rejected expression shows its reason.
//
// The searches go through the library's search API (qel::Collection and qel::Session), as
// `qel search` does; a search within the previous result is the expression "#N AND (EXPR)"
// over the session's results.
#ifndef QEL_TOOLS_DESIGNER_SEARCH_FORM_H_
#define QEL_TOOLS_DESIGNER_SEARCH_FORM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "design.h"
#include "qelshare/search.h"

namespace qel::designer {

// The marks around a hit word in a hit's context and in a record's fields.
inline constexpr std::string_view kHitOpen = "\x01";
inline constexpr std::string_view kHitClose = "\x02";

// A record's fields, hit words between kHitOpen and kHitClose.
using Fields = std::vector<std::pair<std::string, std::string>>;

// A line of the hit list, GBK.
struct HitRow {
  std::size_t library = 0;
  std::uint32_t record = 0;  // 0-based
  std::string number;        // the record number for people: "12", or "poems 12" among several
  std::string title;         // the title, else the start of the record's first field
  std::string context;       // around the first hit word, hit words between kHitOpen and kHitClose
  // "[12] title", the record view's title.
  std::string Label() const { return "[" + number + "] " + title; }
};

// Searches of the libraries ticked, with the history of expressions and results.
class SearchSession {
 public:
  struct Result {
    bool ok = false;
    std::string error;               // why the expression was refused
    std::size_t error_char = kNone;  // where, in characters of the expression typed
    std::string expression;          // what was searched, with the "#N AND" of a search again
    std::uint64_t hits = 0;
  };

  // Opens the libraries at the BASE paths to be searched together, counting the records
  // of those without an index (progress is told the bytes of the record file read). False
  // with error set to one sentence naming the library at fault; the libraries open before
  // stay open then. Results and refinements of the libraries before are forgotten.
  bool Open(std::vector<std::string> const& bases, std::string& error,
            std::function<void(std::uint64_t done, std::uint64_t total)> const& progress = {});
  bool Open(std::string const& base, std::string& error,
            std::function<void(std::uint64_t done, std::uint64_t total)> const& progress = {}) {
    return Open(std::vector<std::string>{base}, error, progress);
  }
  // The base paths open, in order.
  std::vector<std::string> const& bases() const { return bases_; }
  // Searches a GBK expression; with again, within the previous result (a plain search
  // when there is none yet).
  Result Search(std::string const& expression, bool again);
  // Expressions typed so far, oldest first, each once.
  std::vector<std::string> const& history() const { return typed_; }
  // Names fields in records by their Chinese registry names (题名, 作者) rather than the
  // first name the registry gives (for a user whose language is not Chinese).
  void SetChineseNames(bool chinese) { chinese_names_ = chinese; }
  // The name a record of library shows for a field code: a registry name, else the code.
  std::string DisplayName(std::size_t library, std::string const& code) const;
  // Starts the history with expressions of earlier runs, oldest first.
  void SetHistory(std::vector<std::string> typed) { typed_ = std::move(typed); }
  // True when name is a field name of the library.
  bool IsField(std::string_view name) const;
  // "text1/field1 AND text2/field2 ..." of the (mark, text) pairs whose mark is a field
  // name and whose text is not blank; empty when there is none.
  std::string BuildExpression(std::vector<std::pair<std::string, std::string>> const& edits) const;
  // Lines first .. first + n - 1 of the last search's hit list (fewer at its end), each
  // record read for its title and context; a record that cannot be read gives its number
  // and an empty title.
  std::vector<HitRow> Rows(std::uint64_t first, std::size_t n) const;
  // The fields of a hit of the last search, by display name, with the words it
  // highlighted marked; false when the record cannot be read.
  bool Record(HitRow const& row, Fields& fields) const;
  // Records of the libraries open.
  std::uint64_t records() const;
  // Forgets the results searched so far: the next search within the last result is a plain
  // search.
  void Clear();

 private:
  qel::Collection collection_;
  std::unique_ptr<qel::Session> session_;
  qel::Result last_;
  std::vector<std::string> bases_;
  std::vector<std::string> typed_;
  std::vector<std::string> names_;  // field names of every library open
  bool chinese_names_ = true;
};

// The form's controls as the search form reads and changes them, by index in the form.
class Surface {
 public:
  virtual ~Surface() = default;
  virtual std::string Text(std::size_t i) = 0;  // GBK
  virtual void SetText(std::size_t i, std::string const& text) = 0;
  virtual bool Checked(std::size_t i) = 0;
  // Shows the count hits of the last search, the expression searched, in hit list i
  // (SearchSession::Rows reads them); an empty expression empties the list.
  virtual void SetHits(std::size_t i, std::uint64_t count, std::string const& expression) = 0;
  // A line for the user: the hit count, or an error when error is true.
  virtual void Status(std::string const& text, bool error) = 0;
  // Lets the user pick one of items; -1 when none is picked.
  virtual int Choose(std::string const& title, std::vector<std::string> const& items) = 0;
  // Shows a record: hit `number` (from 0) of `count` listed.
  virtual void ShowRecord(std::string const& title, Fields const& fields, std::size_t number,
                          std::size_t count) = 0;
  virtual void Close() = 0;
  // Why the text of control i has no GBK form (one sentence naming the first character
  // that has none), or empty when it has one.
  virtual std::string Unconvertible(std::size_t /*i*/) { return {}; }
  // Shows where the text of control i went wrong: a character offset.
  virtual void MarkError(std::size_t /*i*/, std::size_t /*character*/) {}
};

// One control of the form: its kind and its mark.
struct Binding {
  std::string type;
  std::string mark;
};

class SearchForm {
 public:
  SearchForm(SearchSession& session, std::vector<Binding> controls, Surface& surface)
      : session_(session), controls_(std::move(controls)), surface_(surface) {}
  // Control i was clicked (a button, a check box, an icon button).
  void Clicked(std::size_t i);
  // Enter was pressed in the expression box: a search, as the search button does.
  void Entered();
  // Row of the hit list control i was double-clicked (-1: none selected).
  void Opened(std::size_t i, int row);
  // Opens the hit delta rows after (or before) the one open in the record view; false
  // when there is none that way.
  bool OpenNext(int delta);
  // The control bound to a mark, or kNone (first in form order).
  std::size_t Find(std::string_view mark) const;

  // Empties the hit lists and forgets the record on view (the libraries searched changed,
  // or a search failed or was cleared).
  void Forget();
  // The form's own texts are English; translate gives one in the person's language (GBK),
  // keeping the %1, %2 ... that stand for what is filled in.
  void SetTranslator(std::function<std::string(char const* english)> translate) {
    translate_ = std::move(translate);
  }

 private:
  std::string Tr(char const* english, std::initializer_list<std::string> args = {}) const;
  void Run(bool again);
  bool IsList(std::size_t i) const;

  SearchSession& session_;
  std::function<std::string(char const*)> translate_;
  std::vector<Binding> controls_;
  Surface& surface_;
  std::uint64_t rows_ = 0;         // hits listed
  std::size_t open_list_ = kNone;  // the list and row of the record on view
  int open_row_ = -1;
};

}  // namespace qel::designer

#endif  // QEL_TOOLS_DESIGNER_SEARCH_FORM_H_
