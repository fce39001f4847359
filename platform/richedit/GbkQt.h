// GBK text at the Qt boundary: the program keeps GBK bytes, Qt wants
// QString. Bytes that do not decode survive the round trip (see Gbk.h).
#pragma once

#include <QList>
#include <QString>
#include <string>
#include <string_view>

namespace velmora {

QString QStringFromGbk(std::string_view gbk);
// A character GBK cannot hold becomes "?", as in an 8-bit edit box.
std::string GbkFromQString(const QString& text);
// The first character of text that GbkFromQString turns into "?", named
// ("U+00F1"); empty when there is none.
std::string NameFirstUnencodable(const QString& text);

}  // namespace velmora
