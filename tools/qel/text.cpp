// qel filter, html, urldecode, form, guid: the library's text and web helpers.
#include <iostream>
#include <optional>
#include <random>

#include "cli.h"
#include "qelshare/CPublicFun.h"

namespace qel::cli {
namespace {

void PrintText(Context const& ctx, std::string_view input, std::string_view result) {
  if (ctx.json) {
    PrintJson(ctx, {{"input", JsonText(ctx, input)}, {"result", JsonText(ctx, result)}});
  } else {
    std::cout << ToUser(ctx, result) << '\n';
  }
}

Run SetupFilter(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "filter",
      "Clean TEXT (or all of standard input) as SWITCHES say: /S trim blanks at both ends,\n"
      "/M delete blanks inside, /R delete CR LF pairs, /T all three, /H delete HTML tags,\n"
      "/U upper case, /L lower case. Switches combine in any order and case.\n"
      "Example: qel filter /T/H '  <b>a</b> b  '   prints ab");
  cmd->footer(
      "The effects always apply in the order trim, upper, lower, squeeze, CR LF, tags,\n"
      "so /U/L gives lower case. Blanks are the bytes 0x01-0x20 (spaces, tabs, line ends).");
  struct Args {
    std::string switches;
    std::optional<std::string> text;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("SWITCHES", args->switches, "Switches such as /s/h")->required();
  cmd->add_option("TEXT", args->text, "Text to clean; standard input when absent");
  return [args, &ctx] {
    std::string text = args->text ? ToLibrary(ctx, *args->text, "TEXT")
                                  : ToLibrary(ctx, ReadInput("-"), "standard input", kIo);
    PrintText(ctx, text, CPublicFun::FilterString(text.c_str(), args->switches.c_str()));
  };
}

Run SetupHtml(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "html",
      "Render the plain text of FILE (GBK bytes; standard input when absent) as HTML:\n"
      "blank lines become <p>, a line break before a space <br>, other line breaks join\n"
      "the lines, spaces not followed by a letter become &nbsp; tags pass through.\n"
      "Example: qel html notes.txt > notes.html");
  auto file = std::make_shared<std::string>("-");
  cmd->add_option("FILE", *file, "Text file, or - for standard input")->capture_default_str();
  return [file, &ctx] {
    std::string text = ReadInput(*file);
    CString html = CPublicFun::Text2Html(text.c_str());
    if (ctx.json) {
      PrintJson(ctx, {{"file", *file}, {"html", JsonText(ctx, html)}});
    } else {
      std::cout << ToUser(ctx, html) << '\n';
    }
  };
}

Run SetupUrlDecode(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "urldecode",
      "Decode percent-encoded web text: + is a space, %XX a byte (GBK characters arrive\n"
      "as two escapes); a % without two hex digits stays.\n"
      "Example: qel urldecode '%C4%EA+2005'   prints 年 2005");
  auto text = std::make_shared<std::string>();
  cmd->add_option("TEXT", *text, "Encoded text")->required();
  return [text, &ctx] {
    std::string gbk = ToLibrary(ctx, *text, "TEXT");
    PrintText(ctx, gbk, CPublicFun::WebStr2Str(gbk.c_str(), -1));
  };
}

Run SetupForm(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "form",
      "Parse the body of a submitted HTML form (name=value pairs joined by &, URL-encoded)\n"
      "and print each pair as name=value on a line.\n"
      "Example: qel form 'q=%C4%EA&page=2'   prints q=年 and page=2");
  auto body = std::make_shared<std::string>();
  cmd->add_option("BODY", *body, "Form data as posted")->required();
  return [body, &ctx] {
    std::string gbk = ToLibrary(ctx, *body, "BODY");
    CByteArray data(gbk.begin(), gbk.end());
    CStringArr names, values;
    int n = CPublicFun::GetHtmlFormVal(&data, &names, &values);
    nlohmann::json out = nlohmann::json::array();
    for (int i = 0; i < n; ++i) {
      std::string_view name = names.Get(i) ? names.Get(i) : "";
      std::string_view value = values.Get(i) ? values.Get(i) : "";
      if (ctx.json) {
        out.push_back({{"name", JsonText(ctx, name)}, {"value", JsonText(ctx, value)}});
      } else {
        std::cout << ToUser(ctx, name) << '=' << ToUser(ctx, value) << '\n';
      }
    }
    if (ctx.json) PrintJson(ctx, out);
  };
}

// A new random (version 4) GUID; the randomness is the host's, not the library's.
_GUID NewGuid() {
  std::random_device device;
  std::uniform_int_distribution<unsigned> byte(0, 255);
  unsigned char b[16];
  for (auto& x : b) x = static_cast<unsigned char>(byte(device));
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
  _GUID g{};
  g.Data1 = std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
  g.Data2 = static_cast<std::uint16_t>(b[4] << 8 | b[5]);
  g.Data3 = static_cast<std::uint16_t>(b[6] << 8 | b[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = b[8 + i];
  return g;
}

Run SetupGuid(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "guid",
      "Print the GUID of TEXT (36 characters, no braces) in the library's upper-case\n"
      "form, or a new random GUID when TEXT is absent.\n"
      "Example: qel guid 0123abcd-4567-89ef-0123-456789abcdef");
  cmd->footer("Text of any other length reads as the all-zero GUID (exit 1).");
  auto text = std::make_shared<std::optional<std::string>>();
  cmd->add_option("TEXT", *text, "GUID text to parse");
  return [text, &ctx] {
    _GUID guid{};
    std::string input;
    if (*text) {
      input = ToLibrary(ctx, **text, "TEXT");
      guid = CPublicFun::STR2GUID(input.c_str());
      if (input.size() != 36) ctx.exit_code = kFailed;
    } else {
      guid = NewGuid();
    }
    CString out = CPublicFun::GUID2STR(guid);
    if (ctx.json) {
      PrintJson(ctx, {{"input", JsonText(ctx, input)}, {"guid", out}});
    } else {
      std::cout << out << '\n';
    }
    if (ctx.exit_code == kFailed) {
      std::cerr << "qel guid: '" << **text << "' is not 36 characters long\n";
    }
  };
}

RegisterCommand filter("filter", SetupFilter);
RegisterCommand html("html", SetupHtml);
RegisterCommand urldecode("urldecode", SetupUrlDecode);
RegisterCommand form("form", SetupForm);
RegisterCommand guid("guid", SetupGuid);

}  // namespace
}  // namespace qel::cli
