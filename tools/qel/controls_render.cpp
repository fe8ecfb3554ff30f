// qel controls render: builds a form from its description lines on a window of its own
// (offscreen, no display needed) and writes a screenshot, in run mode, design mode or the
// order view.
#include <algorithm>
#include <iostream>
#include <memory>
#include <regex>

#include "controls.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/snapshot.h"
#include "qelshare/CCtrlSizeWnd.h"
#include "qelshare/CCtrlWnd.h"

namespace qel::cli {
namespace controls_render_command {
namespace {

// The form's own window: a plain dialog-coloured surface.
class FormWindow : public CWnd {
 public:
  int Open(int width, int height) {
    static HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    CWnd::RegisterClass("QelFormHost", 0, nullptr, face);
    return Create("QelFormHost", "form", WS_VISIBLE, tagRECT{0, 0, width, height}, nullptr, 0);
  }
};

struct RenderArgs {
  std::string file;
  std::string out;
  bool design = false;
  bool order = false;
  std::string size;
};

}  // namespace
}  // namespace controls_render_command

Run SetupControlsRender(CLI::App& controls, Context& ctx) {
  auto* cmd = controls.add_subcommand("render", "Build a form and write a screenshot of it");
  cmd->footer(
      "Creates a CCtrlWnd for each description line of FILE (\"-\": standard input) on a\n"
      "window of its own, without a display, and writes a PNG picture of it. Run mode by\n"
      "default; --design gives every control its sizing frame (the first one active), as\n"
      "the form designer shows them; --order shows the tab-order view with each control's\n"
      "number. The window is as large as the controls need unless --size WxH says.\n"
      "Lines that do not describe a control are skipped with a message naming them, and\n"
      "the exit status is then 1.\n\n"
      "Example:\n  qel controls render sample/search.frm --out search.png --design");
  auto args = std::make_shared<controls_render_command::RenderArgs>();
  cmd->add_option("FILE", args->file, "Form file, or - for standard input")->required();
  cmd->add_option("--out", args->out, "PNG file to write")->required();
  cmd->add_flag("--design", args->design, "Design mode: a sizing frame around every control");
  cmd->add_flag("--order", args->order, "The tab-order view");
  cmd->add_option("--size", args->size, "Window size in pixels, WxH (e.g. 640x480)");
  return [cmd, args, &ctx] {
    if (!cmd->parsed()) return;
    int width = 0, height = 0;
    if (!args->size.empty()) {
      std::smatch m;
      std::regex shape("([0-9]{1,5})x([0-9]{1,5})");
      if (!std::regex_match(args->size, m, shape) || std::stoi(m[1]) == 0 || std::stoi(m[2]) == 0) {
        throw Failure{kUsage, "--size must be WIDTHxHEIGHT in pixels, got '" + args->size + "'"};
      }
      width = std::stoi(m[1]);
      height = std::stoi(m[2]);
    }
    FormLines form = ReadFormLines(ctx, args->file);
    qel::ui::HostSession session;
    controls_render_command::FormWindow window;
    if (!window.Open(width ? width : 1, height ? height : 1)) {
      throw Failure{kFailed, "cannot create a window for the form"};
    }
    CFont font;
    font.CreateFont(-12, "WenQuanYi Micro Hei");
    std::vector<std::unique_ptr<CCtrlWnd>> controls;
    std::vector<std::unique_ptr<CCtrlSizeWnd>> frames;
    bool design = args->design || args->order;
    int skipped = 0;
    CCtrlWnd::SetBeginID(1000);
    for (std::size_t i = 0; i < form.lines.size(); ++i) {
      auto control = std::make_unique<CCtrlWnd>();
      std::unique_ptr<CCtrlSizeWnd> frame;
      if (design) {
        frame = std::make_unique<CCtrlSizeWnd>();
        frame->DoCreate(&window, static_cast<unsigned>(frames.size()));
      }
      if (form.unconverted[i] ||
          !control->DoCreate(std::string(form.lines[i]).c_str(), &window, &font, frame.get())) {
        std::cerr << "qel controls render: " << args->file << ": line " << (i + 1)
                  << " skipped: it does not describe a control (see qel controls parse)\n";
        ++skipped;
        continue;
      }
      if (frame) {
        frame->SetFriendWnd(control.get());
        frames.push_back(std::move(frame));
      }
      controls.push_back(std::move(control));
    }
    if (!width || !height) {
      int right = 100, bottom = 50;
      for (auto const& c : controls) {
        tagRECT r;
        c->GetWindowRect(&r);
        window.ScreenToClient(&r);
        right = std::max(right, r.right + 10);
        bottom = std::max(bottom, r.bottom + 10);
      }
      window.MoveWindow(0, 0, width ? width : std::min(right, 4000),
                        height ? height : std::min(bottom, 4000));
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
      if (args->order) {
        frames[i]->Order(1);
      } else {
        frames[i]->OnFocus(1, args->design && i == 0);
      }
    }
    qel::ui::HostSession::Pump();
    if (!qel::ui::WriteWindowPng(window.m_hWnd, args->out)) {
      throw Failure{kIo, "cannot write " + args->out};
    }
    if (!ctx.json) {
      std::cout << "wrote " << args->out << " (" << controls.size() << " controls)\n";
    }
    if (skipped) ctx.exit_code = kFailed;
  };
}

}  // namespace qel::cli
