#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace Catraca {

// Dates and times as the user's regional settings write them: the short date
// format and the time format with seconds.
namespace RegionalFormat {

QString ShortDate(const QDate &date);
QString LongTime(const QTime &time);

// The reverse of the above; an invalid date or time when the text is none.
// A two-digit year is taken within fifty years of the current one.
QDate ParseShortDate(const QString &text);
QTime ParseLongTime(const QString &text);

}  // namespace RegionalFormat

}  // namespace Catraca
