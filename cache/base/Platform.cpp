#include "cache/base/Platform.h"

#include "cache/base/Exceptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace Platform {

namespace {

QString &TestFolder()
{
    static QString folder;
    return folder;
}

FaultHook &CurrentFaultHook()
{
    static FaultHook hook;
    return hook;
}

bool FaultInjected(FileOperation operation, const QString &path)
{
    const FaultHook &hook = CurrentFaultHook();
    return hook && hook(operation, path);
}

QString FullPath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString WithSeparator(const QString &folder)
{
    const QString native = QDir::toNativeSeparators(folder);
    return native.endsWith(PathSeparator()) ? native : native + PathSeparator();
}

[[noreturn]] void ThrowOpenError(const QString &path, const QString &reason)
{
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(FullPath(path), reason));
}

[[noreturn]] void ThrowCreateError(const QString &path, const QString &reason)
{
    throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(FullPath(path), reason));
}

QString TooLargeText(qint64 maxBytes)
{
    return QStringLiteral("The file is larger than %1 bytes").arg(maxBytes);
}

// Reads to the end straight into the result, sized from the file's length at
// open, so each byte is copied once; a file that grows meanwhile is still
// read to its end. `readChunk(into, room)` returns the bytes read, 0 at the
// end, and throws on an error.
template <typename ReadChunk>
QByteArray ReadToEnd(const QString &path, qint64 lengthAtOpen, qint64 maxBytes, ReadChunk readChunk)
{
    if (maxBytes >= 0 && lengthAtOpen > maxBytes)
        ThrowOpenError(path, TooLargeText(maxBytes));
    constexpr qsizetype kGrowth = 65536;
    QByteArray content;
    // One byte more than the file holds, so the read that meets its end has room.
    content.resize(qsizetype(std::max<qint64>(lengthAtOpen, 0)) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == content.size())
            content.resize(content.size() + kGrowth);
        const qsizetype got = readChunk(content.data() + filled, content.size() - filled);
        if (got == 0)
            break;
        filled += got;
        if (maxBytes >= 0 && filled > maxBytes)
            ThrowOpenError(path, TooLargeText(maxBytes));
    }
    if (filled == 0)
        return {};
    content.resize(filled);
    return content;
}

// A name in the target's folder that no file has yet; the exclusive create
// that follows settles any race.
QString TemporaryNameBeside(const QString &target)
{
    const QFileInfo info(target);
    const QString unique = QString::number(QRandomGenerator::global()->generate64(), 16);
    return WithSeparator(info.absolutePath()) + QLatin1Char('.') + info.fileName()
        + QStringLiteral(".tmp-") + unique;
}

// Drops the trailing blanks, control characters and full stops that the
// operating system's texts end with.
QString TrimErrorText(QString text)
{
    while (!text.isEmpty() && (text.back().unicode() <= 0x20 || text.back() == QLatin1Char('.')))
        text.chop(1);
    return text;
}

#ifdef Q_OS_WIN

using NativeError = DWORD;
constexpr NativeError kInjectedError = ERROR_GEN_FAILURE;

NativeError LastError() { return GetLastError(); }

const wchar_t *Wide(const QString &path)
{
    return reinterpret_cast<const wchar_t *>(path.utf16());
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Close()
    {
        if (!Valid())
            return true;
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

QByteArray ReadAll(const QString &path, qint64 maxBytes)
{
    const QString native = QDir::toNativeSeparators(path);
    if (FaultInjected(FileOperation::Open, path))
        ThrowOpenError(path, SystemErrorText(int(kInjectedError)));
    Handle file(CreateFileW(Wide(native), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        ThrowOpenError(path, SystemErrorText(int(LastError())));
    LARGE_INTEGER length {};
    if (!GetFileSizeEx(file.Get(), &length))
        ThrowOpenError(path, SystemErrorText(int(LastError())));
    return ReadToEnd(path, qint64(length.QuadPart), maxBytes, [&](char *into, qsizetype room) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), into, DWORD(std::min<qsizetype>(room, 1 << 30)), &got, nullptr))
            ThrowOpenError(path, SystemErrorText(int(LastError())));
        return qsizetype(got);
    });
}

// Writes every byte from the handle's position; 0 or the error.
NativeError WriteAll(HANDLE handle, const QByteArray &bytes)
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

// Writes, flushes and closes the new file; returns 0 or the error.
NativeError WriteNewFile(const QString &temporary, const QByteArray &bytes, const QString &, bool &created)
{
    if (FaultInjected(FileOperation::Open, temporary))
        return kInjectedError;
    Handle file(CreateFileW(Wide(temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return LastError();
    created = true;
    if (FaultInjected(FileOperation::Write, temporary))
        return kInjectedError;
    if (const NativeError error = WriteAll(file.Get(), bytes))
        return error;
    if (FaultInjected(FileOperation::Flush, temporary))
        return kInjectedError;
    if (!FlushFileBuffers(file.Get()))
        return LastError();
    if (!file.Close())
        return LastError();
    return 0;
}

NativeError ReplaceFile(const QString &temporary, const QString &target)
{
    if (FaultInjected(FileOperation::Rename, temporary))
        return kInjectedError;
    if (!MoveFileExW(Wide(temporary), Wide(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastError();
    return 0;
}

// MOVEFILE_WRITE_THROUGH already commits the rename; there is no folder to sync.
NativeError SyncFolder(const QString &folder)
{
    if (FaultInjected(FileOperation::Flush, folder))
        return kInjectedError;
    return 0;
}

bool RemoveFile(const QString &path)
{
    return DeleteFileW(Wide(path)) != 0;
}

NativeError OverwriteStart(const QString &path, const QByteArray &bytes)
{
    if (FaultInjected(FileOperation::Open, path))
        return kInjectedError;
    Handle file(CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return LastError();
    if (FaultInjected(FileOperation::Write, path))
        return kInjectedError;
    if (const NativeError error = WriteAll(file.Get(), bytes))
        return error;
    if (FaultInjected(FileOperation::Flush, path))
        return kInjectedError;
    if (!FlushFileBuffers(file.Get()))
        return LastError();
    if (!file.Close())
        return LastError();
    return 0;
}

#else  // POSIX

using NativeError = int;
constexpr NativeError kInjectedError = EIO;

NativeError LastError() { return errno; }

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int Get() const { return descriptor_; }
    bool Valid() const { return descriptor_ >= 0; }
    bool Close()
    {
        if (!Valid())
            return true;
        const bool closed = ::close(descriptor_) == 0;
        descriptor_ = -1;
        return closed;
    }

private:
    int descriptor_;
};

QByteArray ReadAll(const QString &path, qint64 maxBytes)
{
    if (FaultInjected(FileOperation::Open, path))
        ThrowOpenError(path, SystemErrorText(kInjectedError));
    Descriptor file(::open(Native(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid())
        ThrowOpenError(path, SystemErrorText(LastError()));
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0)
        ThrowOpenError(path, SystemErrorText(LastError()));
    return ReadToEnd(path, qint64(status.st_size), maxBytes, [&](char *into, qsizetype room) {
        for (;;) {
            const ssize_t got = ::read(file.Get(), into, size_t(room));
            if (got >= 0)
                return qsizetype(got);
            if (errno != EINTR)
                ThrowOpenError(path, SystemErrorText(LastError()));
        }
    });
}

// Writes every byte from the descriptor's position; 0 or the error.
NativeError WriteAll(int descriptor, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t done = ::write(descriptor, bytes.constData() + written, size_t(bytes.size() - written));
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            return LastError();
        written += done;
    }
    return 0;
}

// Permissions of the file being replaced, so a save does not change them.
void KeepPermissionsOf(const QString &target, int descriptor)
{
    struct stat status {};
    if (::stat(Native(target).constData(), &status) == 0 && S_ISREG(status.st_mode))
        (void)::fchmod(descriptor, status.st_mode & 07777);
}

NativeError WriteNewFile(const QString &temporary, const QByteArray &bytes, const QString &target, bool &created)
{
    if (FaultInjected(FileOperation::Open, temporary))
        return kInjectedError;
    Descriptor file(::open(Native(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.Valid())
        return LastError();
    created = true;
    KeepPermissionsOf(target, file.Get());
    if (FaultInjected(FileOperation::Write, temporary))
        return kInjectedError;
    if (const NativeError error = WriteAll(file.Get(), bytes))
        return error;
    if (FaultInjected(FileOperation::Flush, temporary))
        return kInjectedError;
    if (::fsync(file.Get()) != 0)
        return LastError();
    if (!file.Close())
        return LastError();
    return 0;
}

NativeError ReplaceFile(const QString &temporary, const QString &target)
{
    if (FaultInjected(FileOperation::Rename, temporary))
        return kInjectedError;
    if (::rename(Native(temporary).constData(), Native(target).constData()) != 0)
        return LastError();
    return 0;
}

// Makes the rename itself durable. File systems that cannot sync a folder
// say so with EINVAL; there is nothing more to do on those.
NativeError SyncFolder(const QString &folder)
{
    if (FaultInjected(FileOperation::Flush, folder))
        return kInjectedError;
    Descriptor directory(::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.Valid())
        return LastError();
    if (::fsync(directory.Get()) != 0 && errno != EINVAL)
        return LastError();
    return 0;
}

bool RemoveFile(const QString &path)
{
    return ::unlink(Native(path).constData()) == 0;
}

NativeError OverwriteStart(const QString &path, const QByteArray &bytes)
{
    if (FaultInjected(FileOperation::Open, path))
        return kInjectedError;
    Descriptor file(::open(Native(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!file.Valid())
        return LastError();
    if (FaultInjected(FileOperation::Write, path))
        return kInjectedError;
    if (const NativeError error = WriteAll(file.Get(), bytes))
        return error;
    if (FaultInjected(FileOperation::Flush, path))
        return kInjectedError;
#if defined(__APPLE__)
    if (::fsync(file.Get()) != 0)
#else
    if (::fdatasync(file.Get()) != 0)
#endif
        return LastError();
    if (!file.Close())
        return LastError();
    return 0;
}

bool LinkThenUnlink(const QByteArray &from, const QByteArray &to)
{
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    if (::unlink(from.constData()) == 0)
        return true;
    const int error = errno;
    (void)::unlink(to.constData());
    errno = error;
    return false;
}

#endif

}  // namespace

QString ProgramFolder()
{
    if (!TestFolder().isEmpty())
        return WithSeparator(TestFolder());
    return WithSeparator(QCoreApplication::applicationDirPath());
}

void SetProgramFolderForTests(const QString &folder)
{
    TestFolder() = folder;
}

QChar PathSeparator()
{
    return QDir::separator();
}

void SetFaultHookForTests(FaultHook hook)
{
    CurrentFaultHook() = std::move(hook);
}

QByteArray ReadWholeFile(const QString &path, qint64 maxBytes)
{
    return ReadAll(path, maxBytes);
}

void WriteFileDurably(const QString &path, const QByteArray &bytes)
{
    const QString target = FullPath(path);
    const QString temporary = TemporaryNameBeside(target);
    bool created = false;
    NativeError error = WriteNewFile(temporary, bytes, target, created);
    if (error == 0)
        error = ReplaceFile(temporary, target);
    if (error != 0) {
        // Only a file this call made may be removed: the exclusive create
        // fails when the name was already taken.
        if (created)
            DeleteFileOrLink(temporary);
        ThrowCreateError(target, SystemErrorText(int(error)));
    }
    error = SyncFolder(QFileInfo(target).absolutePath());
    if (error != 0)
        ThrowCreateError(target, SystemErrorText(int(error)));
}

void OverwriteFileInPlace(const QString &path, const QByteArray &bytes)
{
    const QString target = FullPath(path);
    const NativeError error = OverwriteStart(target, bytes);
    if (error != 0)
        ThrowCreateError(target, SystemErrorText(int(error)));
}

// Append and truncate: a block of their own, for both systems.
namespace {

NativeError AppendAndFlush(const QString &path, const QByteArray &bytes)
{
    if (FaultInjected(FileOperation::Open, path))
        return kInjectedError;
#ifdef Q_OS_WIN
    Handle file(CreateFileW(Wide(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
#else
    Descriptor file(::open(Native(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
#endif
    if (!file.Valid())
        return LastError();
    if (FaultInjected(FileOperation::Write, path))
        return kInjectedError;
    if (const NativeError error = WriteAll(file.Get(), bytes))
        return error;
    if (FaultInjected(FileOperation::Flush, path))
        return kInjectedError;
#ifdef Q_OS_WIN
    if (!FlushFileBuffers(file.Get()))
#elif defined(__APPLE__)
    if (::fsync(file.Get()) != 0)
#else
    if (::fdatasync(file.Get()) != 0)
#endif
        return LastError();
    if (!file.Close())
        return LastError();
    return 0;
}

NativeError CutTo(const QString &path, qint64 length)
{
    if (FaultInjected(FileOperation::Write, path))
        return kInjectedError;
#ifdef Q_OS_WIN
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
#else
    if (::truncate(Native(path).constData(), off_t(length)) != 0)
        return LastError();
#endif
    return 0;
}

}  // namespace

void AppendDurably(const QString &path, const QByteArray &bytes)
{
    const QString target = FullPath(path);
    const NativeError error = AppendAndFlush(target, bytes);
    if (error != 0)
        ThrowCreateError(target, SystemErrorText(int(error)));
}

void TruncateFile(const QString &path, qint64 length)
{
    const QString target = FullPath(path);
    const NativeError error = CutTo(target, length);
    if (error != 0)
        ThrowCreateError(target, SystemErrorText(int(error)));
}

bool RenameNoReplace(const QString &from, const QString &to)
{
    if (FaultInjected(FileOperation::Rename, from)) {
#ifndef Q_OS_WIN
        errno = kInjectedError;
#else
        SetLastError(kInjectedError);
#endif
        return false;
    }
#ifdef Q_OS_WIN
    return MoveFileW(Wide(QDir::toNativeSeparators(from)), Wide(QDir::toNativeSeparators(to))) != 0;
#else
    const QByteArray source = Native(from);
    const QByteArray destination = Native(to);
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
#endif
    return LinkThenUnlink(source, destination);
#endif
}

bool DeleteFileOrLink(const QString &path)
{
    if (FaultInjected(FileOperation::Delete, path)) {
#ifndef Q_OS_WIN
        errno = kInjectedError;
#else
        SetLastError(kInjectedError);
#endif
        return false;
    }
#ifdef Q_OS_WIN
    const QString native = QDir::toNativeSeparators(path);
    const DWORD attributes = GetFileAttributesW(Wide(native));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // Only a link to a folder is removed; a real folder stays.
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        return RemoveDirectoryW(Wide(native)) != 0;
    }
    return RemoveFile(native);
#else
    struct stat status {};
    if (::lstat(Native(path).constData(), &status) != 0)
        return false;
    if (S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return false;
    }
    return RemoveFile(path);
#endif
}

bool FileExists(const QString &path)
{
#ifdef Q_OS_WIN
    const DWORD attributes = GetFileAttributesW(Wide(QDir::toNativeSeparators(path)));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat status {};
    return ::stat(Native(path).constData(), &status) == 0 && !S_ISDIR(status.st_mode);
#endif
}

bool FileOpenElsewhere(const QString &path)
{
#if defined(__linux__)
    // A write lease is granted only while no other descriptor is open on the
    // file; it is given back at once.
    Descriptor file(::open(Native(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.Valid())
        return false;
    if (::fcntl(file.Get(), F_SETLEASE, F_WRLCK) != 0)
        return errno == EAGAIN;
    (void)::fcntl(file.Get(), F_SETLEASE, F_UNLCK);
    return false;
#else
    Q_UNUSED(path);
    return false;
#endif
}

qint64 FileSize(const QString &path)
{
#ifdef Q_OS_WIN
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!GetFileAttributesExW(Wide(QDir::toNativeSeparators(path)), GetFileExInfoStandard, &data)
        || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
#else
    struct stat status {};
    if (::stat(Native(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return -1;
    return qint64(status.st_size);
#endif
}

QStringList FilesWithSuffix(const QString &folder, const QString &suffix)
{
    QStringList names;
    const QString prefix = WithSeparator(folder);
#ifdef Q_OS_WIN
    WIN32_FIND_DATAW entry {};
    const QString pattern = prefix + QLatin1Char('*');
    HANDLE search = FindFirstFileW(Wide(pattern), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const QString name = QString::fromWCharArray(entry.cFileName);
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                && name.endsWith(suffix, Qt::CaseInsensitive))
                names.append(name);
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
#else
    DIR *directory = ::opendir(Native(folder).constData());
    if (directory != nullptr) {
        while (const dirent *entry = ::readdir(directory)) {
            const QString name = QFile::decodeName(entry->d_name);
            if (name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            if (!name.endsWith(suffix, Qt::CaseInsensitive))
                continue;
            struct stat status {};
            if (::stat(Native(prefix + name).constData(), &status) == 0 && S_ISREG(status.st_mode))
                names.append(name);
        }
        ::closedir(directory);
    }
#endif
    std::sort(names.begin(), names.end(), [](const QString &left, const QString &right) {
        const int order = left.compare(right, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : left < right;
    });
    return names;
}

QString SystemErrorText(int errorCode)
{
#ifdef Q_OS_WIN
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(errorCode), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    QString text = length != 0 ? QString::fromWCharArray(buffer, int(length)) : QString();
    if (buffer != nullptr)
        LocalFree(buffer);
    if (text.isEmpty())
        text = QStringLiteral("System error %1").arg(errorCode);
    return TrimErrorText(text);
#else
    // strerror_r comes in two flavours (returning int or char *); both end here.
    struct Pick {
        static const char *Text(int result, const char *buffer) { return result == 0 ? buffer : nullptr; }
        static const char *Text(const char *result, const char *) { return result; }
    };
    char buffer[256] = {};
    const char *text = Pick::Text(::strerror_r(errorCode, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0')
        return QStringLiteral("System error %1").arg(errorCode);
    return TrimErrorText(QString::fromLocal8Bit(text));
#endif
}

}  // namespace Platform
