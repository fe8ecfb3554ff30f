// The designer's texts in the person's language. The English text is the key: it is looked
// up in the translation loaded for the locale (translations/qel-designer_zh_CN.ts, built
// into the program), and stands as it is where there is none.
#ifndef QEL_TOOLS_DESIGNER_TR_H_
#define QEL_TOOLS_DESIGNER_TR_H_

#include <QCoreApplication>
#include <QString>

namespace qel::designer {

inline QString Tr(char const* english) {
  return QCoreApplication::translate("qel-designer", english);
}

// Loads the translation for the system's locale into the application; false when the
// locale's language has none (English then).
bool LoadTranslation();

}  // namespace qel::designer

#endif  // QEL_TOOLS_DESIGNER_TR_H_
