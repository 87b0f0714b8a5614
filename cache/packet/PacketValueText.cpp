#include "cache/packet/PacketValueText.h"

#include "cache/packet/DayNumber.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace Catraca {

namespace PacketValueText {

namespace {

qint64 LastDayNumber()
{
    return DayNumber::Of(QDate(9999, 12, 31));
}

std::optional<qint64> DayNumberOf(int year, int month, int day)
{
    const QDate date(year, month, day);
    if (year < 1 || !date.isValid())
        return std::nullopt;
    return DayNumber::Of(date);
}

std::optional<qint64> TimeOf(int hours, int minutes, int seconds, int milliseconds)
{
    if (hours > 23 || minutes > 59 || seconds > 59 || milliseconds > 999)
        return std::nullopt;
    return ((hours * 60 + minutes) * 60 + seconds) * qint64(1000) + milliseconds;
}

}  // namespace

std::optional<QString> DateText(qint64 dayNumber)
{
    if (dayNumber < 1 || dayNumber > LastDayNumber())
        return std::nullopt;
    const QDate date = DayNumber::DateOf(dayNumber);
    return QString::asprintf("%04d%02d%02d", date.year(), date.month(), date.day());
}

std::optional<qint64> ParseDate(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    return DayNumberOf(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
}

std::optional<QString> TimeText(qint64 milliseconds)
{
    if (milliseconds < 0 || milliseconds >= DayNumber::kMillisecondsPerDay)
        return std::nullopt;
    const qint64 seconds = milliseconds / 1000;
    return QString::asprintf("%02d:%02d:%02d%03d", int(seconds / 3600), int(seconds / 60 % 60),
                             int(seconds % 60), int(milliseconds % 1000));
}

std::optional<qint64> ParseTime(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{2}):(\\d{2}):(\\d{2})(?:\\.?(\\d{3}))?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    return TimeOf(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt(),
                  match.captured(4).toInt());
}

std::optional<QString> TimestampText(double timestamp)
{
    if (!std::isfinite(timestamp))
        return std::nullopt;
    double day = std::floor(timestamp / double(DayNumber::kMillisecondsPerDay));
    double milliseconds = std::round(timestamp - day * double(DayNumber::kMillisecondsPerDay));
    if (milliseconds >= double(DayNumber::kMillisecondsPerDay)) {
        day += 1;
        milliseconds = 0;
    }
    if (day < 1 || day > double(LastDayNumber()))
        return std::nullopt;
    const std::optional<QString> date = DateText(qint64(day));
    if (milliseconds == 0)
        return date;
    return *date + QLatin1Char('T') + *TimeText(qint64(milliseconds));
}

std::optional<double> ParseTimestamp(const QString &text)
{
    const QString trimmed = text.trimmed();
    const qsizetype separator = trimmed.indexOf(QLatin1Char('T'));
    const std::optional<qint64> day = ParseDate(separator < 0 ? trimmed : trimmed.left(separator));
    if (!day)
        return std::nullopt;
    qint64 milliseconds = 0;
    if (separator >= 0) {
        const std::optional<qint64> time = ParseTime(trimmed.mid(separator + 1));
        if (!time)
            return std::nullopt;
        milliseconds = *time;
    }
    return double(*day) * double(DayNumber::kMillisecondsPerDay) + double(milliseconds);
}

QString FloatText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<double> ParseFloat(const QString &text)
{
    QString normalized = text.trimmed();
    if (normalized.contains(QLatin1Char(','))) {
        if (normalized.contains(QLatin1Char('.')))
            return std::nullopt;  // grouping marks are not part of the grammar
        normalized.replace(QLatin1Char(','), QLatin1Char('.'));
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(normalized, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<qint64> ParseInteger(const QString &text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<QString> NormalizeDecimal(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^([+-]?)(\\d*)(?:[.,](\\d*))?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    QString integerDigits = match.captured(2);
    const QString fractionDigits = match.captured(3);
    if (integerDigits.isEmpty() && fractionDigits.isEmpty())
        return std::nullopt;
    while (integerDigits.size() > 1 && integerDigits.front() == QLatin1Char('0'))
        integerDigits.remove(0, 1);
    if (integerDigits.isEmpty())
        integerDigits = QStringLiteral("0");
    const bool isZero = !(integerDigits + fractionDigits).contains(QRegularExpression(QStringLiteral("[1-9]")));
    QString result = (match.captured(1) == QLatin1String("-") && !isZero) ? QStringLiteral("-") : QString();
    result += integerDigits;
    if (!fractionDigits.isEmpty())
        result += QLatin1Char('.') + fractionDigits;
    return result;
}

}  // namespace PacketValueText

}  // namespace Catraca
