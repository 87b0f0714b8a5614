#include "ProgramRun.h"

#include "cache/table/ClientDataSet.h"
#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/ReleaseCache.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

namespace Catraca {

ProgramFolder::ProgramFolder(const QString &program)
    : folder_(std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/catraca-reliability-XXXXXX")))
    , programName_(QFileInfo(program).fileName())
{
    if (!folder_->isValid() || !QFile::copy(program, Program())) {
        std::fprintf(stderr, "cannot lay out a program folder for %s\n", qPrintable(program));
        std::exit(1);
    }
    QFile::setPermissions(Program(), QFile::permissions(program));
    QFile cache(CacheFile());
    if (!cache.open(QIODevice::WriteOnly) || !QDir(Path()).mkdir(QStringLiteral("XML"))) {
        std::fprintf(stderr, "cannot lay out a program folder\n");
        std::exit(1);
    }
}

QString ProgramFolder::Path() const
{
    return folder_->path() + QLatin1Char('/');
}

bool ProgramFolder::CacheLoads() const
{
    try {
        ReleaseCache cache;
        cache.Table().LoadFromFile(CacheFile());
        return true;
    } catch (const Exception &error) {
        std::printf("data.cds does not load: %s\n", qPrintable(error.Message()));
        return false;
    }
}

QStringList ProgramFolder::CacheRows() const
{
    QStringList rows;
    try {
        ReleaseCache cache;
        TClientDataSet &table = cache.Table();
        table.LoadFromFile(CacheFile());
        table.First();
        while (!table.IsEmpty() && !table.Eof()) {
            rows.append(table.FieldByName(QStringLiteral("COD_BARRA"))->AsString() + QLatin1Char('|')
                        + table.FieldByName(QStringLiteral("EVENTO"))->AsString());
            table.Next();
        }
    } catch (const Exception &) {
        return {};
    }
    return rows;
}

// Command files in XML and anything the reader keeps beside it (the work file
// and what goes with it) still wait to be applied.
bool ProgramFolder::NothingWaiting() const
{
    if (!QDir(CommandFolder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty())
        return false;
    const QStringList beside = QDir(Path()).entryList({QStringLiteral("XML*")}, QDir::Files | QDir::Hidden);
    return beside.isEmpty();
}

bool ProgramFolder::WaitDrained(int expectedRows, int timeoutMs, bool settle) const
{
    QElapsedTimer clock;
    clock.start();
    // Nothing left to read and data.cds unchanged for a while: the program
    // is done, whether or not every command arrived.
    QElapsedTimer quiet;
    quiet.start();
    QDateTime lastChange = QFileInfo(CacheFile()).lastModified();
    while (clock.elapsed() < timeoutMs) {
        const QDateTime changed = QFileInfo(CacheFile()).lastModified();
        if (changed != lastChange || !NothingWaiting()) {
            lastChange = changed;
            quiet.restart();
        } else if (settle && quiet.elapsed() > 5000) {
            return true;
        }
        if (NothingWaiting() && CacheRows().size() >= expectedRows) {
            if (!settle)
                return true;
            // One more tick, so that a save still under way is seen.
            QThread::msleep(1200);
            if (NothingWaiting())
                return true;
        }
        QThread::msleep(settle ? 100 : 5);
    }
    return false;
}

QString ProgramFolder::Keep()
{
    folder_->setAutoRemove(false);
    return folder_->path();
}

ProgramRun::ProgramRun(const ProgramFolder &folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process_.setProcessEnvironment(environment);
    process_.setWorkingDirectory(folder.Path());
    process_.setStandardOutputFile(folder.Path() + QStringLiteral("program-output.log"), QIODevice::Append);
    process_.setStandardErrorFile(folder.Path() + QStringLiteral("program-output.log"), QIODevice::Append);
    process_.start(folder.Program(), {});
    if (!process_.waitForStarted(30000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(folder.Program()));
        std::exit(1);
    }
}

ProgramRun::~ProgramRun()
{
    Kill();
}

void ProgramRun::Kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();  // SIGKILL
    process_.waitForFinished(30000);
}

}  // namespace Catraca
