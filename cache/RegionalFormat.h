#pragma once

#include <QDate>
#include <QString>
#include <QTime>

// Dates and times as the user's regional settings write them: the short date
// format and the time format with seconds.
namespace RegionalFormat {

QString ShortDate(const QDate &date);
QString LongTime(const QTime &time);

}  // namespace RegionalFormat
