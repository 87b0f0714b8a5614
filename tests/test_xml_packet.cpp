#include "cache/base/Exceptions.h"
#include "cache/packet/PacketCodec.h"
#include "tests/support/PacketSamples.h"

#include <QtTest>

using namespace Catraca;

using PacketSamples::Column;
using PacketSamples::Dump;

Q_DECLARE_METATYPE(Cell)
Q_DECLARE_METATYPE(ColumnKind)
Q_DECLARE_METATYPE(PacketColumn)

namespace {

const QByteArray kUtf8Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  ";
const QByteArray kPlainDeclaration = "<?xml version=\"1.0\" standalone=\"yes\"?>  ";

QByteArray Packet8(const QByteArray &fields, const QByteArray &params, const QByteArray &rows,
                   const QByteArray &declaration = kPlainDeclaration)
{
    return declaration + "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" + fields + "</FIELDS>" + params
        + "</METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

// A command file's two columns, as the sending system writes them.
const QByteArray kCommandFields = "<FIELD attrname=\"ID_COMANDA\" fieldtype=\"string\" WIDTH=\"20\"/>"
                                  "<FIELD attrname=\"EVENTO\" fieldtype=\"string\" WIDTH=\"1\"/>";

// Rows as "code/event" with the 8-bit bytes shown as Latin-1 hex escapes
// where they are not ASCII.
QString Rows(const Packet &packet)
{
    QStringList rows;
    for (const PacketRow &row : packet.rows) {
        QStringList cells;
        for (const Cell &cell : row.cells) {
            if (const auto *bytes = std::get_if<QByteArray>(&cell)) {
                QString text;
                for (const char byte : *bytes) {
                    const auto value = static_cast<unsigned char>(byte);
                    text += value >= 0x20 && value < 0x7F ? QString(QChar(value)) : QString::asprintf("\\x%02x", value);
                }
                cells << text;
            } else {
                cells << QStringLiteral("-");
            }
        }
        rows << cells.join(QLatin1Char('/'));
    }
    return rows.join(QLatin1Char(' '));
}

Packet OneRowPacket(const QList<PacketColumn> &columns, const std::vector<Cell> &cells)
{
    Packet packet;
    packet.columns = columns;
    packet.rows.push_back(PacketRow {cells});
    return packet;
}

void ExpectRefusal(const QByteArray &bytes, const QString &reason)
{
    try {
        const Packet packet = PacketCodec::Decode(bytes);
        QFAIL(qPrintable(QStringLiteral("read as:\n") + Dump(packet)));
    } catch (const EDBClient &error) {
        QVERIFY2(error.Message().startsWith(QLatin1String("Invalid data packet: ")), qPrintable(error.Message()));
        QVERIFY2(error.Message().contains(reason, Qt::CaseInsensitive), qPrintable(error.Message()));
        QVERIFY(error.ErrorCode() != 0);
    }
}

}  // namespace

class TestXmlPacket : public QObject {
    Q_OBJECT

private slots:
    void enginePacketsLoadTheirRows_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("rows");

        QTest::newRow("UTF-8")
            << Packet8(kCommandFields, "<PARAMS/>",
                       "<ROW ID_COMANDA=\"0001\" EVENTO=\"L\"/><ROW ID_COMANDA=\"A\xc3\xa7" "a\xc3\xad \xe2\x82\xac\" EVENTO=\"C\"/>",
                       kUtf8Declaration)
            << "0001/L A\\xe7a\\xed \\x80/C";
        QTest::newRow("UTF-8 with byte order mark")
            << QByteArray("\xef\xbb\xbf") + Packet8(kCommandFields, "<PARAMS/>", "<ROW ID_COMANDA=\"\xc3\xa7\" EVENTO=\"L\"/>", kUtf8Declaration)
            << "\\xe7/L";
        {
            const QString text = QString::fromUtf8(Packet8(kCommandFields, "<PARAMS/>", "<ROW ID_COMANDA=\"\xe2\x82\xac\" EVENTO=\"L\"/>"));
            QByteArray utf16("\xff\xfe");
            for (const QChar character : text)
                utf16.append(char(character.unicode() & 0xFF)).append(char(character.unicode() >> 8));
            QTest::newRow("UTF-16 with byte order mark") << utf16 << "\\x80/L";
        }
        QTest::newRow("8-bit text, no encoding named")
            << Packet8(kCommandFields, "<PARAMS/>", "<ROW ID_COMANDA=\"A\xe7" "a\xed \x80\" EVENTO=\"C\"/>")
            << "A\\xe7a\\xed \\x80/C";
        QTest::newRow("8-bit text, undefined bytes")
            << Packet8(kCommandFields, "<PARAMS/>", "<ROW ID_COMANDA=\"\x81\x8d\x8f\x90\x9d\" EVENTO=\"C\"/>")
            << "\\x81\\x8d\\x8f\\x90\\x9d/C";
        QTest::newRow("8-bit text, windows-1252 named")
            << Packet8(kCommandFields, "<PARAMS/>", "<ROW ID_COMANDA=\"\x80\" EVENTO=\"C\"/>",
                       "<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>  ")
            << "\\x80/C";
        QTest::newRow("ASCII with character references")
            << Packet8(kCommandFields, "<PARAMS/>",
                       "<ROW ID_COMANDA=\"a&#013;&#010;b&#009;&#233;&#x20AC;&#8482;\" EVENTO=\"&amp;\"/>"
                       "<ROW ID_COMANDA=\"&lt;&gt;&quot;&apos;\" EVENTO=\"&#001;\"/>"
                       "<ROW ID_COMANDA=\"&#19990;\" EVENTO=\"&#000;\"/>")
            << "a\\x0d\\x0ab\\x09\\xe9\\x80\\x99/& <>\"'/\\x01 ?/\\x00";
        QTest::newRow("blank column has no attribute")
            << Packet8(kCommandFields, "<PARAMS/>", "<ROW ID_COMANDA=\"7\"/><ROW EVENTO=\"C\"/>")
            << "7/- -/C";
        QTest::newRow("white space between elements")
            << QByteArray("<?xml version=\"1.0\"?>\r\n<DATAPACKET Version=\"2.0\">\r\n <METADATA>\r\n  <FIELDS>\r\n   ")
                   + kCommandFields + "\r\n  </FIELDS>\r\n  <PARAMS/>\r\n </METADATA>\r\n <ROWDATA>\r\n  "
                   "<ROW ID_COMANDA=\"1\" EVENTO=\"L\"/>\r\n </ROWDATA>\r\n</DATAPACKET>\r\n"
            << "1/L";
        // Records: 1 inserted then superseded by 4 (EVENTO changed), 2 inserted
        // and deleted, 3 inserted.
        QTest::newRow("change log")
            << Packet8(kCommandFields, "<PARAMS CHANGE_LOG=\"1 0 4 2 0 4 3 0 4 4 1 8\" LCID=\"1046\"/>",
                       "<ROW RowState=\"5\" ID_COMANDA=\"0001\" EVENTO=\"C\"/>"
                       "<ROW RowState=\"6\" ID_COMANDA=\"0002\" EVENTO=\"C\"/>"
                       "<ROW RowState=\"4\" ID_COMANDA=\"0003\" EVENTO=\"C\"/>"
                       "<ROW RowState=\"8\" EVENTO=\"L\"/>")
            << "0001/L 0003/C";
        QTest::newRow("row states without a change log")
            << Packet8(kCommandFields, "<PARAMS/>",
                       "<ROW RowState=\"4\" ID_COMANDA=\"1\" EVENTO=\"C\"/><ROW RowState=\"2\" ID_COMANDA=\"2\" EVENTO=\"C\"/>")
            << "1/C";
        QTest::newRow("a column named RowState")
            << Packet8("<FIELD attrname=\"RowState\" fieldtype=\"string\" WIDTH=\"5\"/>", "<PARAMS/>",
                       "<ROW RowState=\"2\"/>")
            << "2";
        QTest::newRow("unknown elements are skipped")
            << Packet8(kCommandFields + "<NOTE a=\"b\"><X/></NOTE>", "<PARAMS/><EXTRA/>", "<ROW ID_COMANDA=\"1\" EVENTO=\"L\"><Y/></ROW>")
            << "1/L";
    }

    void enginePacketsLoadTheirRows()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, rows);
        QCOMPARE(Rows(PacketCodec::Decode(bytes)), rows);
    }

    void everyFieldType_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<ColumnKind>("kind");
        QTest::addColumn<int>("size");
        QTest::addColumn<Cell>("cell");
        QTest::addColumn<QString>("subtype");

        const auto add = [](const char *name, const char *field, const char *value, ColumnKind kind, int size, Cell cell,
                            const char *subtype = "") {
            QTest::newRow(name) << QByteArray(field) << QByteArray(value) << kind << size << cell << QString::fromLatin1(subtype);
        };
        add("string", "fieldtype=\"string\" WIDTH=\"10\"", "abc", ColumnKind::AnsiString, 10, QByteArray("abc"));
        add("string.uni", "fieldtype=\"string.uni\" WIDTH=\"20\"", "&#19990;&#127822;", ColumnKind::WideString, 20,
            QStringLiteral("\u4e16") + QString::fromUcs4(U"\U0001F34E", 1));
        add("i1", "fieldtype=\"i1\"", "-128", ColumnKind::SignedInt, 1, qint64(-128));
        add("i2", "fieldtype=\"i2\"", "-32768", ColumnKind::SignedInt, 2, qint64(-32768));
        add("i4", "fieldtype=\"i4\"", "2147483647", ColumnKind::SignedInt, 4, qint64(2147483647));
        add("i8", "fieldtype=\"i8\"", "-9223372036854775808", ColumnKind::SignedInt, 8, qint64(std::numeric_limits<qint64>::min()));
        add("ui1", "fieldtype=\"ui1\"", "255", ColumnKind::UnsignedInt, 1, qint64(255));
        add("ui2", "fieldtype=\"ui2\"", "65535", ColumnKind::UnsignedInt, 2, qint64(65535));
        add("ui4", "fieldtype=\"ui4\"", "4294967295", ColumnKind::UnsignedInt, 4, qint64(4294967295LL));
        add("r8 point", "fieldtype=\"r8\"", "-12.625", ColumnKind::Float, 8, -12.625);
        add("r8 comma", "fieldtype=\"r8\"", "3,5", ColumnKind::Float, 8, 3.5);
        add("r8 exponent", "fieldtype=\"r8\"", "1.5E-7", ColumnKind::Float, 8, 1.5e-7);
        add("boolean TRUE", "fieldtype=\"boolean\"", "TRUE", ColumnKind::Boolean, 2, qint64(1));
        add("boolean FALSE", "fieldtype=\"boolean\"", "FALSE", ColumnKind::Boolean, 2, qint64(0));
        add("fixed", "fieldtype=\"fixed\" DECIMALS=\"2\" WIDTH=\"10\"", "-1234.50", ColumnKind::Bcd, 10, QStringLiteral("-1234.50"));
        add("fixed comma", "fieldtype=\"fixed\" DECIMALS=\"2\" WIDTH=\"10\"", "0,75", ColumnKind::Bcd, 10, QStringLiteral("0.75"));
        add("fixedFMT", "fieldtype=\"fixedFMT\" DECIMALS=\"4\" WIDTH=\"18\"", "007.1000", ColumnKind::Bcd, 18, QStringLiteral("7.1000"), "FMTBcd");
        add("date", "fieldtype=\"date\"", "20240131", ColumnKind::Date, 4, qint64(738916));
        add("date day one", "fieldtype=\"date\"", "00010101", ColumnKind::Date, 4, qint64(1));
        add("time", "fieldtype=\"time\"", "13:45:07123", ColumnKind::Time, 4, qint64(49507123));
        add("dateTime", "fieldtype=\"dateTime\"", "20240131T13:45:07123", ColumnKind::Timestamp, 8, 738916.0 * 86400000.0 + 49507123.0);
        add("dateTime at midnight", "fieldtype=\"dateTime\"", "20240131", ColumnKind::Timestamp, 8, 738916.0 * 86400000.0);
        add("SQLdateTime", "fieldtype=\"SQLdateTime\"", "19991231T23:59:59999", ColumnKind::Timestamp, 8, 730119.0 * 86400000.0 + 86399999.0, "SQLdateTime");
        add("bin.hex base64", "fieldtype=\"bin.hex\" SUBTYPE=\"Binary\"", "AAH/", ColumnKind::Blob, 0, QByteArray("\0\1\xff", 3), "Binary");
        add("bin.hex graphics", "fieldtype=\"bin.hex\" SUBTYPE=\"Graphics\" WIDTH=\"1\"", "R0lG", ColumnKind::Blob, 1, QByteArray("GIF"), "Graphics");
        add("memo as plain text", "fieldtype=\"bin.hex\" SUBTYPE=\"Text\"", "linha 1&#013;&#010;a&#231;&#227;o", ColumnKind::Blob, 0,
            QByteArray("linha 1\r\na\xe7\xe3o"), "Text");
        add("wide memo as plain text", "fieldtype=\"bin.hex\" SUBTYPE=\"WideText\"", "&#8364;", ColumnKind::Blob, 0, QByteArray("\xac\x20", 2), "WideText");
        add("empty number is blank", "fieldtype=\"i4\"", "", ColumnKind::SignedInt, 4, Cell {});
    }

    void everyFieldType()
    {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, value);
        QFETCH(ColumnKind, kind);
        QFETCH(int, size);
        QFETCH(Cell, cell);
        QFETCH(QString, subtype);

        const Packet packet = PacketCodec::Decode(
            Packet8("<FIELD attrname=\"V\" " + field + "/>", "<PARAMS/>", "<ROW V=\"" + value + "\"/>"));
        QCOMPARE(packet.columns.size(), 1);
        QCOMPARE(int(packet.columns[0].kind), int(kind));
        QCOMPARE(packet.columns[0].size, size);
        QCOMPARE(packet.columns[0].subtype, subtype);
        QCOMPARE(packet.rows.size(), size_t(1));
        QCOMPARE(Dump(OneRowPacket({packet.columns[0]}, packet.rows[0].cells)), Dump(OneRowPacket({packet.columns[0]}, {cell})));

        // The type name itself survives writing: variants keep their own name.
        const QByteArray fieldType = field.mid(field.indexOf('"') + 1, field.indexOf('"', field.indexOf('"') + 1) - field.indexOf('"') - 1);
        QVERIFY2(PacketCodec::EncodeXml(packet, false).contains("fieldtype=\"" + fieldType + "\""), fieldType.constData());

        // The same value read back from both forms that this side writes.
        for (const bool utf8 : {false, true})
            QCOMPARE(Dump(PacketCodec::Decode(PacketCodec::EncodeXml(packet, utf8))), Dump(packet));
        QCOMPARE(Dump(PacketCodec::Decode(PacketCodec::EncodeBinary(packet))), Dump(packet));
    }

    void columnDescriptions()
    {
        const Packet packet = PacketCodec::Decode(Packet8(
            "<FIELD attrname=\"ID\" fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\"/>"
            "<FIELD attrname=\"_1st\" fieldname=\"1st col\" fieldtype=\"string\" WIDTH=\"5\" required=\"true\" ORIGIN=\"T.F\">"
            "<PARAM Name=\"CUSTOM\" Value=\"42\" Type=\"i4\"/></FIELD>"
            "<FIELD attrname=\"N\" fieldtype=\"nested\"><FIELDS><FIELD attrname=\"X\" fieldtype=\"i4\"/></FIELDS><PARAMS/></FIELD>",
            "<PARAMS AUTOINCVALUE=\"17\" LCID=\"1046\" DEFAULT_ORDER=\"1\" MYFLAG=\"yes\"/>",
            "<ROW ID=\"3\" _1st=\"a\"><N><ROWN X=\"1\"/><ROWN X=\"2\"/></N></ROW>"));
        QCOMPARE(packet.columns.size(), 3);
        QCOMPARE(packet.columns[0].subtype, QStringLiteral("Autoinc"));
        QVERIFY(packet.columns[0].readOnly);
        QCOMPARE(packet.columns[1].name, QStringLiteral("1st col"));
        QVERIFY(packet.columns[1].required);
        QCOMPARE(packet.columns[1].extraAttributes.size(), 2);
        QCOMPARE(packet.columns[2].kind, ColumnKind::Nested);
        QCOMPARE(packet.autoIncValue, std::optional<qint32>(17));
        QCOMPARE(packet.tableAttributes.size(), 3);
        QCOMPARE(packet.rows.size(), size_t(1));
        QCOMPARE(packet.columnIndex(QStringLiteral("1ST COL")), 1);

        // Written back in either form and read again, nothing is lost.
        for (const bool utf8 : {false, true}) {
            const QByteArray xml = PacketCodec::EncodeXml(packet, utf8);
            QVERIFY2(xml.contains("fieldname=\"1st col\""), xml.constData());
            QVERIFY2(xml.contains("<ROWN X=\"1\"/>"), xml.constData());
            QCOMPARE(Dump(PacketCodec::Decode(xml)), Dump(packet));
        }
        QCOMPARE(Dump(PacketCodec::Decode(PacketCodec::EncodeBinary(packet))), Dump(packet));
    }

    // A typed PARAM keeps its whole range through both forms; an 8-byte
    // unsigned value from 2^63 up is written and read as unsigned text.
    void integerParamsKeepTheirRange_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ui8 highest") << QByteArray("ui8") << QByteArray("18446744073709551615") << true;
        QTest::newRow("ui8 2^63") << QByteArray("ui8") << QByteArray("9223372036854775808") << true;
        QTest::newRow("ui8 list past 2^63") << QByteArray("ui8") << QByteArray("1 18157383382357244923") << true;
        QTest::newRow("i8 lowest") << QByteArray("i8") << QByteArray("-9223372036854775808") << true;
        QTest::newRow("ui4 highest") << QByteArray("ui4") << QByteArray("4294967295") << true;
        QTest::newRow("ui8 negative") << QByteArray("ui8") << QByteArray("-1") << false;
        QTest::newRow("ui8 past 2^64") << QByteArray("ui8") << QByteArray("18446744073709551616") << false;
        QTest::newRow("i8 past 2^63") << QByteArray("i8") << QByteArray("9223372036854775808") << false;
    }

    void integerParamsKeepTheirRange()
    {
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, value);
        QFETCH(bool, valid);
        const QByteArray xml = Packet8("<FIELD attrname=\"ID\" fieldtype=\"i4\"/>",
                                       "<PARAMS><PARAM Name=\"BIG\" Value=\"" + value + "\" Type=\"" + type + "\"/></PARAMS>",
                                       "<ROW ID=\"1\"/>");
        if (!valid) {
            QVERIFY_THROWS_EXCEPTION(EDBClient, PacketCodec::Decode(xml));
            return;
        }
        const Packet packet = PacketCodec::Decode(xml);
        const QByteArray written = PacketCodec::EncodeXml(packet, false);
        QVERIFY2(written.contains("Value=\"" + value + "\" Type=\"" + type + "\""), written.constData());
        QCOMPARE(Dump(PacketCodec::Decode(written)), Dump(packet));
        const Packet fromBinary = PacketCodec::Decode(PacketCodec::EncodeBinary(packet));
        QCOMPARE(PacketCodec::EncodeXml(fromBinary, true), PacketCodec::EncodeXml(packet, true));
    }

    void writtenGrammar()
    {
        Packet packet = PacketSamples::EmptyReleaseCache();
        packet.rows.push_back(PacketRow {{qint64(1), QByteArray("A\xe7\x80<1"), QByteArray("L")}});
        packet.rows.push_back(PacketRow {{qint64(2), Cell {}, QByteArray("\r")}});
        const QByteArray body =
            "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
            "<FIELD attrname=\"ID\" fieldtype=\"i4\" readonly=\"true\" SUBTYPE=\"Autoinc\"/>"
            "<FIELD attrname=\"COD_BARRA\" fieldtype=\"string\" WIDTH=\"10\"/>"
            "<FIELD attrname=\"EVENTO\" fieldtype=\"string\" WIDTH=\"1\"/>"
            "</FIELDS><PARAMS AUTOINCVALUE=\"1\"/></METADATA><ROWDATA>";
        QCOMPARE(PacketCodec::EncodeXml(packet, false),
                 kPlainDeclaration + body
                     + "<ROW ID=\"1\" COD_BARRA=\"A&#231;&#8364;&lt;1\" EVENTO=\"L\"/><ROW ID=\"2\" EVENTO=\"&#013;\"/>"
                       "</ROWDATA></DATAPACKET>");
        QCOMPARE(PacketCodec::EncodeXml(packet, true),
                 kUtf8Declaration + body
                     + "<ROW ID=\"1\" COD_BARRA=\"A\xc3\xa7\xe2\x82\xac&lt;1\" EVENTO=\"L\"/><ROW ID=\"2\" EVENTO=\"&#013;\"/>"
                       "</ROWDATA></DATAPACKET>");
    }

    void binaryAndXmlOfOnePacketDecodeEqual()
    {
        Packet packet = PacketSamples::EmptyReleaseCache();
        packet.autoIncValue = 4;
        packet.rows.push_back(PacketRow {{qint64(1), QByteArray("0001"), QByteArray("L")}});
        packet.rows.push_back(PacketRow {{qint64(3), QByteArray("\x81\xff ?"), Cell {}}});
        const QString binary = Dump(PacketCodec::Decode(PacketCodec::EncodeBinary(packet)));
        QCOMPARE(binary, Dump(packet));
        QCOMPARE(Dump(PacketCodec::Decode(PacketCodec::EncodeXml(packet, false))), binary);
        QCOMPARE(Dump(PacketCodec::Decode(PacketCodec::EncodeXml(packet, true))), binary);
    }

    void columnNamesThatAreNotXmlNames()
    {
        const Packet packet = OneRowPacket(
            {Column(QStringLiteral("Pre\u00e7o unit\u00e1rio"), ColumnKind::SignedInt, 4),
             Column(QStringLiteral("Pre_o_unit_rio"), ColumnKind::SignedInt, 4),
             Column(QStringLiteral("RowState"), ColumnKind::SignedInt, 4), Column(QStringLiteral("2"), ColumnKind::SignedInt, 4)},
            {qint64(1), qint64(2), qint64(3), qint64(4)});
        for (const bool utf8 : {false, true})
            QCOMPARE(Dump(PacketCodec::Decode(PacketCodec::EncodeXml(packet, utf8))), Dump(packet));
    }

    void unreadableXmlIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray good = Packet8(kCommandFields, "<PARAMS/>", "<ROW ID_COMANDA=\"1\" EVENTO=\"L\"/>");
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("not XML") << QByteArray("hello") << "";
        QTest::newRow("cut short") << good.left(good.size() - 5) << "";
        QTest::newRow("other root") << QByteArray("<?xml version=\"1.0\"?><TABLE/>") << "DATAPACKET";
        QTest::newRow("no metadata") << QByteArray("<DATAPACKET Version=\"2.0\"><ROWDATA/></DATAPACKET>") << "METADATA";
        QTest::newRow("unknown field type")
            << Packet8("<FIELD attrname=\"A\" fieldtype=\"r16\"/>", "<PARAMS/>", "") << "r16";
        QTest::newRow("integer that is not one")
            << Packet8("<FIELD attrname=\"A\" fieldtype=\"i4\"/>", "<PARAMS/>", "<ROW A=\"12x\"/>") << "12x";
        QTest::newRow("integer too large for its size")
            << Packet8("<FIELD attrname=\"A\" fieldtype=\"i2\"/>", "<PARAMS/>", "<ROW A=\"32768\"/>") << "32768";
        QTest::newRow("date that does not exist")
            << Packet8("<FIELD attrname=\"A\" fieldtype=\"date\"/>", "<PARAMS/>", "<ROW A=\"20230229\"/>") << "20230229";
        QTest::newRow("time past midnight")
            << Packet8("<FIELD attrname=\"A\" fieldtype=\"time\"/>", "<PARAMS/>", "<ROW A=\"24:00:00000\"/>") << "24:00";
        QTest::newRow("boolean that is not one")
            << Packet8("<FIELD attrname=\"A\" fieldtype=\"boolean\"/>", "<PARAMS/>", "<ROW A=\"YES\"/>") << "YES";
        QTest::newRow("bad base64")
            << Packet8("<FIELD attrname=\"A\" fieldtype=\"bin.hex\"/>", "<PARAMS/>", "<ROW A=\"@@@\"/>") << "@@@";
        QTest::newRow("UTF-8 declared, 8-bit bytes")
            << Packet8(kCommandFields, "<PARAMS/>", "<ROW ID_COMANDA=\"\xe7\"/>", kUtf8Declaration) << "UTF-8";
        QTest::newRow("unknown encoding")
            << Packet8(kCommandFields, "<PARAMS/>", "", "<?xml version=\"1.0\" encoding=\"x-unknown-7\"?>") << "x-unknown-7";
        QTest::newRow("change log names a missing record")
            << Packet8(kCommandFields, "<PARAMS CHANGE_LOG=\"5 0 4\"/>", "<ROW ID_COMANDA=\"1\"/>") << "change log";
        QTest::newRow("change log of two numbers")
            << Packet8(kCommandFields, "<PARAMS CHANGE_LOG=\"1 0\"/>", "<ROW ID_COMANDA=\"1\"/>") << "change log";
        QTest::newRow("counter that is not a number")
            << Packet8(kCommandFields, "<PARAMS AUTOINCVALUE=\"x\"/>", "") << "AUTOINCVALUE";
        QTest::newRow("field without a name") << Packet8("<FIELD fieldtype=\"i4\"/>", "<PARAMS/>", "") << "attrname";
        QTest::newRow("two fields of one name")
            << Packet8("<FIELD attrname=\"A\" fieldtype=\"i4\"/><FIELD attrname=\"A\" fieldtype=\"i4\"/>", "<PARAMS/>", "") << "A";
    }

    void unreadableXmlIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        ExpectRefusal(bytes, reason);
    }

    void unwritableValuesAreRefused_data()
    {
        QTest::addColumn<PacketColumn>("column");
        QTest::addColumn<Cell>("cell");
        QTest::newRow("date before the year 1") << Column("A", ColumnKind::Date) << Cell(qint64(0));
        QTest::newRow("time of more than a day") << Column("A", ColumnKind::Time) << Cell(qint64(86400000));
        QTest::newRow("unpaired surrogate") << Column("A", ColumnKind::WideString, 10) << Cell(QString(QChar(0xDC00)));
        QTest::newRow("timestamp not a number") << Column("A", ColumnKind::Timestamp) << Cell(std::nan(""));
        QTest::newRow("nested table that is not XML") << Column("A", ColumnKind::Nested) << Cell(QByteArray("<ROWA a=\"1\">"));
    }

    void unwritableValuesAreRefused()
    {
        QFETCH(PacketColumn, column);
        QFETCH(Cell, cell);
        try {
            PacketCodec::EncodeXml(OneRowPacket({column}, {cell}), true);
            QFAIL("the value was written");
        } catch (const EDBClient &error) {
            QCOMPARE(error.ErrorCode(), int(PacketCodec::kCannotEncode));
        }
    }
};


QTEST_APPLESS_MAIN(TestXmlPacket)
#include "test_xml_packet.moc"
