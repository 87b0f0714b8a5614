// The file layer on Windows.
#include "cache/base/PlatformNative.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <QDir>

#include <algorithm>

namespace Catraca {

namespace Platform::Native {

using Detail::FaultInjected;

const Error kInjectedError = ERROR_GEN_FAILURE;

Error LastError() { return Error(GetLastError()); }

void SetLastError(Error error) { ::SetLastError(DWORD(error)); }

QString ErrorText(Error error)
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(error), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    QString text = length != 0 ? QString::fromWCharArray(buffer, int(length)) : QString();
    if (buffer != nullptr)
        LocalFree(buffer);
    if (text.isEmpty())
        text = QStringLiteral("System error %1").arg(error);
    return Detail::TrimErrorText(text);
}

namespace {

// File times count 100 ns steps from 1601.
constexpr qint64 kMsFrom1601To1970 = 11644473600000LL;

const wchar_t *Wide(const QString &path)
{
    return reinterpret_cast<const wchar_t *>(path.utf16());
}

struct HandleTraits {
    using Raw = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != 0; }
};
using Handle = Detail::OwnedFile<HandleTraits>;

// Writes every byte from the handle's position; 0 or the error.
Error WriteAll(HANDLE handle, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = DWORD(std::min<qsizetype>(bytes.size() - written, 1 << 20));
        DWORD done = 0;
        if (!WriteFile(handle, bytes.constData() + written, chunk, &done, nullptr))
            return LastError();
        if (done == 0)
            return ERROR_HANDLE_DISK_FULL;
        written += done;
    }
    return 0;
}

// Opens with the given access and disposition, then writes, flushes and
// closes: the one path of the new file of a durable replace, the overwrite in
// place and the append.
Error WriteThenFlush(const QString &path, const QByteArray &bytes, DWORD access, DWORD disposition, bool *created)
{
    if (FaultInjected(FileOperation::Open, path))
        return kInjectedError;
    // Appending lets readers look at the file meanwhile.
    const DWORD sharing = access == FILE_APPEND_DATA ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    Handle file(CreateFileW(Wide(path), access, sharing, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return LastError();
    if (created != nullptr)
        *created = true;
    return WriteFlushClose(file, path, bytes, WriteAll,
                           [](HANDLE handle) { return FlushFileBuffers(handle) != 0; });
}

// Reads what is there from the handle's position, for Detail::ReadToEnd.
auto ChunkReader(HANDLE handle, const QString &path)
{
    return [handle, &path](char *into, qsizetype room) {
        DWORD got = 0;
        if (!ReadFile(handle, into, DWORD(std::min<qsizetype>(room, 1 << 30)), &got, nullptr))
            Detail::ThrowOpenError(path, ErrorText(LastError()));
        return qsizetype(got);
    };
}

}  // namespace

QByteArray ReadAll(const QString &path, qint64 maxBytes)
{
    Handle file(CreateFileW(Wide(QDir::toNativeSeparators(path)), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        Detail::ThrowOpenError(path, ErrorText(LastError()));
    LARGE_INTEGER length {};
    if (!GetFileSizeEx(file.Get(), &length))
        Detail::ThrowOpenError(path, ErrorText(LastError()));
    return Detail::ReadToEnd(path, qint64(length.QuadPart), maxBytes, ChunkReader(file.Get(), path));
}

Error WriteNewFile(const QString &temporary, const QByteArray &bytes, const QString &, bool &created)
{
    return WriteThenFlush(temporary, bytes, GENERIC_WRITE, CREATE_NEW, &created);
}

Error ReplaceFile(const QString &temporary, const QString &target)
{
    if (!MoveFileExW(Wide(temporary), Wide(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastError();
    return 0;
}

// MOVEFILE_WRITE_THROUGH already commits the rename; there is no folder to sync.
Error SyncFolder(const QString &)
{
    return 0;
}

Error SetModified(const QString &path, qint64 modifiedMs)
{
    Handle file(CreateFileW(Wide(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return LastError();
    const qint64 ticks = (modifiedMs + kMsFrom1601To1970) * 10000;
    FILETIME time {};
    time.dwLowDateTime = DWORD(ticks & 0xFFFFFFFF);
    time.dwHighDateTime = DWORD(ticks >> 32);
    if (!SetFileTime(file.Get(), nullptr, nullptr, &time))
        return LastError();
    return 0;
}

Error OverwriteStart(const QString &path, const QByteArray &bytes)
{
    return WriteThenFlush(path, bytes, GENERIC_WRITE, OPEN_ALWAYS, nullptr);
}

Error AppendAndFlush(const QString &path, const QByteArray &bytes)
{
    return WriteThenFlush(path, bytes, FILE_APPEND_DATA, OPEN_ALWAYS, nullptr);
}

Error CutTo(const QString &path, qint64 length)
{
    Handle file(CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return LastError();
    LARGE_INTEGER position {};
    position.QuadPart = length;
    if (!SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN) || !SetEndOfFile(file.Get()))
        return LastError();
    if (!file.Close())
        return LastError();
    return 0;
}

bool RenameNoReplace(const QString &from, const QString &to)
{
    return MoveFileW(Wide(from), Wide(to)) != 0;
}

bool DeleteFileOrLink(const QString &path)
{
    const DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // Only a link to a folder is removed; a real folder stays.
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        return RemoveDirectoryW(Wide(path)) != 0;
    }
    return DeleteFileW(Wide(path)) != 0;
}

bool IsCrossDevice(Error error)
{
    return error == ERROR_NOT_SAME_DEVICE;
}

namespace {

FolderEntry EntryThatWouldNotOpen(const QString &path, Error error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return Detail::EntryOfKind(FolderEntry::Kind::Missing);
    case ERROR_SHARING_VIOLATION:
        return Detail::EntryOfKind(FolderEntry::Kind::OpenElsewhere);
    case ERROR_ACCESS_DENIED:
        return Detail::EntryOfKind(FolderEntry::Kind::Forbidden, Detail::OpenErrorText(path, ErrorText(error)));
    default:
        return Detail::EntryOfKind(FolderEntry::Kind::Unreadable, Detail::OpenErrorText(path, ErrorText(error)));
    }
}

qint64 MsSinceEpoch(const FILETIME &time)
{
    const qint64 ticks = (qint64(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return ticks / 10000 - kMsFrom1601To1970;
}

}  // namespace

// The link itself is opened, not its target, and sharing only for reading
// makes the open fail while a writer still holds the file.
FolderEntry ReadEntry(const QString &path, qint64 maxBytes)
{
    Handle file(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid())
        return EntryThatWouldNotOpen(path, LastError());
    if (GetFileType(file.Get()) != FILE_TYPE_DISK)
        return Detail::EntryOfKind(FolderEntry::Kind::NotRegular);
    BY_HANDLE_FILE_INFORMATION information {};
    if (!GetFileInformationByHandle(file.Get(), &information))
        return EntryThatWouldNotOpen(path, LastError());
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Detail::EntryOfKind(FolderEntry::Kind::Link);
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Detail::EntryOfKind(FolderEntry::Kind::NotRegular);
    const qint64 length = (qint64(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return Detail::ReadRegularEntry(path, length, MsSinceEpoch(information.ftLastWriteTime), maxBytes,
                                    ChunkReader(file.Get(), path));
}

QStringList FilesWithSuffix(const QString &folder, const QString &suffix)
{
    QStringList names;
    WIN32_FIND_DATAW entry {};
    const QString pattern = folder + QLatin1Char('*');
    HANDLE search = FindFirstFileW(Wide(pattern), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const QString name = QString::fromWCharArray(entry.cFileName);
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.endsWith(suffix, Qt::CaseInsensitive))
            names.append(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

}  // namespace Platform::Native

namespace Platform {

using Native::Wide;

bool FileExists(const QString &path)
{
    const DWORD attributes = GetFileAttributesW(Wide(QDir::toNativeSeparators(path)));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

qint64 FileSize(const QString &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!GetFileAttributesExW(Wide(QDir::toNativeSeparators(path)), GetFileExInfoStandard, &data)
        || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace Platform

}  // namespace Catraca
