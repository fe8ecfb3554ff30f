// The designer's texts in the person's language. The English text is the key: it is looked
// up in the translation loaded for the locale (translations/qel-designer_zh_CN.ts, built
// into the program), and stands as it is where there is none.
#ifndef QEL_TOOLS_DESIGNER_TR_H_
#define QEL_TOOLS_DESIGNER_TR_H_

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QTranslator>

namespace qel::designer {

inline QString Tr(char const* english) {
  return QCoreApplication::translate("qel-designer", english);
}

// The translation of the designer's texts, and of Qt's own for its standard dialogs, for
// a locale: installed in the application while it lives. Chinese locales have one; the
// texts stay English in every other.
class Translation {
 public:
  explicit Translation(QLocale const& locale = QLocale());
  ~Translation();
  Translation(Translation const&) = delete;
  Translation& operator=(Translation const&) = delete;
  bool loaded() const { return own_loaded_; }

 private:
  QTranslator own_, qt_;
  bool own_loaded_ = false, qt_loaded_ = false;
};

}  // namespace qel::designer

#endif  // QEL_TOOLS_DESIGNER_TR_H_
