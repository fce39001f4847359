#include "platform/richedit/GbkQt.h"

#include "platform/classes/Gbk.h"

namespace velmora {

QString QStringFromGbk(std::string_view gbk) {
  std::u32string wide = gbk::Decode(gbk);
  return QString::fromUcs4(wide.data(), qsizetype(wide.size()));
}

std::string GbkFromQString(const QString& text) {
  QList<uint> ucs4 = text.toUcs4();
  std::u32string wide(ucs4.begin(), ucs4.end());
  return gbk::Encode(wide);
}

std::string NameFirstUnencodable(const QString& text) {
  QList<uint> ucs4 = text.toUcs4();
  return gbk::NameFirstUnencodable(std::u32string(ucs4.begin(), ucs4.end()));
}

}  // namespace velmora
