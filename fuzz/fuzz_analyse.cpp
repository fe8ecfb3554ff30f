// Fuzz target of CAnalyseExpression::Analyse, with random field registries.
//
// Input: the expression, then optionally a NUL byte followed by a registry, three bytes
// per field choosing its name, code and type letter from small tables that include
// hostile choices (operator words and brackets as names, groups that name themselves).
// Without a registry the demo-like one is used. Every input is analysed three times, with
// the index of long ranges, scanning directly, and without the builder's shortcuts, and
// the three must agree.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expression/analyse_state.h"
#include "expression/token_index.h"
#include "qelshare/CAnalyseExpression.h"

namespace {

constexpr char const* kNames[] = {
    "all", "title", "text",    "keyword",          "lines", "author", "source", "OR", "(", ")", "/",
    ",",   "NOT",   "DEFAULT", "\xC8\xAB\xB2\xBF", " ",     "a",      "NEAR",   "[",  "#1"};
constexpr char const* kCodes[] = {"TI", "TX",    "KW", "LN",         "AU",    "SO", "TI\nTX",
                                  "G",  "G\nTI", "\n", "TI\nKW\nLN", "AU\nG", "",   "X]"};
constexpr unsigned char kTypes[] = {'s', 'S', 'F', 'N', 'Y', 'D', 'E',
                                    '#', 'f', 'n', 'd', 'y', 'Q', 0};

template <typename T, std::size_t N>
T Pick(T const (&table)[N], std::uint8_t byte) {
  return table[byte % N];
}

void Register(CAnalyseExpression& e, std::uint8_t const* setup, std::size_t size, bool given) {
  if (!given) {
    e.AddField("all", "TI\nTX", 's');
    e.AddField("title", "TI", 'S');
    e.AddField("text", "TX", 'S');
    e.AddField("keyword", "KW", 'F');
    e.AddField("author", "AU", 'D');
    e.AddField("source", "SO", 'E');
    e.AddField("lines", "LN", 'N');
    return;
  }
  for (std::size_t i = 0; i + 3 <= size && i < 3 * 24; i += 3) {
    e.AddField(Pick(kNames, setup[i]), Pick(kCodes, setup[i + 1]), Pick(kTypes, setup[i + 2]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  auto const* nul = static_cast<std::uint8_t const*>(std::memchr(data, 0, size));
  std::size_t length = nul == nullptr ? size : static_cast<std::size_t>(nul - data);
  std::string expression(reinterpret_cast<char const*>(data), length);
  std::uint8_t const* setup = nul == nullptr ? nullptr : nul + 1;
  std::size_t setup_size = nul == nullptr ? 0 : size - length - 1;

  CAnalyseExpression indexed;
  CAnalyseExpression direct;
  CAnalyseExpression general;
  Register(indexed, setup, setup_size, nul != nullptr);
  Register(direct, setup, setup_size, nul != nullptr);
  Register(general, setup, setup_size, nul != nullptr);

  qel::expr::Seams::SetRoutes(indexed, {.direct_scan_limit = 0});
  qel::expr::Seams::SetRoutes(direct, {.direct_scan_limit = 1 << 30});
  qel::expr::Seams::SetRoutes(general, {.default_shortcuts = false, .operand_shortcuts = false});
  int r1 = indexed.Analyse(expression.c_str());
  int r2 = direct.Analyse(expression.c_str());
  int r3 = general.Analyse(expression.c_str());

  auto agrees = [&](int r, CAnalyseExpression& other) {
    return r == r1 && other.m_strPoland == indexed.m_strPoland &&
           other.m_strRedKey == indexed.m_strRedKey && other.GetError() == indexed.GetError();
  };
  if (!agrees(r2, direct) || !agrees(r3, general)) std::abort();
  if (r1 != 0 && r1 != 1) std::abort();
  if (r1 == 1) {
    // A success ends every item with a carriage return and explains nothing.
    if (indexed.m_strPoland.empty() || indexed.m_strPoland.back() != '\r') std::abort();
    if (!indexed.GetError().empty()) std::abort();
  } else if (indexed.GetError().empty()) {
    std::abort();
  }
  indexed.AddRedKey("extra");
  (void)indexed.GetRedKey();
  // A second analysis on the same object starts afresh.
  if (indexed.Analyse(expression.c_str()) != r1) std::abort();
  return 0;
}
