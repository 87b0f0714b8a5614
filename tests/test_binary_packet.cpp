#include "cache/packet/BinaryPacket.h"
#include "cache/base/Exceptions.h"
#include "cache/packet/PacketCodec.h"
#include "tests/support/PacketSamples.h"

#include <QtTest>

#include <cmath>
#include <limits>

using namespace Catraca;

using PacketSamples::BinaryBuilder;
using PacketSamples::Column;
using PacketSamples::Dump;

Q_DECLARE_METATYPE(Packet)
Q_DECLARE_METATYPE(Cell)
Q_DECLARE_METATYPE(PacketColumn)

namespace {

// The 137 bytes of an empty release cache that has never numbered a row.
const QByteArray kEmptyReleaseCache = QByteArray::fromHex(
    "9619e0bd" "01000000" "18000000" "0300" "00000000" "03000000" "8900"
    "02" "4944" "04000100" "0200" "0100"
    "07" "53554254595045" "02004900" "0800" "4175746f696e6300"
    "09" "434f445f4241525241" "01004900" "0000" "0100"
    "05" "5749445448" "02000200" "0a00"
    "06" "4556454e544f" "01004900" "0000" "0100"
    "05" "5749445448" "02000200" "0100"
    "0100" "0c" "4155544f494e4356414c5545" "04000100" "01000000");

// Type words of the columns the engine packets below use.
constexpr quint32 kInt32 = 0x00010004;
constexpr quint32 kString20 = 0x00490001;  // 8-bit string, 1-byte length prefix
constexpr quint32 kUInt16 = 0x00020002;

// A two-column table (ID int32, NOME string of 20) as the engine lays it out,
// with the given table attributes and records.
QByteArray TwoColumnPacket(int recordCount, const QByteArray &tableAttributes, int attributeCount,
                           const QByteArray &records)
{
    BinaryBuilder builder;
    builder.Header(2, recordCount)
        .Name("ID").U32(kInt32).U16(0).U16(0)
        .Name("NOME").U32(kString20).U16(0).U16(1).Name("WIDTH").U32(kUInt16).U16(20)
        .U16(quint32(attributeCount)).Raw(tableAttributes)
        .Records()
        .Raw(records);
    return builder.Bytes();
}

// One record: status byte, flag byte (2 bits per column: 1 blank, 2 not
// changed), then the values present.
QByteArray Record(int status, int idFlag, int nameFlag, std::optional<qint32> id, const QByteArray &name)
{
    BinaryBuilder builder;
    builder.U8(quint32(status)).U8(quint32(idFlag | (nameFlag << 2)));
    if (id)
        builder.U32(quint32(*id));
    if (!name.isNull())
        builder.U8(quint32(name.size())).Raw(name);
    return builder.Bytes();
}

QByteArray PlainRecord(qint32 id, const QByteArray &name)
{
    return Record(0, 0, 0, id, name);
}

QByteArray ChangeLogAttribute(const QList<quint32> &triples)
{
    BinaryBuilder builder;
    builder.Name("CHANGE_LOG").U32(0x00810004).U32(quint32(triples.size()));
    for (const quint32 value : triples)
        builder.U32(value);
    return builder.Bytes();
}

QString Rows(const Packet &packet)
{
    QStringList rows;
    for (const PacketRow &row : packet.rows) {
        const Cell &id = row.cells[0];
        const Cell &name = row.cells[1];
        rows << QStringLiteral("%1/%2").arg(
            std::holds_alternative<qint64>(id) ? QString::number(std::get<qint64>(id)) : QStringLiteral("-"),
            std::holds_alternative<QByteArray>(name) ? QString::fromLatin1(std::get<QByteArray>(name)) : QStringLiteral("-"));
    }
    return rows.join(QLatin1Char(' '));
}

Packet OneColumnPacket(const PacketColumn &column, const Cell &cell)
{
    Packet packet;
    packet.columns = {column};
    packet.rows.push_back(PacketRow {{cell}});
    return packet;
}

// The packet's rows turned column by column, as a table keeps them: in
// slots that are not in row order (the last row first), with a free slot
// left blank in front of them.
QByteArray EncodeFromColumns(const Packet &packet)
{
    std::vector<std::vector<Cell>> columns(std::size_t(packet.columns.size()), std::vector<Cell>(1));
    std::vector<int> rowSlots(packet.rows.size());
    for (std::size_t row = packet.rows.size(); row-- > 0;) {
        rowSlots[row] = int(columns.front().size());
        for (std::size_t column = 0; column < columns.size(); ++column)
            columns[column].push_back(packet.rows[row].cells[column]);
    }
    Packet shape = packet;
    shape.rows.clear();
    return BinaryPacket::EncodeColumns(shape, columns, rowSlots);
}

}  // namespace

class TestBinaryPacket : public QObject {
    Q_OBJECT

private slots:
    void emptyReleaseCacheIsTheDesignTimeBytes()
    {
        const QByteArray encoded = PacketCodec::EncodeBinary(PacketSamples::EmptyReleaseCache());
        QCOMPARE(kEmptyReleaseCache.size(), 137);
        QCOMPARE(encoded.toHex(' '), kEmptyReleaseCache.toHex(' '));
    }

    void designTimeBytesDecodeToTheReleaseCacheColumns()
    {
        const Packet packet = PacketCodec::Decode(kEmptyReleaseCache);
        QCOMPARE(Dump(packet), Dump(PacketSamples::EmptyReleaseCache()));
    }

    void everyValueKindRoundTrips_data()
    {
        QTest::addColumn<PacketColumn>("column");
        QTest::addColumn<Cell>("cell");
        const auto add = [](const char *name, PacketColumn column, Cell cell) {
            QTest::newRow(name) << column << cell;
        };
        add("int8 lowest", Column("A", ColumnKind::SignedInt, 1), qint64(-128));
        add("int16 lowest", Column("A", ColumnKind::SignedInt, 2), qint64(-32768));
        add("int32 lowest", Column("A", ColumnKind::SignedInt, 4), qint64(std::numeric_limits<qint32>::min()));
        add("int64 lowest", Column("A", ColumnKind::SignedInt, 8), std::numeric_limits<qint64>::min());
        add("int64 highest", Column("A", ColumnKind::SignedInt, 8), std::numeric_limits<qint64>::max());
        add("uint8 highest", Column("A", ColumnKind::UnsignedInt, 1), qint64(255));
        add("uint16 highest", Column("A", ColumnKind::UnsignedInt, 2), qint64(65535));
        add("uint32 highest", Column("A", ColumnKind::UnsignedInt, 4), qint64(4294967295LL));
        add("uint64 highest readable", Column("A", ColumnKind::UnsignedInt, 8), std::numeric_limits<qint64>::max());
        add("boolean true", Column("A", ColumnKind::Boolean), qint64(1));
        add("boolean false", Column("A", ColumnKind::Boolean), qint64(0));
        add("float fraction", Column("A", ColumnKind::Float), -1234.5678);
        add("float negative zero", Column("A", ColumnKind::Float), -0.0);
        add("float subnormal", Column("A", ColumnKind::Float), std::numeric_limits<double>::denorm_min());
        add("float infinity", Column("A", ColumnKind::Float), std::numeric_limits<double>::infinity());
        add("decimal negative", Column("A", ColumnKind::Bcd, 20), QStringLiteral("-123.4500"));
        add("decimal zero", Column("A", ColumnKind::Bcd, 20), QStringLiteral("0"));
        add("decimal small", Column("A", ColumnKind::Bcd, 20), QStringLiteral("0.001"));
        add("decimal 64 digits", Column("A", ColumnKind::Bcd, 64), QStringLiteral("1234567890123456789012345678901234567890123456789012345678901234"));
        add("date day one", Column("A", ColumnKind::Date), qint64(1));
        add("date 2024", Column("A", ColumnKind::Date), qint64(738886));
        add("time last millisecond", Column("A", ColumnKind::Time), qint64(86399999));
        add("timestamp", Column("A", ColumnKind::Timestamp), 738886.0 * 86400000.0 + 45296789.0);
        add("8-bit string every high byte", Column("A", ColumnKind::AnsiString, 300), QByteArray("\x80\x81\x8d\x8f\x90\x9d\xff \x01", 9));
        add("8-bit string empty", Column("A", ColumnKind::AnsiString, 10), QByteArray(""));
        add("unicode string", Column("A", ColumnKind::WideString, 40), QStringLiteral("a\u00e7\u20ac\u4e2d") + QString::fromUcs4(U"\U0001F600", 1));
        add("blob with zero bytes", Column("A", ColumnKind::Blob), QByteArray("\0\1\2\xff", 4));
        add("blob of 70000 bytes", Column("A", ColumnKind::Blob), QByteArray(70000, 'x'));
        add("blank integer", Column("A", ColumnKind::SignedInt, 4), Cell {});
        add("blank string", Column("A", ColumnKind::AnsiString, 5), Cell {});
    }

    void everyValueKindRoundTrips()
    {
        QFETCH(PacketColumn, column);
        QFETCH(Cell, cell);
        const Packet packet = OneColumnPacket(column, cell);
        const QByteArray encoded = PacketCodec::EncodeBinary(packet);
        QCOMPARE(Dump(PacketCodec::Decode(encoded)), Dump(packet));
        QCOMPARE(EncodeFromColumns(packet).toHex(' '), encoded.toHex(' '));
    }

    // The length prefix of a string column is as wide as its longest value,
    // wherever that row is; both layouts must find it.
    void columnsAndRowsWriteTheSameBytes_data()
    {
        QTest::addColumn<int>("longRow");
        QTest::addColumn<int>("longLength");
        QTest::newRow("long value first") << 0 << 300;
        QTest::newRow("long value last") << 3 << 300;
        QTest::newRow("value beyond two-byte prefix last") << 3 << 70000;
        QTest::newRow("all short") << -1 << 0;
    }

    void columnsAndRowsWriteTheSameBytes()
    {
        QFETCH(int, longRow);
        QFETCH(int, longLength);
        Packet packet;
        packet.columns = {Column("ID", ColumnKind::SignedInt, 4), Column("NOME", ColumnKind::AnsiString, 10),
                          Column("TEXTO", ColumnKind::WideString, 20)};
        packet.autoIncValue = 5;
        for (int row = 0; row < 4; ++row) {
            const QByteArray name = row == longRow ? QByteArray(longLength, 'n') : QByteArray::number(row);
            packet.rows.push_back(PacketRow {{qint64(row), row == 2 ? Cell {} : Cell {name}, QStringLiteral("t\u00e9%1").arg(row)}});
        }
        const QByteArray encoded = PacketCodec::EncodeBinary(packet);
        QCOMPARE(EncodeFromColumns(packet).toHex(' '), encoded.toHex(' '));
        QCOMPARE(Dump(PacketCodec::Decode(encoded)), Dump(packet));
    }

    void columnsThatDoNotMatchTheShapeAreRefused()
    {
        Packet shape;
        shape.columns = {Column("ID", ColumnKind::SignedInt, 4), Column("NOME", ColumnKind::AnsiString, 10)};
        const std::vector<std::vector<Cell>> oneColumn {{qint64(1)}};
        const std::vector<std::vector<Cell>> shortColumn {{qint64(1), qint64(2)}, {QByteArray("a")}};
        const std::vector<int> firstSlot {0}, bothSlots {0, 1}, negativeSlot {-1};
        QVERIFY_THROWS_EXCEPTION(EDBClient, BinaryPacket::EncodeColumns(shape, oneColumn, firstSlot));
        QVERIFY_THROWS_EXCEPTION(EDBClient, BinaryPacket::EncodeColumns(shape, shortColumn, bothSlots));
        QVERIFY_THROWS_EXCEPTION(EDBClient, BinaryPacket::EncodeColumns(shape, shortColumn, negativeSlot));
        QCOMPARE(BinaryPacket::EncodeColumns(shape, shortColumn, firstSlot), PacketCodec::EncodeBinary(Packet {
            shape.columns, {PacketRow {{qint64(1), QByteArray("a")}}}, {}, {}}));
    }

    void unwritableValuesAreRefused_data()
    {
        QTest::addColumn<PacketColumn>("column");
        QTest::addColumn<Cell>("cell");
        QTest::newRow("int8 too large") << Column("A", ColumnKind::SignedInt, 1) << Cell(qint64(128));
        QTest::newRow("uint16 negative") << Column("A", ColumnKind::UnsignedInt, 2) << Cell(qint64(-1));
        QTest::newRow("integer of 3 bytes") << Column("A", ColumnKind::SignedInt, 3) << Cell(qint64(1));
        QTest::newRow("text in an integer column") << Column("A", ColumnKind::SignedInt, 4) << Cell(QStringLiteral("1"));
        QTest::newRow("decimal that is not one") << Column("A", ColumnKind::Bcd, 10) << Cell(QStringLiteral("1e5"));
        QTest::newRow("decimal of 65 digits") << Column("A", ColumnKind::Bcd, 10) << Cell(QString(65, QLatin1Char('9')));
        QTest::newRow("name outside the code page") << Column(QString::fromUtf8("Ｎｏ"), ColumnKind::AnsiString, 10)
                                                    << Cell(QByteArray("1"));
    }

    void unwritableValuesAreRefused()
    {
        QFETCH(PacketColumn, column);
        QFETCH(Cell, cell);
        try {
            PacketCodec::EncodeBinary(OneColumnPacket(column, cell));
            QFAIL("the value was written");
        } catch (const EDBClient &error) {
            QCOMPARE(error.ErrorCode(), int(PacketCodec::kCannotEncode));
            QVERIFY2(error.Message().contains("column " + column.name), qPrintable(error.Message()));
        }
    }

    void enginePacketsLoadTheirVisibleRows_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("rows");

        QTest::newRow("plain rows")
            << TwoColumnPacket(3, {}, 0, PlainRecord(1, "ANA") + PlainRecord(2, "BIA") + PlainRecord(3, "CAU"))
            << "1/ANA 2/BIA 3/CAU";
        QTest::newRow("blank values")
            << TwoColumnPacket(2, {}, 0, Record(0, 1, 0, std::nullopt, "X") + Record(0, 0, 1, 7, QByteArray()))
            << "-/X 7/-";
        // Record 2 was modified into record 4 (NOME only; ID "not changed"),
        // record 3 was deleted, record 5 inserted.
        QTest::newRow("change log")
            << TwoColumnPacket(5, ChangeLogAttribute({3, 0, 2, 4, 2, 8, 5, 0, 4}), 1,
                               PlainRecord(1, "ANA") + Record(1, 0, 0, 2, "BIA") + Record(2, 0, 0, 3, "CAU")
                                   + Record(8, 2, 0, std::nullopt, "BEA") + Record(4, 0, 0, 9, "DUDA"))
            << "1/ANA 2/BEA 9/DUDA";
        // Modified twice: record 1 became 3, which became 4; only the last shows.
        QTest::newRow("modified twice")
            << TwoColumnPacket(4, ChangeLogAttribute({3, 1, 8, 4, 3, 8}), 1,
                               Record(1, 0, 0, 1, "ANA") + PlainRecord(2, "BIA") + Record(9, 0, 2, 10, QByteArray())
                                   + Record(8, 2, 0, std::nullopt, "ANE"))
            << "10/ANE 2/BIA";
        QTest::newRow("inserted then deleted")
            << TwoColumnPacket(2, ChangeLogAttribute({2, 0, 4}), 1, PlainRecord(1, "ANA") + Record(6, 0, 0, 2, "BIA"))
            << "1/ANA";
    }

    void enginePacketsLoadTheirVisibleRows()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, rows);
        const Packet packet = PacketCodec::Decode(bytes);
        QCOMPARE(packet.columns.size(), 2);
        QCOMPARE(packet.columns[1].size, 20);
        QCOMPARE(Rows(packet), rows);
    }

    void unknownTableAttributesAreKept()
    {
        BinaryBuilder attributes;
        attributes.Name("LCID").U32(kInt32).U32(1046);
        attributes.Name("DEFAULT_ORDER").U32(0x00820002).U32(1).U16(1);
        attributes.Name("AUTOINCVALUE").U32(kInt32).U32(4);
        const QByteArray bytes = TwoColumnPacket(1, attributes.Bytes(), 3, PlainRecord(3, "ANA"));

        const Packet packet = PacketCodec::Decode(bytes);
        QCOMPARE(packet.autoIncValue, std::optional<qint32>(4));
        QCOMPARE(packet.tableAttributes.size(), 2);
        QCOMPARE(packet.tableAttributes[0].name, QByteArray("LCID"));
        QCOMPARE(Dump(PacketCodec::Decode(PacketCodec::EncodeBinary(packet))), Dump(packet));
    }

    void unreadablePacketsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<QString>("reason");

        BinaryBuilder unknownType;
        unknownType.Header(1, 0).Name("X").U32(0x003F0004).U16(0).U16(0).U16(0).Records();
        QTest::newRow("unknown column type") << unknownType.Bytes() << int(PacketCodec::kUnsupportedType) << "cannot be read";

        QTest::newRow("change log names a missing record")
            << TwoColumnPacket(1, ChangeLogAttribute({9, 0, 4}), 1, PlainRecord(1, "A"))
            << int(PacketCodec::kInvalidPacket) << "change log";
        QTest::newRow("change log loops")
            << TwoColumnPacket(2, ChangeLogAttribute({1, 2, 8, 2, 1, 8}), 1, PlainRecord(1, "A") + PlainRecord(2, "B"))
            << int(PacketCodec::kInvalidPacket) << "loops";
        QTest::newRow("string longer than the packet")
            << TwoColumnPacket(1, {}, 0, Record(0, 0, 0, 1, QByteArray()) + QByteArray("\xff" "AB", 3))
            << int(PacketCodec::kInvalidPacket) << "ends inside";
        QTest::newRow("more rows than bytes")
            << TwoColumnPacket(100000000, {}, 0, PlainRecord(1, "A"))
            << int(PacketCodec::kInvalidPacket) << "ends inside";
    }

    void unreadablePacketsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, errorCode);
        QFETCH(QString, reason);
        try {
            const Packet packet = PacketCodec::Decode(bytes);
            QFAIL(qPrintable(QStringLiteral("read as:\n") + Dump(packet)));
        } catch (const EDBClient &error) {
            QCOMPARE(error.ErrorCode(), errorCode);
            QVERIFY2(error.Message().contains(reason), qPrintable(error.Message()));
        }
    }

    void savedRowsCarryNoChangeLog()
    {
        const QByteArray bytes = TwoColumnPacket(3, ChangeLogAttribute({3, 1, 8}), 1,
                                                 Record(1, 0, 0, 1, "ANA") + PlainRecord(2, "BIA") + Record(8, 2, 0, std::nullopt, "ANE"));
        const QByteArray saved = PacketCodec::EncodeBinary(PacketCodec::Decode(bytes));
        QVERIFY(!saved.contains("CHANGE_LOG"));
        QCOMPARE(Rows(PacketCodec::Decode(saved)), QStringLiteral("1/ANE 2/BIA"));
        // Every saved record has status 0: the first byte after the metadata.
        const int recordsStart = static_cast<unsigned char>(saved[22]) | (static_cast<unsigned char>(saved[23]) << 8);
        QCOMPARE(int(saved[recordsStart]), 0);
    }
};

QTEST_APPLESS_MAIN(TestBinaryPacket)
#include "test_binary_packet.moc"
