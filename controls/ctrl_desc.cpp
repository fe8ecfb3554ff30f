#include "controls/ctrl_desc.h"

#include <charconv>
#include <cstddef>

#include "resources/icon_ids.h"

namespace qel::controls {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// 32-bit arithmetic that wraps as the platform's int does.
std::int32_t Wrap(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

bool SameWordNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// The first quote at or after `from` that is followed by "," (or, when `orEnd`, that ends
// the line). A plain byte loop: lines made of quotes or of commas cost no more than others.
std::size_t ClosingQuote(std::string_view line, std::size_t from, bool orEnd) {
  std::size_t const n = line.size();
  for (std::size_t i = from; i < n; ++i) {
    if (line[i] == '"' && (i + 1 == n ? orEnd : line[i + 1] == ',')) return i;
  }
  return npos;
}

constexpr std::uint32_t kBaseStyle = 0x50010000;  // WS_CHILD | WS_VISIBLE | WS_TABSTOP
constexpr std::uint32_t kBorder = 0x00800000;     // WS_BORDER

enum KindRow { kEdit, kText, kCombo, kGroup, kCheck, kButton, kSmButton, kList };

struct Kind {
  std::string_view word;
  char const* windowClass;
  std::uint32_t fixed;
};

constexpr Kind kKinds[] = {
    {"EDIT", "EDIT", 0},           {"TEXT", "STATIC", 0x300},      {"COMBO", "COMBOBOX", 0x200003},
    {"GROUP", "BUTTON", 0x4007},   {"CHECK", "BUTTON", 0x3},       {"BUTTON", "BUTTON", 0},
    {"SMBUTTON", "STATIC", 0x303}, {"LIST", "SysListView32", 0xF},
};

// The edge words, honoured by every kind except "BUTTON" ("SMBUTTON": only "BORDER").
bool EdgeWord(std::string_view w, ControlPlan& p) {
  if (w == "3D" || w == "CLIENTEDGE") {
    p.exStyle |= 0x200;
  } else if (w == "DLGMODALFRAME") {
    p.exStyle |= 0x1;
  } else if (w == "STATICEDGE") {
    p.exStyle |= 0x20000;
  } else if (w == "BORDER") {
    p.style |= kBorder;
  } else {
    return false;
  }
  return true;
}

void ApplyWord(int kind, std::string_view w, ControlPlan& p, bool& rich) {
  switch (kind) {
    case kEdit:
      if (EdgeWord(w, p)) return;
      if (w == "CENTER") p.style |= 0x1;
      if (w == "RIGHT") p.style |= 0x2;
      if (w == "UPPER") p.style |= 0x8;
      if (w == "LOWER") p.style |= 0x10;
      if (w == "PASSWORD") p.style |= 0x20;
      if (w == "MULTLINE") p.style |= 0x44;
      if (w == "RICH") rich = true;
      return;
    case kText:
      if (EdgeWord(w, p)) return;
      if (w == "CENTER") p.style |= 0x1;
      if (w == "RIGHT") p.style |= 0x2;
      if (w == "SS_ETCHEDFRAME") p.style |= 0x12;
      return;
    case kCombo:
    case kList:
      EdgeWord(w, p);
      return;
    case kGroup:
    case kCheck:
      if (EdgeWord(w, p)) return;
      if (w == "LEFT") p.style |= 0x100;
      if (w == "CENTER") p.style |= 0x300;
      if (w == "RIGHT") p.style |= 0x200;
      return;
    case kSmButton:
      if (w == "BORDER") p.style |= kBorder;
      if (w == "CENTER") p.style |= 0x1;
      if (w == "RIGHT") p.style |= 0x2;
      return;
    default:
      return;  // "BUTTON" honours no word
  }
}

struct Mark {
  char const* mark;
  char const* description;
};

constexpr Mark kMarks[kSysMarkCount] = {
    {"_SYS_STATIC", "\xbe\xb2\xcc\xac\xbf\xd8\xbc\xfe"},
    {"_SYS_BT_OK", "\xbc\xec\xcb\xf7\xb0\xb4\xc5\xa5"},
    {"_SYS_BT_CANCEL", "\xb7\xc5\xc6\xfa\xb0\xb4\xc5\xa5"},
    {"_SYS_BT_CLEAR", "\xc7\xe5\xb3\xfd\xb0\xb4\xc5\xa5"},
    {"_SYS_BT_NAVIGATION", "\xb7\xa2\xcb\xcd\xb5\xbd\xb5\xbc\xba\xbd\xb0\xb4\xc5\xa5"},
    {"_SYS_BT_BUILDEXP", "\xc9\xfa\xb3\xc9\xb1\xed\xb4\xef\xca\xbd\xb0\xb4\xc5\xa5"},
    {"_SYS_BT_HISTORY", "\xb1\xed\xb4\xef\xca\xbd\xc0\xfa\xca\xb7\xb0\xb4\xc5\xa5"},
    {"_SYS_BT_EXPLIB", "\xb3\xa3\xd3\xc3\xb1\xed\xb4\xef\xca\xbd\xb1\xed\xb0\xb4\xc5\xa5"},
    {"_SYS_ED_EXP", "\xb1\xed\xb4\xef\xca\xbd\xb1\xe0\xbc\xad\xb4\xb0"},
    {"_SYS_CK_AGAIN", "\xd4\xd9\xb4\xce\xbc\xec\xcb\xf7\xb5\xa5\xd1\xa1\xbc\xfc"},
    {"_SYS_CK_SEAOPENED",
     "\xd4\xda\xb4\xf2\xbf\xaa\xca\xfd\xbe\xdd\xbf\xe2\xd6\xd0\xbc\xec\xcb\xf7\xb5\xa5\xd1\xa1"
     "\xbc\xfc"},
    {"_SYS_CK_SEAMULTLIB",
     "\xd4\xda\xb6\xe0\xbf\xe2\xc1\xd0\xb1\xed\xd6\xd0\xbc\xec\xcb\xf7\xb5\xa5\xd1\xa1\xbc\xfc"},
    {"_SYS_CK_IDENTIFY",
     "\xc9\xe8\xd6\xc3\xb7\xd6\xb4\xca\xbc\xec\xcb\xf7\xb5\xa5\xd1\xa1\xbc\xfc"},
    {"_SYS_BT_AGAIN", "\xd4\xd9\xb4\xce\xbc\xec\xcb\xf7\xb0\xb4\xc5\xa5"},
};

}  // namespace

std::string_view DescErrorText(DescError error) {
  switch (error) {
    case DescError::kNone:
      return "";
    case DescError::kNoTypeComma:
      return "no \",\" after the control kind";
    case DescError::kNoCaptionQuote:
      return "the caption does not start with a quote";
    case DescError::kCaptionUnclosed:
      return "the caption has no closing quote followed by \",\"";
    case DescError::kNoComma:
      return "a \",\" is missing among X, Y, W, H and the mark";
    case DescError::kNoMarkQuote:
      return "the mark does not start with a quote";
    case DescError::kMarkUnclosed:
      return "the mark has no closing quote followed by \",\"";
    case DescError::kNoHelpQuote:
      return "the help text does not start with a quote";
    case DescError::kHelpUnclosed:
      return "the help text has no closing quote";
  }
  return "";
}

std::int32_t ReadNumber(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::int64_t v = 0;
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;  // INT_MAX + 1 and -INT_MIN
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (v < kLimit) v = v * 10 + (s[i] - '0');
  }
  if (v > kLimit) v = kLimit;
  if (negative) return static_cast<std::int32_t>(-v);
  return static_cast<std::int32_t>(v == kLimit ? kLimit - 1 : v);
}

Description ParseDescription(std::string_view line) {
  Description d;
  auto fail = [&d](DescError e) {
    d.error = e;
    return d;
  };
  std::size_t comma = line.find(',');
  if (comma == npos) return fail(DescError::kNoTypeComma);
  d.type = line.substr(0, comma);
  d.stored = 1;

  std::size_t open = comma + 1;
  if (open >= line.size() || line[open] != '"') return fail(DescError::kNoCaptionQuote);
  std::size_t close = ClosingQuote(line, open + 1, false);
  if (close == npos) return fail(DescError::kCaptionUnclosed);
  d.caption = line.substr(open + 1, close - open - 1);
  d.stored = 2;

  // X follows the caption at once; Y, W and H each follow the next "," after the number
  // before them, and the mark follows the next "," after H.
  std::size_t number = close + 2;
  d.x = ReadNumber(line.substr(number));
  for (std::int32_t* field : {&d.y, &d.w, &d.h}) {
    comma = line.find(',', number);
    if (comma == npos) return fail(DescError::kNoComma);
    number = comma + 1;
    *field = ReadNumber(line.substr(number));
  }
  comma = line.find(',', number);
  if (comma == npos) return fail(DescError::kNoComma);

  open = comma + 1;
  if (open >= line.size() || line[open] != '"') return fail(DescError::kNoMarkQuote);
  close = ClosingQuote(line, open + 1, false);
  if (close == npos) return fail(DescError::kMarkUnclosed);
  d.mark = line.substr(open + 1, close - open - 1);
  d.stored = 3;

  open = close + 2;
  if (open >= line.size() || line[open] != '"') return fail(DescError::kNoHelpQuote);
  close = ClosingQuote(line, open + 1, true);
  if (close == npos) return fail(DescError::kHelpUnclosed);
  d.help = line.substr(open + 1, close - open - 1);
  d.stored = 4;
  d.style = close + 1 < line.size() ? line.substr(close + 2) : std::string_view();
  d.stored = 5;
  return d;
}

ControlPlan PlanControl(Description const& d) {
  ControlPlan p;
  for (int k = 0; k < static_cast<int>(std::size(kKinds)); ++k) {
    if (SameWordNoCase(d.type, kKinds[k].word)) {
      p.kind = k;
      break;
    }
  }
  if (p.kind < 0) return p;
  Kind const& kind = kKinds[p.kind];
  p.windowClass = kind.windowClass;
  p.style = kBaseStyle;
  bool rich = false;
  // Style words lie between runs of "|", none empty and none trimmed.
  std::string_view rest = d.style;
  while (!rest.empty()) {
    std::size_t bar = rest.find('|');
    std::string_view word = rest.substr(0, bar);
    if (!word.empty()) ApplyWord(p.kind, word, p, rich);
    if (bar == npos) break;
    rest.remove_prefix(bar + 1);
  }
  p.style |= kind.fixed;
  if (rich) p.windowClass = "RICHEDIT";
  p.left = d.x;
  p.top = d.y;
  p.right = Wrap(std::int64_t{d.x} + d.w + 1);
  p.bottom = Wrap(std::int64_t{d.y} + (p.kind == kCombo ? 120 : std::int64_t{d.h} + 1));
  p.iconButton = p.kind == kSmButton;
  p.list = d.type == "LIST";
  if (p.iconButton) {
    p.exStyle = 0;
    IconChoice icon = IconForCaption(d.caption);
    p.icon = icon.id;
    p.iconSize = icon.size;
  }
  return p;
}

IconChoice IconForCaption(std::string_view caption) {
  struct Row {
    std::string_view caption;
    IconChoice icon;
  };
  static constexpr Row kIcons[] = {
      {"tool", {icons::kTool, 16}},  {"up", {icons::kUp, 16}},   {"edit", {icons::kEdit, 16}},
      {"del", {icons::kDelete, 16}}, {"new", {icons::kNew, 16}}, {"scan", {icons::kScan, 32}},
  };
  for (Row const& row : kIcons) {
    if (SameWordNoCase(caption, row.caption)) return row.icon;
  }
  return {};
}

std::string FormatDescription(std::string_view type, std::string_view caption, std::int32_t left,
                              std::int32_t top, std::int32_t right, std::int32_t bottom,
                              std::string_view mark, std::string_view help,
                              std::string_view style) {
  std::string out;
  out.reserve(type.size() + caption.size() + mark.size() + help.size() + style.size() + 64);
  auto number = [&out](std::int64_t v) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, Wrap(v));
    out.append(buf, r.ptr);
  };
  out.append(type).append(",\"").append(caption).append("\",");
  number(left);
  out += ',';
  number(top);
  out += ',';
  number(std::int64_t{right} - left - 1);
  out += ',';
  number(std::int64_t{bottom} - top - 1);
  out.append(",\"").append(mark).append("\",\"").append(help).append("\",").append(style);
  return out;
}

char const* SysMark(int i) {
  return i >= 0 && i < kSysMarkCount ? kMarks[i].mark : "";
}

char const* SysMarkDescription(int i) {
  return i >= 0 && i < kSysMarkCount ? kMarks[i].description : "";
}

}  // namespace qel::controls
