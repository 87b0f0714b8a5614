#pragma once

#include "intake/IntakeProgress.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace Catraca {

// Small command files taken in one turn: each is put into the table as soon
// as it is claimed and its work file goes with the next claim, while the
// progress record carries their commands; all of them reach data.cds in one
// save at the end of the turn. A backlog of one-command files then costs one
// flush per file instead of a whole durable save each.
struct CommandBatch {
    // Bounds what the record carries and rewrites for every file.
    static constexpr int kMaxCommands = 256;
    static constexpr qsizetype kMaxBytes = 64 * 1024;

    CommandBatch(const QString &progressFile, QByteArray cacheDigest)
        : progress(progressFile)
        , before(std::move(cacheDigest))
    {
    }

    // Whether a command file of `count` records (-1: no packet) and `size`
    // bytes is one for a batch at all, and whether it joins this one.
    static bool Small(int count, qsizetype size) { return count >= 0 && count <= kMaxCommands && size <= kMaxBytes; }
    bool Takes(int count, qsizetype size) const
    {
        return Small(count, size) && int(commands.size()) + count <= kMaxCommands && bytes + size <= kMaxBytes;
    }
    bool HoldsWorkFile() const { return workFile != IntakeProgress::kNoWorkFile; }

    IntakeProgress progress;
    QByteArray before;  // data.cds's digest when the batch began
    std::vector<IntakeProgress::BatchedCommand> commands;
    // The identity of the file whose work file is still there, its commands
    // among the batch's.
    QByteArray workFile = IntakeProgress::kNoWorkFile;
    qsizetype bytes = 0;
    QByteArray claimed;  // the file the last claim's record named, until it is read
};

}  // namespace Catraca
