#pragma once

#include <QString>

namespace Catraca {

// Where the intake reports what it did with each command file, for a record
// that outlives the log memo. The intake never depends on how it is kept.
class CommandJournal {
public:
    virtual ~CommandJournal() = default;
    // A command now in the release cache; `file` is the command file's name.
    virtual void CommandApplied(const QString &file, const QString &barcode, const QString &event) = 0;
    // A command file deleted unapplied because it could not be read as one.
    virtual void FileRefused(const QString &file) = 0;
    // Makes the lines reported so far durable; called once per turn of the
    // intake (all the command files and slices it took) rather than per
    // command. Never throws: a journal that fails
    // must not stop the intake.
    virtual void Flush() = 0;
};

}  // namespace Catraca
