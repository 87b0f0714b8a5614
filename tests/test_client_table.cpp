#include "cache/table/ClientDataSet.h"
#include "cache/table/DataSource.h"
#include "cache/base/Exceptions.h"
#include "cache/packet/PacketCodec.h"

#include <QtTest>
#include <functional>
#include <memory>

using namespace Catraca;

namespace {

PacketColumn Column(const QString &name, ColumnKind kind, int size, const QString &subtype = {})
{
    PacketColumn column;
    column.name = name;
    column.kind = kind;
    column.size = size;
    column.subtype = subtype;
    return column;
}

// A packet shaped like the release cache: ID, COD_BARRA (10), EVENTO (1).
// A barcode "~" stands for a blank cell.
Packet CachePacket(const QStringList &barcodes)
{
    Packet packet;
    PacketColumn id = Column("ID", ColumnKind::SignedInt, 4, "Autoinc");
    id.readOnly = true;
    packet.columns = {id, Column("COD_BARRA", ColumnKind::AnsiString, 10), Column("EVENTO", ColumnKind::AnsiString, 1)};
    qint64 number = 0;
    for (const QString &barcode : barcodes) {
        PacketRow row;
        row.cells.push_back(++number);
        row.cells.push_back(barcode == "~" ? Cell{} : Cell{barcode.toLatin1()});
        row.cells.push_back(QByteArray("C"));
        packet.rows.push_back(row);
    }
    packet.autoIncValue = qint32(number + 1);
    return packet;
}

struct CacheTable {
    explicit CacheTable(const QString &name = "cdsTeste") : table(name)
    {
        id = table.DeclareField<TAutoIncField>("ID");
        id->SetReadOnly(true);
        barcode = table.DeclareField<TStringField>("COD_BARRA", 10);
        event = table.DeclareField<TStringField>("EVENTO", 1);
    }
    void Load(const QStringList &barcodes) { table.LoadFromPacket(CachePacket(barcodes)); }
    QStringList Barcodes()
    {
        QStringList result;
        const Packet packet = table.SaveToPacket();
        for (const PacketRow &row : packet.rows) {
            const auto *bytes = std::get_if<QByteArray>(&row.cells[1]);
            result << (bytes ? QString::fromLatin1(*bytes) : QString("~"));
        }
        return result;
    }
    TClientDataSet table;
    TAutoIncField *id;
    TStringField *barcode;
    TStringField *event;
};

QString StateName(TDataSetState state)
{
    switch (state) {
    case dsInactive: return "inactive";
    case dsBrowse: return "browse";
    case dsEdit: return "edit";
    case dsInsert: return "insert";
    }
    return "?";
}

// "current barcode|flags|state", flags "B" for Bof and "E" for Eof.
QString Observe(CacheTable &cache)
{
    const QString flags = QString(cache.table.Bof() ? "B" : "-") + (cache.table.Eof() ? "E" : "-");
    return cache.barcode->AsString() + "|" + flags + "|" + StateName(cache.table.State());
}

// Runs one step of a script: next, prior, first, last, move:N, edit, insert,
// post, cancel, delete, set:TEXT (COD_BARRA), locate:TEXT.
void RunStep(CacheTable &cache, const QString &step)
{
    TClientDataSet &table = cache.table;
    const QString argument = step.section(':', 1);
    const QString verb = step.section(':', 0, 0);
    const std::map<QString, std::function<void()>> steps = {
        {"next", [&] { table.Next(); }},
        {"prior", [&] { table.Prior(); }},
        {"first", [&] { table.First(); }},
        {"last", [&] { table.Last(); }},
        {"move", [&] { table.MoveBy(argument.toInt()); }},
        {"edit", [&] { table.Edit(); }},
        {"insert", [&] { table.Insert(); }},
        {"post", [&] { table.Post(); }},
        {"cancel", [&] { table.Cancel(); }},
        {"delete", [&] { table.Delete(); }},
        {"set", [&] { cache.barcode->SetAsString(argument); }},
        {"locate", [&] { table.Locate("COD_BARRA", argument, loCaseInsensitive | loPartialKey); }},
    };
    const auto found = steps.find(verb);
    QVERIFY2(found != steps.end(), qPrintable("unknown step " + step));
    found->second();
}

template <class ExceptionClass = EDatabaseError>
QString MessageOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const ExceptionClass &error) {
        return error.Message();
    }
    return "(no error)";
}

// A view that records what the table tells it, and may hold typed text that
// it stores when asked.
class RecordingLink : public TDataLink {
public:
    QStringList events;
    QString heldText;
    TField *heldField = nullptr;

    void ActiveChanged() override { events << "active"; }
    void DataSetChanged() override { events << "changed"; }
    void DataSetScrolled() override { events << "scrolled"; }
    void RecordChanged(TField *field) override { events << "record:" + (field ? field->FieldName() : QString()); }
    void EditingChanged() override { events << "editing"; }
    void UpdateData() override
    {
        events << "update";
        if (heldField && !heldText.isNull()) {
            const QString text = heldText;
            heldText = QString();
            heldField->SetAsString(text);
        }
    }
};

}  // namespace

class TestClientTable : public QObject {
    Q_OBJECT

private slots:
    void locate_data();
    void locate();
    void locateOnSeveralColumnsAndBlankKeys();
    void locateSettlesPendingChangeFirst_data();
    void locateSettlesPendingChangeFirst();

    void script_data();
    void script();
    void moveByCountsRowsMoved_data();
    void moveByCountsRowsMoved();
    void isEmptyCountsPendingNewRow();
    void modifiedFlag();
    void numbersNewRowsFromCounter();
    void packetColumnsMadeWithoutDeclaredOnes();
    void declaredStringsFromPacketTakeStoredForm_data();
    void declaredStringsFromPacketTakeStoredForm();

    void errors_data();
    void errors();
    void failedOpenLeavesTableClosedHoldingPacket();

    void viewsAreTold_data();
    void viewsAreTold();
    void viewsStorePendingTextBeforePostAndBrowseStep_data();
    void viewsStorePendingTextBeforePostAndBrowseStep();
    void viewShowsPendingRowInPlace();
    void linksDetachWhicheverSideGoesFirst();
    void dataSourceAutoEdit();
};

// --- search ------------------------------------------------------------------

void TestClientTable::locate_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("options");
    QTest::addColumn<int>("expectedRow");  // -1: not found

    const int both = loCaseInsensitive | loPartialKey;
    QTest::newRow("prefix finds first row beginning with key") << QStringList{"12345", "123"} << "123" << both << 0;
    QTest::newRow("lower key finds upper row") << QStringList{"X", "ABC9"} << "abc" << both << 1;
    QTest::newRow("upper key finds lower row") << QStringList{"X", "abc9"} << "ABC" << both << 1;
    QTest::newRow("code page letters ignore case") << QStringList{"X", QString::fromUtf8("ÇÃO1")} << QString::fromUtf8("ção") << both << 1;
    QTest::newRow("letters and digits ignore case") << QStringList{"ab2", "ab12"} << "AB1" << both << 1;
    QTest::newRow("digits only") << QStringList{"0012", "0001"} << "0001" << both << 1;
    QTest::newRow("y with diaeresis both cases") << QStringList{"X", QString::fromUtf8("ÿz")} << QString::fromUtf8("Ÿ") << both << 1;
    QTest::newRow("empty key finds only the lone star") << QStringList{"A", "**", "*", "B"} << "" << both << 2;
    QTest::newRow("empty key without star row") << QStringList{"A", "**"} << "" << both << -1;
    QTest::newRow("eleven characters never match") << QStringList{"ABCDEFGHIJ"} << "ABCDEFGHIJK" << both << -1;
    QTest::newRow("quote searched as typed") << QStringList{"AB", "A'BC"} << "A'B" << both << 1;
    QTest::newRow("doubled quotes searched as typed") << QStringList{"A'B", "A''B"} << "A''B" << both << 1;
    QTest::newRow("star inside is ordinary") << QStringList{"123", "12*9"} << "12*" << both << 1;
    QTest::newRow("star inside does not match digits") << QStringList{"123"} << "12*" << both << -1;
    QTest::newRow("blank cells never match") << QStringList{"~", "X1"} << "X" << both << 1;
    QTest::newRow("stored value shorter than key") << QStringList{"12", "1234"} << "123" << both << 1;
    QTest::newRow("trailing blank of key counts") << QStringList{"AB", "AB C"} << "AB " << both << 1;
    QTest::newRow("case kept without option") << QStringList{"ABC9", "abc1"} << "abc" << int(loPartialKey) << 1;
    QTest::newRow("whole value without partial option") << QStringList{"123", "12"} << "12" << int(loCaseInsensitive) << 1;
    QTest::newRow("star kept whole without partial option") << QStringList{"12", "12*"} << "12*" << int(loCaseInsensitive) << 1;
    QTest::newRow("character outside code page is '?'") << QStringList{"A", "?"} << QString::fromUtf8("Ω") << both << 1;
    QTest::newRow("exact full width value") << QStringList{"ABCDEFGHIJ"} << "abcdefghij" << both << 0;
}

void TestClientTable::locate()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, key);
    QFETCH(int, options);
    QFETCH(int, expectedRow);

    CacheTable cache;
    // A search of other rows first: the rows loaded next are searched anew.
    cache.Load({"~"});
    cache.table.Locate("cod_barra", key, options);
    cache.Load(rows);
    cache.table.Last();
    const bool found = cache.table.Locate("cod_barra", key, options);
    QCOMPARE(found, expectedRow >= 0);
    QCOMPARE(cache.table.RecNo(), expectedRow >= 0 ? expectedRow + 1 : rows.size());
    if (found) {
        QVERIFY(!cache.table.Bof());
        QVERIFY(!cache.table.Eof());
    }
}

void TestClientTable::locateOnSeveralColumnsAndBlankKeys()
{
    CacheTable cache;
    Packet packet = CachePacket({"12", "123", "~"});
    packet.rows[1].cells[2] = QByteArray("L");
    cache.table.LoadFromPacket(packet);

    // Only the last key column is searched by prefix; the others whole.
    QVERIFY(!cache.table.Locate("COD_BARRA;EVENTO", QVariantList{"12", "L"}, loCaseInsensitive | loPartialKey));
    QVERIFY(cache.table.Locate("COD_BARRA;EVENTO", QVariantList{"123", "l"}, loCaseInsensitive | loPartialKey));
    QCOMPARE(cache.barcode->AsString(), QString("123"));
    QVERIFY(cache.table.Locate("EVENTO ; COD_BARRA", QVariantList{"C", "1"}, loCaseInsensitive | loPartialKey));
    QCOMPARE(cache.barcode->AsString(), QString("12"));
    QVERIFY(cache.table.Locate("COD_BARRA", QVariant(), loCaseInsensitive | loPartialKey));
    QCOMPARE(cache.table.RecNo(), 3);
    QVERIFY(cache.table.Locate("ID", 2, 0));
    QCOMPARE(cache.barcode->AsString(), QString("123"));

    // Only the first 8-bit column searched alone is indexed; another is still found.
    QVERIFY(cache.table.Locate("COD_BARRA", "12", loCaseInsensitive));
    QCOMPARE(cache.table.RecNo(), 1);
    QVERIFY(cache.table.Locate("EVENTO", "l", loCaseInsensitive));
    QCOMPARE(cache.barcode->AsString(), QString("123"));
}

void TestClientTable::locateSettlesPendingChangeFirst_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("rowsAfter");
    QTest::addColumn<QString>("observed");

    QTest::newRow("typed edit is posted, then a miss") << QStringList{"next", "edit", "set:Q"} << "Z" << QStringList{"A", "Q", "C"} << "Q|--|browse";
    QTest::newRow("untouched edit is abandoned") << QStringList{"next", "edit"} << "Z" << QStringList{"A", "B", "C"} << "B|--|browse";
    QTest::newRow("untouched insert is dropped") << QStringList{"next", "insert"} << "Z" << QStringList{"A", "B", "C"} << "B|--|browse";
    QTest::newRow("typed insert is posted and found") << QStringList{"next", "insert", "set:Q"} << "q" << QStringList{"A", "Q", "B", "C"} << "Q|--|browse";
}

void TestClientTable::locateSettlesPendingChangeFirst()
{
    QFETCH(QStringList, before);
    QFETCH(QString, key);
    QFETCH(QStringList, rowsAfter);
    QFETCH(QString, observed);

    CacheTable cache;
    cache.Load({"A", "B", "C"});
    for (const QString &step : before)
        RunStep(cache, step);
    cache.table.Locate("COD_BARRA", key, loCaseInsensitive | loPartialKey);
    QCOMPARE(Observe(cache), observed);
    QCOMPARE(cache.Barcodes(), rowsAfter);
}

// --- cursor and states -------------------------------------------------------

void TestClientTable::script_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("observed");  // after each step
    QTest::addColumn<QStringList>("rowsAfter");

    const QStringList abc{"A", "B", "C"};
    QTest::newRow("walk forward and back")
        << abc << QStringList{"next", "next", "next", "next", "prior", "prior", "prior", "last", "first"}
        << QStringList{"B|--|browse", "C|--|browse", "C|-E|browse", "C|-E|browse", "B|--|browse", "A|--|browse",
                       "A|B-|browse", "C|-E|browse", "A|B-|browse"}
        << abc;
    QTest::newRow("moves stop at the ends")
        << abc << QStringList{"move:5", "move:-1", "move:-5", "move:1", "move:0"}
        << QStringList{"C|-E|browse", "B|--|browse", "A|B-|browse", "B|--|browse", "B|--|browse"} << abc;
    QTest::newRow("empty table keeps both flags")
        << QStringList{} << QStringList{"next", "prior", "first", "last", "insert", "cancel", "edit", "set:X", "post"}
        << QStringList{"|BE|browse", "|BE|browse", "|BE|browse", "|BE|browse", "|BE|insert", "|BE|browse",
                       "|BE|insert", "X|BE|insert", "X|--|browse"}
        << QStringList{"X"};
    QTest::newRow("insert goes before the current row")
        << abc << QStringList{"next", "insert", "set:X", "post"}
        << QStringList{"B|--|browse", "|--|insert", "X|--|insert", "X|--|browse"} << QStringList{"A", "X", "B", "C"};
    QTest::newRow("insert at the last row")
        << abc << QStringList{"last", "insert", "set:X", "post", "next"}
        << QStringList{"C|-E|browse", "|-E|insert", "X|-E|insert", "X|--|browse", "C|--|browse"}
        << QStringList{"A", "B", "X", "C"};
    QTest::newRow("insert after first keeps Bof")
        << abc << QStringList{"next", "first", "insert", "cancel"}
        << QStringList{"B|--|browse", "A|B-|browse", "|B-|insert", "A|B-|browse"} << abc;
    QTest::newRow("cancelled insert restores row and flags")
        << abc << QStringList{"last", "insert", "set:X", "cancel"}
        << QStringList{"C|-E|browse", "|-E|insert", "X|-E|insert", "C|-E|browse"} << abc;
    QTest::newRow("cancelled edit keeps stored values")
        << abc << QStringList{"edit", "set:Z", "cancel"} << QStringList{"A|B-|edit", "Z|B-|edit", "A|B-|browse"} << abc;
    QTest::newRow("posted edit replaces values")
        << abc << QStringList{"next", "edit", "set:Z", "post"}
        << QStringList{"B|--|browse", "B|--|edit", "Z|--|edit", "Z|--|browse"} << QStringList{"A", "Z", "C"};
    QTest::newRow("posting the first row clears Bof")
        << abc << QStringList{"edit", "set:Z", "post"} << QStringList{"A|B-|edit", "Z|B-|edit", "Z|--|browse"}
        << QStringList{"Z", "B", "C"};
    QTest::newRow("edit during insert does nothing")
        << abc << QStringList{"insert", "edit", "set:X", "post"}
        << QStringList{"|B-|insert", "|B-|insert", "X|B-|insert", "X|--|browse"} << QStringList{"X", "A", "B", "C"};
    QTest::newRow("delete middle row")
        << abc << QStringList{"next", "delete"} << QStringList{"B|--|browse", "C|--|browse"} << QStringList{"A", "C"};
    QTest::newRow("delete last row")
        << abc << QStringList{"last", "delete"} << QStringList{"C|-E|browse", "B|--|browse"} << QStringList{"A", "B"};
    QTest::newRow("delete first row clears Bof")
        << abc << QStringList{"delete"} << QStringList{"B|--|browse"} << QStringList{"B", "C"};
    QTest::newRow("delete only row")
        << QStringList{"A"} << QStringList{"delete"} << QStringList{"|BE|browse"} << QStringList{};
    QTest::newRow("delete during insert drops the new row only")
        << abc << QStringList{"next", "insert", "set:X", "delete"}
        << QStringList{"B|--|browse", "|--|insert", "X|--|insert", "B|--|browse"} << abc;
    QTest::newRow("delete during edit removes the row")
        << abc << QStringList{"next", "edit", "set:Z", "delete"}
        << QStringList{"B|--|browse", "B|--|edit", "Z|--|edit", "C|--|browse"} << QStringList{"A", "C"};
    QTest::newRow("move posts a typed edit")
        << abc << QStringList{"edit", "set:Z", "next"} << QStringList{"A|B-|edit", "Z|B-|edit", "B|--|browse"}
        << QStringList{"Z", "B", "C"};
    QTest::newRow("move abandons an untouched edit")
        << abc << QStringList{"edit", "next"} << QStringList{"A|B-|edit", "B|--|browse"} << abc;
    QTest::newRow("move abandons an untouched insert")
        << abc << QStringList{"insert", "next"} << QStringList{"|B-|insert", "B|--|browse"} << abc;
    QTest::newRow("move posts a typed insert")
        << abc << QStringList{"insert", "set:X", "next"} << QStringList{"|B-|insert", "X|B-|insert", "A|--|browse"}
        << QStringList{"X", "A", "B", "C"};
    QTest::newRow("insert posts the pending insert before its own")
        << abc << QStringList{"insert", "set:X", "insert", "set:Y", "post"}
        << QStringList{"|B-|insert", "X|B-|insert", "|--|insert", "Y|--|insert", "Y|--|browse"}
        << QStringList{"Y", "X", "A", "B", "C"};
    QTest::newRow("released row, then a new row before the current one")
        << abc << QStringList{"locate:B", "delete", "insert", "set:B", "post"}
        << QStringList{"B|--|browse", "C|--|browse", "|--|insert", "B|--|insert", "B|--|browse"}
        << QStringList{"A", "B", "C"};
    QTest::newRow("search finds the first row in order after inserts and edits")
        << abc
        << QStringList{"locate:C", "insert", "set:C2", "post", "first", "insert", "set:c1", "post",
                       "last", "locate:C", "edit", "set:X", "post", "locate:C", "locate:x"}
        << QStringList{"C|--|browse", "|--|insert", "C2|--|insert", "C2|--|browse", "A|B-|browse", "|B-|insert",
                       "c1|B-|insert", "c1|--|browse", "C|-E|browse", "c1|--|browse", "c1|--|edit", "X|--|edit",
                       "X|--|browse", "C2|--|browse", "X|--|browse"}
        << QStringList{"X", "A", "B", "C2", "C"};
    QTest::newRow("search after a delete, the freed row taken by a new one")
        << QStringList{"A1", "B", "A2"}
        << QStringList{"locate:A", "delete", "locate:A", "insert", "set:A0", "post", "first", "locate:a", "locate:A1"}
        << QStringList{"A1|--|browse", "B|--|browse", "A2|--|browse", "|--|insert", "A0|--|insert", "A0|--|browse",
                       "B|B-|browse", "A0|--|browse", "A0|--|browse"}
        << QStringList{"B", "A0", "A2"};
    QTest::newRow("eleven characters stored as ten")
        << QStringList{} << QStringList{"insert", "set:ABCDEFGHIJK", "post", "locate:ABCDEFGHIJK", "locate:ABCDEFGHIJ"}
        << QStringList{"|BE|insert", "ABCDEFGHIJ|BE|insert", "ABCDEFGHIJ|--|browse", "ABCDEFGHIJ|--|browse",
                       "ABCDEFGHIJ|--|browse"}
        << QStringList{"ABCDEFGHIJ"};
}

void TestClientTable::script()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, observed);
    QFETCH(QStringList, rowsAfter);
    QCOMPARE(steps.size(), observed.size());

    CacheTable cache;
    cache.Load(rows);
    QCOMPARE(Observe(cache), rows.isEmpty() ? QString("|BE|browse") : rows.first() + "|B-|browse");
    for (int index = 0; index < steps.size(); ++index) {
        RunStep(cache, steps[index]);
        QCOMPARE(steps[index] + " -> " + Observe(cache), steps[index] + " -> " + observed[index]);
    }
    QCOMPARE(cache.Barcodes(), rowsAfter);
    // The binary save reads the rows from the columns in the table's order,
    // without going through rows as this packet does.
    QCOMPARE(cache.table.SaveToBytes(), PacketCodec::EncodeBinary(cache.table.SaveToPacket()));
}

void TestClientTable::moveByCountsRowsMoved_data()
{
    QTest::addColumn<int>("start");  // 1-based
    QTest::addColumn<int>("distance");
    QTest::addColumn<int>("moved");
    QTest::addColumn<int>("recNo");

    QTest::newRow("within") << 2 << 2 << 2 << 4;
    QTest::newRow("past the end") << 2 << 10 << 3 << 5;
    QTest::newRow("past the start") << 4 << -10 << -3 << 1;
    QTest::newRow("huge distance") << 3 << std::numeric_limits<int>::max() << 2 << 5;
    QTest::newRow("huge negative distance") << 3 << std::numeric_limits<int>::min() << -2 << 1;
}

void TestClientTable::moveByCountsRowsMoved()
{
    QFETCH(int, start);
    QFETCH(int, distance);
    QFETCH(int, moved);
    QFETCH(int, recNo);

    CacheTable cache;
    cache.Load({"A", "B", "C", "D", "E"});
    cache.table.MoveBy(start - 1);
    QCOMPARE(cache.table.MoveBy(distance), moved);
    QCOMPARE(cache.table.RecNo(), recNo);
}

void TestClientTable::isEmptyCountsPendingNewRow()
{
    CacheTable cache;
    QVERIFY(cache.table.IsEmpty());  // closed
    cache.Load({});
    QVERIFY(cache.table.IsEmpty());
    cache.table.Insert();
    QVERIFY(!cache.table.IsEmpty());
    cache.table.Cancel();
    QVERIFY(cache.table.IsEmpty());
}

void TestClientTable::modifiedFlag()
{
    CacheTable cache;
    cache.Load({"A"});
    cache.table.Edit();
    QVERIFY(!cache.table.Modified());
    cache.barcode->SetAsString("A");  // the same value still counts
    QVERIFY(cache.table.Modified());
    cache.table.Next();  // posted by the browse-mode step
    QVERIFY(!cache.table.Modified());
    QCOMPARE(cache.table.State(), dsBrowse);
    cache.table.Insert();
    QVERIFY(!cache.table.Modified());
}

void TestClientTable::numbersNewRowsFromCounter()
{
    CacheTable cache;
    Packet packet = CachePacket({"A"});
    packet.autoIncValue = 7;
    cache.table.LoadFromPacket(packet);
    cache.table.Insert();
    cache.barcode->SetAsString("X");
    QVERIFY(cache.id->IsNull());
    cache.table.Post();
    QCOMPARE(cache.id->AsString(), QString("7"));
    cache.table.Delete();
    cache.table.Insert();
    cache.barcode->SetAsString("Y");
    cache.table.Post();
    QCOMPARE(cache.id->AsString(), QString("8"));
    QCOMPARE(cache.table.SaveToPacket().autoIncValue, std::optional<qint32>(9));

    // Without a counter in the packet, numbering continues after the highest ID.
    packet.autoIncValue.reset();
    cache.table.LoadFromPacket(packet);
    cache.table.Insert();
    cache.barcode->SetAsString("Z");
    cache.table.Post();
    QCOMPARE(cache.id->AsString(), QString("2"));
}

void TestClientTable::packetColumnsMadeWithoutDeclaredOnes()
{
    TClientDataSet table;
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, table.FieldByName("EVENTO"));
    table.LoadFromPacket(CachePacket({"A"}));
    QCOMPARE(table.FieldCount(), 3);
    QCOMPARE(table.Fields(0)->DataType(), ftAutoInc);
    QVERIFY(dynamic_cast<TStringField *>(table.FieldByName("evento")) != nullptr);
    QCOMPARE(table.FieldByName("cod_barra")->AsString(), QString("A"));
    table.Close();
    QCOMPARE(table.FieldCount(), 0);
    QCOMPARE(MessageOf([&] { table.FieldByName("EVENTO"); }), QString("Field 'EVENTO' not found"));
}

void TestClientTable::declaredStringsFromPacketTakeStoredForm_data()
{
    QTest::addColumn<bool>("binary");
    QTest::newRow("binary form") << true;
    QTest::newRow("XML form") << false;
}

void TestClientTable::declaredStringsFromPacketTakeStoredForm()
{
    QFETCH(bool, binary);
    const Packet packet = CachePacket({"AB   ", "0123456789XYZ"});
    CacheTable cache;
    cache.table.SetHeldPacket(binary ? PacketCodec::EncodeBinary(packet) : PacketCodec::EncodeXml(packet, false));
    cache.table.Open();

    QCOMPARE(cache.Barcodes(), QStringList({"AB", "0123456789"}));
    cache.table.Last();
    QVERIFY(cache.table.Locate("COD_BARRA", "ab", loCaseInsensitive));  // whole value, not a prefix
    QCOMPARE(cache.barcode->AsString(), QString("AB"));
}

// --- errors ------------------------------------------------------------------

void TestClientTable::errors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("message");

    const QString closed = "Cannot perform this operation on a closed dataset";
    for (const QString &name : {QString("cdsTeste"), QString()}) {
        const QString prefix = name.isEmpty() ? QString() : name + ": ";
        const char *tag = name.isEmpty() ? "unnamed" : "named";
        for (const char *operation : {"locate", "edit", "insert", "delete", "first", "next", "prior", "last"})
            QTest::addRow("%s closed %s", tag, operation) << name << QString("closed:") + operation << prefix + closed;
        QTest::addRow("%s delete empty", tag) << name << "empty:delete" << prefix + "Cannot perform this operation on an empty dataset";
        QTest::addRow("%s post browsing", tag) << name << "open:post" << prefix + "Dataset not in edit or insert mode";
        QTest::addRow("%s post closed", tag) << name << "closed:post" << prefix + "Dataset not in edit or insert mode";
        QTest::addRow("%s assign browsing", tag) << name << "open:set" << prefix + "Dataset not in edit or insert mode";
        QTest::addRow("%s unknown field", tag) << name << "open:fieldbyname" << prefix + "Field 'EVENT' not found";
        QTest::addRow("%s unknown search column", tag) << name << "open:locateunknown" << prefix + "Field 'CODIGO' not found";
        QTest::addRow("%s read-only column", tag) << name << "open:setid" << QString("Field 'ID' cannot be modified");
        QTest::addRow("%s no packet", tag) << name << "new:open" << prefix + "Missing data provider or data packet";
        QTest::addRow("%s packet lacks column", tag) << name << "new:nocolumn" << prefix + "Field 'EVENTO' not found";
        QTest::addRow("%s type mismatch", tag) << name << "new:mismatch"
                                               << prefix + "Type mismatch for field 'EVENTO', expecting: String actual: Integer";
        QTest::addRow("%s autoinc as integer", tag) << name << "new:plainid"
                                                    << prefix + "Type mismatch for field 'ID', expecting: AutoInc actual: Integer";
    }
}

void TestClientTable::errors()
{
    QFETCH(QString, name);
    QFETCH(QString, situation);
    QFETCH(QString, message);

    CacheTable cache(name);
    TClientDataSet &table = cache.table;
    const QString setup = situation.section(':', 0, 0);
    const QString action = situation.section(':', 1);
    if (setup == "open")
        cache.Load({"A", "B"});
    else if (setup == "empty")
        cache.Load({});
    if (setup == "closed") {
        cache.Load({"A"});
        table.Close();
    }

    Packet broken = CachePacket({"A"});
    if (action == "nocolumn")
        broken.columns.removeLast();
    if (action == "mismatch")
        broken.columns[2] = Column("EVENTO", ColumnKind::SignedInt, 4);
    if (action == "plainid")
        broken.columns[0].subtype.clear();

    const std::map<QString, std::function<void()>> actions = {
        {"locate", [&] { table.Locate("COD_BARRA", "A", loCaseInsensitive | loPartialKey); }},
        {"locateunknown", [&] { table.Locate("CODIGO", "A", loCaseInsensitive | loPartialKey); }},
        {"edit", [&] { table.Edit(); }},
        {"insert", [&] { table.Insert(); }},
        {"delete", [&] { table.Delete(); }},
        {"first", [&] { table.First(); }},
        {"next", [&] { table.Next(); }},
        {"prior", [&] { table.Prior(); }},
        {"last", [&] { table.Last(); }},
        {"post", [&] { table.Post(); }},
        {"set", [&] { cache.barcode->SetAsString("X"); }},
        {"setid", [&] { table.Edit(); cache.id->SetAsString("5"); }},
        {"fieldbyname", [&] { table.FieldByName("EVENT"); }},
        {"open", [&] { table.Open(); }},
        {"nocolumn", [&] { table.LoadFromPacket(broken); }},
        {"mismatch", [&] { table.LoadFromPacket(broken); }},
        {"plainid", [&] { table.LoadFromPacket(broken); }},
    };
    QCOMPARE(MessageOf(actions.at(action)), message);
}

void TestClientTable::failedOpenLeavesTableClosedHoldingPacket()
{
    CacheTable cache;
    cache.Load({"A", "B"});
    Packet broken = CachePacket({"X"});
    broken.columns.removeLast();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, cache.table.LoadFromPacket(broken));
    QCOMPARE(cache.table.State(), dsInactive);
    QVERIFY(cache.table.HasHeldPacket());
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, cache.table.Open());  // the same refused packet
    QCOMPARE(cache.barcode->ColumnIndex(), -1);
    cache.table.LoadFromPacket(CachePacket({"C"}));
    QCOMPARE(cache.Barcodes(), QStringList{"C"});
}

// --- views -------------------------------------------------------------------

void TestClientTable::viewsAreTold_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("events");  // of the last step

    QTest::newRow("move") << QStringList{"next"} << QStringList{"scrolled"};
    QTest::newRow("move that cannot") << QStringList{"first"} << QStringList{};
    QTest::newRow("edit") << QStringList{"edit"} << QStringList{"editing"};
    QTest::newRow("assign") << QStringList{"edit", "set:X"} << QStringList{"record:COD_BARRA"};
    QTest::newRow("post") << QStringList{"edit", "set:X", "post"} << QStringList{"update", "changed", "editing"};
    QTest::newRow("insert") << QStringList{"insert"} << QStringList{"changed", "editing"};
    QTest::newRow("cancel insert") << QStringList{"insert", "cancel"} << QStringList{"changed", "editing"};
    QTest::newRow("cancel edit") << QStringList{"edit", "cancel"} << QStringList{"editing"};
    QTest::newRow("delete") << QStringList{"delete"} << QStringList{"changed"};
    QTest::newRow("found") << QStringList{"locate:C"} << QStringList{"scrolled"};
    QTest::newRow("not found") << QStringList{"locate:Z"} << QStringList{};
    QTest::newRow("move settles typed edit")
        << QStringList{"edit", "set:X", "next"} << QStringList{"update", "update", "changed", "editing", "scrolled"};
}

void TestClientTable::viewsAreTold()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, events);

    CacheTable cache;
    cache.Load({"A", "B", "C"});
    TDataSource source;
    source.SetDataSet(&cache.table);
    RecordingLink link;
    link.SetDataSource(&source);
    for (const QString &step : steps) {
        link.events.clear();
        RunStep(cache, step);
    }
    QCOMPARE(link.events, events);
}

void TestClientTable::viewsStorePendingTextBeforePostAndBrowseStep_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("rowsAfter");

    QTest::newRow("post") << QStringList{"next", "edit", "post"} << QStringList{"A", "TYPED", "C"};
    QTest::newRow("move after edit") << QStringList{"next", "edit", "next"} << QStringList{"A", "TYPED", "C"};
    QTest::newRow("search after insert") << QStringList{"insert", "locate:Z"} << QStringList{"TYPED", "A", "B", "C"};
}

// The view holds text that it has not stored yet: the table must ask for it
// before deciding whether the pending row was modified.
void TestClientTable::viewsStorePendingTextBeforePostAndBrowseStep()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, rowsAfter);

    CacheTable cache;
    cache.Load({"A", "B", "C"});
    TDataSource source;
    source.SetDataSet(&cache.table);
    RecordingLink link;
    link.SetDataSource(&source);
    link.heldField = cache.barcode;
    for (const QString &step : steps) {
        if (step == "edit" || step == "insert")
            link.heldText = "TYPED";
        RunStep(cache, step);
    }
    QCOMPARE(cache.Barcodes(), rowsAfter);
    QCOMPARE(cache.table.State(), dsBrowse);
}

void TestClientTable::viewShowsPendingRowInPlace()
{
    CacheTable cache;
    cache.Load({"A", "B", "C"});
    cache.table.Next();
    cache.table.Insert();
    cache.barcode->SetAsString("X");
    QCOMPARE(cache.table.ViewRowCount(), 4);
    QCOMPARE(cache.table.ViewCurrentRow(), 1);
    QStringList shown;
    for (int row = 0; row < cache.table.ViewRowCount(); ++row)
        shown << cache.table.ViewText(row, cache.barcode);
    QCOMPARE(shown, (QStringList{"A", "X", "B", "C"}));
    QCOMPARE(cache.table.RecordCount(), 3);
    cache.table.Cancel();

    cache.table.Edit();
    cache.barcode->SetAsString("Z");
    QCOMPARE(cache.table.ViewText(1, cache.barcode), QString("Z"));
    QCOMPARE(cache.table.ViewText(2, cache.barcode), QString("C"));
    QCOMPARE(cache.table.ViewText(3, cache.barcode), QString());
    QCOMPARE(cache.table.ViewRowCount(), 3);
}

void TestClientTable::linksDetachWhicheverSideGoesFirst()
{
    RecordingLink link;
    auto table = std::make_unique<CacheTable>();
    table->Load({"A"});
    {
        TDataSource source;
        source.SetDataSet(&table->table);
        link.SetDataSource(&source);
        QCOMPARE(link.DataSet(), &table->table);
    }
    QVERIFY(link.DataSource() == nullptr);
    table->table.Next();  // no source left to notify

    TDataSource source;
    source.SetDataSet(&table->table);
    link.SetDataSource(&source);
    {
        RecordingLink shortLived;
        shortLived.SetDataSource(&source);
    }
    table.reset();
    QVERIFY(source.DataSet() == nullptr);
    QVERIFY(link.DataSet() == nullptr);
    QCOMPARE(link.events.last(), QString("active"));
    QCOMPARE(source.State(), dsInactive);
}

void TestClientTable::dataSourceAutoEdit()
{
    CacheTable cache;
    TDataSource source;
    source.SetDataSet(&cache.table);
    QVERIFY(!source.Edit());  // closed: typing is refused
    cache.Load({});
    QVERIFY(source.Edit());
    QCOMPARE(cache.table.State(), dsInsert);  // no rows: a new row
    cache.table.Cancel();
    cache.Load({"A"});
    source.SetAutoEdit(false);
    QVERIFY(!source.Edit());
    source.SetAutoEdit(true);
    QVERIFY(source.Edit());
    QCOMPARE(cache.table.State(), dsEdit);
}

QTEST_GUILESS_MAIN(TestClientTable)
#include "test_client_table.moc"
