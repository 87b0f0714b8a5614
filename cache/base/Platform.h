#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Catraca {

// Every call into the operating system's file layer goes through here, so the
// rest of the program is portable and tests can make file operations fail.
namespace Platform {

// The running program's folder, ending in the platform's path separator.
// Defined in a file of its own, ProgramFolder.cpp, so that a test program
// links a definition of its own in its place.
QString ProgramFolder();

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

// Moves a file to a name no file has yet; false when it fails, and the source
// then stays. Where a rename cannot cross file systems (a share mounted as
// the folder), `content` and `modifiedMs`, the source's bytes and time read
// already, are written to the target durably, and only then is the source
// deleted: the target is the same file either way.
bool MoveNoReplace(const QString &from, const QString &to, const QByteArray &content, qint64 modifiedMs);
// Ends a move across file systems that a stopped run left between writing
// the target and deleting the source: the source goes when the target holds
// its bytes, so the file is not taken twice. Call it before using `to`.
void FinishInterruptedMove(const QString &to);

// What reading one entry of a folder found. Nothing is followed and nothing
// is opened in a way that can block, so a link, a pipe or a device is told
// as such without being read; only a regular file is read.
struct FolderEntry {
    enum class Kind {
        Read,           // a regular file, whole in `content`
        Missing,        // gone since it was listed
        OpenElsewhere,  // another process holds it open: it may be half written
        Link,           // a symbolic link or another kind of redirection
        NotRegular,     // a pipe, device, socket or folder
        Forbidden,      // a regular file this process may not read
        Unreadable,     // reading it failed, perhaps for a while only
        TooLarge,       // more than maxBytes were there to read
    };
    Kind kind = Kind::Missing;
    QByteArray content;
    qint64 modifiedMs = 0;  // when its content last changed, ms since the epoch
    QString failure;        // Forbidden, Unreadable, TooLarge: the error's message
};
FolderEntry ReadFolderEntry(const QString &path, qint64 maxBytes);

// Deletes a file (a link to a folder is removed as a folder); false on failure.
bool DeleteFileOrLink(const QString &path);

// Whether an entry other than a folder is at the path; a link is not
// followed, so one that leads nowhere is there too.
bool FileExists(const QString &path);

// Size in bytes of a plain file; -1 when it is missing or not a plain file.
qint64 FileSize(const QString &path);

// Names of the entries of a folder (hidden ones included, folders excluded,
// links and other kinds of entry included) that end in the given suffix,
// without regard to case, sorted by name without regard to case. Empty when
// the folder is missing. A name the system keeps as bytes that are not valid
// text still names its entry when handed back.
QStringList FilesWithSuffix(const QString &folder, const QString &suffix);

// The operating system's text for an error code, without trailing blanks,
// control characters and full stops.
QString SystemErrorText(int errorCode);

// The file operations of the layer, as a build that injects faults sees them
// (see Detail::FaultInjected in PlatformNative.h).
enum class FileOperation { Open, Write, Flush, Rename, Delete };

}  // namespace Platform

}  // namespace Catraca
