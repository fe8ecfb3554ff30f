#include "tr.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace qel::designer {

bool LoadTranslation() {
  QLocale locale;
  if (locale.language() != QLocale::Chinese) return false;
  // The designer's own texts, and Qt's for the buttons of its standard dialogs.
  auto* own = new QTranslator(QCoreApplication::instance());
  if (!own->load(QLocale(QLocale::Chinese, QLocale::China), "qel-designer", "_", ":/i18n")) {
    return false;
  }
  QCoreApplication::installTranslator(own);
  auto* qt = new QTranslator(QCoreApplication::instance());
  if (qt->load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qt);
  }
  return true;
}

}  // namespace qel::designer
