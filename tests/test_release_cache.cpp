#include "cache/base/Exceptions.h"
#include "cache/packet/PacketCodec.h"
#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "tests/support/CacheRows.h"
#include "tests/support/TestSupport.h"

#include <QtTest>
#include <functional>

using namespace Catraca;

namespace {

// Bytes written as the layout table lists them: hex pairs, and 'text' for
// names and values.
QByteArray BytesOf(const QString &layout)
{
    QByteArray bytes;
    for (const QString &token : layout.split(' ', Qt::SkipEmptyParts)) {
        if (token.startsWith('\''))
            bytes += token.mid(1, token.size() - 2).toLatin1();
        else
            bytes += char(token.toInt(nullptr, 16));
    }
    return bytes;
}

const char *const kEmptyCacheLayout =
    "96 19 E0 BD  01 00 00 00  18 00 00 00  03 00  00 00 00 00  03 00 00 00  89 00 "
    "02 'ID' 04 00 01 00  02 00  01 00  07 'SUBTYPE' 02 00 49 00  08 00 'Autoinc' 00 "
    "09 'COD_BARRA' 01 00 49 00  00 00  01 00  05 'WIDTH' 02 00 02 00  0A 00 "
    "06 'EVENTO' 01 00 49 00  00 00  01 00  05 'WIDTH' 02 00 02 00  01 00 "
    "01 00  0C 'AUTOINCVALUE' 04 00 01 00  01 00 00 00";

// What the collector does with one command row.
void Apply(TClientDataSet &table, const QString &barcode, const QString &event)
{
    if (table.Locate("COD_BARRA", barcode, loCaseInsensitive | loPartialKey))
        table.Edit();
    else
        table.Insert();
    table.FieldByName("COD_BARRA")->SetAsString(barcode);
    table.FieldByName("EVENTO")->SetAsString(event);
    table.Post();
}

// The packet of a cache holding two rows, with one column changed by the edit.
QByteArray CachePacketWith(const std::function<void(Packet &)> &edit)
{
    ReleaseCache cache;
    Apply(cache.cdsEmulador, "0001", "C");
    Apply(cache.cdsEmulador, "0002", "L");
    Packet packet = cache.cdsEmulador.SaveToPacket();
    edit(packet);
    return PacketCodec::EncodeBinary(packet);
}

QString OpenErrorOfMissing(const QString &path)
{
    return QStringLiteral("Cannot open file \"%1\". %2").arg(path, Platform::SystemErrorText(2));
}

}  // namespace

Q_DECLARE_METATYPE(TDataPacketFormat)

class TestReleaseCache : public QObject {
    Q_OBJECT

private slots:
    void designTimePacketIsTheEmptyCache();
    void emptyCacheSavesTheDesignTimeBytes();
    void startUp_data();
    void startUp();
    void zeroByteLoad();
    void failedLoadRetriesHeldPacketOnZeroBytes();
    void saveThenLoadKeepsRowsAndIds();
    void formatsLoadTheSame_data();
    void formatsLoadTheSame();
    void closedTableSavesNothing();
    void failedSaveKeepsFileAndRows();
};

void TestReleaseCache::designTimePacketIsTheEmptyCache()
{
    ProgramFolderFixture folder;
    QCOMPARE(ReleaseCache::DesignTimePacket(), BytesOf(kEmptyCacheLayout));
    QCOMPARE(ReleaseCache::DesignTimePacket().size(), 137);
    QCOMPARE(ReleaseCache::FilePath(), folder.path() + "data.cds");

    ReleaseCache cache;
    TClientDataSet &table = cache.cdsEmulador;
    QCOMPARE(table.State(), dsBrowse);
    QVERIFY(table.IsEmpty());
    QCOMPARE(table.Name(), QString("cdsEmulador"));
    QCOMPARE(table.FieldByName("id"), cache.cdsEmuladorID);
    QCOMPARE(cache.cdsEmuladorCOD_BARRA->Size(), 10);
    QCOMPARE(cache.cdsEmuladorEVENTO->Size(), 1);
    QVERIFY(cache.cdsEmuladorID->ReadOnly());
    QCOMPARE(table.AutoIncValue(), std::optional<qint32>(1));
}

void TestReleaseCache::emptyCacheSavesTheDesignTimeBytes()
{
    ProgramFolderFixture folder;
    ReleaseCache cache;
    cache.cdsEmulador.SaveToFile(ReleaseCache::FilePath(), dfBinary);
    QCOMPARE(folder.read("data.cds"), BytesOf(kEmptyCacheLayout));
}

void TestReleaseCache::startUp_data()
{
    QTest::addColumn<QString>("content");  // "missing" or the file's bytes in hex
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("message");

    auto hex = [](const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex()); };
    auto without = [](const char *name) {
        return [name](Packet &packet) {
            const int column = packet.columnIndex(name);
            packet.columns.removeAt(column);
            for (PacketRow &row : packet.rows)
                row.cells.erase(row.cells.begin() + column);
        };
    };
    QTest::newRow("valid packet") << hex(CachePacketWith([](Packet &) {})) << true << 2 << "";
    QTest::newRow("zero bytes") << "" << true << 0 << "";
    QTest::newRow("missing") << "missing" << false << 0 << "missing";
    QTest::newRow("without COD_BARRA") << hex(CachePacketWith(without("COD_BARRA"))) << false << 0
                                       << "cdsEmulador: Field 'COD_BARRA' not found";
    QTest::newRow("without EVENTO") << hex(CachePacketWith(without("EVENTO"))) << false << 0
                                    << "cdsEmulador: Field 'EVENTO' not found";
    QTest::newRow("without ID") << hex(CachePacketWith(without("ID"))) << false << 0 << "cdsEmulador: Field 'ID' not found";
    QTest::newRow("ID a plain integer")
        << hex(CachePacketWith([](Packet &packet) { packet.columns[0].subtype.clear(); })) << false << 0
        << "cdsEmulador: Type mismatch for field 'ID', expecting: AutoInc actual: Integer";
    QTest::newRow("EVENTO a Unicode string")
        << hex(CachePacketWith([](Packet &packet) {
               packet.columns[2].kind = ColumnKind::WideString;
               for (PacketRow &row : packet.rows)
                   row.cells[2] = QString("C");
           }))
        << false << 0 << "cdsEmulador: Type mismatch for field 'EVENTO', expecting: String actual: WideString";
    QTest::newRow("wider COD_BARRA is accepted")
        << hex(CachePacketWith([](Packet &packet) { packet.columns[1].size = 40; })) << true << 2 << "";
    QTest::newRow("extra column is kept")
        << hex(CachePacketWith([](Packet &packet) {
               PacketColumn extra;
               extra.name = "OBS";
               extra.size = 5;
               packet.columns.append(extra);
               for (PacketRow &row : packet.rows)
                   row.cells.push_back(QByteArray("x"));
           }))
        << true << 2 << "";
}

void TestReleaseCache::startUp()
{
    QFETCH(QString, content);
    QFETCH(bool, open);
    QFETCH(int, rows);
    QFETCH(QString, message);

    ProgramFolderFixture folder;
    if (content != "missing")
        folder.write("data.cds", QByteArray::fromHex(content.toLatin1()));
    ReleaseCache cache;
    TClientDataSet &table = cache.cdsEmulador;
    QString raised;
    try {
        table.Close();
        table.LoadFromFile(ReleaseCache::FilePath());
        table.Open();
    } catch (const Exception &error) {
        raised = error.Message();
    }
    QCOMPARE(raised, message == "missing" ? OpenErrorOfMissing(folder.file("data.cds")) : message);
    QCOMPARE(table.Active(), open);
    QCOMPARE(table.RecordCount(), rows);
    if (!open) {
        table.SaveToFile(ReleaseCache::FilePath(), dfBinary);  // writes nothing
        QCOMPARE(Platform::FileExists(folder.file("data.cds")), content != "missing");
        return;
    }
    // Whatever was loaded saves and loads again with the same rows.
    const QStringList before = CacheRows::Of(table, CacheRows::kWithIds);
    table.SaveToFile(ReleaseCache::FilePath(), dfBinary);
    table.LoadFromFile(ReleaseCache::FilePath());
    QCOMPARE(CacheRows::Of(table, CacheRows::kWithIds), before);
}

void TestReleaseCache::zeroByteLoad()
{
    ProgramFolderFixture folder;
    folder.write("empty.cds", QByteArray());

    ReleaseCache cache;
    Apply(cache.cdsEmulador, "0001", "C");
    cache.cdsEmulador.Edit();
    cache.cdsEmuladorEVENTO->SetAsString("L");  // pending: lost by the close
    cache.cdsEmulador.LoadFromFile(folder.file("empty.cds"));
    QCOMPARE(CacheRows::Of(cache.cdsEmulador, CacheRows::kWithIds), (QStringList{"1|0001|C"}));

    for (const QString &name : {QString(), QString("cdsNovo")}) {
        TClientDataSet fresh(name);
        QString raised;
        try {
            fresh.LoadFromFile(folder.file("empty.cds"));
        } catch (const EDatabaseError &error) {
            raised = error.Message();
        }
        QCOMPARE(raised, (name.isEmpty() ? QString() : name + ": ") + "Missing data provider or data packet");
        QVERIFY(!fresh.Active());
    }
}

void TestReleaseCache::failedLoadRetriesHeldPacketOnZeroBytes()
{
    ProgramFolderFixture folder;
    ReleaseCache cache;
    Apply(cache.cdsEmulador, "0001", "C");
    QVERIFY_THROWS_EXCEPTION(EFOpenError, cache.cdsEmulador.LoadFromFile(folder.file("data.cds")));
    QVERIFY(!cache.cdsEmulador.Active());
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, cache.cdsEmulador.Locate("COD_BARRA", "0001", 3));

    folder.write("data.cds", QByteArray());
    cache.cdsEmulador.LoadFromFile(folder.file("data.cds"));
    QCOMPARE(CacheRows::Of(cache.cdsEmulador, CacheRows::kWithIds), (QStringList{"1|0001|C"}));
}

void TestReleaseCache::saveThenLoadKeepsRowsAndIds()
{
    ProgramFolderFixture folder;
    const QString path = ReleaseCache::FilePath();
    QStringList saved;
    {
        ReleaseCache cache;
        for (const char *barcode : {"0001", "0002", "0003", "0004"})
            Apply(cache.cdsEmulador, barcode, "C");
        QVERIFY(cache.cdsEmulador.Locate("COD_BARRA", "0002", loCaseInsensitive | loPartialKey));
        cache.cdsEmulador.Delete();
        Apply(cache.cdsEmulador, "0001", "L");
        cache.cdsEmulador.SaveToFile(path, dfBinary);
        saved = CacheRows::Of(cache.cdsEmulador, CacheRows::kWithIds);
    }
    QCOMPARE(saved, (QStringList{"4|0004|C", "3|0003|C", "1|0001|L"}));

    ReleaseCache restarted;
    restarted.cdsEmulador.Close();
    restarted.cdsEmulador.LoadFromFile(path);
    restarted.cdsEmulador.Open();
    QCOMPARE(CacheRows::Of(restarted.cdsEmulador, CacheRows::kWithIds), saved);
    Apply(restarted.cdsEmulador, "0005", "C");
    QCOMPARE(restarted.cdsEmuladorID->AsString(), QString("5"));  // the counter travelled with the file
}

void TestReleaseCache::formatsLoadTheSame_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<TDataPacketFormat>("format");
    QTest::addColumn<QByteArray>("beginning");

    QTest::newRow("binary") << "data.cds" << dfBinary << QByteArray("\x96\x19\xE0\xBD");
    QTest::newRow("binary asked, .xml name") << "copia.XmL" << dfBinary << QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>");
    QTest::newRow("xml") << "copia.cds" << dfXML << QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>");
    QTest::newRow("xml utf-8") << "copia.bin" << dfXMLUTF8
                               << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>");
}

void TestReleaseCache::formatsLoadTheSame()
{
    QFETCH(QString, fileName);
    QFETCH(TDataPacketFormat, format);
    QFETCH(QByteArray, beginning);

    ProgramFolderFixture folder;
    ReleaseCache cache;
    Apply(cache.cdsEmulador, QString::fromUtf8("ção'\"<&"), "L");
    Apply(cache.cdsEmulador, "*", "C");
    cache.cdsEmulador.Insert();
    cache.cdsEmuladorCOD_BARRA->SetAsString("SEM EVENTO");
    cache.cdsEmulador.Post();
    const QStringList rows = CacheRows::Of(cache.cdsEmulador, CacheRows::kWithIds);
    cache.cdsEmulador.SaveToFile(folder.file(fileName), format);
    QVERIFY(folder.read(fileName).startsWith(beginning));

    ReleaseCache loaded;
    loaded.cdsEmulador.LoadFromFile(folder.file(fileName));
    QCOMPARE(CacheRows::Of(loaded.cdsEmulador, CacheRows::kWithIds), rows);
    QVERIFY(loaded.cdsEmulador.Locate("COD_BARRA", "", loCaseInsensitive | loPartialKey));
    QCOMPARE(loaded.cdsEmuladorEVENTO->AsString(), QString("C"));
}

void TestReleaseCache::closedTableSavesNothing()
{
    ProgramFolderFixture folder;
    ReleaseCache cache;
    cache.cdsEmulador.Close();
    cache.cdsEmulador.SaveToFile(folder.file("data.cds"), dfBinary);
    QVERIFY(!Platform::FileExists(folder.file("data.cds")));

    folder.write("data.cds", "previous");
    cache.cdsEmulador.SaveToFile(folder.file("data.cds"), dfBinary);
    QCOMPARE(folder.read("data.cds"), QByteArray("previous"));
}

void TestReleaseCache::failedSaveKeepsFileAndRows()
{
    ProgramFolderFixture folder;
    ReleaseCache cache;
    Apply(cache.cdsEmulador, "0001", "C");
    cache.cdsEmulador.SaveToFile(ReleaseCache::FilePath());
    const QByteArray before = folder.read("data.cds");

    Apply(cache.cdsEmulador, "0002", "C");
    Platform::SetFaultHookForTests([](Platform::FileOperation operation, const QString &) {
        return operation == Platform::FileOperation::Write;
    });
    QString raised;
    try {
        cache.cdsEmulador.SaveToFile(ReleaseCache::FilePath());
    } catch (const EFCreateError &error) {
        raised = error.Message();
    }
    Platform::SetFaultHookForTests({});
    QVERIFY2(raised.startsWith(QString("Cannot create file \"%1\". ").arg(ReleaseCache::FilePath())), qPrintable(raised));
    QCOMPARE(folder.read("data.cds"), before);
    QCOMPARE(cache.cdsEmulador.RecordCount(), 2);

    cache.cdsEmulador.SaveToFile(ReleaseCache::FilePath());  // the next save tries again
    ReleaseCache reloaded;
    reloaded.cdsEmulador.LoadFromFile(ReleaseCache::FilePath());
    QCOMPARE(reloaded.cdsEmulador.RecordCount(), 2);
}

QTEST_GUILESS_MAIN(TestReleaseCache)
#include "test_release_cache.moc"
