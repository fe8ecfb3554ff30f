// The search form's hit list: every hit of a search in a table that reads records only as
// they come into view, a page at a time with a few pages kept, so that a list of 100,000
// hits opens and scrolls as fast as one of ten. Above the table, the hit count. Columns:
// the record number, the title, and the context of the first hit word, hit words in red.
#ifndef QEL_TOOLS_DESIGNER_HIT_LIST_H_
#define QEL_TOOLS_DESIGNER_HIT_LIST_H_

#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "search_form.h"

class QLabel;
class QTreeView;

namespace qel::designer {

class HitModel;

class HitList : public QWidget {
 public:
  // Reads lines first .. first + n - 1 of the hit list (SearchSession::Rows).
  using Reader = std::function<std::vector<HitRow>(std::uint64_t first, std::size_t n)>;

  // A list over the whole of parent, following its size.
  HitList(QWidget* parent, Reader reader);
  ~HitList() override;

  // Lists count hits (0 empties the list) with caption above them; the first is current.
  void SetHits(std::uint64_t count, QString const& caption);
  std::uint64_t count() const;
  // The current line, -1 when none.
  int CurrentRow() const;
  void SetCurrentRow(int row);
  // Called with the line opened by a double click or Enter.
  void OnOpen(std::function<void(int row)> open) { open_ = std::move(open); }
  QTreeView* view() const { return view_; }
  // Records read for the list so far (pages read times their lines).
  std::uint64_t rows_read() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* caption_ = nullptr;
  QTreeView* view_ = nullptr;
  HitModel* model_ = nullptr;
  std::function<void(int)> open_;
};

}  // namespace qel::designer

#endif  // QEL_TOOLS_DESIGNER_HIT_LIST_H_
