#include "cache/table/ClientDataSet.h"
#include "cache/base/Exceptions.h"
#include "cache/base/RegionalFormat.h"

#include <QtTest>
#include <functional>

using namespace Catraca;

Q_DECLARE_METATYPE(ColumnKind)

namespace {

PacketColumn Column(ColumnKind kind, int size, const QString &subtype = {})
{
    PacketColumn column;
    column.name = "VALOR";
    column.kind = kind;
    column.size = size;
    column.subtype = subtype;
    return column;
}

// An unnamed table with one column of the kind and one row holding the cell.
struct OneCellTable {
    OneCellTable(const PacketColumn &column, const Cell &cell)
    {
        Packet packet;
        packet.columns = {column};
        packet.rows.push_back(PacketRow{{cell}});
        table.LoadFromPacket(packet);
        field = table.FieldByName("VALOR");
    }
    Cell StoredCell() { return table.SaveToPacket().rows.front().cells.front(); }
    TClientDataSet table;
    TField *field = nullptr;
};

const qint64 kMillisecondsPerDay = 86'400'000;

qint64 DayNumber(const QDate &date)
{
    return date.toJulianDay() - QDate(1, 1, 1).toJulianDay() + 1;
}

}  // namespace

class TestFieldText : public QObject {
    Q_OBJECT

private slots:
    void eightBitStrings_data();
    void eightBitStrings();
    void otherKindsAssigned_data();
    void otherKindsAssigned();
    void storedCellsRead_data();
    void storedCellsRead();
    void floatsReadBackTheSame_data();
    void floatsReadBackTheSame();
    void fieldClassOfPacketColumn_data();
    void fieldClassOfPacketColumn();
    void regionalTextsReadBack_data();
    void regionalTextsReadBack();
};

void TestFieldText::eightBitStrings_data()
{
    QTest::addColumn<QString>("assigned");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("stored");  // empty: blank

    QTest::newRow("cut to width") << "ABCDEFGHIJKL" << 10 << QByteArray("ABCDEFGHIJ");
    QTest::newRow("cut to one") << "LIBERADO" << 1 << QByteArray("L");
    QTest::newRow("empty is blank") << "" << 10 << QByteArray();
    QTest::newRow("trailing blanks trimmed") << "AB  " << 10 << QByteArray("AB");
    QTest::newRow("leading blanks kept") << "  AB" << 10 << QByteArray("  AB");
    QTest::newRow("blanks only") << "   " << 10 << QByteArray();
    QTest::newRow("trimmed after the cut") << "ABCDEFGHI JK" << 10 << QByteArray("ABCDEFGHI");
    QTest::newRow("text from NUL dropped") << QString("AB") + QChar(0) + "CD" << 10 << QByteArray("AB");
    QTest::newRow("outside code page") << QString::fromUtf8("AΩB") << 10 << QByteArray("A?B");
    QTest::newRow("code page letters") << QString::fromUtf8("ção€") << 10 << QByteArray("\xE7\xE3o\x80");
    QTest::newRow("cut counts bytes") << QString::fromUtf8("éééééééééééé") << 10 << QByteArray(10, '\xE9');
    QTest::newRow("surrogate pair is one '?'") << QString::fromUtf8("A😀B") << 10 << QByteArray("A?B");
}

void TestFieldText::eightBitStrings()
{
    QFETCH(QString, assigned);
    QFETCH(int, width);
    QFETCH(QByteArray, stored);

    OneCellTable cell(Column(ColumnKind::AnsiString, width), QByteArray("OLD"));
    cell.table.Edit();
    cell.field->SetAsString(assigned);
    cell.table.Post();
    const Cell value = cell.StoredCell();
    if (stored.isEmpty()) {
        QVERIFY(std::holds_alternative<std::monostate>(value));
        QVERIFY(cell.field->IsNull());
        QCOMPARE(cell.field->AsString(), QString(""));
    } else {
        QCOMPARE(std::get<QByteArray>(value), stored);
        QVERIFY(!cell.field->IsNull());
    }
}

void TestFieldText::otherKindsAssigned_data()
{
    QTest::addColumn<ColumnKind>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("subtype");
    QTest::addColumn<QString>("assigned");
    QTest::addColumn<QString>("readBack");  // or the error message

    const QString date = RegionalFormat::ShortDate(QDate(2024, 2, 29));
    const QString time = RegionalFormat::LongTime(QTime(13, 5, 9));

    QTest::newRow("integer") << ColumnKind::SignedInt << 4 << "" << "-42" << "-42";
    QTest::newRow("integer with blanks") << ColumnKind::SignedInt << 4 << "" << " 7 " << "7";
    QTest::newRow("integer blank") << ColumnKind::SignedInt << 4 << "" << "  " << "";
    QTest::newRow("integer not a number") << ColumnKind::SignedInt << 4 << "" << "12a" << "'12a' is not a valid integer value";
    QTest::newRow("integer fraction") << ColumnKind::SignedInt << 4 << "" << "1.5" << "'1.5' is not a valid integer value";
    QTest::newRow("shortint range") << ColumnKind::SignedInt << 1 << "" << "128" << "128 is not a valid value. The allowed range is -128 to 127";
    QTest::newRow("byte negative") << ColumnKind::UnsignedInt << 1 << "" << "-1" << "-1 is not a valid value. The allowed range is 0 to 255";
    QTest::newRow("integer range") << ColumnKind::SignedInt << 4 << "" << "2147483648"
                                   << "2147483648 is not a valid value. The allowed range is -2147483648 to 2147483647";
    QTest::newRow("longword top") << ColumnKind::UnsignedInt << 4 << "" << "4294967295" << "4294967295";
    QTest::newRow("largeint top") << ColumnKind::SignedInt << 8 << "" << "9223372036854775807" << "9223372036854775807";
    QTest::newRow("boolean") << ColumnKind::Boolean << 2 << "" << "true" << "True";
    QTest::newRow("boolean false") << ColumnKind::Boolean << 2 << "" << "FALSE" << "False";
    QTest::newRow("boolean other") << ColumnKind::Boolean << 2 << "" << "yes" << "'yes' is not a valid boolean value";
    QTest::newRow("float") << ColumnKind::Float << 8 << "" << "0.1" << "0.1";
    QTest::newRow("float decimal comma") << ColumnKind::Float << 8 << "" << "1,5" << "1.5";
    QTest::newRow("float exponent") << ColumnKind::Float << 8 << "" << "1e300" << "1e+300";
    QTest::newRow("float not a number") << ColumnKind::Float << 8 << "" << "abc" << "'abc' is not a valid floating point value";
    QTest::newRow("currency") << ColumnKind::Float << 8 << "Money" << "12.5" << "12.5";
    QTest::newRow("bcd") << ColumnKind::Bcd << 8 << "" << "-12,50" << "-12.50";
    QTest::newRow("bcd not a number") << ColumnKind::Bcd << 8 << "" << "1.2.3" << "'1.2.3' is not a valid BCD value";
    QTest::newRow("date") << ColumnKind::Date << 4 << "" << date << date;
    QTest::newRow("date invalid") << ColumnKind::Date << 4 << "" << "31/31/31x" << "'31/31/31x' is not a valid date";
    QTest::newRow("time") << ColumnKind::Time << 4 << "" << time << time;
    QTest::newRow("time invalid") << ColumnKind::Time << 4 << "" << "25:61" << "'25:61' is not a valid time";
    QTest::newRow("timestamp") << ColumnKind::Timestamp << 8 << "" << date + " " + time << date + " " + time;
    QTest::newRow("timestamp date only") << ColumnKind::Timestamp << 8 << "" << date
                                         << date + " " + RegionalFormat::LongTime(QTime(0, 0));
    QTest::newRow("wide string as stored") << ColumnKind::WideString << 20 << "" << QString::fromUtf8("Ωmega  ")
                                           << QString::fromUtf8("Ωmega  ");
    QTest::newRow("wide string cut to width") << ColumnKind::WideString << 6 << "" << "ABCDEF" << "ABC";
    QTest::newRow("memo keeps blanks and lines") << ColumnKind::Blob << 0 << "Text" << "a\r\nb  " << "a\r\nb  ";
    QTest::newRow("wide memo") << ColumnKind::Blob << 0 << "WideText" << QString::fromUtf8("Ω ção") << QString::fromUtf8("Ω ção");
    QTest::newRow("nested refuses text") << ColumnKind::Nested << 0 << "" << "x" << "Cannot assign text to a field of type DataSet";
}

void TestFieldText::otherKindsAssigned()
{
    QFETCH(ColumnKind, kind);
    QFETCH(int, size);
    QFETCH(QString, subtype);
    QFETCH(QString, assigned);
    QFETCH(QString, readBack);

    OneCellTable cell(Column(kind, size, subtype), Cell{});
    cell.table.Edit();
    QString result;
    try {
        cell.field->SetAsString(assigned);
        cell.table.Post();
        result = cell.field->AsString();
    } catch (const EDatabaseError &error) {
        result = error.Message();
        QCOMPARE(cell.table.State(), dsEdit);  // a refused text changes nothing
        QVERIFY(!cell.table.Modified());
    }
    QCOMPARE(result, readBack);
}

void TestFieldText::storedCellsRead_data()
{
    QTest::addColumn<ColumnKind>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("subtype");
    QTest::addColumn<Cell>("cell");
    QTest::addColumn<QString>("text");

    const QDateTime moment(QDate(2023, 12, 31), QTime(23, 59, 58, 7));
    const double stamp = double(DayNumber(moment.date())) * kMillisecondsPerDay + moment.time().msecsSinceStartOfDay();
    QTest::newRow("blank integer") << ColumnKind::SignedInt << 4 << "" << Cell{} << "";
    QTest::newRow("negative smallint") << ColumnKind::SignedInt << 2 << "" << Cell{qint64(-300)} << "-300";
    QTest::newRow("boolean") << ColumnKind::Boolean << 2 << "" << Cell{qint64(1)} << "True";
    QTest::newRow("day one") << ColumnKind::Date << 4 << "" << Cell{qint64(1)} << RegionalFormat::ShortDate(QDate(1, 1, 1));
    QTest::newRow("a leap day") << ColumnKind::Date << 4 << "" << Cell{DayNumber(QDate(2000, 2, 29))}
                                << RegionalFormat::ShortDate(QDate(2000, 2, 29));
    QTest::newRow("time") << ColumnKind::Time << 4 << "" << Cell{qint64(3723004)} << RegionalFormat::LongTime(QTime(1, 2, 3));
    QTest::newRow("timestamp") << ColumnKind::Timestamp << 8 << "" << Cell{stamp}
                               << RegionalFormat::ShortDate(moment.date()) + " " + RegionalFormat::LongTime(moment.time());
    QTest::newRow("8-bit bytes") << ColumnKind::AnsiString << 10 << "" << Cell{QByteArray("\x80\xE9\x9F")}
                                 << QString::fromUtf8("€éŸ");
    QTest::newRow("8-bit blanks padding a fixed width") << ColumnKind::AnsiString << 5 << "FixedChar"
                                                        << Cell{QByteArray("AB   ")} << "AB";
    QTest::newRow("8-bit wider than its column, then trimmed") << ColumnKind::AnsiString << 3 << ""
                                                               << Cell{QByteArray("AB CDEFGH")} << "AB";
    QTest::newRow("float third") << ColumnKind::Float << 8 << "" << Cell{1.0 / 3} << "0.3333333333333333";
    QTest::newRow("float whole") << ColumnKind::Float << 8 << "" << Cell{100.0} << "100";
}

void TestFieldText::storedCellsRead()
{
    QFETCH(ColumnKind, kind);
    QFETCH(int, size);
    QFETCH(QString, subtype);
    QFETCH(Cell, cell);
    QFETCH(QString, text);

    OneCellTable table(Column(kind, size, subtype), cell);
    QCOMPARE(table.field->AsString(), text);
    QCOMPARE(table.field->IsNull(), std::holds_alternative<std::monostate>(cell));
}

void TestFieldText::floatsReadBackTheSame_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("tenth") << 0.1;
    QTest::newRow("seventh") << 1.0 / 7;
    QTest::newRow("large") << 123456789012345680.0;
    QTest::newRow("tiny") << 5e-324;
    QTest::newRow("negative") << -2.5e-8;
}

void TestFieldText::floatsReadBackTheSame()
{
    QFETCH(double, value);
    OneCellTable cell(Column(ColumnKind::Float, 8), value);
    const QString text = cell.field->AsString();
    cell.table.Edit();
    cell.field->SetAsString(text);
    cell.table.Post();
    QCOMPARE(std::get<double>(cell.StoredCell()), value);
    // Shortest: the same value with one significant digit fewer reads back as another.
    QString mantissa = text.section('e', 0, 0);
    mantissa.remove('-').remove('.');
    while (mantissa.startsWith('0'))
        mantissa.remove(0, 1);
    while (mantissa.endsWith('0'))
        mantissa.chop(1);
    if (mantissa.size() > 1)
        QVERIFY2(QString::number(value, 'g', int(mantissa.size()) - 1).toDouble() != value, qPrintable(text));
}

void TestFieldText::fieldClassOfPacketColumn_data()
{
    QTest::addColumn<ColumnKind>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("subtype");
    QTest::addColumn<QString>("typeName");
    QTest::addColumn<std::function<bool(TField *)>>("isOfClass");

    auto is = [](auto *sample) {
        using Class = std::remove_pointer_t<decltype(sample)>;
        return std::function<bool(TField *)>([](TField *field) { return dynamic_cast<Class *>(field) != nullptr; });
    };
    QTest::newRow("8-bit string") << ColumnKind::AnsiString << 10 << "" << "String" << is((TStringField *)nullptr);
    QTest::newRow("fixed char") << ColumnKind::AnsiString << 10 << "FixedChar" << "FixedChar" << is((TStringField *)nullptr);
    QTest::newRow("unicode string") << ColumnKind::WideString << 20 << "" << "WideString" << is((TWideStringField *)nullptr);
    QTest::newRow("i1") << ColumnKind::SignedInt << 1 << "" << "ShortInt" << is((TShortintField *)nullptr);
    QTest::newRow("i2") << ColumnKind::SignedInt << 2 << "" << "SmallInt" << is((TSmallintField *)nullptr);
    QTest::newRow("i4") << ColumnKind::SignedInt << 4 << "" << "Integer" << is((TIntegerField *)nullptr);
    QTest::newRow("autoinc") << ColumnKind::SignedInt << 4 << "Autoinc" << "AutoInc" << is((TAutoIncField *)nullptr);
    QTest::newRow("i8") << ColumnKind::SignedInt << 8 << "" << "LargeInt" << is((TLargeintField *)nullptr);
    QTest::newRow("ui1") << ColumnKind::UnsignedInt << 1 << "" << "Byte" << is((TByteField *)nullptr);
    QTest::newRow("ui2") << ColumnKind::UnsignedInt << 2 << "" << "Word" << is((TWordField *)nullptr);
    QTest::newRow("ui4") << ColumnKind::UnsignedInt << 4 << "" << "LongWord" << is((TLongWordField *)nullptr);
    QTest::newRow("boolean") << ColumnKind::Boolean << 2 << "" << "Boolean" << is((TBooleanField *)nullptr);
    QTest::newRow("float") << ColumnKind::Float << 8 << "" << "Float" << is((TFloatField *)nullptr);
    QTest::newRow("money") << ColumnKind::Float << 8 << "Money" << "Currency" << is((TCurrencyField *)nullptr);
    QTest::newRow("bcd") << ColumnKind::Bcd << 8 << "" << "BCD" << is((TBCDField *)nullptr);
    QTest::newRow("date") << ColumnKind::Date << 4 << "" << "Date" << is((TDateField *)nullptr);
    QTest::newRow("time") << ColumnKind::Time << 4 << "" << "Time" << is((TTimeField *)nullptr);
    QTest::newRow("timestamp") << ColumnKind::Timestamp << 8 << "" << "DateTime" << is((TDateTimeField *)nullptr);
    QTest::newRow("memo") << ColumnKind::Blob << 0 << "Text" << "Memo" << is((TMemoField *)nullptr);
    QTest::newRow("wide memo") << ColumnKind::Blob << 0 << "WideText" << "WideMemo" << is((TWideMemoField *)nullptr);
    QTest::newRow("graphic") << ColumnKind::Blob << 0 << "Graphics" << "Graphic" << is((TGraphicField *)nullptr);
    QTest::newRow("binary") << ColumnKind::Blob << 0 << "Binary" << "Blob" << is((TBlobField *)nullptr);
    QTest::newRow("nested") << ColumnKind::Nested << 0 << "" << "DataSet" << is((TDataSetField *)nullptr);
}

void TestFieldText::fieldClassOfPacketColumn()
{
    QFETCH(ColumnKind, kind);
    QFETCH(int, size);
    QFETCH(QString, subtype);
    QFETCH(QString, typeName);
    QFETCH(std::function<bool(TField *)>, isOfClass);

    OneCellTable cell(Column(kind, size, subtype), Cell{});
    QCOMPARE(FieldTypeName(cell.field->DataType()), typeName);
    QVERIFY(isOfClass(cell.field));
}

void TestFieldText::regionalTextsReadBack_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    const int thisYear = QDate::currentDate().year();
    QTest::newRow("leap day") << QDate(2024, 2, 29) << QTime(0, 0, 0);
    QTest::newRow("end of a year") << QDate(thisYear - 40, 12, 31) << QTime(23, 59, 59);
    QTest::newRow("decades ahead") << QDate(thisYear + 40, 1, 1) << QTime(9, 8, 7);
}

void TestFieldText::regionalTextsReadBack()
{
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QCOMPARE(RegionalFormat::ParseShortDate(RegionalFormat::ShortDate(date)), date);
    const QString timeText = RegionalFormat::LongTime(time);
    QCOMPARE(RegionalFormat::ParseLongTime(timeText), time);  // the seconds are part of the text
    QVERIFY2(timeText.contains(QString::number(time.second()).rightJustified(2, '0')), qPrintable(timeText));
    QVERIFY(!RegionalFormat::ParseShortDate("not a date").isValid());
}

QTEST_GUILESS_MAIN(TestFieldText)
#include "test_field_text.moc"
