// qel-designer's window: a form on a host window, in design mode (the form designer) or
// in run mode (the working search form).
//
// Design mode gives each line a CCtrlWnd with its CCtrlSizeWnd frame: a click selects a
// control and activates its frame, Ctrl+click adds it to the selection, dragging one
// selected control moves the others along (Simulate), the frame's edges resize, a
// Shift-drag drops the control where the button is released; the order view numbers the
// controls in click order. A palette adds each kind in free space, a property panel edits
// caption, mark, help, style words and place; the Format menu lines up and sizes the
// selection by its active control and snaps drags to a grid; Copy, Paste and Duplicate
// add controls beside their originals; Ctrl+Z undoes and Ctrl+S saves.
// Run mode creates the same lines as working controls bound by their marks (SearchForm).
#ifndef QEL_TOOLS_DESIGNER_FORM_WINDOW_H_
#define QEL_TOOLS_DESIGNER_FORM_WINDOW_H_

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "design.h"
#include "form.h"
#include "qelshare/CCtrlSizeWnd.h"
#include "qelshare/CCtrlWnd.h"
#include "search_form.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

class QScrollArea;
class QSpinBox;
class QDialog;
class QTextBrowser;

namespace qel::designer {

class FormWindow;
class HitList;

// The parent window of the form's controls: hands their notifications to the window.
class FormHost : public CWnd {
 public:
  explicit FormHost(FormWindow& owner) : owner_(owner) {}

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  FormWindow& owner_;
};

class FormWindow : public QMainWindow, private Surface {
 public:
  // An empty window; Open fills it. run chooses the search form; library is its BASE.
  FormWindow(bool run, std::string library);
  ~FormWindow() override;

  // Reads the form file (a local path); false with error when it is not a form. Lines
  // that no control can be made of are shown above the form and left out.
  bool Open(std::string const& path, std::string& error);
  // Opens the library of the search form; false with error.
  bool OpenLibrary(std::string& error);
  // Opens the libraries at bases for the search form, searched together; false with error.
  bool OpenLibraries(std::vector<std::string> const& bases, std::string& error);
  // Run mode: asks for libraries (.qel descriptors) and adds them (AddLibraries).
  void ChooseLibraries();
  // Run mode: adds the libraries at paths (descriptors or base paths) and searches them with
  // those ticked; when one cannot be opened, says why in the status line and searches the
  // libraries it searched before (false).
  bool AddLibraries(QStringList const& paths);
  // Run mode: searches the libraries whose ticks are true (in the order opened); when one
  // cannot be opened, says why and searches the libraries it searched before.
  void SetTicks(std::vector<bool> const& ticks);

  // For tests and screenshots.
  Form& form() { return form_; }
  Selection const& selection() const { return selection_; }
  SearchSession const& session() const { return session_; }
  std::vector<Skipped> const& skipped() const { return skipped_; }
  CCtrlWnd* control(std::size_t i) { return i < controls_.size() ? controls_[i].get() : nullptr; }
  CCtrlSizeWnd* frame(std::size_t i) { return i < frames_.size() ? frames_[i].get() : nullptr; }
  CWnd* host() { return &host_; }
  bool ordering() const { return ordering_; }
  void SetOrdering(bool on);
  // Selects control i (with Ctrl: adds it), as a click does.
  void Select(std::size_t i, bool ctrl);
  // Adds a control of kind from the palette, in free space.
  void AddControl(std::string_view kind);
  // Lines up or sizes the selection as the active control (the Format menu).
  void ArrangeSelection(Arrangement arrangement);
  // The selected controls' lines, on the clipboard as text (one line each).
  void Copy();
  // Adds the clipboard's description lines as new controls, selected, a little below and
  // right of where they were; lines that make no control are left out.
  void Paste();
  // Copies the selection and pastes it, without the clipboard.
  void Duplicate();
  // Whether a drag ends with the moved controls on the grid.
  void SetSnapToGrid(bool on) { snap_ = on; }
  bool Save(std::string& error);
  // Saves to path, which becomes the form's file.
  bool SaveAs(std::string const& path, std::string& error);
  // A blank form, with no file yet.
  void New();
  void Undo();
  void Redo();
  // Types text into the expression box and presses the search button (run mode).
  void Search(std::string const& expression);
  SearchForm* search() { return search_.get(); }
  // Run mode: the hit list standing in LIST control i, or null.
  HitList* hit_list(std::size_t i) const;
  // The status line's text.
  QString StatusText() const;

  // Notifications from the host.
  void Notified(UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Surface of the search form.
  std::string Text(std::size_t i) override;
  void SetText(std::size_t i, std::string const& text) override;
  bool Checked(std::size_t i) override;
  void SetHits(std::size_t i, std::uint64_t count, std::string const& expression) override;
  void Status(std::string const& text, bool error) override;
  int Choose(std::string const& title, std::vector<std::string> const& items) override;
  void ShowRecord(std::string const& title, Fields const& fields, std::size_t number,
                  std::size_t count) override;
  // Scrolls the record view to its next (delta 1) or previous (-1) hit word.
  void ShowHit(int delta);
  void Close() override;
  std::string Unconvertible(std::size_t i) override;
  void MarkError(std::size_t i, std::size_t character) override;

  void BuildMenus();
  void BuildProperties();
  // Destroys the controls and makes them again from the form's lines.
  void Rebuild();
  // Grows the design area to hold every control with a margin (it never shrinks while a
  // form is open, so a drag does not make it jump).
  void FitCanvas();
  // Moves the dragged controls back into the design area when one of them left it by its
  // left or top edge, where it could no longer be grabbed.
  void KeepInside(std::vector<std::size_t> const& dragged);
  // Every control's rectangle in the design area.
  std::vector<Rect> Rects();
  // Moves and sizes the controls whose rectangles changed, then makes the form's lines
  // of them (as part of the last change with amend) and keeps the selection.
  void PlaceControls(std::vector<Rect> const& rects, bool amend = false);
  // Adds lines as new controls moved by (dx, dy) and selects them.
  void AddLines(std::vector<std::string> const& lines, int dx, int dy);
  // Opens the libraries ticked for the search form; false with error.
  bool OpenTicked(std::string& error);
  // Shows the libraries and which are searched, in the library panel and the combo boxes.
  void ShowLibraries();
  void BuildRunMenus();
  // Run mode: the hit list takes whatever room the window has beyond the form.
  void StretchToWindow();
  // Puts the dragged controls on the grid when snapping is on.
  void SnapDragged(std::vector<std::size_t> const& dragged);
  // A drag that starts on an unselected control: the press selected it, the moves and
  // the release come to the control itself (it grabs the pointer at the press), and are
  // played on the selected frames as their own drag would be.
  bool PressDragEvent(QObject* watched, QEvent* event);
  // Moves and sizes the active control as the X, Y, W and H fields say.
  void ApplyPlace();
  // Enables Undo and Redo as the form has steps for them.
  void EnableUndo();
  // Asks whether to save a changed form before it is closed or replaced; false when the
  // person cancels (or the save failed).
  bool MaySetFormAside();
  // Saves, asking for a file when the form has none; false (error empty) when cancelled.
  bool SaveWithDialog(std::string& error);
  // Keeps the search history for the next run.
  void SaveHistory();
  // The form's lines as the live controls describe themselves.
  std::vector<std::string> LiveLines();
  void Commit();
  void ShowSelection();
  void ShowProperties();
  void ApplyProperties();
  std::size_t IndexOf(HWND hwnd) const;
  bool Check(std::string const& line, std::string& reason);

  bool run_;
  std::string library_;
  std::string path_;
  FormHost host_;
  QWidget* canvas_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QLabel* skipped_label_ = nullptr;
  CFont font_;
  Form form_;
  std::vector<Skipped> skipped_;
  std::vector<std::unique_ptr<CCtrlWnd>> controls_;
  std::vector<std::unique_ptr<CCtrlSizeWnd>> frames_;
  std::map<HWND, std::size_t> index_;
  std::map<int, std::size_t> ids_;
  Selection selection_;
  OrderView order_;
  DragTracker drag_;
  bool ordering_ = false;
  bool snap_ = false;
  struct PressDrag {
    std::size_t control = kNone;
    QPoint start, applied;  // screen pointer at the press; offset applied so far
    bool moving = false;
  } press_;
  QAction* order_action_ = nullptr;
  QAction* undo_action_ = nullptr;
  QAction* redo_action_ = nullptr;
  // Property panel.
  QLabel* kind_label_ = nullptr;
  QLineEdit* caption_edit_ = nullptr;
  QComboBox* mark_combo_ = nullptr;
  QLineEdit* help_edit_ = nullptr;
  QListWidget* style_list_ = nullptr;
  QLineEdit* style_extra_ = nullptr;
  QSpinBox* place_[4] = {};  // X, Y, W, H as the description line writes them
  // Run mode: the controls' places as the form gives them, and the list that grows.
  std::vector<Rect> natural_;
  std::size_t grow_ = kNone;
  std::map<std::size_t, HitList*> hit_lists_;  // by control, each a child of its LIST
  // Run mode: the libraries opened so far, those ticked searched together.
  struct Library {
    std::string base;
    bool ticked = false;
  };
  std::vector<Library> libraries_;
  QListWidget* libraries_list_ = nullptr;
  std::vector<QComboBox*> combos_;
  // Run mode: the record view, kept open from one record to the next.
  QPointer<QDialog> record_;
  QTextBrowser* record_text_ = nullptr;
  QLabel* record_place_ = nullptr;
  int record_hit_ = -1, record_hits_ = 0;
  SearchSession session_;
  std::unique_ptr<SearchForm> search_;
};

// Library (GBK) text for Qt, and Qt text as GBK (characters without a GBK form become "?").
QString FromGbk(std::string const& gbk);
std::string ToGbk(QString const& text);

}  // namespace qel::designer

#endif  // QEL_TOOLS_DESIGNER_FORM_WINDOW_H_
