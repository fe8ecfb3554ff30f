#include "hit_list.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <deque>
#include <map>

#include "form_window.h"
#include "tr.h"

namespace qel::designer {

namespace {

constexpr int kPage = 64;          // lines read at a time
constexpr std::size_t kKept = 32;  // pages kept
constexpr int kContextColumn = 2;
constexpr int kContextRole = Qt::UserRole;

// One line as the view shows it; the context keeps its hit marks.
struct Line {
  QString number, title, context, plain;
};

// The context with its hit words in red (the selection's text colour, bold, on a selected
// line), cut with an ellipsis where the column ends.
class ContextDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, QStyleOptionViewItem const& option,
             QModelIndex const& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    QStyle* style = opt.widget != nullptr ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    QRect room = opt.rect.adjusted(4, 0, -4, 0);
    bool selected = (opt.state & QStyle::State_Selected) != 0;
    QColor plain = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    QColor hit = selected ? plain : QColor(0xc0, 0, 0);
    QFont bold = opt.font;
    bold.setBold(true);
    painter->save();
    painter->setClipRect(opt.rect);
    int x = room.left();
    bool in_hit = false;
    QString piece;
    QString const marked = index.data(kContextRole).toString();
    auto flush = [&] {
      if (piece.isEmpty() || x >= room.right()) return;
      painter->setFont(in_hit ? bold : opt.font);
      painter->setPen(in_hit ? hit : plain);
      QFontMetrics metrics(painter->font());
      QString shown = metrics.elidedText(piece, Qt::ElideRight, room.right() - x);
      painter->drawText(QRect(x, room.top(), room.right() - x, room.height()),
                        Qt::AlignVCenter | Qt::AlignLeft, shown);
      x += metrics.horizontalAdvance(shown);
      piece.clear();
    };
    for (QChar c : marked) {
      if (c == QChar(0x01) || c == QChar(0x02)) {
        flush();
        in_hit = c == QChar(0x01);
      } else {
        piece += c;
      }
    }
    flush();
    painter->restore();
  }
};

}  // namespace

class HitModel : public QAbstractTableModel {
 public:
  explicit HitModel(HitList::Reader reader) : reader_(std::move(reader)) {}

  void Reset(std::uint64_t count) {
    beginResetModel();
    count_ = count;
    pages_.clear();
    order_.clear();
    endResetModel();
  }
  std::uint64_t count() const { return count_; }
  std::uint64_t rows_read() const { return rows_read_; }

  int rowCount(QModelIndex const& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::uint64_t>(count_, INT_MAX));
  }
  int columnCount(QModelIndex const& parent) const override { return parent.isValid() ? 0 : 3; }

  QVariant data(QModelIndex const& index, int role) const override {
    if (!index.isValid() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != kContextRole)) {
      return {};
    }
    Line const* line = At(index.row());
    if (line == nullptr) return {};
    switch (index.column()) {
      case 0:
        return line->number;
      case 1:
        return line->title;
      default:
        return role == kContextRole ? line->context : line->plain;
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
      case 0:
        return Tr("No.");
      case 1:
        return Tr("Title");
      default:
        return Tr("Context");
    }
  }

 private:
  // The line at row, its page read when it is not kept; the page read longest ago goes
  // when more than kKept are.
  Line const* At(int row) const {
    int page = row / kPage;
    auto it = pages_.find(page);
    if (it == pages_.end()) {
      std::vector<Line> lines;
      for (HitRow const& r :
           reader_(static_cast<std::uint64_t>(page) * kPage, static_cast<std::size_t>(kPage))) {
        QString context = FromGbk(r.context);
        QString plain = context;
        plain.remove(QChar(0x01)).remove(QChar(0x02));
        lines.push_back({FromGbk(r.number), FromGbk(r.title), context, plain});
      }
      rows_read_ += lines.size();
      it = pages_.emplace(page, std::move(lines)).first;
      order_.push_back(page);
      if (order_.size() > kKept) {
        pages_.erase(order_.front());
        order_.pop_front();
      }
    }
    std::size_t at = static_cast<std::size_t>(row % kPage);
    return at < it->second.size() ? &it->second[at] : nullptr;
  }

  HitList::Reader reader_;
  std::uint64_t count_ = 0;
  mutable std::map<int, std::vector<Line>> pages_;
  mutable std::deque<int> order_;
  mutable std::uint64_t rows_read_ = 0;
};

HitList::HitList(QWidget* parent, Reader reader) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  caption_ = new QLabel(this);
  caption_->setTextFormat(Qt::PlainText);
  layout->addWidget(caption_);
  view_ = new QTreeView(this);
  model_ = new HitModel(std::move(reader));
  model_->setParent(view_);
  view_->setModel(model_);
  // One height for every line lets the view place a line without asking for it: only the
  // lines in view are read.
  view_->setUniformRowHeights(true);
  view_->setRootIsDecorated(false);
  view_->setAllColumnsShowFocus(true);
  view_->setAlternatingRowColors(true);
  view_->setItemDelegateForColumn(kContextColumn, new ContextDelegate(view_));
  view_->header()->setStretchLastSection(true);
  view_->header()->resizeSection(0, 64);
  view_->header()->resizeSection(1, 200);
  view_->installEventFilter(this);
  connect(view_, &QTreeView::doubleClicked, this, [this](QModelIndex const& index) {
    if (open_ && index.isValid()) open_(index.row());
  });
  layout->addWidget(view_, 1);
  setFocusProxy(view_);
  // The list covers the control it stands in, whatever size that takes.
  if (parent != nullptr) {
    parent->installEventFilter(this);
    setGeometry(parent->rect());
  }
  SetHits(0, QString());
}

HitList::~HitList() = default;

void HitList::SetHits(std::uint64_t count, QString const& caption) {
  model_->Reset(count);
  // The number column fits a record number of seven digits after the longest library
  // name of the first and last lines (the name is there only among several libraries).
  if (count > 0) {
    int width = 0;
    for (std::uint64_t row : {std::uint64_t{0}, count - 1}) {
      QString number = model_->index(static_cast<int>(row), 0).data().toString();
      QString name = number.left(number.lastIndexOf(' ') + 1);
      width = std::max(width, view_->fontMetrics().horizontalAdvance(name + "9999999") + 12);
    }
    view_->header()->resizeSection(0, width);
  }
  caption_->setText(caption);
  if (count > 0) SetCurrentRow(0);
}

std::uint64_t HitList::count() const {
  return model_->count();
}

std::uint64_t HitList::rows_read() const {
  return model_->rows_read();
}

int HitList::CurrentRow() const {
  QModelIndex index = view_->currentIndex();
  return index.isValid() ? index.row() : -1;
}

void HitList::SetCurrentRow(int row) {
  view_->setCurrentIndex(model_->index(row, 0));
}

bool HitList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) {
    setGeometry(parentWidget()->rect());
  }
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && open_ && CurrentRow() >= 0) {
      open_(CurrentRow());
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace qel::designer
