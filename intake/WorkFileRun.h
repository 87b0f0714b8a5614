#pragma once

#include "intake/IntakeProgress.h"
#include "intake/uTXML.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace Catraca {

// A work file the collector is applying: its commands, copied out of the
// reader so that a pass may end while they are still being applied, and how
// far they have reached data.cds.
struct WorkFileRun {
    WorkFileRun(QString path, QByteArray fileIdentity, QString source)
        : workFile(std::move(path))
        , identity(std::move(fileIdentity))
        , sourceName(std::move(source))
        , progress(workFile + QStringLiteral(".progress"))
    {
    }

    int Count() const { return int(records.size()); }
    bool Done() const { return next >= Count(); }
    // Whether an earlier run may have applied this command already.
    bool Uncertain(int index) const { return index < uncertainEnd; }

    QString workFile;
    QByteArray identity;
    QString sourceName;  // the command file's name, for the journal
    IntakeProgress progress;
    std::vector<TGrava_XML> records;
    int next = 0;          // the first command data.cds lacks
    int uncertainEnd = 0;  // commands before it were applied or not, nobody knows
};

}  // namespace Catraca
