#include "tr.h"

#include <QLibraryInfo>

namespace qel::designer {

Translation::Translation(QLocale const& locale) {
  if (locale.language() != QLocale::Chinese) return;
  QLocale chinese(QLocale::Chinese, QLocale::China);
  own_loaded_ = own_.load(chinese, "qel-designer", "_", ":/i18n");
  if (own_loaded_) QCoreApplication::installTranslator(&own_);
  qt_loaded_ = qt_.load(chinese, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (qt_loaded_) QCoreApplication::installTranslator(&qt_);
}

Translation::~Translation() {
  if (own_loaded_) QCoreApplication::removeTranslator(&own_);
  if (qt_loaded_) QCoreApplication::removeTranslator(&qt_);
}

}  // namespace qel::designer
