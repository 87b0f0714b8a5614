// The intake against what an unlucky set-up or another user's process does
// to the command folder: files this process may not read, a writer of another
// user who pauses mid-file, and the folder on a file system of its own. These
// need root to act as another user or to mount; elsewhere they skip.
#include "cache/base/Platform.h"
#include "intake/uTXML.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Catraca;

using namespace CommandFiles;

namespace {

constexpr uid_t kNobody = 65534;
constexpr uid_t kOtherUser = 1;  // the system's "daemon" account

// Runs `work` in a child process as the unprivileged user; its exit status.
template <typename Work>
int AsNobody(Work work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(100);
        ::_exit(work());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

void OpenToEveryone(const QString &path)
{
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0777) == 0);
}

}  // namespace

class HostileIntakeTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: acts as another user and mounts a file system");
    }

    // A file the program may not read is set aside whole, and the file
    // behind it is taken in the same pass.
    void unreadableFileIsSetAsideWhole()
    {
        ProgramFolderFixture folder;
        OpenToEveryone(folder.path());
        Drop(folder, QStringLiteral("a.xml"), Commands({{"A", "L"}}));
        Drop(folder, QStringLiteral("b.xml"), Commands({{"B", "C"}}));
        OpenToEveryone(CommandFolder(folder));
        QVERIFY(::chmod(QFile::encodeName(CommandFolder(folder) + "/a.xml").constData(), 0) == 0);

        const int status = AsNobody([&] {
            TXML reader;
            ConfigureLikeTheCollector(reader);
            if (!reader.Executa_Carga() || RecordsOf(reader) != QStringList{"B|C"})
                return 1;
            const QStringList notices = reader.TakeNotices();
            if (notices.size() != 1 || !notices.first().startsWith(QStringLiteral("Arquivo XML posto de lado em ")))
                return 2;
            return reader.Executa_Carga() || !reader.TakeNotices().isEmpty() ? 3 : 0;
        });

        QCOMPARE(status, 0);
        QCOMPARE(EntriesLeft(folder), QStringList());
        const QStringList refused = QDir(folder.file(QStringLiteral("XMLRecusados"))).entryList(QDir::Files);
        QCOMPARE(refused.size(), 1);
        QCOMPARE(folder.read(QStringLiteral("XMLRecusados/") + refused.first()), Commands({{"A", "L"}}));
    }

    // Neither the program nor root: the system cannot say that the writer
    // of another user still has the file open, so the reader goes by the
    // half packet's age.
    void writerOfAnotherUserPausingMidFileLosesNothing()
    {
        ProgramFolderFixture folder;
        OpenToEveryone(folder.path());
        QDir().mkpath(CommandFolder(folder));
        OpenToEveryone(CommandFolder(folder));
        const QByteArray packet = Commands({{"S1", "L"}, {"S2", "C"}});
        const QString path = CommandFolder(folder) + QStringLiteral("/s.xml");

        const pid_t writer = ::fork();
        if (writer == 0) {
            if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
                ::_exit(100);
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                ::_exit(1);
            out.write(packet.left(packet.size() / 2));
            ::sleep(3);
            out.write(packet.mid(packet.size() / 2));
            ::_exit(0);
        }
        const int readerStatus = AsNobody([&] {
            TXML reader;
            ConfigureLikeTheCollector(reader);
            for (int pass = 0; pass < 25; ++pass) {
                ::usleep(400 * 1000);
                const bool claimed = reader.Executa_Carga();
                if (!reader.GetLog().isEmpty())
                    return 1;
                if (claimed)
                    return RecordsOf(reader) == QStringList{"S1|L", "S2|C"} ? 0 : 2;
            }
            return 3;
        });
        int writerStatus = -1;
        ::waitpid(writer, &writerStatus, 0);
        QVERIFY(WIFEXITED(writerStatus) && WEXITSTATUS(writerStatus) == 0);
        QCOMPARE(readerStatus, 0);
        QCOMPARE(EntriesLeft(folder), QStringList());
        QVERIFY(!QDir(folder.file(QStringLiteral("XMLRecusados"))).exists());
    }

    // A share mounted as the command folder: the claim cannot rename across
    // and copies instead; a run stopped after the copy and before the
    // source's deletion does not take the file twice.
    void claimCrossesFileSystems_data()
    {
        QTest::addColumn<bool>("stoppedAfterCopy");
        QTest::newRow("whole move") << false;
        QTest::newRow("run stopped after the copy") << true;
    }

    void claimCrossesFileSystems()
    {
        QFETCH(bool, stoppedAfterCopy);
        ProgramFolderFixture folder;
        QDir().mkpath(CommandFolder(folder));
        const QByteArray xmlFolder = QFile::encodeName(CommandFolder(folder));
        if (::mount("tmpfs", xmlFolder.constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("cannot mount a tmpfs here");
        struct Unmount {
            QByteArray at;
            ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
        } unmount{xmlFolder};
        const QByteArray packet = Commands({{"X1", "L"}});
        const QString source = Drop(folder, QStringLiteral("x.xml"), packet);
        if (stoppedAfterCopy) {
            // What the move leaves when stopped between its two halves.
            folder.write(QStringLiteral("XMLQuiboIntegração"), packet);
            const QString sourcePath = QDir::toNativeSeparators(source);
            folder.write(QStringLiteral("XMLQuiboIntegração.source"),
                         QByteArray(reinterpret_cast<const char *>(sourcePath.utf16()), sourcePath.size() * 2));
        }
        TXML reader;
        ConfigureLikeTheCollector(reader);

        QVERIFY(reader.Executa_Carga());
        QCOMPARE(RecordsOf(reader), QStringList{"X1|L"});
        QVERIFY(!reader.Executa_Carga());
        QCOMPARE(EntriesLeft(folder), QStringList());
        QVERIFY(!QFile::exists(WorkFilePath(folder)));
        QVERIFY(!QFile::exists(WorkFilePath(folder) + QStringLiteral(".source")));
    }
};

QTEST_GUILESS_MAIN(HostileIntakeTest)
#include "test_hostile_intake.moc"
