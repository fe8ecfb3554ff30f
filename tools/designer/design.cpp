#include "design.h"

#include <algorithm>
#include <cctype>

namespace qel::designer {

void Selection::Reset(std::size_t count) {
  selected_.assign(count, false);
  active_ = kNone;
}

void Selection::Click(std::size_t i, bool ctrl) {
  if (i >= selected_.size()) return;
  if (!ctrl) std::fill(selected_.begin(), selected_.end(), false);
  selected_[i] = true;
  active_ = i;
}

void Selection::Clear() {
  Reset(selected_.size());
}

std::vector<std::size_t> Selection::Selected() const {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < selected_.size(); ++i) {
    if (selected_[i]) out.push_back(i);
  }
  return out;
}

Reaction React(Selection const& selection, std::size_t i, std::uintptr_t notice, int a, int b) {
  Reaction r;
  switch (notice) {
    case kButtonDown:
    case kMoveStep:
    case kButtonUp:
      for (std::size_t k : selection.Selected()) {
        if (k != i) r.mirrors.push_back({k, static_cast<unsigned int>(notice), a, b});
      }
      r.commit = notice == kButtonUp;
      break;
    case kShiftDrop:
      r.drop = true;
      r.commit = true;
      r.x = a;
      r.y = b;
      break;
    default:
      break;
  }
  return r;
}

bool MarkFitsKind(std::string_view mark, std::string_view kind) {
  std::string k(kind);
  for (char& c : k) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!mark.starts_with("_SYS_")) return true;
  if (mark.starts_with("_SYS_ED_")) return k == "EDIT";
  if (mark.starts_with("_SYS_BT_")) return k == "BUTTON" || k == "SMBUTTON";
  if (mark.starts_with("_SYS_CK_")) return k == "CHECK";
  if (mark == "_SYS_STATIC") return k == "TEXT" || k == "GROUP";
  return false;
}

void DragTracker::Down(int pointer_x, int pointer_y, int control_x, int control_y) {
  down_ = true;
  moved_ = false;
  pointer_x_ = pointer_x;
  pointer_y_ = pointer_y;
  control_x_ = control_x;
  control_y_ = control_y;
}

std::pair<int, int> DragTracker::Up(int pointer_x, int pointer_y, int control_x, int control_y) {
  bool moved = down_ && moved_;
  down_ = moved_ = false;
  if (!moved) return {0, 0};
  return {(pointer_x - pointer_x_) - (control_x - control_x_),
          (pointer_y - pointer_y_) - (control_y - control_y_)};
}

void OrderView::Start(std::size_t count) {
  places_.assign(count, -1);
  next_ = 0;
}

int OrderView::Click(std::size_t i) {
  if (i >= places_.size()) return -1;
  if (places_[i] < 0) places_[i] = next_++;
  return places_[i];
}

std::vector<std::size_t> OrderView::Order() const {
  std::vector<std::size_t> order(places_.size());
  for (std::size_t i = 0; i < places_.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    int pa = places_[a] < 0 ? next_ : places_[a];
    int pb = places_[b] < 0 ? next_ : places_[b];
    return pa < pb;
  });
  return order;
}

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::vector<std::string_view> const& Kinds() {
  static std::vector<std::string_view> const kinds = {"EDIT",  "TEXT",   "COMBO",    "GROUP",
                                                      "CHECK", "BUTTON", "SMBUTTON", "LIST"};
  return kinds;
}

std::vector<std::string_view> StyleWords(std::string_view kind) {
  std::vector<std::string_view> edges = {"3D", "CLIENTEDGE", "DLGMODALFRAME", "STATICEDGE",
                                         "BORDER"};
  std::string k = Upper(kind);
  auto with = [&](std::initializer_list<std::string_view> more) {
    std::vector<std::string_view> out = edges;
    out.insert(out.end(), more);
    return out;
  };
  if (k == "EDIT") {
    return with({"LEFT", "CENTER", "RIGHT", "UPPER", "LOWER", "PASSWORD", "MULTLINE", "RICH"});
  }
  if (k == "TEXT") return with({"LEFT", "CENTER", "RIGHT", "SS_ETCHEDFRAME"});
  if (k == "COMBO" || k == "LIST") return edges;
  if (k == "GROUP" || k == "CHECK") return with({"LEFT", "CENTER", "RIGHT"});
  if (k == "SMBUTTON") return {"BORDER", "LEFT", "CENTER", "RIGHT"};
  return {};
}

namespace {

struct Shape {
  char const* caption;
  int w, h;
  char const* style;
};

Shape ShapeOf(std::string const& k) {
  if (k == "EDIT") return {"", 159, 21, "3D"};
  if (k == "TEXT") return {"\xCE\xC4\xD7\xD6", 59, 17, ""};  // 文字
  if (k == "COMBO") return {"", 119, 119, "3D"};
  if (k == "GROUP") return {"\xB7\xD6\xD7\xE9", 199, 99, ""};  // 分组
  if (k == "CHECK") return {"\xD1\xA1\xCF\xEE", 79, 17, ""};   // 选项
  if (k == "BUTTON") return {"\xB0\xB4\xC5\xA5", 71, 23, ""};  // 按钮
  if (k == "SMBUTTON") return {"tool", 21, 21, "BORDER"};
  if (k == "LIST") return {"", 239, 119, "3D"};
  return {"", 99, 21, ""};
}

}  // namespace

std::string NewLine(std::string_view kind, int x, int y) {
  std::string k = Upper(kind);
  Shape s = ShapeOf(k);
  return k + ",\"" + s.caption + "\"," + std::to_string(x) + "," + std::to_string(y) + "," +
         std::to_string(s.w) + "," + std::to_string(s.h) + ",\"\",\"\"," + s.style;
}

std::pair<int, int> NewSize(std::string_view kind) {
  Shape s = ShapeOf(Upper(kind));
  return {s.w + 1, s.h + 1};
}

std::string JoinWords(std::vector<std::string> const& words) {
  std::string out;
  for (std::string const& w : words) {
    if (w.empty()) continue;
    if (!out.empty()) out += '|';
    out += w;
  }
  return out;
}

std::vector<std::string> SplitWords(std::string_view style) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= style.size()) {
    std::size_t end = style.find('|', start);
    if (end == std::string_view::npos) end = style.size();
    if (end > start) out.emplace_back(style.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

Rect Snap(Rect r, int grid) {
  auto nearest = [grid](int v) { return std::max(0, (v + grid / 2) / grid * grid); };
  r.x = nearest(r.x);
  r.y = nearest(r.y);
  return r;
}

std::vector<Rect> Arrange(std::vector<Rect> rects, std::vector<std::size_t> const& selected,
                          std::size_t active, Arrangement arrangement) {
  if (active >= rects.size()) return rects;
  Rect const measure = rects[active];
  for (std::size_t i : selected) {
    if (i >= rects.size() || i == active) continue;
    Rect& r = rects[i];
    switch (arrangement) {
      case Arrangement::kAlignLeft:
        r.x = measure.x;
        break;
      case Arrangement::kAlignTop:
        r.y = measure.y;
        break;
      case Arrangement::kAlignRight:
        r.x = measure.x + measure.w - r.w;
        break;
      case Arrangement::kAlignBottom:
        r.y = measure.y + measure.h - r.h;
        break;
      case Arrangement::kSameWidth:
        r.w = measure.w;
        break;
      case Arrangement::kSameHeight:
        r.h = measure.h;
        break;
      case Arrangement::kSameSize:
        r.w = measure.w;
        r.h = measure.h;
        break;
    }
    // A control lined up past the left or top edge could no longer be grabbed.
    r.x = std::max(r.x, 0);
    r.y = std::max(r.y, 0);
  }
  return rects;
}

std::pair<int, int> FreeSpot(std::vector<Rect> const& taken, int w, int h, int area_width) {
  auto free = [&](int x, int y) {
    for (Rect const& t : taken) {
      bool apart = x + w + kGrid <= t.x || t.x + t.w + kGrid <= x || y + h + kGrid <= t.y ||
                   t.y + t.h + kGrid <= y;
      if (!apart) return false;
    }
    return true;
  };
  int bottom = kGrid;
  for (Rect const& t : taken) bottom = std::max(bottom, t.y + t.h + kGrid);
  for (int y = kGrid; y < bottom; y += kGrid) {
    for (int x = kGrid; x + w <= std::max(area_width, w + kGrid); x += kGrid) {
      if (free(x, y)) return {x, y};
    }
  }
  return {kGrid, (bottom + kGrid - 1) / kGrid * kGrid};
}

std::vector<Rect> Stretch(std::vector<Rect> rects, std::size_t grow, int extra_width,
                          int extra_height) {
  if (grow >= rects.size()) return rects;
  Rect const list = rects[grow];
  extra_width = std::max(extra_width, 0);
  extra_height = std::max(extra_height, 0);
  for (std::size_t i = 0; i < rects.size(); ++i) {
    Rect& r = rects[i];
    if (i == grow) {
      r.w += extra_width;
      r.h += extra_height;
      continue;
    }
    if (r.x >= list.x + list.w) r.x += extra_width;
    if (r.y >= list.y + list.h) r.y += extra_height;
  }
  return rects;
}

}  // namespace qel::designer
