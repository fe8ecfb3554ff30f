// Fuzz target: the form designer's form files (Form::Parse with the controls' grammar),
// then edits. The input is the form's bytes, optionally followed by a NUL and edit bytes
// (a form with a NUL is refused anyway, so the NUL cannot be part of a form the target
// wants): each edit byte changes, removes, adds, undoes or marks saved.
//
// What must hold: a form reads back byte for byte until it is edited; the controls'
// own descriptions of the loaded lines change nothing; whenever the lines are those last
// loaded or saved the bytes are too (Save then writes nothing); an undo of an undo
// restores the lines; and the bytes of any form with controls read back as the same
// control lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "designer/description_check.h"
#include "designer/form.h"

namespace {

using qel::designer::Form;
using qel::designer::Skipped;

// A control line the grammar takes, for additions and changes that are new text.
constexpr char kNewLine[] = "EDIT,\"new\",1,2,30,20,\"m\",\"h\",BORDER|3D";

// Reads bytes back as a form and checks that it holds the same control lines.
void ReadsBack(Form const& form) {
  std::string bytes = form.Bytes();
  Form again;
  std::vector<Skipped> skipped;
  std::string error;
  bool parsed = again.Parse(bytes, qel::designer::CheckDescription, skipped, error);
  if (form.lines().empty()) {
    if (parsed) std::abort();
    return;
  }
  if (!parsed || again.lines() != form.lines()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::string_view input(reinterpret_cast<char const*>(data), size);
  std::size_t nul = input.find('\0');
  std::string_view file = input.substr(0, nul);
  std::string_view edits =
      nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

  Form form;
  std::vector<Skipped> skipped;
  std::string error;
  // The whole input too: with a NUL it is never a form.
  if (nul != std::string_view::npos &&
      (form.Parse(input, qel::designer::CheckDescription, skipped, error) || error.empty())) {
    std::abort();
  }
  error.clear();
  if (!form.Parse(file, qel::designer::CheckDescription, skipped, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  std::size_t last = 0;
  for (Skipped const& s : skipped) {
    if (s.number <= last || s.reason.empty() || s.text.empty()) std::abort();
    last = s.number;
  }
  for (std::string const& line : form.lines()) {
    std::string reason;
    if (line.empty() || !qel::designer::CheckDescription(line, reason)) std::abort();
  }
  if (form.modified() || form.CanUndo() || form.Bytes() != file) std::abort();

  // The controls describe each line as it is written: nothing is corrected or rewritten.
  if (!form.Normalize(form.lines(), qel::designer::ReadAsWritten).empty()) std::abort();
  if (form.modified() || form.Bytes() != file) std::abort();

  std::vector<std::string> saved_lines = form.lines();
  std::string saved_bytes(file);
  std::size_t steps = 0;
  for (unsigned char op : edits) {
    if (++steps > 64) break;
    std::vector<std::string> lines = form.lines();
    std::size_t n = lines.size();
    std::size_t at = n == 0 ? 0 : (op >> 3) % n;
    switch (op & 7) {
      case 0:  // reverse the order (controls moved, texts kept)
        form.Change(std::vector<std::string>(lines.rbegin(), lines.rend()));
        break;
      case 1:
        form.Remove(at);
        break;
      case 2:  // a copy of a line, or a new one on an empty form
        form.Add(n == 0 ? std::string(kNewLine) : lines[at]);
        break;
      case 3:
        form.ChangeLine(at, kNewLine);
        break;
      case 4: {  // an undo, the redo of it, and the undo again
        if (form.Undo()) {
          std::vector<std::string> undone = form.lines();
          if (!form.Redo() || form.lines() != lines) std::abort();
          if (!form.Undo() || form.lines() != undone) std::abort();
        } else if (form.CanUndo()) {
          std::abort();
        }
        break;
      }
      case 5: {  // rotate by one: every line moves, the same texts stay
        if (n > 1) {
          std::rotate(lines.begin(), lines.begin() + 1, lines.end());
          form.Change(lines);
        }
        break;
      }
      case 6: {
        std::string before = form.Bytes();
        form.MarkSaved("form.frm");
        if (form.modified() || form.CanUndo() || form.Bytes() != before) std::abort();
        saved_lines = form.lines();
        saved_bytes = before;
        break;
      }
      default:  // the same lines again: no change, the undo step stays
        bool could = form.CanUndo();
        form.Change(lines);
        if (form.CanUndo() != could || form.lines() != lines) std::abort();
        break;
    }
    if (form.modified() != (form.lines() != saved_lines)) std::abort();
    // Lines that are the saved ones give the saved bytes, whatever edits and undos led
    // back to them; any bytes read back as the form's lines.
    if (!form.modified() && form.Bytes() != saved_bytes) std::abort();
    ReadsBack(form);
  }
  return 0;
}
