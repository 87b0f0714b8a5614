#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace Catraca {

// A fresh program folder: a copy of the program, an empty data.cds and the
// folder XML. Removed at the end unless kept for a look.
class ProgramFolder {
public:
    explicit ProgramFolder(const QString &program);

    QString Path() const;  // ends in '/'
    QString Program() const { return Path() + programName_; }
    QString CommandFolder() const { return Path() + QStringLiteral("XML"); }
    QString CacheFile() const { return Path() + QStringLiteral("data.cds"); }

    // True when data.cds loads into the release cache.
    bool CacheLoads() const;
    // data.cds as "barcode|event" rows; empty when it does not load.
    QStringList CacheRows() const;
    // Waits until the folder XML is empty, nothing of the reader's is left
    // beside it and data.cds holds the expected number of rows; then, unless
    // told not to, one more tick to see that nothing more happens. When told
    // to settle, also ends once nothing waits and data.cds has not changed
    // for five seconds, so that a run which lost commands ends too.
    bool WaitDrained(int expectedRows, int timeoutMs, bool settle = true) const;
    // Keeps the folder after the run and returns its path.
    QString Keep();

private:
    bool NothingWaiting() const;

    std::unique_ptr<QTemporaryDir> folder_;
    QString programName_;
};

// The program running in a folder (offscreen); killed with SIGKILL at the
// end of its scope when still running.
class ProgramRun {
public:
    explicit ProgramRun(const ProgramFolder &folder);
    ~ProgramRun();
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

    void Kill();

private:
    QProcess process_;
};

}  // namespace Catraca
