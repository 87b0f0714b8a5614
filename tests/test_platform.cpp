#include "cache/base/Exceptions.h"
#include "cache/base/Platform.h"
#include "tests/support/PlatformSeams.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <thread>

using namespace Catraca;

using Platform::FileOperation;

Q_DECLARE_METATYPE(FileOperation)

namespace {

QString Separator()
{
    return QString(Platform::PathSeparator());
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Bytes that differ from their neighbours, so a chunk read twice or out of
// order shows.
QByteArray Pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int index = 0; index < size; ++index)
        bytes[index] = char(index % 251);
    return bytes;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Installs a hook for one test and removes it afterwards.
class FaultScope {
public:
    explicit FaultScope(Platform::FaultHook hook) { Platform::SetFaultHookForTests(std::move(hook)); }
    ~FaultScope() { Platform::SetFaultHookForTests(nullptr); }
    FaultScope(const FaultScope &) = delete;
    FaultScope &operator=(const FaultScope &) = delete;
};

QString EioText()
{
    return QString::fromLocal8Bit(strerror(EIO));
}

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString folder_;  // with the separator at its end

    QString Path(const QString &name) const { return folder_ + name; }

private slots:
    void init()
    {
        dir_.~QTemporaryDir();
        new (&dir_) QTemporaryDir();
        QVERIFY(dir_.isValid());
        folder_ = QDir::toNativeSeparators(dir_.path()) + Separator();
    }

    void durableWriteReplacesTheFile_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("new file") << QByteArray() << QByteArray("packet");
        QTest::newRow("longer content") << QByteArray("old") << QByteArray(100000, 'n');
        QTest::newRow("shorter content") << QByteArray(5000, 'o') << QByteArray("n");
        QTest::newRow("empty content") << QByteArray("old") << QByteArray();
    }

    void durableWriteReplacesTheFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const QString target = Path(QStringLiteral("data.cds"));
        if (!before.isEmpty())
            WriteFile(target, before);
        Platform::WriteFileDurably(target, after);
        QCOMPARE(ReadFile(target), after);
        QCOMPARE(Entries(folder_), QStringList {QStringLiteral("data.cds")});
    }

    void durableWriteKeepsThePermissions()
    {
        const QString target = Path(QStringLiteral("data.cds"));
        WriteFile(target, "old");
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0640) == 0);
        Platform::WriteFileDurably(target, "new");
        struct stat status {};
        QVERIFY(::stat(QFile::encodeName(target).constData(), &status) == 0);
        QCOMPARE(int(status.st_mode & 0777), 0640);
    }

    void durableWriteKeepsTheOldFileWhenAStepFails_data()
    {
        QTest::addColumn<FileOperation>("failing");
        QTest::newRow("create") << FileOperation::Open;
        QTest::newRow("write") << FileOperation::Write;
        QTest::newRow("flush") << FileOperation::Flush;
        QTest::newRow("rename") << FileOperation::Rename;
    }

    void durableWriteKeepsTheOldFileWhenAStepFails()
    {
        QFETCH(FileOperation, failing);
        const QString target = Path(QStringLiteral("data.cds"));
        WriteFile(target, "the old packet");
        QStringList touched;
        {
            FaultScope faults([&](FileOperation operation, const QString &path) {
                touched << path;
                // The folder's own flush comes after the rename; only the file's fails here.
                return operation == failing && path != folder_.chopped(1);
            });
            try {
                Platform::WriteFileDurably(target, "the new packet");
                QFAIL("the write did not fail");
            } catch (const EFCreateError &error) {
                QCOMPARE(error.Message(), QStringLiteral("Cannot create file \"%1\". %2").arg(target, EioText()));
            }
        }
        QCOMPARE(ReadFile(target), QByteArray("the old packet"));
        QCOMPARE(Entries(folder_), QStringList {QStringLiteral("data.cds")});
        QVERIFY2(!touched.isEmpty() && touched.first().startsWith(folder_ + QStringLiteral(".data.cds.")),
                 qPrintable(touched.join(QLatin1Char(' '))));
    }

    // Once renamed the new content is whole; a failed folder sync is still reported.
    void durableWriteReportsAFailedFolderSync()
    {
        const QString target = Path(QStringLiteral("data.cds"));
        WriteFile(target, "old");
        FaultScope faults([&](FileOperation operation, const QString &path) {
            return operation == FileOperation::Flush && path == folder_.chopped(1);
        });
        QVERIFY_THROWS_EXCEPTION(EFCreateError, Platform::WriteFileDurably(target, "new"));
        QCOMPARE(ReadFile(target), QByteArray("new"));
        QCOMPARE(Entries(folder_), QStringList {QStringLiteral("data.cds")});
    }

    void durableWriteIntoAMissingFolderNamesTheTarget()
    {
        const QString target = Path(QStringLiteral("missing") + Separator() + QStringLiteral("data.cds"));
        try {
            Platform::WriteFileDurably(target, "x");
            QFAIL("the write did not fail");
        } catch (const EFCreateError &error) {
            QCOMPARE(error.Message(), QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(target));
        }
    }

    void readingFailsWithTheFullPath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("injected");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing.cds" << false << "No such file or directory";
        QTest::newRow("folder") << "folder" << false << "Is a directory";
        QTest::newRow("injected failure") << "present.cds" << true << EioText();
    }

    void readingFailsWithTheFullPath()
    {
        QFETCH(QString, name);
        QFETCH(bool, injected);
        QFETCH(QString, reason);
        QVERIFY(QDir(folder_).mkdir(QStringLiteral("folder")));
        WriteFile(Path(QStringLiteral("present.cds")), "content");
        FaultScope faults([injected](FileOperation operation, const QString &) {
            return injected && operation == FileOperation::Open;
        });
        // A relative name is reported as the full path it stands for.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder_);
        try {
            Platform::ReadWholeFile(name);
            QDir::setCurrent(previous);
            QFAIL("the read did not fail");
        } catch (const EFOpenError &error) {
            QDir::setCurrent(previous);
            QCOMPARE(error.Message(), QStringLiteral("Cannot open file \"%1\". %2").arg(Path(name), reason));
        }
    }

    void readingStopsAtTheLimit_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("fails");
        QTest::newRow("no limit") << 200000 << -1 << false;
        QTest::newRow("exactly the limit") << 1000 << 1000 << false;
        QTest::newRow("one byte over") << 1001 << 1000 << true;
        QTest::newRow("empty file, limit 0") << 0 << 0 << false;
        QTest::newRow("far over") << 300000 << 10 << true;
        QTest::newRow("one read buffer") << 65536 << -1 << false;
        QTest::newRow("one byte past a read buffer") << 65537 << -1 << false;
    }

    void readingStopsAtTheLimit()
    {
        QFETCH(int, size);
        QFETCH(int, limit);
        QFETCH(bool, fails);
        const QString path = Path(QStringLiteral("big.xml"));
        const QByteArray content = Pattern(size);
        WriteFile(path, content);
        try {
            QCOMPARE(Platform::ReadWholeFile(path, limit), content);
            QVERIFY(!fails);
        } catch (const EFOpenError &error) {
            QVERIFY(fails);
            QCOMPARE(error.Message(), QStringLiteral("Cannot open file \"%1\". The file is larger than %2 bytes").arg(path).arg(limit));
        }
    }

#ifndef Q_OS_WIN
    // A pipe has no length when opened: everything it delivers must still be read.
    void readingGoesOnPastTheLengthAtOpen()
    {
        const QString path = Path(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        const QByteArray content = Pattern(300001);
        std::thread writer([&] {
            QFile pipe(path);
            if (pipe.open(QIODevice::WriteOnly))
                pipe.write(content);
        });
        const QByteArray read = Platform::ReadWholeFile(path);
        writer.join();
        QCOMPARE(read.size(), content.size());
        QVERIFY(read == content);
    }
#endif

    void renameNeverReplaces()
    {
        WriteFile(Path(QStringLiteral("a.xml")), "A");
        WriteFile(Path(QStringLiteral("b.xml")), "B");
        QVERIFY(!Platform::RenameNoReplace(Path(QStringLiteral("a.xml")), Path(QStringLiteral("b.xml"))));
        QCOMPARE(ReadFile(Path(QStringLiteral("a.xml"))), QByteArray("A"));
        QCOMPARE(ReadFile(Path(QStringLiteral("b.xml"))), QByteArray("B"));

        QVERIFY(Platform::RenameNoReplace(Path(QStringLiteral("a.xml")), Path(QStringLiteral("work"))));
        QCOMPARE(Entries(folder_), (QStringList {QStringLiteral("b.xml"), QStringLiteral("work")}));
        QCOMPARE(ReadFile(Path(QStringLiteral("work"))), QByteArray("A"));

        QVERIFY(!Platform::RenameNoReplace(Path(QStringLiteral("gone.xml")), Path(QStringLiteral("other"))));
        FaultScope faults([](FileOperation operation, const QString &) { return operation == FileOperation::Rename; });
        QVERIFY(!Platform::RenameNoReplace(Path(QStringLiteral("b.xml")), Path(QStringLiteral("c.xml"))));
        QCOMPARE(Entries(folder_), (QStringList {QStringLiteral("b.xml"), QStringLiteral("work")}));
    }

    void filesWithSuffix_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow(".xml") << ".xml"
                              << QStringList {".hidden.xml", "a.xml", "B.XML", "c.Xml", "folderlink.xml", "link.xml"};
        QTest::newRow(".XML in capitals") << ".XML"
                                          << QStringList {".hidden.xml", "a.xml", "B.XML", "c.Xml", "folderlink.xml", "link.xml"};
        QTest::newRow(".txt") << ".txt" << QStringList {"note.txt"};
        QTest::newRow("no match") << ".cds" << QStringList {};
    }

    void filesWithSuffix()
    {
        QFETCH(QString, suffix);
        QFETCH(QStringList, expected);
        for (const char *name : {"c.Xml", "a.xml", "B.XML", ".hidden.xml", "note.txt", "xml", "a.xml.bak"})
            WriteFile(Path(QString::fromLatin1(name)), "x");
        QVERIFY(QDir(folder_).mkdir(QStringLiteral("folder.xml")));
        QVERIFY(QFile::link(Path(QStringLiteral("a.xml")), Path(QStringLiteral("link.xml"))));
        QVERIFY(QFile::link(Path(QStringLiteral("folder.xml")), Path(QStringLiteral("folderlink.xml"))));
        QCOMPARE(Platform::FilesWithSuffix(folder_.chopped(1), suffix), expected);
        QCOMPARE(Platform::FilesWithSuffix(folder_, suffix), expected);
    }

    void filesWithSuffixOfAMissingFolderIsEmpty()
    {
        QCOMPARE(Platform::FilesWithSuffix(Path(QStringLiteral("nothing")), QStringLiteral(".xml")), QStringList());
    }

    void deleteRemovesFilesAndLinksButNotFolders()
    {
        WriteFile(Path(QStringLiteral("file")), "x");
        QVERIFY(QDir(folder_).mkdir(QStringLiteral("folder")));
        QVERIFY(QFile::link(Path(QStringLiteral("folder")), Path(QStringLiteral("link"))));
        QVERIFY(Platform::DeleteFileOrLink(Path(QStringLiteral("file"))));
        QVERIFY(Platform::DeleteFileOrLink(Path(QStringLiteral("link"))));
        QVERIFY(!Platform::DeleteFileOrLink(Path(QStringLiteral("folder"))));
        QVERIFY(!Platform::DeleteFileOrLink(Path(QStringLiteral("missing"))));
        QCOMPARE(Entries(folder_), QStringList {QStringLiteral("folder")});

        WriteFile(Path(QStringLiteral("kept")), "x");
        FaultScope faults([](FileOperation operation, const QString &) { return operation == FileOperation::Delete; });
        QVERIFY(!Platform::DeleteFileOrLink(Path(QStringLiteral("kept"))));
        QVERIFY(QFile::exists(Path(QStringLiteral("kept"))));
    }

    void existenceAndSize()
    {
        WriteFile(Path(QStringLiteral("file")), "12345");
        QVERIFY(QDir(folder_).mkdir(QStringLiteral("folder")));
        QVERIFY(Platform::FileExists(Path(QStringLiteral("file"))));
        QVERIFY(!Platform::FileExists(Path(QStringLiteral("folder"))));
        QVERIFY(!Platform::FileExists(Path(QStringLiteral("missing"))));
        QCOMPARE(Platform::FileSize(Path(QStringLiteral("file"))), qint64(5));
        QCOMPARE(Platform::FileSize(Path(QStringLiteral("folder"))), qint64(-1));
        QCOMPARE(Platform::FileSize(Path(QStringLiteral("missing"))), qint64(-1));
    }

    void programFolderEndsInTheSeparator()
    {
        Platform::SetProgramFolderForTests(QString());
        QCOMPARE(Platform::ProgramFolder(), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + Separator());
        Platform::SetProgramFolderForTests(folder_.chopped(1));
        QCOMPARE(Platform::ProgramFolder(), folder_);
        Platform::SetProgramFolderForTests(QString());
    }

    void systemErrorTextHasNoTrailingFullStop_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("ENOENT") << ENOENT << "No such file or directory";
        QTest::newRow("EACCES") << EACCES << "Permission denied";
        QTest::newRow("unknown") << 99999 << "Unknown error 99999";
    }

    void systemErrorTextHasNoTrailingFullStop()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(Platform::SystemErrorText(code), text);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
