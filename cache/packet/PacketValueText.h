#pragma once

#include <QString>
#include <optional>

namespace Catraca {

// Text forms of packet values as the XML form writes them. Day numbers count
// from 0001-01-01 as day 1; times are milliseconds since midnight; a
// timestamp is day number * 86,400,000 + milliseconds.
namespace PacketValueText {

// yyyymmdd; nothing for a day outside the years 1 to 9999.
std::optional<QString> DateText(qint64 dayNumber);
std::optional<qint64> ParseDate(const QString &text);

// hh:nn:ssmmm; nothing outside one day.
std::optional<QString> TimeText(qint64 milliseconds);
std::optional<qint64> ParseTime(const QString &text);

// yyyymmddThh:nn:ssmmm, or just yyyymmdd at midnight.
std::optional<QString> TimestampText(double timestamp);
std::optional<double> ParseTimestamp(const QString &text);

// The shortest text that reads back as the same double.
QString FloatText(double value);
// Accepts a decimal point or a decimal comma.
std::optional<double> ParseFloat(const QString &text);

std::optional<qint64> ParseInteger(const QString &text);

// Decimal text in its one canonical form: optional "-", the integer digits
// without leading zeros, then "." and the fraction digits as given.
// Accepts a decimal point or a decimal comma; nothing for other text.
std::optional<QString> NormalizeDecimal(const QString &text);

}  // namespace PacketValueText

}  // namespace Catraca
