// qel-designer: the form designer of libqelshare's described controls, and the working
// search form of a form file.
#include <CLI/CLI.hpp>

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "form_window.h"
#include "platform/fs/path.h"
#include "platform/gdi/png.h"
#include "platform/text/codepage.h"
#include "tr.h"

namespace {

namespace stdfs = std::filesystem;

// A file beside the binary in the build tree (demo/NAME) or in the install prefix's share
// folder (share/qelshare/demo/NAME).
stdfs::path Beside(std::string const& name) {
  std::error_code ec;
  stdfs::path exe = stdfs::read_symlink("/proc/self/exe", ec);
  if (ec) return stdfs::path("demo") / name;
  stdfs::path dir = exe.parent_path();
  for (stdfs::path candidate :
       {dir / "demo" / name, dir.parent_path() / "share" / "qelshare" / "demo" / name}) {
    if (stdfs::exists(candidate)) return candidate;
  }
  return dir / "demo" / name;
}

int Fail(int code, std::string const& message, bool dialog) {
  std::cerr << "qel-designer: " << message << "\n";
  if (dialog) QMessageBox::critical(nullptr, "qel-designer", QString::fromStdString(message));
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "qel-designer: design a search form made of control description lines, or use it.\n\n"
      "Design mode (the default) shows every line of FORM as its control. Click a control to\n"
      "select it, Ctrl+click to add more; drag inside the hatched frame to move the selected\n"
      "controls together, drag its edges to resize, Shift-drag to drop a control where you\n"
      "release the button. The palette adds each kind of control; the property panel edits\n"
      "caption, mark (a system mark such as _SYS_BT_OK, or your own text), help and style\n"
      "words. Ctrl+T shows the order view: click the controls in the order they should have.\n"
      "Ctrl+Z undoes the last change, Ctrl+S saves (GBK lines, the old file replaced only\n"
      "once the new one is written).\n\n"
      "--run makes the form a working search form over a retrieval library: the edit box\n"
      "marked _SYS_ED_EXP takes the expression, _SYS_BT_OK searches, a LIST shows the hits\n"
      "(double-click one, or press Enter, to read it with its hit words in red). File > Open\n"
      "library adds libraries; the ticked ones in the Libraries panel are searched together,\n"
      "and a combo box of the form chooses one. The interface speaks Chinese when the\n"
      "locale is Chinese (LANG=zh_CN.UTF-8), English otherwise.\n\n"
      "Examples:\n"
      "  qel-designer                      the demo form in the designer\n"
      "  qel-designer my.frm\n"
      "  qel-designer --run                search the demo library with the demo form\n"
      "  qel-designer --run my.frm --lib /data/poems\n"
      "  qel-designer --run --lib /data/poems --lib /data/news   two libraries searched together",
      "qel-designer");
  std::string form_path;
  std::vector<std::string> libraries;
  bool run = false;
  std::string screenshot;
  std::string expression;
  std::vector<int> select;
  app.add_option("FORM", form_path, "Form file (default: the demo form search.frm)");
  app.add_flag("--run", run, "Use the form as a search form instead of designing it");
  app.add_option("--lib", libraries,
                 "Base path of a library the search form searches (BASE.qel, .sor, .mrf; "
                 "default: the demo library); give it again to search several together");
  app.add_option("--screenshot", screenshot,
                 "Write a picture of the window to this PNG file and quit (works offscreen)");
  app.add_option("--expr", expression, "With --run: search this expression first");
  app.add_option("--select", select,
                 "Design mode: select these controls (1-based, the first one active)")
      ->delimiter(',');
  try {
    app.parse(argc, argv);
  } catch (CLI::ParseError const& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (!libraries.empty() && !run) {
    std::cerr << "qel-designer: --lib needs --run\n";
    return 2;
  }
  if (!expression.empty() && !run) {
    std::cerr << "qel-designer: --expr needs --run\n";
    return 2;
  }

  QApplication qapp(argc, argv);
  // Where QSettings keeps the search history of each user.
  QCoreApplication::setOrganizationName("qelshare");
  QCoreApplication::setApplicationName("qel-designer");
  qel::designer::Translation translation;
  bool dialogs = screenshot.empty();
  if (form_path.empty()) form_path = Beside("search.frm").string();
  if (libraries.empty()) {
    libraries.push_back(qel::fs::FromOs(Beside("poems.qel").replace_extension().string()));
  } else {
    for (std::string& library : libraries) {
      std::string gbk, error;
      if (!qel::text::Utf8ToGbk(library, gbk, error)) {
        return Fail(2, "--lib " + library + " has characters without a GBK form", false);
      }
      library = gbk;
    }
  }

  qel::designer::FormWindow window(run, libraries.front());
  std::string error;
  std::error_code ec;
  if (!stdfs::exists(form_path, ec)) {
    return Fail(3, "cannot open the form file " + form_path + ": no such file", dialogs);
  }
  if (!window.Open(form_path, error)) {
    bool io = error.rfind("cannot", 0) == 0 || error.find("directory") != std::string::npos;
    return Fail(io ? 3 : 1, error, dialogs);
  }
  for (auto const& s : window.skipped()) {
    std::cerr << "qel-designer: " << form_path << " line " << s.number << " left out: " << s.reason
              << "\n";
  }
  if (run && !window.OpenLibraries(libraries, error)) return Fail(3, error, dialogs);
  window.show();
  for (std::size_t k = 0; k < select.size(); ++k) {
    if (select[k] >= 1) window.Select(static_cast<std::size_t>(select[k] - 1), k > 0);
  }
  if (!select.empty()) window.Select(static_cast<std::size_t>(select.front() - 1), true);
  if (!expression.empty()) {
    std::string gbk;
    if (!qel::text::Utf8ToGbk(expression, gbk, error)) {
      return Fail(2, "--expr is not UTF-8 text", false);
    }
    window.Search(gbk);
  }
  if (!screenshot.empty()) {
    QApplication::processEvents();
    if (!qel::gdi::SavePngDurably(window.grab().toImage(), screenshot)) {
      return Fail(3, "cannot write the screenshot " + screenshot, false);
    }
    return 0;
  }
  return QApplication::exec();
}
