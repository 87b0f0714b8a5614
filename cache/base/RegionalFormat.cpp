#include "cache/base/RegionalFormat.h"

#include <QLocale>
#include <QRegularExpression>

namespace Catraca {

namespace {

// Removes the time-zone part ("t" in any run length) and the blanks around it.
QString WithoutTimeZone(QString format)
{
    static const QRegularExpression timeZone(QStringLiteral("\\s*t+\\s*"));
    format.replace(timeZone, QStringLiteral(" "));
    return format.trimmed();
}

// The locale's long time format when it shows seconds; otherwise its short
// format with the seconds added after the minutes.
QString TimeFormatWithSeconds()
{
    const QLocale locale = QLocale::system();
    const QString longFormat = WithoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    if (longFormat.contains(QLatin1Char('s')))
        return longFormat;
    QString shortFormat = WithoutTimeZone(locale.timeFormat(QLocale::ShortFormat));
    const qsizetype minutes = shortFormat.indexOf(QLatin1String("mm"));
    if (minutes < 0)
        return QStringLiteral("HH:mm:ss");
    shortFormat.insert(minutes + 2, QLatin1String(":ss"));
    return shortFormat;
}

QString DateFormat()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat);
}

// Puts a two-digit year parsed as 19yy into the century that brings it
// within fifty years of today.
QDate WithinFiftyYearsOfToday(const QDate &parsed)
{
    const int thisYear = QDate::currentDate().year();
    int year = thisYear - thisYear % 100 + parsed.year() % 100;
    if (year > thisYear + 49)
        year -= 100;
    else if (year < thisYear - 50)
        year += 100;
    return QDate(year, parsed.month(), parsed.day());
}

bool HasFourDigitYear(const QString &format)
{
    return format.contains(QLatin1String("yyyy"));
}

}  // namespace

namespace RegionalFormat {

QString ShortDate(const QDate &date)
{
    return QLocale::system().toString(date, DateFormat());
}

QString LongTime(const QTime &time)
{
    return QLocale::system().toString(time, TimeFormatWithSeconds());
}

QDate ParseShortDate(const QString &text)
{
    const QLocale locale = QLocale::system();
    const QString format = DateFormat();
    const QString trimmed = text.trimmed();
    if (HasFourDigitYear(format))
        return locale.toDate(trimmed, format);
    const QDate shortYear = locale.toDate(trimmed, format);
    if (shortYear.isValid())
        return WithinFiftyYearsOfToday(shortYear);
    QString fourDigits = format;
    fourDigits.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return locale.toDate(trimmed, fourDigits);
}

QTime ParseLongTime(const QString &text)
{
    const QLocale locale = QLocale::system();
    const QString trimmed = text.trimmed();
    const QTime withSeconds = locale.toTime(trimmed, TimeFormatWithSeconds());
    if (withSeconds.isValid())
        return withSeconds;
    return locale.toTime(trimmed, WithoutTimeZone(locale.timeFormat(QLocale::ShortFormat)));
}

}  // namespace RegionalFormat

}  // namespace Catraca
