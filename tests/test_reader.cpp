#include "cache/base/Exceptions.h"
#include "cache/base/Platform.h"
#include "cache/base/RegionalFormat.h"
#include "intake/uTXML.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtTest>
#include <limits>
#include <stdexcept>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using namespace Catraca;

using namespace CommandFiles;

namespace {

const QString MissingPacket = QStringLiteral("Missing data provider or data packet");

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write a test file");
}

QByteArray ReadFile(const QString &path)
{
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// A command file whose one command names the file, so records show the order.
QByteArray CommandNamedAfter(const QString &fileName)
{
    return Commands({{fileName, QStringLiteral("L")}});
}

const QList<Column> CommandColumns{{QStringLiteral("ID_COMANDA"), QStringLiteral("string"), 20},
                                   {QStringLiteral("EVENTO"), QStringLiteral("string"), 1}};

// A reader whose read of the n-th claimed file (counting from 1) lets an
// exception out, as a failing scan would.
class FailingReader : public TXML {
public:
    enum class Kind { Ours, Foreign };
    FailingReader(int failingRead, Kind kind) : failingRead_(failingRead), kind_(kind) {}

protected:
    void Le_Arquivo() override
    {
        if (++reads_ == failingRead_) {
            if (kind_ == Kind::Ours)
                throw EDatabaseError(QStringLiteral("disk gone"));
            throw std::runtime_error("not ours");
        }
        TXML::Le_Arquivo();
    }

private:
    int failingRead_;
    Kind kind_;
    int reads_ = 0;
};

enum class Entry { LinkInside, DanglingLink, LinkToEndlessDevice, Pipe, OverLimit, AtLimit };

// Makes the entry at `path`; its size, where it is a regular file.
qint64 MakeEntry(Entry entry, const ProgramFolderFixture &folder, const QString &path)
{
    const qint64 limit = TXML::kMaxCommandFileBytes;
    switch (entry) {
    case Entry::LinkInside:
        Drop(folder, QStringLiteral("t.txt"), CommandNamedAfter(QStringLiteral("t.txt")));
        return QFile::link(QStringLiteral("t.txt"), path) ? 0 : throw std::runtime_error("link");
    case Entry::DanglingLink:
        return QFile::link(QStringLiteral("nowhere"), path) ? 0 : throw std::runtime_error("link");
    case Entry::LinkToEndlessDevice:
        return QFile::link(QStringLiteral("/dev/zero"), path) ? 0 : throw std::runtime_error("link");
    case Entry::Pipe:
        return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0 ? 0 : throw std::runtime_error("fifo");
    case Entry::OverLimit:
    case Entry::AtLimit: {
        // A binary packet's magic, then zeros up to the size (sparse, so it
        // costs no disk space).
        QFile big(Drop(folder, QStringLiteral("a.xml"), QByteArray::fromHex("9619E0BD")));
        const qint64 size = entry == Entry::AtLimit ? limit : limit + 1;
        const bool made = big.resize(size) && big.open(QIODevice::ReadWrite)
            && big.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
        return made ? size : throw std::runtime_error("resize");
    }
    }
    return 0;
}

}  // namespace

class ReaderTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Platform::SetFaultHookForTests(nullptr); }

    void readsOneFile_data();
    void readsOneFile();
    void readFailures_data();
    void readFailures();
    void emptyColumnNameLooksNothingUp();
    void passTakesNamesInOrder_data();
    void passTakesNamesInOrder();
    void logReflectsLastFileOfPass_data();
    void logReflectsLastFileOfPass();
    void passWithoutClaimKeepsListAndLog_data();
    void passWithoutClaimKeepsListAndLog();
    void eachClaimingPassStartsWithEmptyList();
    void zeroByteFileNeverRereadsPreviousRows_data();
    void zeroByteFileNeverRereadsPreviousRows();
    void entriesThatCannotBeTaken_data();
    void entriesThatCannotBeTaken();
    void nameThatIsNotUtf8IsTaken();
    void leftoverWorkFileIsRecovered_data();
    void leftoverWorkFileIsRecovered();
    void claimMeetingExistingTargetLeavesFile();
    void failedClaimMovesOnToNextEntry_data();
    void failedClaimMovesOnToNextEntry();
    void scanFailure_data();
    void scanFailure();
    void foreignExceptionsPassThrough();
    void listIndexBounds_data();
    void listIndexBounds();
};

void ReaderTest::readsOneFile_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QStringList>("records");

    QTest::newRow("three rows") << Commands({{"0001", "L"}, {"0002", "C"}, {"0003", "L"}})
                                << QStringList{"0001|L", "0002|C", "0003|L"};
    QTest::newRow("no rows") << Commands({}) << QStringList{};
    QTest::newRow("lower-case columns")
        << XmlPacket({{"id_comanda", "string", 20}, {"evento", "string", 1}}, {Row{{"77", "C"}}})
        << QStringList{"77|C"};
    QTest::newRow("other columns ignored, any order")
        << XmlPacket({{"EVENTO", "string", 1}, {"NOME", "string", 30}, {"ID_COMANDA", "string", 20}},
                     {Row{{"L", "Ana", "A9"}}, Row{{"C", "Bia", "B8"}}})
        << QStringList{"A9|L", "B8|C"};
    QTest::newRow("integer ID_COMANDA")
        << XmlPacket({{"ID_COMANDA", "i4", 0}, {"EVENTO", "string", 1}}, {Row{{"42", "L"}}, Row{{"-7", "C"}}})
        << QStringList{"42|L", "-7|C"};
    QTest::newRow("blank values read as empty")
        << XmlPacket(CommandColumns, {Row{{"5", QString()}}, Row{{QString(), "L"}}})
        << QStringList{"5|", "|L"};
    QTest::newRow("8-bit text with references")
        << XmlPacket(CommandColumns, {Row{{QStringLiteral("Açaí&<1>"), "L"}}})
        << QStringList{QStringLiteral("Açaí&<1>|L")};
    QTest::newRow("UTF-8 declared")
        << XmlPacket(CommandColumns, {Row{{QStringLiteral("Ção€"), "C"}}}, Encoding::Utf8)
        << QStringList{QStringLiteral("Ção€|C")};
    QTest::newRow("change-log rows")
        << XmlPacket(CommandColumns,
                     {Row{{"10", "L"}, 4}, Row{{"11", "C"}, 4}},
                     Encoding::Ansi, QStringLiteral("CHANGE_LOG=\"1 0 4 2 0 4\""))
        << QStringList{"10|L", "11|C"};
    QTest::newRow("binary, string id") << BinaryCommands({{"X1", "L"}, {"X2", "C"}}, false)
                                       << QStringList{"X1|L", "X2|C"};
    QTest::newRow("binary, integer id") << BinaryCommands({{"123", "C"}}, true) << QStringList{"123|C"};
    QTest::newRow("fixed-width id padded with blanks")
        << XmlPacket({{"ID_COMANDA", "string", 5, "FixedChar"}, {"EVENTO", "string", 1}}, {Row{{"AB   ", "L "}}})
        << QStringList{"AB|L"};
    QTest::newRow("id wider than its column")
        << XmlPacket({{"ID_COMANDA", "string", 3}, {"EVENTO", "string", 1}}, {Row{{"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "C"}}})
        << QStringList{"ABC|C"};
    QTest::newRow("binary, padded id") << BinaryCommands({{"AB   ", "L"}}, false) << QStringList{"AB|L"};
}

void ReaderTest::readsOneFile()
{
    QFETCH(QByteArray, packet);
    QFETCH(QStringList, records);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("a.xml"), packet);

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(RecordsOf(reader), records);
    QCOMPARE(reader.GetLog(), QString());
    QCOMPARE(EntriesLeft(folder), QStringList());
    QVERIFY(!QFile::exists(WorkFilePath(folder)));
    QCOMPARE(reader.Local(), folder.file(QStringLiteral("XML")));
}

void ReaderTest::readFailures_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("message");  // empty: whatever the engine says

    QTest::newRow("zero bytes") << QByteArray() << MissingPacket;
    QTest::newRow("missing EVENTO")
        << XmlPacket({{"ID_COMANDA", "string", 20}}, {Row{{"1"}}}) << QStringLiteral("Field 'EVENTO' not found");
    QTest::newRow("neither column: ID_COMANDA first")
        << XmlPacket({{"NOME", "string", 20}}, {Row{{"x"}}}) << QStringLiteral("Field 'ID_COMANDA' not found");
    QTest::newRow("not a packet") << QByteArray("hello, gate") << QString();
    QTest::newRow("truncated packet") << Commands({{"1", "L"}}).left(60) << QString();
}

void ReaderTest::readFailures()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, message);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("a.xml"), packet);

    QVERIFY(reader.Executa_Carga());

    QVERIFY2(reader.GetLog().startsWith(kReadFailure), qPrintable(reader.GetLog()));
    if (message.isEmpty())
        QVERIFY(reader.GetLog().size() > kReadFailure.size());
    else
        QCOMPARE(reader.GetLog(), kReadFailure + message);
    QCOMPARE(reader.CountLista(), 0);
    QVERIFY(!reader.XML_Client()->Active());
    QCOMPARE(EntriesLeft(folder), QStringList());
    QVERIFY(!QFile::exists(WorkFilePath(folder)));
}

void ReaderTest::emptyColumnNameLooksNothingUp()
{
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    reader.SetrFieldName02(QString());
    Drop(folder, QStringLiteral("a.xml"), XmlPacket({{"ID_COMANDA", "string", 20}}, {Row{{"1"}}, Row{{"2"}}}));

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(reader.GetLog(), QString());
    QCOMPARE(RecordsOf(reader), (QStringList{"1|", "2|"}));
}

void ReaderTest::passTakesNamesInOrder_data()
{
    QTest::addColumn<QStringList>("entries");  // a trailing separator makes a folder
    QTest::addColumn<QStringList>("claimedInOrder");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("two files") << QStringList{"b.xml", "a.xml"} << QStringList{"a.xml", "b.xml"} << QStringList{};
    QTest::newRow("case ignored in order")
        << QStringList{"c.xml", "B.xml", "a.XML"} << QStringList{"a.XML", "B.xml", "c.xml"} << QStringList{};
    QTest::newRow("hidden and upper-case names")
        << QStringList{"C.XML", ".b.xml", "a.xml"} << QStringList{".b.xml", "a.xml", "C.XML"} << QStringList{};
    QTest::newRow("other names stay")
        << QStringList{"a.xml.bak", "a.txt", "x.xml", "xml"} << QStringList{"x.xml"}
        << QStringList{"a.txt", "a.xml.bak", "xml"};
    QTest::newRow("folder named x.xml not claimed")
        << QStringList{"x.xml/", "y.xml"} << QStringList{"y.xml"} << QStringList{"x.xml"};
}

void ReaderTest::passTakesNamesInOrder()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, claimedInOrder);
    QFETCH(QStringList, left);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    QDir().mkpath(CommandFolder(folder));
    for (const QString &entry : entries) {
        if (entry.endsWith(QLatin1Char('/')))
            QVERIFY(QDir(CommandFolder(folder)).mkdir(entry.chopped(1)));
        else
            Drop(folder, entry, CommandNamedAfter(entry));
    }

    QCOMPARE(reader.Executa_Carga(), !claimedInOrder.isEmpty());

    QStringList expected;
    for (const QString &name : claimedInOrder)
        expected.append(name + QStringLiteral("|L"));
    QCOMPARE(RecordsOf(reader), expected);
    QCOMPARE(EntriesLeft(folder), left);
}

void ReaderTest::logReflectsLastFileOfPass_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QStringList>("records");

    const QByteArray good = Commands({{"G", "L"}});
    const QByteArray noEvent = XmlPacket({{"ID_COMANDA", "string", 20}}, {Row{{"N"}}});
    QTest::newRow("failure then good") << noEvent << good << QString() << QStringList{"G|L"};
    QTest::newRow("good then failure") << good << noEvent << kReadFailure + "Field 'EVENTO' not found"
                                       << QStringList{"G|L"};
    QTest::newRow("two failures") << QByteArray("junk") << QByteArray() << kReadFailure + MissingPacket
                                  << QStringList{};
}

void ReaderTest::logReflectsLastFileOfPass()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QString, log);
    QFETCH(QStringList, records);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("1.xml"), first);
    Drop(folder, QStringLiteral("2.xml"), second);

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(reader.GetLog(), log);
    QCOMPARE(RecordsOf(reader), records);
    QCOMPARE(EntriesLeft(folder), QStringList());
}

void ReaderTest::passWithoutClaimKeepsListAndLog_data()
{
    QTest::addColumn<QString>("condition");
    QTest::newRow("no folder XML") << "no folder";
    QTest::newRow("empty folder XML") << "empty";
    QTest::newRow("only other names") << "other names";
}

// A pass that claims nothing changes nothing: the failure text of the last
// read stays in the log and the records stay in the list.
void ReaderTest::passWithoutClaimKeepsListAndLog()
{
    QFETCH(QString, condition);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("a.xml"), Commands({{"A", "L"}, {"B", "C"}}));
    Drop(folder, QStringLiteral("b.xml"), QByteArray("not a packet"));
    QVERIFY(reader.Executa_Carga());
    const QString failure = reader.GetLog();
    QVERIFY(failure.startsWith(kReadFailure));

    if (condition == QLatin1String("no folder"))
        QVERIFY(QDir(CommandFolder(folder)).removeRecursively());
    else if (condition == QLatin1String("other names"))
        Drop(folder, QStringLiteral("c.xml.part"), Commands({{"C", "L"}}));

    QVERIFY(!reader.Executa_Carga());
    QCOMPARE(reader.GetLog(), failure);
    QCOMPARE(RecordsOf(reader), (QStringList{"A|L", "B|C"}));
}

void ReaderTest::eachClaimingPassStartsWithEmptyList()
{
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("a.xml"), Commands({{"A", "L"}, {"B", "C"}}));
    QVERIFY(reader.Executa_Carga());
    Drop(folder, QStringLiteral("b.xml"), Commands({{"C", "L"}}));

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(RecordsOf(reader), QStringList{"C|L"});
}

void ReaderTest::zeroByteFileNeverRereadsPreviousRows_data()
{
    QTest::addColumn<QByteArray>("previous");
    QTest::newRow("after a good file") << Commands({{"A", "L"}, {"B", "C"}});
    QTest::newRow("after a refused packet") << QByteArray("junk");
    QTest::newRow("after a packet without EVENTO") << XmlPacket({{"ID_COMANDA", "string", 20}}, {Row{{"1"}}});
    QTest::newRow("after another empty file") << QByteArray();
}

void ReaderTest::zeroByteFileNeverRereadsPreviousRows()
{
    QFETCH(QByteArray, previous);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("a.xml"), previous);
    QVERIFY(reader.Executa_Carga());
    Drop(folder, QStringLiteral("b.xml"), QByteArray());

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(reader.GetLog(), kReadFailure + MissingPacket);
    QCOMPARE(reader.CountLista(), 0);
    QVERIFY(!QFile::exists(WorkFilePath(folder)));
    QCOMPARE(EntriesLeft(folder), QStringList());
}

void ReaderTest::entriesThatCannotBeTaken_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<bool>("staysInPlace");
    QTest::addColumn<QString>("notice");  // the start of the one line it gets; empty: none
    QTest::addColumn<QString>("log");     // the start of the reader's log text

    const QString ignored = QStringLiteral("Arquivo XML ignorado, não é um arquivo comum: a.xml");
    const QString setAside = QStringLiteral("Arquivo XML posto de lado em ");
    QTest::newRow("link to a command file beside it") << int(Entry::LinkInside) << true << ignored << QString();
    QTest::newRow("link that leads nowhere") << int(Entry::DanglingLink) << true << ignored << QString();
#ifndef Q_OS_WIN
    QTest::newRow("link to /dev/zero") << int(Entry::LinkToEndlessDevice) << true << ignored << QString();
    QTest::newRow("pipe") << int(Entry::Pipe) << true << ignored << QString();
#endif
    QTest::newRow("one byte over 16 MiB") << int(Entry::OverLimit) << false << setAside << QString();
    QTest::newRow("exactly 16 MiB, read and refused") << int(Entry::AtLimit) << false << QString() << kReadFailure;
}

// No entry of the command folder stops the intake: what is not a regular file
// stays where it is with one log line, and what can never be read whole is
// set aside whole beside the folder. The command file beside it is taken in
// the same pass.
void ReaderTest::entriesThatCannotBeTaken()
{
    QFETCH(int, entry);
    QFETCH(bool, staysInPlace);
    QFETCH(QString, notice);
    QFETCH(QString, log);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    const QString path = CommandFolder(folder) + QStringLiteral("/a.xml");
    Drop(folder, QStringLiteral("0.xml"), CommandNamedAfter(QStringLiteral("0.xml")));
    const qint64 size = MakeEntry(Entry(entry), folder, path);

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(RecordsOf(reader), QStringList{"0.xml|L"});
    QVERIFY2(reader.GetLog().startsWith(log), qPrintable(reader.GetLog()));
    const QStringList notices = reader.TakeNotices();
    QCOMPARE(notices.size(), notice.isEmpty() ? 0 : 1);
    if (!notice.isEmpty())
        QVERIFY2(notices.first().startsWith(notice), qPrintable(notices.first()));
    QCOMPARE(EntriesLeft(folder).filter(QStringLiteral(".xml")), staysInPlace ? QStringList{"a.xml"} : QStringList());
    const QFileInfoList refused = QDir(folder.file(QStringLiteral("XMLRecusados"))).entryInfoList(QDir::Files);
    QCOMPARE(refused.size(), staysInPlace ? 0 : 1);
    if (!staysInPlace) {
        QVERIFY(refused.first().fileName().endsWith(QStringLiteral(" a.xml")));
        QCOMPARE(refused.first().size(), size);
    }

    // Told once: the next passes add nothing while it stays.
    QVERIFY(!reader.Executa_Carga());
    QCOMPARE(reader.TakeNotices(), QStringList());
    QVERIFY(!QFileInfo(WorkFilePath(folder)).exists() && !QFileInfo(WorkFilePath(folder)).isSymLink());
}

// A name in Latin-1 on a UTF-8 system, as an old share may give.
void ReaderTest::nameThatIsNotUtf8IsTaken()
{
#ifdef Q_OS_WIN
    QSKIP("names are UTF-16 there");
#else
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("placeholder.xml"), Commands({{"E", "L"}}));
    const QByteArray xml = QFile::encodeName(CommandFolder(folder));
    QVERIFY(::rename((xml + "/placeholder.xml").constData(), (xml + "/caf\xe9.xml").constData()) == 0);

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(RecordsOf(reader), QStringList{"E|L"});
    QCOMPARE(QDir(CommandFolder(folder)).entryList(QDir::Files | QDir::System), QStringList());
    QVERIFY(!QFile::exists(WorkFilePath(folder)));
#endif
}

void ReaderTest::leftoverWorkFileIsRecovered_data()
{
    QTest::addColumn<QByteArray>("leftover");
    QTest::addColumn<bool>("withCommandFile");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("log");

    const QByteArray leftover = Commands({{"W1", "L"}, {"W2", "C"}});
    QTest::newRow("alone") << leftover << false << QStringList{"W1|L", "W2|C"} << QString();
    QTest::newRow("before a new command file")
        << leftover << true << QStringList{"W1|L", "W2|C", "N1|C"} << QString();
    QTest::newRow("empty leftover") << QByteArray() << false << QStringList{} << kReadFailure + MissingPacket;
    QTest::newRow("empty leftover, then a command file")
        << QByteArray() << true << QStringList{"N1|C"} << QString();
}

void ReaderTest::leftoverWorkFileIsRecovered()
{
    QFETCH(QByteArray, leftover);
    QFETCH(bool, withCommandFile);
    QFETCH(QStringList, records);
    QFETCH(QString, log);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    WriteFile(WorkFilePath(folder), leftover);
    if (withCommandFile)
        Drop(folder, QStringLiteral("n.xml"), Commands({{"N1", "C"}}));

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(RecordsOf(reader), records);
    QCOMPARE(reader.GetLog(), log);
    QVERIFY(!QFile::exists(WorkFilePath(folder)));
    QCOMPARE(EntriesLeft(folder), QStringList());
}

// The work file cannot be deleted, so it is still there when the pass tries
// to claim: the claim must leave both files as they are.
void ReaderTest::claimMeetingExistingTargetLeavesFile()
{
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    const QByteArray leftover = Commands({{"W1", "L"}});
    const QByteArray incoming = Commands({{"N1", "C"}});
    WriteFile(WorkFilePath(folder), leftover);
    Drop(folder, QStringLiteral("n.xml"), incoming);
    const QString workPath = WorkFilePath(folder);
    Platform::SetFaultHookForTests([workPath](Platform::FileOperation operation, const QString &path) {
        return operation == Platform::FileOperation::Delete && path == workPath;
    });

    QVERIFY(reader.Executa_Carga());

    QCOMPARE(RecordsOf(reader), QStringList{"W1|L"});
    QCOMPARE(EntriesLeft(folder), QStringList{"n.xml"});
    QCOMPARE(ReadFile(workPath), leftover);
    QCOMPARE(ReadFile(CommandFolder(folder) + Platform::PathSeparator() + "n.xml"), incoming);

    Platform::SetFaultHookForTests(nullptr);
    QVERIFY(reader.Executa_Carga());
    QCOMPARE(RecordsOf(reader), (QStringList{"W1|L", "N1|C"}));
    QCOMPARE(EntriesLeft(folder), QStringList());
    QVERIFY(!QFile::exists(workPath));
}

void ReaderTest::failedClaimMovesOnToNextEntry_data()
{
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<bool>("result");

    QTest::newRow("first") << "a.xml" << QStringList{"b.xml|L", "c.xml|L"} << true;
    QTest::newRow("middle") << "b.xml" << QStringList{"a.xml|L", "c.xml|L"} << true;
    QTest::newRow("last") << "c.xml" << QStringList{"a.xml|L", "b.xml|L"} << true;
    QTest::newRow("every") << ".xml" << QStringList{} << false;
}

void ReaderTest::failedClaimMovesOnToNextEntry()
{
    QFETCH(QString, refused);
    QFETCH(QStringList, records);
    QFETCH(bool, result);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    const QStringList names{"a.xml", "b.xml", "c.xml"};
    for (const QString &name : names)
        Drop(folder, name, CommandNamedAfter(name));
    Platform::SetFaultHookForTests([refused](Platform::FileOperation operation, const QString &path) {
        return operation == Platform::FileOperation::Rename && path.endsWith(refused);
    });

    QCOMPARE(reader.Executa_Carga(), result);

    QCOMPARE(RecordsOf(reader), records);
    QStringList left;
    for (const QString &name : names) {
        if (name.endsWith(refused))
            left.append(name);
    }
    QCOMPARE(EntriesLeft(folder), left);
}

void ReaderTest::scanFailure_data()
{
    QTest::addColumn<int>("failingRead");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("first read") << 1 << false << QStringList{} << QStringList{"b.xml"};
    QTest::newRow("second read") << 2 << true << QStringList{"a.xml|L"} << QStringList{};
}

// An exception that a read lets out ends the pass: the log text is the scan's
// failure text, the entries not reached stay, and the work file the failing
// read left behind is recovered by the next pass.
void ReaderTest::scanFailure()
{
    QFETCH(int, failingRead);
    QFETCH(bool, result);
    QFETCH(QStringList, records);
    QFETCH(QStringList, left);
    ProgramFolderFixture folder;
    FailingReader reader(failingRead, FailingReader::Kind::Ours);
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("a.xml"), CommandNamedAfter(QStringLiteral("a.xml")));
    Drop(folder, QStringLiteral("b.xml"), CommandNamedAfter(QStringLiteral("b.xml")));

    const QDateTime before = QDateTime::currentDateTime();
    QCOMPARE(reader.Executa_Carga(), result);
    const QDateTime after = QDateTime::currentDateTime();

    QStringList possibleTexts;
    for (QDateTime moment = before.addMSecs(-before.time().msec()); moment <= after; moment = moment.addSecs(1)) {
        possibleTexts.append(QStringLiteral("Erro na Coletada o arquivo XML erro:disk gone, Date")
                             + RegionalFormat::ShortDate(moment.date()) + QStringLiteral(" ,")
                             + RegionalFormat::LongTime(moment.time()));
    }
    QVERIFY2(possibleTexts.contains(reader.GetLog()), qPrintable(reader.GetLog()));
    QCOMPARE(RecordsOf(reader), records);
    QCOMPARE(EntriesLeft(folder), left);
    QVERIFY(QFile::exists(WorkFilePath(folder)));

    QVERIFY(reader.Executa_Carga());
    QVERIFY(!QFile::exists(WorkFilePath(folder)));
    QCOMPARE(EntriesLeft(folder), QStringList());
    QCOMPARE(reader.GetLog(), QString());
}

void ReaderTest::foreignExceptionsPassThrough()
{
    ProgramFolderFixture folder;
    FailingReader reader(1, FailingReader::Kind::Foreign);
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("a.xml"), CommandNamedAfter(QStringLiteral("a.xml")));

    QVERIFY_THROWS_EXCEPTION(std::runtime_error, reader.Executa_Carga());
    QCOMPARE(reader.GetLog(), QString());
}

void ReaderTest::listIndexBounds_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("throws");
    QTest::addColumn<QString>("record");  // empty: null

    QTest::newRow("-1") << -1 << true << QString();
    QTest::newRow("min") << std::numeric_limits<int>::min() << true << QString();
    QTest::newRow("0") << 0 << false << "A|L";
    QTest::newRow("last") << 1 << false << "B|C";
    QTest::newRow("count") << 2 << false << QString();
    QTest::newRow("max") << std::numeric_limits<int>::max() << false << QString();
}

void ReaderTest::listIndexBounds()
{
    QFETCH(int, index);
    QFETCH(bool, throws);
    QFETCH(QString, record);
    ProgramFolderFixture folder;
    TXML reader;
    ConfigureLikeTheCollector(reader);
    Drop(folder, QStringLiteral("a.xml"), Commands({{"A", "L"}, {"B", "C"}}));
    QVERIFY(reader.Executa_Carga());

    if (throws) {
        try {
            reader.GetItemLista(index);
            QFAIL("no exception");
        } catch (const EArgumentOutOfRangeException &error) {
            QCOMPARE(error.Message(), QStringLiteral("Argument out of range"));
        }
        QVERIFY_THROWS_EXCEPTION(EArgumentOutOfRangeException, reader.SetItemLista(index, nullptr));
        return;
    }
    const PGravaXML found = reader.GetItemLista(index);
    QCOMPARE(found ? found->Field01 + '|' + found->Field02 : QString(), record);
    // Beyond the end, replacing does nothing.
    TGrava_XML replacement{QStringLiteral("R"), QStringLiteral("L")};
    reader.SetItemLista(index, &replacement);
    if (found) {
        QCOMPARE(reader.GetItemLista(index), &replacement);
        reader.SetItemLista(index, found);
    }
    QCOMPARE(reader.CountLista(), 2);
}

QTEST_GUILESS_MAIN(ReaderTest)
#include "test_reader.moc"
