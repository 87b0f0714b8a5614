#pragma once

#include <QDate>

namespace Catraca {

// Dates in packets and tables are day numbers counted from 0001-01-01 of the
// proleptic Gregorian calendar as day 1; a timestamp is day number *
// kMillisecondsPerDay + milliseconds since midnight.
namespace DayNumber {

constexpr qint64 kMillisecondsPerDay = 86'400'000;

inline qint64 JulianDayOfDayOne()
{
    static const qint64 julian = QDate(1, 1, 1).toJulianDay();
    return julian;
}

inline QDate DateOf(qint64 dayNumber)
{
    return QDate::fromJulianDay(JulianDayOfDayOne() + dayNumber - 1);
}

inline qint64 Of(const QDate &date)
{
    return date.toJulianDay() - JulianDayOfDayOne() + 1;
}

}  // namespace DayNumber

}  // namespace Catraca
