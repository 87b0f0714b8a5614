// Inputs the fuzz targets found, and a few hand-made hostile ones, kept in
// tests/data/fuzz, each run through
// the same checks as its target: a packet either loads or is refused with the
// table's error class, and what we write of a loaded packet reads back and
// writes again to the same bytes; a command file is claimed and either read
// or refused with the reader's failure text, and nothing is left behind.
// The file name's first word names the target: binary-, xml- or command-.
#include "cache/table/ClientDataSet.h"
#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/packet/PacketCodec.h"
#include "cache/base/Platform.h"
#include "intake/uTXML.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <limits>

using namespace Catraca;

namespace {


QByteArray Contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Reads every cell of every row as text; false when the cursor misbehaves.
bool ReadEveryCell(TClientDataSet &table)
{
    table.First();
    int visited = 0;
    while (!table.IsEmpty() && !table.Eof()) {
        for (int column = 0; column < table.FieldCount(); ++column)
            (void)table.Fields(column)->AsString();
        table.Next();
        if (++visited > table.RecordCount())
            return false;
    }
    return visited == table.RecordCount();
}

enum class Form { Binary, Xml, XmlUtf8 };

QByteArray Encode(const Packet &packet, Form form)
{
    return form == Form::Binary ? PacketCodec::EncodeBinary(packet) : PacketCodec::EncodeXml(packet, form == Form::XmlUtf8);
}

}  // namespace

class FuzzRegressionsTest : public QObject {
    Q_OBJECT

private slots:
    void packetLoadsOrIsRefused_data();
    void packetLoadsOrIsRefused();
    void commandFileIsReadOrRefused_data();
    void commandFileIsReadOrRefused();
    void stampBeyondAnyCalendarReadsAsItsNumber_data();
    void stampBeyondAnyCalendarReadsAsItsNumber();

private:
    static void AddInputs(const QString &prefix);
};

void FuzzRegressionsTest::AddInputs(const QString &prefix)
{
    QTest::addColumn<QString>("path");
    const QString folder = QFINDTESTDATA("data/fuzz");
    QVERIFY2(!folder.isEmpty(), "tests/data/fuzz is missing");
    const QStringList names = QDir(folder).entryList({prefix + QStringLiteral("-*")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << QDir(folder).filePath(name);
}

void FuzzRegressionsTest::packetLoadsOrIsRefused_data()
{
    AddInputs(QStringLiteral("binary"));
    AddInputs(QStringLiteral("xml"));
}

void FuzzRegressionsTest::packetLoadsOrIsRefused()
{
    QFETCH(QString, path);
    QByteArray bytes = Contents(path);
    // The binary target reads every input as a binary packet.
    if (QFileInfo(path).fileName().startsWith(QStringLiteral("binary")) && !PacketCodec::IsBinaryPacket(bytes))
        bytes.prepend("\x96\x19\xE0\xBD", 4);

    Packet packet;
    try {
        packet = PacketCodec::Decode(bytes);
    } catch (const EDatabaseError &) {
        return;  // refused with the table's error class
    }
    TClientDataSet table;
    try {
        table.LoadFromPacket(packet);
    } catch (const EDatabaseError &) {
        return;
    }
    QVERIFY(ReadEveryCell(table));

    for (Form form : {Form::Binary, Form::Xml, Form::XmlUtf8}) {
        QByteArray first;
        try {
            first = Encode(packet, form);
        } catch (const EDBClient &) {
            continue;  // a value this form cannot hold
        }
        Packet reread;
        try {
            reread = PacketCodec::Decode(first);
        } catch (const EDatabaseError &error) {
            QFAIL(qPrintable(QStringLiteral("form %1 does not read back: %2").arg(int(form)).arg(error.Message())));
        }
        QCOMPARE(Encode(reread, form), first);
    }
}

void FuzzRegressionsTest::commandFileIsReadOrRefused_data()
{
    AddInputs(QStringLiteral("command"));
}

void FuzzRegressionsTest::commandFileIsReadOrRefused()
{
    QFETCH(QString, path);
    ProgramFolderFixture folder;
    TXML reader;
    reader.SetNome_XML(QStringLiteral("QuiboIntegração"));
    reader.SetTipoArquivo(QString(Platform::PathSeparator()) + QStringLiteral("*.xml"));
    reader.SetrFieldName01(QStringLiteral("ID_COMANDA"));
    reader.SetrFieldName02(QStringLiteral("EVENTO"));
    CommandFiles::Drop(folder, QStringLiteral("c.xml"), Contents(path));

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(CommandFiles::EntriesLeft(folder), QStringList());
    QVERIFY(!QFile::exists(CommandFiles::WorkFilePath(folder)));
    const QString log = reader.GetLog();
    QVERIFY2(log.isEmpty() || log.startsWith(kReadFailure), qPrintable(log));
    for (int index = 0; index < reader.CountLista(); ++index)
        QVERIFY(reader.GetItemLista(index) != nullptr);
}

void FuzzRegressionsTest::stampBeyondAnyCalendarReadsAsItsNumber_data()
{
    QTest::addColumn<double>("milliseconds");
    QTest::newRow("as found") << 4.20285e190;
    QTest::newRow("just beyond") << 1.0000001e17;
    QTest::newRow("far before year 1") << -3e18;
    QTest::newRow("largest double") << std::numeric_limits<double>::max();
}

// The day number of such a stamp does not fit an integer; it used to be
// converted all the same (undefined behaviour, garbage dates).
void FuzzRegressionsTest::stampBeyondAnyCalendarReadsAsItsNumber()
{
    QFETCH(double, milliseconds);
    QCOMPARE(FieldCellText(Cell(milliseconds), ftTimeStamp), QString::number(milliseconds));
}

QTEST_GUILESS_MAIN(FuzzRegressionsTest)
#include "test_fuzz_regressions.moc"
