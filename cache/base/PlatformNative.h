#pragma once

#include "cache/base/Exceptions.h"
#include "cache/base/Platform.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Catraca {

// What each operating system provides to the portable file layer; one source
// file per system defines these, chosen by the build. Error codes are the
// system's own, 0 meaning success.
namespace Platform::Native {

using Error = long;

// The code reported for a failure that a test injected.
extern const Error kInjectedError;

Error LastError();
void SetLastError(Error error);
QString ErrorText(Error error);

// Reads the whole file, at most maxBytes when maxBytes >= 0.
QByteArray ReadAll(const QString &path, qint64 maxBytes);

// Makes `temporary` (which must not exist) with the target's permissions,
// writes, flushes and closes it; `created` tells whether a file was made.
Error WriteNewFile(const QString &temporary, const QByteArray &bytes, const QString &target, bool &created);
Error ReplaceFile(const QString &temporary, const QString &target);
Error SyncFolder(const QString &folder);
// Sets when the file's content last changed, in ms since the epoch.
Error SetModified(const QString &path, qint64 modifiedMs);
Error OverwriteStart(const QString &path, const QByteArray &bytes);
// Appends at the end (the file made when missing), flushes and closes.
Error AppendAndFlush(const QString &path, const QByteArray &bytes);
Error CutTo(const QString &path, qint64 length);

bool RenameNoReplace(const QString &from, const QString &to);
// Whether a failed rename failed only because it would cross file systems.
bool IsCrossDevice(Error error);
bool DeleteFileOrLink(const QString &path);
// Names of the entries but folders in the folder that end in the suffix, in
// no order.
QStringList FilesWithSuffix(const QString &folder, const QString &suffix);
// Opens the entry without following a link and without blocking, and reads
// it when it is a regular file.
FolderEntry ReadEntry(const QString &path, qint64 maxBytes);

}  // namespace Platform::Native

// Shared by the portable part and the system files.
namespace Platform::Detail {

// Whether the operation is to fail before it reaches the system, as it would
// there with EIO. The path is the one acted on: a durable write opens, writes
// and flushes its temporary file (".<name>.tmp-..." beside the target),
// renames it (Rename with the temporary file's path) and flushes the folder
// (Flush with the folder's path); an overwrite in place opens, writes and
// flushes the file itself; a rename reports its source. The program's own
// definition, in NoInjectedFaults.cpp, never fails anything; a test program
// links a definition of its own in its place.
bool FaultInjected(FileOperation operation, const QString &path);
// The folder in the platform's form, ending in its path separator.
QString WithSeparator(const QString &folder);
// "Cannot open file "%s". %s" with the full path.
QString OpenErrorText(const QString &path, const QString &reason);
[[noreturn]] void ThrowOpenError(const QString &path, const QString &reason);
[[noreturn]] void ThrowTooLarge(const QString &path, qint64 maxBytes);

// Reads to the end straight into the result, sized from the file's length at
// open, so each byte is copied once; a file that grows meanwhile is still
// read to its end. `readChunk(into, room)` returns the bytes read, 0 at the
// end, and throws on an error.
template <typename ReadChunk>
QByteArray ReadToEnd(const QString &path, qint64 lengthAtOpen, qint64 maxBytes, ReadChunk readChunk)
{
    if (maxBytes >= 0 && lengthAtOpen > maxBytes)
        ThrowTooLarge(path, maxBytes);
    constexpr qsizetype kGrowth = 65536;
    QByteArray content;
    // One byte more than the file holds, so the read that meets its end has room.
    content.resize(qsizetype(lengthAtOpen > 0 ? lengthAtOpen : 0) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == content.size())
            content.resize(content.size() + kGrowth);
        const qsizetype got = readChunk(content.data() + filled, content.size() - filled);
        if (got == 0)
            break;
        filled += got;
        if (maxBytes >= 0 && filled > maxBytes)
            ThrowTooLarge(path, maxBytes);
    }
    if (filled == 0)
        return {};
    content.resize(filled);
    return content;
}

FolderEntry EntryOfKind(FolderEntry::Kind kind, const QString &failure = QString());

// A regular file opened already, read whole into an entry; a read that fails
// or passes maxBytes is told in the entry's kind.
template <typename ReadChunk>
FolderEntry ReadRegularEntry(const QString &path, qint64 lengthAtOpen, qint64 modifiedMs, qint64 maxBytes,
                             ReadChunk readChunk)
{
    FolderEntry entry = EntryOfKind(FolderEntry::Kind::Read);
    entry.modifiedMs = modifiedMs;
    try {
        entry.content = ReadToEnd(path, lengthAtOpen, maxBytes, readChunk);
    } catch (const EFileTooLarge &error) {
        return EntryOfKind(FolderEntry::Kind::TooLarge, error.Message());
    } catch (const EFOpenError &error) {
        return EntryOfKind(FolderEntry::Kind::Unreadable, error.Message());
    }
    return entry;
}

// Owns one open file of the system (a descriptor, a handle) and closes it
// once. Traits gives the raw type, its invalid value and how to close it.
template <typename Traits>
class OwnedFile {
public:
    using Raw = typename Traits::Raw;
    explicit OwnedFile(Raw raw) : raw_(raw) {}
    ~OwnedFile() { Close(); }
    OwnedFile(const OwnedFile &) = delete;
    OwnedFile &operator=(const OwnedFile &) = delete;
    Raw Get() const { return raw_; }
    bool Valid() const { return raw_ != Traits::Invalid(); }
    bool Close()
    {
        if (!Valid())
            return true;
        const bool closed = Traits::Close(raw_);
        raw_ = Traits::Invalid();
        return closed;
    }

private:
    Raw raw_;
};

// Drops the trailing blanks, control characters and full stops that the
// operating system's texts end with.
QString TrimErrorText(QString text);

}  // namespace Platform::Detail

namespace Platform::Native {

// The tail every write shares: every byte written, flushed to disk, the file
// closed; a test's injected failure is seen before the write and the flush.
template <typename File, typename WriteAllBytes, typename FlushToDisk>
Error WriteFlushClose(File &file, const QString &path, const QByteArray &bytes, WriteAllBytes writeAll,
                      FlushToDisk flush)
{
    if (Detail::FaultInjected(FileOperation::Write, path))
        return kInjectedError;
    if (const Error error = writeAll(file.Get(), bytes))
        return error;
    if (Detail::FaultInjected(FileOperation::Flush, path))
        return kInjectedError;
    if (!flush(file.Get()))
        return LastError();
    if (!file.Close())
        return LastError();
    return 0;
}

}  // namespace Platform::Native

}  // namespace Catraca
