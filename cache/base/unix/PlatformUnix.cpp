// The file layer on POSIX systems.
#include "cache/base/PlatformNative.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace Platform::Native {

using Detail::FaultInjected;

const Error kInjectedError = EIO;

Error LastError() { return errno; }

void SetLastError(Error error) { errno = int(error); }

QString ErrorText(Error error)
{
    // strerror_r comes in two flavours (returning int or char *); both end here.
    struct Pick {
        static const char *Text(int result, const char *buffer) { return result == 0 ? buffer : nullptr; }
        static const char *Text(const char *result, const char *) { return result; }
    };
    char buffer[256] = {};
    const char *text = Pick::Text(::strerror_r(int(error), buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0')
        return QStringLiteral("System error %1").arg(error);
    return Detail::TrimErrorText(QString::fromLocal8Bit(text));
}

namespace {

QByteArray Encoded(const QString &path)
{
    return QFile::encodeName(path);
}

struct DescriptorTraits {
    using Raw = int;
    static int Invalid() { return -1; }
    static bool Close(int descriptor) { return ::close(descriptor) == 0; }
};
using Descriptor = Detail::OwnedFile<DescriptorTraits>;

// Writes every byte from the descriptor's position; 0 or the error.
Error WriteAll(int descriptor, const QByteArray &bytes)
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

int FlushToDisk(int descriptor, bool contentOnly)
{
#if defined(__APPLE__)
    Q_UNUSED(contentOnly);
    return ::fsync(descriptor);
#else
    return contentOnly ? ::fdatasync(descriptor) : ::fsync(descriptor);
#endif
}

bool FlushContent(int descriptor)
{
    return FlushToDisk(descriptor, true) == 0;
}

bool FlushAll(int descriptor)
{
    return FlushToDisk(descriptor, false) == 0;
}

// Permissions of the file being replaced, so a save does not change them.
void KeepPermissionsOf(const QString &target, int descriptor)
{
    struct stat status {};
    if (::stat(Encoded(target).constData(), &status) == 0 && S_ISREG(status.st_mode))
        (void)::fchmod(descriptor, status.st_mode & 07777);
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

}  // namespace

QByteArray ReadAll(const QString &path, qint64 maxBytes)
{
    Descriptor file(::open(Encoded(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid())
        Detail::ThrowOpenError(path, ErrorText(LastError()));
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0)
        Detail::ThrowOpenError(path, ErrorText(LastError()));
    return Detail::ReadToEnd(path, qint64(status.st_size), maxBytes, [&](char *into, qsizetype room) {
        for (;;) {
            const ssize_t got = ::read(file.Get(), into, size_t(room));
            if (got >= 0)
                return qsizetype(got);
            if (errno != EINTR)
                Detail::ThrowOpenError(path, ErrorText(LastError()));
        }
    });
}

Error WriteNewFile(const QString &temporary, const QByteArray &bytes, const QString &target, bool &created)
{
    if (FaultInjected(FileOperation::Open, temporary))
        return kInjectedError;
    Descriptor file(::open(Encoded(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.Valid())
        return LastError();
    created = true;
    KeepPermissionsOf(target, file.Get());
    return WriteFlushClose(file, temporary, bytes, WriteAll, FlushAll);
}

Error ReplaceFile(const QString &temporary, const QString &target)
{
    if (::rename(Encoded(temporary).constData(), Encoded(target).constData()) != 0)
        return LastError();
    return 0;
}

// Makes the rename itself durable. File systems that cannot sync a folder
// say so with EINVAL; there is nothing more to do on those.
Error SyncFolder(const QString &folder)
{
    Descriptor directory(::open(Encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.Valid())
        return LastError();
    if (::fsync(directory.Get()) != 0 && errno != EINVAL)
        return LastError();
    return 0;
}

Error OverwriteStart(const QString &path, const QByteArray &bytes)
{
    if (FaultInjected(FileOperation::Open, path))
        return kInjectedError;
    Descriptor file(::open(Encoded(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!file.Valid())
        return LastError();
    return WriteFlushClose(file, path, bytes, WriteAll, FlushContent);
}

Error AppendAndFlush(const QString &path, const QByteArray &bytes)
{
    if (FaultInjected(FileOperation::Open, path))
        return kInjectedError;
    Descriptor file(::open(Encoded(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!file.Valid())
        return LastError();
    return WriteFlushClose(file, path, bytes, WriteAll, FlushContent);
}

Error CutTo(const QString &path, qint64 length)
{
    if (::truncate(Encoded(path).constData(), off_t(length)) != 0)
        return LastError();
    return 0;
}

bool RenameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = Encoded(from);
    const QByteArray destination = Encoded(to);
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
#endif
    return LinkThenUnlink(source, destination);
}

bool DeleteFileOrLink(const QString &path)
{
    struct stat status {};
    if (::lstat(Encoded(path).constData(), &status) != 0)
        return false;
    if (S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return false;
    }
    return ::unlink(Encoded(path).constData()) == 0;
}

QStringList FilesWithSuffix(const QString &folder, const QString &suffix)
{
    QStringList names;
    DIR *directory = ::opendir(Encoded(folder).constData());
    if (directory == nullptr)
        return names;
    while (const dirent *entry = ::readdir(directory)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        if (!name.endsWith(suffix, Qt::CaseInsensitive))
            continue;
        // Most file systems tell a plain file in the entry itself; a link, or
        // an entry that does not say, is looked at through stat.
        if (entry->d_type == DT_REG) {
            names.append(name);
            continue;
        }
        struct stat status {};
        if (entry->d_type != DT_DIR && ::stat(Encoded(folder + name).constData(), &status) == 0
            && S_ISREG(status.st_mode))
            names.append(name);
    }
    ::closedir(directory);
    return names;
}

}  // namespace Platform::Native

namespace Platform {

using Native::Descriptor;
using Native::Encoded;

bool FileExists(const QString &path)
{
    struct stat status {};
    return ::stat(Encoded(path).constData(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool FileOpenElsewhere(const QString &path)
{
#if defined(__linux__)
    // A write lease is granted only while no other descriptor is open on the
    // file; it is given back at once.
    Descriptor file(::open(Encoded(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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
    struct stat status {};
    if (::stat(Encoded(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return -1;
    return qint64(status.st_size);
}

}  // namespace Platform
