#include "cache/table/Field.h"

#include "cache/base/AnsiText.h"
#include "cache/base/Exceptions.h"
#include "cache/base/RegionalFormat.h"
#include "cache/packet/DayNumber.h"
#include "cache/packet/Utf16Bytes.h"
#include "cache/table/ClientDataSet.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <array>
#include <cmath>
#include <limits>

namespace Catraca {

namespace {

using DayNumber::kMillisecondsPerDay;

QString DateText(qint64 day)
{
    return RegionalFormat::ShortDate(DayNumber::DateOf(day));
}

QString TimeText(qint64 milliseconds)
{
    return RegionalFormat::LongTime(QTime::fromMSecsSinceStartOfDay(int(milliseconds)));
}

QString TimestampText(double value)
{
    // Beyond some three million years from year 1 a stamp is no date any
    // calendar shows (and its day number would not fit an integer): the
    // number itself is the honest text.
    constexpr double kLargestStampMilliseconds = 1e17;
    if (!std::isfinite(value) || std::abs(value) > kLargestStampMilliseconds)
        return QString::number(value);
    auto day = qint64(std::floor(value / double(kMillisecondsPerDay)));
    auto milliseconds = qint64(std::llround(value - double(day) * double(kMillisecondsPerDay)));
    if (milliseconds >= kMillisecondsPerDay) {
        ++day;
        milliseconds -= kMillisecondsPerDay;
    }
    return DateText(day) + QLatin1Char(' ') + TimeText(milliseconds);
}

QString FloatText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString BytesText(const QByteArray &bytes, TFieldType type)
{
    switch (type) {
    case ftWideMemo: return TextOfUtf16LittleEndian(bytes);
    case ftDataSet: return QStringLiteral("(DataSet)");
    case ftArray: return QStringLiteral("(Array)");
    default: return AnsiText::ToUnicode(bytes);
    }
}

QString IntegerText(qint64 value, TFieldType type)
{
    switch (type) {
    case ftBoolean: return value ? QStringLiteral("True") : QStringLiteral("False");
    case ftDate: return DateText(value);
    case ftTime: return TimeText(value);
    case ftDateTime:
    case ftTimeStamp: return TimestampText(double(value));
    default: return QString::number(value);
    }
}

QString DoubleText(double value, TFieldType type)
{
    switch (type) {
    case ftDateTime:
    case ftTimeStamp: return TimestampText(value);
    default: return FloatText(value);
    }
}

// --- text to cell -----------------------------------------------------------

EDatabaseError NotValid(const QString &text, const char *what)
{
    return EDatabaseError(QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what)));
}

struct IntegerRange {
    qint64 lowest;
    qint64 highest;
};

IntegerRange RangeOf(TFieldType type)
{
    switch (type) {
    case ftShortint: return {-128, 127};
    case ftByte: return {0, 255};
    case ftSmallint: return {-32768, 32767};
    case ftWord: return {0, 65535};
    case ftInteger:
    case ftAutoInc: return {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()};
    case ftLongWord: return {0, std::numeric_limits<quint32>::max()};
    default: return {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};
    }
}

Cell IntegerCell(const QString &text, TFieldType type)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        throw NotValid(text, "integer value");
    const IntegerRange range = RangeOf(type);
    if (value < range.lowest || value > range.highest) {
        throw EDatabaseError(QStringLiteral("%1 is not a valid value. The allowed range is %2 to %3")
                                 .arg(text.trimmed())
                                 .arg(range.lowest)
                                 .arg(range.highest));
    }
    return value;
}

Cell BooleanCell(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return qint64(1);
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return qint64(0);
    throw NotValid(text, "boolean value");
}

// A decimal comma is accepted where no point is present.
QString WithDecimalPoint(const QString &text)
{
    QString trimmed = text.trimmed();
    if (!trimmed.contains(QLatin1Char('.')))
        trimmed.replace(QLatin1Char(','), QLatin1Char('.'));
    return trimmed;
}

Cell FloatCell(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(WithDecimalPoint(text), &ok);
    if (!ok)
        throw NotValid(text, "floating point value");
    return value;
}

Cell DecimalCell(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    const QString normalized = WithDecimalPoint(text);
    if (!decimal.match(normalized).hasMatch())
        throw NotValid(text, "BCD value");
    return normalized;
}

Cell DateCell(const QString &text)
{
    const QDate date = RegionalFormat::ParseShortDate(text);
    if (!date.isValid())
        throw NotValid(text, "date");
    return DayNumber::Of(date);
}

Cell TimeCell(const QString &text)
{
    const QTime time = RegionalFormat::ParseLongTime(text);
    if (!time.isValid())
        throw NotValid(text, "time");
    return qint64(time.msecsSinceStartOfDay());
}

double TimestampValue(const QDate &date, const QTime &time)
{
    return double(DayNumber::Of(date)) * double(kMillisecondsPerDay) + double(time.msecsSinceStartOfDay());
}

// A date alone means midnight; otherwise the date and the time are split at
// one of the blanks, whichever split reads as both.
Cell TimestampCell(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QDate dateOnly = RegionalFormat::ParseShortDate(trimmed);
    if (dateOnly.isValid())
        return TimestampValue(dateOnly, QTime(0, 0));
    for (qsizetype blank = trimmed.indexOf(QLatin1Char(' ')); blank >= 0;
         blank = trimmed.indexOf(QLatin1Char(' '), blank + 1)) {
        const QDate date = RegionalFormat::ParseShortDate(trimmed.left(blank));
        const QTime time = RegionalFormat::ParseLongTime(trimmed.mid(blank + 1));
        if (date.isValid() && time.isValid())
            return TimestampValue(date, time);
    }
    throw NotValid(text, "date and time");
}

Cell WideStringCell(const QString &text, int size)
{
    QString value = text.left(text.indexOf(QChar(0)) < 0 ? text.size() : text.indexOf(QChar(0)));
    if (size > 0 && value.size() > size)
        value.truncate(size);
    if (value.isEmpty())
        return std::monostate{};
    return value;
}

Cell BytesCell(QByteArray bytes)
{
    if (bytes.isEmpty())
        return std::monostate{};
    return bytes;
}

EDatabaseError NoTextAssignment(TFieldType type)
{
    return EDatabaseError(QStringLiteral("Cannot assign text to a field of type %1").arg(FieldTypeName(type)));
}

bool IsBlankText(const QString &text)
{
    return text.trimmed().isEmpty();
}

Cell NonStringCell(const QString &text, TFieldType type)
{
    switch (type) {
    case ftShortint: case ftByte: case ftSmallint: case ftWord: case ftInteger:
    case ftAutoInc: case ftLongWord: case ftLargeint:
        return IntegerCell(text, type);
    case ftBoolean: return BooleanCell(text);
    case ftFloat: case ftCurrency: case ftExtended: case ftSingle: return FloatCell(text);
    case ftBCD: case ftFMTBcd: return DecimalCell(text);
    case ftDate: return DateCell(text);
    case ftTime: return TimeCell(text);
    case ftDateTime: case ftTimeStamp: return TimestampCell(text);
    default:
        throw NoTextAssignment(type);
    }
}

}  // namespace

// --- type names --------------------------------------------------------------

QString FieldTypeName(TFieldType type)
{
    static const std::array<const char *, ftSingle + 1> names = {
        "Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float",
        "Currency", "BCD", "Date", "Time", "DateTime", "Bytes", "VarBytes",
        "AutoInc", "Blob", "Memo", "Graphic", "FmtMemo", "ParadoxOle", "dBaseOle",
        "TypedBinary", "Cursor", "FixedChar", "WideString", "LargeInt", "ADT",
        "Array", "Reference", "DataSet", "OraBlob", "OraClob", "Variant",
        "Interface", "IDispatch", "Guid", "TimeStamp", "FMTBcd", "FixedWideChar",
        "WideMemo", "OraTimeStamp", "OraInterval", "LongWord", "ShortInt", "Byte",
        "Extended", "Connection", "Params", "Stream", "TimeStampOffset", "Object",
        "Single"};
    const auto index = static_cast<std::size_t>(type);
    return index < names.size() ? QString::fromLatin1(names[index]) : QStringLiteral("Unknown");
}

// --- cells as text -----------------------------------------------------------

QString FieldCellText(const Cell &cell, TFieldType type)
{
    if (const auto *integer = std::get_if<qint64>(&cell))
        return IntegerText(*integer, type);
    if (const auto *real = std::get_if<double>(&cell))
        return DoubleText(*real, type);
    if (const auto *bytes = std::get_if<QByteArray>(&cell))
        return BytesText(*bytes, type);
    if (const auto *text = std::get_if<QString>(&cell))
        return *text;
    return {};
}

Cell FieldCellFromText(const QString &text, TFieldType type, int size)
{
    switch (type) {
    case ftString:
    case ftFixedChar:
        return BytesCell(AnsiText::FromUnicode(text, size));
    case ftWideString:
    case ftFixedWideChar:
        return WideStringCell(text, size);
    case ftMemo: case ftBlob: case ftGraphic: case ftFmtMemo: case ftTypedBinary:
    case ftBytes: case ftVarBytes: case ftOraBlob: case ftOraClob:
        return BytesCell(AnsiText::Encode(text));
    case ftWideMemo:
        return BytesCell(Utf16LittleEndianBytes(text));
    case ftDataSet: case ftArray: case ftADT: case ftReference: case ftUnknown:
        throw NoTextAssignment(type);
    default:
        break;
    }
    if (IsBlankText(text))
        return std::monostate{};
    return NonStringCell(text, type);
}

// --- TField ------------------------------------------------------------------

TField::TField(TClientDataSet *dataSet, QString fieldName, TFieldType dataType, int size)
    : dataSet_(dataSet), fieldName_(std::move(fieldName)), dataType_(dataType), size_(size)
{
}

TField::~TField() = default;

QString TField::AsString() const
{
    const Cell *cell = dataSet_ ? dataSet_->ActiveCell(columnIndex_) : nullptr;
    return cell ? TextOf(*cell) : QString();
}

void TField::SetAsString(const QString &text)
{
    if (!dataSet_)
        throw EDatabaseError(QStringLiteral("Dataset not in edit or insert mode"));
    dataSet_->AssignCellText(this, text);
}

bool TField::IsNull() const
{
    const Cell *cell = dataSet_ ? dataSet_->ActiveCell(columnIndex_) : nullptr;
    return !cell || std::holds_alternative<std::monostate>(*cell);
}

}  // namespace Catraca
