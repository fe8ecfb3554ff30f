// The form designer's model of a form: its control description lines in the form's
// order, read from and written to a form file, with one step of undo.
//
// A form file holds one description line per control, GBK bytes, lines ending in LF (a
// trailing CR is dropped, empty lines are ignored). Reading asks a checker whether
// CCtrlWnd::DoCreate would take each line; a line it refuses is reported by its number and
// left out, the rest are kept. A file with a NUL byte, or without any line the checker
// takes, is not a form and is refused. Saving writes the lines with CR LF to a temporary
// file beside the target and renames it into place, so the file opened is never lost.
#ifndef QEL_TOOLS_DESIGNER_FORM_H_
#define QEL_TOOLS_DESIGNER_FORM_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::designer {

// A line of a form file that was left out, with its 1-based number and the reason.
struct Skipped {
  std::size_t number = 0;
  std::string text;
  std::string reason;
};

// True when the line would make a control; otherwise false with reason set.
using Checker = std::function<bool(std::string const& line, std::string& reason)>;

class Form {
 public:
  // Reads a form from the bytes of a file. Returns false with error set (one sentence)
  // when the bytes are not a form; skipped lists the lines left out either way.
  bool Parse(std::string_view bytes, Checker const& check, std::vector<Skipped>& skipped,
             std::string& error);
  // Reads the form file at path; error names the file when it cannot be read.
  bool Load(std::string const& path, Checker const& check, std::vector<Skipped>& skipped,
            std::string& error);
  // Writes the lines to path through a temporary file renamed into place. On failure path
  // is untouched and error names the file.
  bool Save(std::string const& path, std::string& error) const;

  std::vector<std::string> const& lines() const { return lines_; }
  // Replaces the lines; the lines before the change become the undo step. A change that
  // alters nothing leaves the undo step as it was.
  void Change(std::vector<std::string> lines);
  // Replaces line i, as Change.
  void ChangeLine(std::size_t i, std::string line);
  // Adds a line at the end, as Change.
  void Add(std::string line);
  // Removes line i, as Change.
  void Remove(std::size_t i);
  // Goes back to the lines before the last change; false when there is none. An undo can
  // itself be undone.
  bool Undo();
  bool CanUndo() const { return has_undo_; }
  // True when the lines differ from the ones last loaded or saved.
  bool modified() const { return lines_ != saved_; }
  void MarkSaved() { saved_ = lines_; }

 private:
  std::vector<std::string> lines_;
  std::vector<std::string> undo_;
  std::vector<std::string> saved_;
  bool has_undo_ = false;
};

// Form file bytes of lines: each line followed by CR LF.
std::string FormBytes(std::vector<std::string> const& lines);

}  // namespace qel::designer

#endif  // QEL_TOOLS_DESIGNER_FORM_H_
