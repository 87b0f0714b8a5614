#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Every call into the operating system's file layer goes through here, so the
// rest of the program is portable and tests can make file operations fail.
namespace Platform {

// The running program's folder, ending in the platform's path separator.
QString ProgramFolder();
// Tests point the program at a folder of their own; the program never calls it.
void SetProgramFolderForTests(const QString &folder);

QChar PathSeparator();

// The whole content of a file; EFOpenError "Cannot open file "%s". %s" when it
// cannot be opened or read.
QByteArray ReadWholeFile(const QString &path, qint64 maxBytes = -1);

// Replaces the file with these bytes atomically and durably: temporary file in
// the same folder, written, flushed to disk, renamed over the target, folder
// synced. On failure the old file stays whole, the temporary file is removed,
// and EFCreateError "Cannot create file "%s". %s" names the target.
void WriteFileDurably(const QString &path, const QByteArray &bytes);

// Writes these bytes over the start of the file (made when missing) and
// flushes them to disk, without a temporary file or a rename: one flush
// instead of two for a small record rewritten often. A crash can leave the
// file torn, so only a record whose reader detects that may be kept this way.
// EFCreateError "Cannot create file "%s". %s" on failure.
void OverwriteFileInPlace(const QString &path, const QByteArray &bytes);

// Appends these bytes at the end of the file (made when missing) in one
// write and flushes them to disk before returning. A crash during the write
// can leave a torn tail, which the file's reader must recognise.
// EFCreateError "Cannot create file "%s". %s" on failure.
void AppendDurably(const QString &path, const QByteArray &bytes);

// Cuts the file back to its first `length` bytes.
// EFCreateError "Cannot create file "%s". %s" on failure.
void TruncateFile(const QString &path, qint64 length);

// Renames without ever replacing an existing target; false when it fails.
bool RenameNoReplace(const QString &from, const QString &to);

// Deletes a file (a link to a folder is removed as a folder); false on failure.
bool DeleteFileOrLink(const QString &path);

bool FileExists(const QString &path);

// True when another process has the file open, so that it may still be being
// written. Where the system cannot tell (no lease, not the file's owner), or
// where a file open elsewhere cannot be renamed anyway (Windows), false.
bool FileOpenElsewhere(const QString &path);

// Size in bytes of a plain file; -1 when it is missing or not a plain file.
qint64 FileSize(const QString &path);

// Names of the plain files (hidden ones included, folders excluded) in a
// folder whose names end in the given suffix, without regard to case, sorted
// by name without regard to case. Empty when the folder is missing.
QStringList FilesWithSuffix(const QString &folder, const QString &suffix);

// The operating system's text for an error code, without trailing blanks,
// control characters and full stops.
QString SystemErrorText(int errorCode);

// Fault injection for tests: the hook sees every file operation before it is
// made and returns true to make it fail as the system would (EIO). The path
// is the one acted on: a durable write opens, writes and flushes its
// temporary file (".<name>.tmp-..." beside the target), renames it (Rename
// with the temporary file's path) and flushes the folder (Flush with the
// folder's path); an overwrite in place opens, writes and flushes the file
// itself; RenameNoReplace reports its source.
enum class FileOperation { Open, Write, Flush, Rename, Delete };
using FaultHook = std::function<bool(FileOperation operation, const QString &path)>;
void SetFaultHookForTests(FaultHook hook);

}  // namespace Platform
