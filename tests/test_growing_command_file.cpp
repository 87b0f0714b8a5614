// A command file whose writer still holds it open may be half written: the
// reader leaves it for a later pass instead of claiming it, reading half a
// packet and deleting it (the writer's remaining bytes would then go to a
// deleted file and the command would be lost).
#include "cache/base/Platform.h"
#include "intake/uTXML.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QtTest>

using namespace Catraca;

using namespace CommandFiles;

class GrowingCommandFileTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
#ifndef Q_OS_LINUX
        QSKIP("only Linux lets a file held open be renamed; elsewhere the claim itself fails");
#endif
    }

    void openElsewhere_data();
    void openElsewhere();
    void heldFileWaitsForItsWriter_data();
    void heldFileWaitsForItsWriter();
};

void GrowingCommandFileTest::openElsewhere_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("openMode");  // 0: not open; else QIODevice flags
    QTest::addColumn<bool>("openElsewhere");

    QTest::newRow("missing") << false << 0 << false;
    QTest::newRow("closed") << true << 0 << false;
    QTest::newRow("open for writing") << true << int(QIODevice::WriteOnly | QIODevice::Append) << true;
    QTest::newRow("open for reading") << true << int(QIODevice::ReadOnly) << true;
}

void GrowingCommandFileTest::openElsewhere()
{
    QFETCH(bool, exists);
    QFETCH(int, openMode);
    QFETCH(bool, openElsewhere);
    ProgramFolderFixture folder;
    const QString path = folder.file(QStringLiteral("f.xml"));
    if (exists)
        folder.write(QStringLiteral("f.xml"), "abc");
    QFile holder(path);
    if (openMode != 0)
        QVERIFY(holder.open(QIODevice::OpenMode(openMode)));

    using Kind = Platform::FolderEntry::Kind;
    const Kind whenClosed = exists ? Kind::Read : Kind::Missing;
    QCOMPARE(Platform::ReadFolderEntry(path, -1).kind, openElsewhere ? Kind::OpenElsewhere : whenClosed);
    holder.close();
    QCOMPARE(Platform::ReadFolderEntry(path, -1).kind, whenClosed);
}

void GrowingCommandFileTest::heldFileWaitsForItsWriter_data()
{
    QTest::addColumn<int>("writtenBeforePass");  // bytes of the packet written while held

    const int whole = int(Commands({{"G1", "L"}, {"G2", "C"}}).size());
    QTest::newRow("nothing written yet") << 0;
    QTest::newRow("half written") << whole / 2;
    QTest::newRow("all written, not closed") << whole;
}

void GrowingCommandFileTest::heldFileWaitsForItsWriter()
{
    QFETCH(int, writtenBeforePass);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    const QByteArray packet = Commands({{"G1", "L"}, {"G2", "C"}});
    QDir().mkpath(CommandFolder(folder));
    QFile writer(CommandFolder(folder) + Platform::PathSeparator() + QStringLiteral("g.xml"));
    QVERIFY(writer.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QCOMPARE(writer.write(packet.left(writtenBeforePass)), qint64(writtenBeforePass));
    Drop(folder, QStringLiteral("other.xml"), Commands({{"O1", "L"}}));

    // The finished file beside it is taken; the held one waits untouched.
    QVERIFY(reader.Executa_Carga());
    QCOMPARE(RecordsOf(reader), QStringList{"O1|L"});
    QCOMPARE(reader.GetLog(), QString());
    QCOMPARE(EntriesLeft(folder), QStringList{"g.xml"});
    QVERIFY(!reader.Executa_Carga());

    QCOMPARE(writer.write(packet.mid(writtenBeforePass)), qint64(packet.size() - writtenBeforePass));
    writer.close();
    QVERIFY(reader.Executa_Carga());
    QCOMPARE(RecordsOf(reader), (QStringList{"G1|L", "G2|C"}));
    QCOMPARE(reader.GetLog(), QString());
    QCOMPARE(EntriesLeft(folder), QStringList());
}

QTEST_GUILESS_MAIN(GrowingCommandFileTest)
#include "test_growing_command_file.moc"
