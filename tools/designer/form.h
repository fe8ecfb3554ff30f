// The form designer's model of a form: its control description lines in the form's
// order, read from and written to a form file, with one step of undo.
//
// A form file holds one description line per control, GBK bytes, lines ending in LF or
// CR LF. Reading asks a checker whether CCtrlWnd::DoCreate would take each line; a line it
// refuses (and an empty line) makes no control, is reported by its number, and is kept in
// the file where it stands. A file with a NUL byte, or without any line the checker takes,
// is not a form and is refused.
//
// The form is the user's file: saving rewrites only the controls that changed. A control
// whose description reads back as it was loaded keeps its line's bytes; a changed or new
// one is written in the file's own line end (CR LF for a new file); the lines that make no
// control stay before the control they preceded. Saving an unchanged form writes nothing.
// The new file is written durably beside the target and renamed into place, so the file
// opened is never lost.
#ifndef QEL_TOOLS_DESIGNER_FORM_H_
#define QEL_TOOLS_DESIGNER_FORM_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qel::designer {

// A line of a form file that was left out, with its 1-based number and the reason.
struct Skipped {
  std::size_t number = 0;
  std::string text;
  std::string reason;
};

// A control line that the controls read differently from what the file says (a negative
// width, a coordinate that is not a number): its 1-based number, the line, and how it
// reads.
struct Corrected {
  std::size_t number = 0;
  std::string text;
  std::string read_as;
};

// True when the line would make a control; otherwise false with reason set.
using Checker = std::function<bool(std::string const& line, std::string& reason)>;

class Form {
 public:
  // Reads a form from the bytes of a file. Returns false with error set (one sentence)
  // when the bytes are not a form; skipped lists the lines left out either way.
  bool Parse(std::string_view bytes, Checker const& check, std::vector<Skipped>& skipped,
             std::string& error);
  // Empties the form: no control, no file behind it (new lines end in CR LF).
  void Reset();
  // Reads the form file at path; error names the file when it cannot be read.
  bool Load(std::string const& path, Checker const& check, std::vector<Skipped>& skipped,
            std::string& error);
  // Sets the descriptions the controls give back for the lines just loaded (CCtrlWnd::
  // GetString of each, in order): they become the lines and the state "not modified", and
  // a control whose description still reads so when saved keeps its line's bytes. Returns
  // the lines that read differently from the file (same tells which differences are the
  // controls' own rules rather than corrections).
  std::vector<Corrected> Normalize(
      std::vector<std::string> described,
      std::function<bool(std::string const& written, std::string const& read)> const& same = {});
  // Writes the form to path (see above) through a temporary file renamed into place; when
  // path is the file loaded and nothing changed, nothing is written. On failure path is
  // untouched and error names the file.
  bool Save(std::string const& path, std::string& error) const;
  // The bytes Save writes.
  std::string Bytes() const;

  std::vector<std::string> const& lines() const { return lines_; }
  // Replaces the lines; the lines before the change become the undo step. A change that
  // alters nothing leaves the undo step as it was. With amend, the change completes the
  // last one (a paste, then the move of what was pasted): one Undo takes back both.
  void Change(std::vector<std::string> lines, bool amend = false);
  // Replaces line i, as Change.
  void ChangeLine(std::size_t i, std::string line);
  // Adds a line at the end, as Change.
  void Add(std::string line);
  // Removes line i, as Change.
  void Remove(std::size_t i);
  // Goes back to the lines before the last change not undone yet; false when there is
  // none. Saving starts the steps afresh.
  bool Undo();
  // Goes forward again to the lines an Undo left; false when there are none. A change
  // after an Undo ends the way forward.
  bool Redo();
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  // Steps of undo kept, the oldest dropped first.
  static constexpr std::size_t kUndoSteps = 100;
  // True when the lines differ from the ones last loaded or saved.
  bool modified() const { return lines_ != saved_; }
  // Takes what was last saved as the file loaded (path is where it went).
  void MarkSaved(std::string const& path);

 private:
  // A line of the loaded file that makes no control, and how many control lines came
  // before it.
  struct Kept {
    std::size_t before = 0;
    std::string bytes;  // with its line end
  };
  // Lines that are again the ones last loaded or saved stand for those very lines, in
  // order: copies of one line that traded places in edits and undos would otherwise move
  // the lines that make no control, and an unchanged form would not save as it was.
  void SettleIdentities();
  // The file's lines as Save writes them: bytes, and the control index (or npos).
  std::vector<std::pair<std::string, std::size_t>> Layout() const;
  std::vector<std::string> lines_;
  // Which loaded control line each line stands for (kNew for a control added since), so
  // that a control keeps its bytes and its place among the lines that make no control.
  static constexpr std::size_t kNew = static_cast<std::size_t>(-1);
  std::vector<std::size_t> ids_;
  struct Step {
    std::vector<std::string> lines;
    std::vector<std::size_t> ids;
  };
  std::vector<Step> undo_, redo_;
  std::vector<std::string> saved_;
  // The loaded file: the bytes of each control line (with its line end), the description
  // it reads as, the lines that make no control, the line end of the file, its path.
  std::vector<std::string> raw_;
  std::vector<std::string> read_as_;
  std::vector<std::size_t> numbers_;
  std::vector<Kept> kept_;
  std::string eol_ = "\r\n";
  std::string loaded_bytes_;
  std::string loaded_path_;
};

// Form file bytes of lines: each line followed by CR LF (a new form).
std::string FormBytes(std::vector<std::string> const& lines);

}  // namespace qel::designer

#endif  // QEL_TOOLS_DESIGNER_FORM_H_
