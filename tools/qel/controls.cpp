// qel controls parse: what CCtrlWnd::DoCreate makes of each control description line,
// through the very parser and tables the control uses, without creating a window.
#include "controls.h"

#include <charconv>
#include <cstdio>
#include <iostream>

#include "controls/ctrl_desc.h"
#include "platform/text/codepage.h"
#include "qelshare/config.h"

namespace qel::cli {
namespace controls_command {
namespace {

// ASCII reads the same in UTF-8 and GBK: such text needs no conversion either way.
bool Ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace
}  // namespace controls_command

FormLines ReadFormLines(Context const& ctx, std::string const& path) {
  FormLines out;
  out.data = ReadInput(path.empty() ? "-" : path);
  std::string_view rest = out.data;
  std::string error;
  while (!rest.empty()) {
    std::size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    bool bad = false;
    if (!ctx.gbk && !controls_command::Ascii(line)) {
      std::string converted;
      if (text::Utf8ToGbk(line, converted, error)) {
        line = out.converted.emplace_back(std::move(converted));
      } else {
        bad = true;
      }
    }
    out.lines.push_back(line);
    out.unconverted.push_back(bad);
  }
  return out;
}

#if !QELSHARE_WINDOWS
Run SetupControlsRender(CLI::App&, Context&) {
  return {};
}
#endif

namespace controls_command {
namespace {

namespace qc = qel::controls;

void AppendNumber(std::string& out, long long v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void AppendHex(std::string& out, std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v));
  out += buf;
}

// What DoCreate would do with one line, in the order it does it.
struct LineReport {
  qc::Description d;
  qc::ControlPlan plan;
  bool known = false;  // the kind is in the table (only looked up for a line that parsed)
  std::string error;
  long long id = 0;
  std::string line;  // GetString's line
};

LineReport Examine(std::string_view text, bool unconverted, std::int32_t& next_id) {
  LineReport r;
  // The control reads a C string: a NUL byte ends the description.
  text = text.substr(0, text.find('\0'));
  if (unconverted) {
    r.error = "the line is not UTF-8 text (use --encoding gbk for GBK bytes)";
    r.d.error = qc::DescError::kNoTypeComma;
    return r;
  }
  r.d = qc::ParseDescription(text);
  if (!r.d.ok()) {
    r.error = "syntax error: " + std::string(qc::DescErrorText(r.d.error));
    return r;
  }
  r.plan = qc::PlanControl(r.d);
  if (r.plan.kind < 0) {
    r.error = "unknown control kind";
    return r;
  }
  r.known = true;
  r.id = next_id;
  next_id = static_cast<std::int32_t>(static_cast<std::uint32_t>(next_id) + 1u);
  // The platform gives a window no negative size.
  std::int32_t right = r.plan.right < r.plan.left ? r.plan.left : r.plan.right;
  std::int32_t bottom = r.plan.bottom < r.plan.top ? r.plan.top : r.plan.bottom;
  r.line = qc::FormatDescription(r.d.type, r.d.caption, r.plan.left, r.plan.top, right, bottom,
                                 r.d.mark, r.d.help, r.d.style);
  return r;
}

void UserText(Context const& ctx, std::string& out, std::string_view gbk) {
  if (ctx.gbk || Ascii(gbk)) {
    out.append(gbk);
  } else {
    out += ToUser(ctx, gbk);
  }
}

// The window rectangle as left,top,right,bottom.
void AppendRect(std::string& out, LineReport const& r) {
  AppendNumber(out, r.plan.left);
  out += ',';
  AppendNumber(out, r.plan.top);
  out += ',';
  AppendNumber(out, r.plan.right);
  out += ',';
  AppendNumber(out, r.plan.bottom);
}
void AppendJson(Context const& ctx, std::string& out, std::size_t number, LineReport const& r) {
  // Ordered: the keys come in the order the help lists them.
  nlohmann::ordered_json line = {{"line", number}, {"ok", r.error.empty()}};
  if (!r.error.empty()) line["error"] = JsonText(ctx, r.error);
  std::string_view fields[5] = {r.d.type, r.d.caption, r.d.mark, r.d.help, r.d.style};
  char const* names[5] = {"type", "caption", "mark", "help", "style"};
  for (int i = 0; i < 5; ++i) {
    line[names[i]] = JsonText(ctx, i < r.d.stored ? fields[i] : std::string_view());
  }
  if (r.known) {
    line["class"] = r.plan.windowClass;
    line["style_bits"] = r.plan.style;
    line["ex_style_bits"] = r.plan.exStyle;
    line["rect"] = {r.plan.left, r.plan.top, r.plan.right, r.plan.bottom};
    line["icon"] = r.plan.icon ? nlohmann::ordered_json(r.plan.icon) : nullptr;
    line["id"] = r.id;
    line["string"] = JsonText(ctx, r.line);
  }
  out += line.dump(-1, ' ', ctx.gbk, nlohmann::json::error_handler_t::replace);
  out += '\n';
}

void AppendText(Context const& ctx, std::string& out, std::size_t number, LineReport const& r) {
  out += "line ";
  AppendNumber(out, static_cast<long long>(number));
  if (!r.error.empty()) {
    out += ": " + r.error;
    if (r.d.stored > 0) {
      out += " (kept: ";
      std::string_view fields[5] = {r.d.type, r.d.caption, r.d.mark, r.d.help, r.d.style};
      char const* names[5] = {"type", "caption", "mark", "help", "style"};
      for (int i = 0; i < r.d.stored; ++i) {
        if (i) out += ", ";
        out.append(names[i]).append(" \"").append(ToUser(ctx, fields[i])).append("\"");
      }
      out += ")";
    }
    out += '\n';
    return;
  }
  out += ": ok ";
  out += r.plan.windowClass;
  out += " style ";
  AppendHex(out, r.plan.style);
  out += " ex-style ";
  AppendHex(out, r.plan.exStyle);
  out += " rect ";
  AppendRect(out, r);
  out += " id ";
  AppendNumber(out, r.id);
  if (r.plan.icon) {
    out += " icon ";
    AppendNumber(out, r.plan.icon);
  }
  out += "\n  ";
  UserText(ctx, out, r.line);
  out += '\n';
}

Run SetupControls(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("controls", "Control description lines of a search form");
  cmd->require_subcommand(1, 1);
  cmd->footer(
      "A form is a text file of control description lines, one control per line:\n"
      "  TYPE,\"CAPTION\",X,Y,W,H,\"MARK\",\"HELP\",STYLE\n"
      "TYPE is EDIT, TEXT, COMBO, GROUP, CHECK, BUTTON, SMBUTTON or LIST (any case); W and H\n"
      "are the width and height less one; STYLE holds words separated by \"|\" (BORDER, 3D,\n"
      "CENTER, ...). See 'qel controls parse --help' and 'qel controls render --help'.");
  auto* parse = cmd->add_subcommand("parse", "Show what each description line creates");
  parse->footer(
      "For each line of FILE (\"-\": standard input) prints what CCtrlWnd::DoCreate does with\n"
      "it, without creating a window: the syntax error that stops it, or the window class,\n"
      "style and extended style bits, window rectangle (left, top, right, bottom), the\n"
      "identifier (counted from 1000 as if the lines were created in order on one parent),\n"
      "the icon of an icon button and the line GetString writes back. A syntax error keeps\n"
      "the fields read before it, as the control does. Lines end at a line feed (one\n"
      "trailing CR dropped); with --encoding gbk they are taken as GBK bytes.\n"
      "--json prints one object per line with the keys line, ok, error, type, caption, mark,\n"
      "help, style, class, style_bits, ex_style_bits, rect, icon, id and string.\n"
      "Exit status 1 when a line does not describe a control.\n\n"
      "Example:\n  echo 'EDIT,\"Name\",10,20,99,19,\"m\",\"h\",BORDER|3D' | qel controls parse -");
  auto file = std::make_shared<std::string>();
  parse->add_option("FILE", *file, "Form file, or - for standard input")->required();
  Run render = SetupControlsRender(*cmd, ctx);
  return [parse, file, render, &ctx] {
    if (!parse->parsed()) {
      if (render) render();
      return;
    }
    FormLines form = ReadFormLines(ctx, *file);
    std::int32_t next_id = 1000;
    std::size_t failed = 0, first_failed = 0;
    std::string out;
    out.reserve(1 << 16);
    for (std::size_t i = 0; i < form.lines.size(); ++i) {
      LineReport r = Examine(form.lines[i], form.unconverted[i], next_id);
      if (!r.error.empty() && failed++ == 0) first_failed = i + 1;
      if (ctx.json) {
        AppendJson(ctx, out, i + 1, r);
      } else {
        AppendText(ctx, out, i + 1, r);
      }
      if (out.size() > (1 << 16)) {
        std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
        out.clear();
      }
    }
    std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (failed) {
      std::cout.flush();
      std::cerr << "qel controls parse: " << (*file == "-" ? "standard input" : *file) << ": "
                << failed << " of " << form.lines.size()
                << " lines do not describe a control (first: line " << first_failed << ")\n";
      ctx.exit_code = kFailed;
    }
  };
}

RegisterCommand reg("controls", SetupControls);

}  // namespace
}  // namespace controls_command
}  // namespace qel::cli
