// qel analyse: parses retrieval expressions into the postfix stream and highlight keys.
#include <iostream>

#include "cli.h"
#include "fields.h"
#include "platform/text/mbcs.h"
#include "qelshare/CAnalyseExpression.h"

namespace qel::cli::analyse_command {
namespace {

// Pieces of text that each end with `end` (the end kept when keep_end), and the rest.
std::vector<std::string_view> CutAfter(std::string_view text, char end, bool keep_end) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t at = text::FindChar(text, end, start);
    if (at == text::npos) {
      pieces.push_back(text.substr(start));
      break;
    }
    pieces.push_back(text.substr(start, at - start + (keep_end ? 1 : 0)));
    start = at + 1;
  }
  return pieces;
}

// A postfix item for people: its line feeds shown as " | ".
std::string ShowItem(Context const& ctx, std::string_view item) {
  std::string shown;
  for (char c : item) {
    if (c == '\n') {
      shown += " | ";
    } else {
      shown += c;
    }
  }
  return ToUser(ctx, shown);
}

// The expression tree, rebuilt from the postfix stream the way a host evaluates it:
// "AND", "OR" and "SUB" take the two most recent results, "NOT" the most recent one.
// An operator short of operands (a AND with nothing on its right) keeps what there is.
void DrawTree(Context const& ctx, std::vector<std::string_view> const& items) {
  struct Node {
    std::string_view text;
    int left = -1;
    int right = -1;
  };
  std::vector<Node> nodes;
  std::vector<int> results;
  for (std::string_view item : items) {
    Node node{item};
    if (item == "NOT") {
      if (!results.empty()) node.right = results.back(), results.pop_back();
    } else if (item == "AND" || item == "OR" || item == "SUB") {
      if (results.size() >= 2) node.right = results.back(), results.pop_back();
      if (!results.empty()) node.left = results.back(), results.pop_back();
    }
    nodes.push_back(node);
    results.push_back(static_cast<int>(nodes.size()) - 1);
  }
  // Depth-first with an explicit stack: chains of operators can be very deep.
  struct Frame {
    int node;
    std::string prefix;  // drawn before the branch of this node
    bool last;           // the last child of its parent
    bool root;
  };
  std::vector<Frame> stack;
  for (auto it = results.rbegin(); it != results.rend(); ++it)
    stack.push_back({*it, "", true, true});
  while (!stack.empty()) {
    Frame frame = std::move(stack.back());
    stack.pop_back();
    Node const& node = nodes[frame.node];
    std::cout << frame.prefix
              << (frame.root   ? ""
                  : frame.last ? "└─ "
                               : "├─ ")
              << ShowItem(ctx, node.text) << '\n';
    std::string inner = frame.prefix + (frame.root ? "" : frame.last ? "   " : "│  ");
    std::vector<int> children;
    if (node.left >= 0) children.push_back(node.left);
    if (node.right >= 0) children.push_back(node.right);
    for (std::size_t k = children.size(); k-- > 0;) {
      stack.push_back({children[k], inner, k + 1 == children.size(), false});
    }
  }
}

Run SetupAnalyse(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "analyse",
      "Parse a retrieval expression against a field registry and print its postfix\n"
      "stream (one item per line, line feeds inside an item shown as \" | \") and its\n"
      "highlight entries. A rejected expression prints the reason and exits 1.\n"
      "Example: qel analyse 'computer network/title AND >=2000/lines'");
  cmd->footer(
      "\nThe language: words (a \"quoted text\" is one word); AND, OR, SUB (and NOT after a\n"
      "word), NOT before a word; brackets; a qualifier /field (or /field1, field2) that\n"
      "applies to everything on its left up to the nearest operator. Inside a text field,\n"
      "adjacent words are joined by AND (type S) or OR (type F); NEAR, ORDER and PARA hold\n"
      "words in one proximity item. Comparison fields take >=2000, <>5, [1,10], (1,10].\n"
      "Words without a qualifier go to the default field (the first of type s).\n\n"
      "Without --fields the demo registry is used (sample/fields.json): all/全部 (title and\n"
      "text), title/题名 TI, text/正文 TX, keyword/关键词 KW (type F), author/作者 AU (D),\n"
      "source/出处 SO (E), lines/句数 LN (N). A registry file is a JSON list of\n"
      "{\"name\": ..., \"code\": ..., \"type\": \"S\"} objects; a group field's code lists its\n"
      "member codes separated by \"\\n\".\n\n"
      "--json prints one line per expression: {\"result\":1,\"tokens\":[...],\"poland\":...,\n"
      "\"redkey\":...} or {\"result\":0,\"tokens\":[...],\"error\":...}. Byte offsets in\n"
      "reasons count the bytes of the expression in GBK.\n"
      "--batch FILE (- for standard input) analyses one expression per line with one\n"
      "registry, printing one line per input line; exit status 1 when any is rejected.");
  struct Args {
    std::string fields;
    bool tree = false;
    std::string batch;
    std::optional<std::string> expression;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("--fields", args->fields, "JSON field registry (default: the demo registry)");
  cmd->add_flag("--tree", args->tree, "Also draw the expression tree");
  cmd->add_option("--batch", args->batch, "File of expressions, one per line (- for stdin)");
  cmd->add_option("EXPR", args->expression, "The expression");
  return [args, &ctx] {
    if (args->batch.empty() == !args->expression.has_value()) {
      throw Failure{kUsage, "give either EXPR or --batch FILE"};
    }
    CAnalyseExpression analyser;
    RegisterFields(analyser, LoadFields(args->fields));

    std::string line;  // one JSON output line, its buffer reused
    // Analyses one expression (GBK) and prints its line(s); returns the result.
    auto analyse = [&](std::string const& expression, bool batch) {
      // The token stream is cleared first, so that an expression the lexer rejects shows
      // no tokens rather than those of the expression before it.
      analyser.m_arrKeyStream.RemoveAll();
      int result = analyser.Analyse(expression.c_str());
      CString poland = analyser.GetPoland();
      CString redkey = analyser.GetRedKey();
      CString error = analyser.GetError();
      if (ctx.json) {
        // Written directly rather than through a JSON value: batches run to millions of
        // lines, and the value would cost several times the analysis itself.
        line.assign("{\"result\":").append(result == 1 ? "1" : "0").append(",\"tokens\":[");
        for (int i = 0; i < analyser.m_arrKeyStream.GetSize(); ++i) {
          char const* token = analyser.m_arrKeyStream.Get(i);
          if (i > 0) line += ',';
          AppendJsonText(ctx, line, token == nullptr ? "" : token);
        }
        if (result == 1) {
          line += "],\"poland\":";
          AppendJsonText(ctx, line, poland);
          line += ",\"redkey\":";
          AppendJsonText(ctx, line, redkey);
        } else {
          line += "],\"error\":";
          AppendJsonText(ctx, line, error);
        }
        line += "}\n";
        std::cout << line;
        return result;
      }
      std::vector<std::string_view> items = CutAfter(poland, '\r', false);
      if (batch) {
        if (result != 1) {
          std::cout << "0\t" << ToUser(ctx, error) << '\n';
          return result;
        }
        std::cout << "1\t";
        for (std::size_t i = 0; i < items.size(); ++i) {
          std::cout << (i > 0 ? " ; " : "") << ShowItem(ctx, items[i]);
        }
        std::cout << '\t' << ToUser(ctx, redkey) << '\n';
        return result;
      }
      if (result != 1) throw Failure{kFailed, ToUser(ctx, error)};
      for (std::string_view item : items) std::cout << ShowItem(ctx, item) << '\n';
      for (std::string_view entry : CutAfter(redkey, ']', true)) {
        std::cout << "highlight: " << ToUser(ctx, entry) << '\n';
      }
      if (args->tree) DrawTree(ctx, items);
      return result;
    };

    if (args->expression) {
      int result = analyse(ToLibrary(ctx, *args->expression, "EXPR"), false);
      ctx.exit_code = result == 1 ? kOk : kFailed;
      return;
    }
    std::vector<std::string> lines = ReadLines(args->batch);
    std::string name = args->batch == "-" ? "standard input" : args->batch;
    Progress progress("analysing " + name, lines.size());
    bool all_good = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::string expression =
          ToLibrary(ctx, lines[i], name + " line " + std::to_string(i + 1), kIo);
      all_good = analyse(expression, true) == 1 && all_good;
      progress.Update(i + 1);
    }
    ctx.exit_code = all_good ? kOk : kFailed;
  };
}

RegisterCommand reg("analyse", SetupAnalyse);

}  // namespace
}  // namespace qel::cli::analyse_command
