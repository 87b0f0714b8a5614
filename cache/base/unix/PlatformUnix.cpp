// The file layer on POSIX systems.
#include "cache/base/PlatformNative.h"

#include "cache/base/Exceptions.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace Catraca {

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

// Names are bytes here, and not every name is valid UTF-8. A byte that is
// not part of a valid sequence becomes the lone surrogate U+DC80 + byte when
// a name is read, and goes back to that byte when the name is used, so that
// every name listed opens its own entry.
constexpr char16_t kEscapeBase = 0xDC00;

bool IsEscapedByte(const QString &text, qsizetype at)
{
    const char16_t unit = text.at(at).unicode();
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF
        && !(at > 0 && QChar::isHighSurrogate(text.at(at - 1).unicode()));
}

QByteArray Encoded(const QString &path)
{
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype at = 0; at < path.size(); ++at) {
        if (!IsEscapedByte(path, at))
            continue;
        bytes += QStringView(path).mid(runStart, at - runStart).toUtf8();
        bytes += char(path.at(at).unicode() - kEscapeBase);
        runStart = at + 1;
    }
    if (runStart == 0)
        return path.toUtf8();
    return bytes + QStringView(path).mid(runStart).toUtf8();
}

// Length of the valid UTF-8 sequence at the start of `bytes`, 0 when none.
qsizetype ValidSequenceLength(QByteArrayView bytes)
{
    const auto byte = [&](qsizetype at) { return uchar(bytes.at(at)); };
    const uchar lead = byte(0);
    if (lead < 0x80)
        return 1;
    const qsizetype length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
        : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || bytes.size() < length)
        return 0;
    for (qsizetype at = 1; at < length; ++at) {
        if ((byte(at) & 0xC0) != 0x80)
            return 0;
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    const uchar second = byte(1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90)
        || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

QString Decoded(QByteArrayView name)
{
    QString text;
    qsizetype runStart = 0;
    qsizetype at = 0;
    while (at < name.size()) {
        const qsizetype length = ValidSequenceLength(name.sliced(at));
        if (length > 0) {
            at += length;
            continue;
        }
        text += QString::fromUtf8(name.sliced(runStart, at - runStart));
        text += QChar(char16_t(kEscapeBase + uchar(name.at(at))));
        runStart = ++at;
    }
    return text + QString::fromUtf8(name.sliced(runStart));
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

// Reads what is there from the descriptor's position, for Detail::ReadToEnd.
auto ChunkReader(int descriptor, const QString &path)
{
    return [descriptor, &path](char *into, qsizetype room) {
        for (;;) {
            const ssize_t got = ::read(descriptor, into, size_t(room));
            if (got >= 0)
                return qsizetype(got);
            if (errno != EINTR)
                Detail::ThrowOpenError(path, ErrorText(LastError()));
        }
    };
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
    return Detail::ReadToEnd(path, qint64(status.st_size), maxBytes, ChunkReader(file.Get(), path));
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

Error SetModified(const QString &path, qint64 modifiedMs)
{
    struct timespec times[2] {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(modifiedMs / 1000);
    times[1].tv_nsec = long(modifiedMs % 1000) * 1000000;
    if (::utimensat(AT_FDCWD, Encoded(path).constData(), times, 0) != 0)
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
        const QString name = Decoded(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        if (!name.endsWith(suffix, Qt::CaseInsensitive))
            continue;
        // Most file systems tell the kind in the entry itself; an entry that
        // does not say is looked at without following a link.
        if (entry->d_type == DT_DIR)
            continue;
        struct stat status {};
        if (entry->d_type != DT_UNKNOWN
            || (::lstat(Encoded(folder + name).constData(), &status) == 0 && !S_ISDIR(status.st_mode)))
            names.append(name);
    }
    ::closedir(directory);
    return names;
}

bool IsCrossDevice(Error error)
{
    return error == EXDEV;
}

namespace {

// A write lease is granted only while no other descriptor is open on the
// file; it is given back at once. Where leases are not to be had (not the
// file's owner, not Linux) the answer is no.
bool HeldElsewhere(int descriptor)
{
#if defined(__linux__)
    if (::fcntl(descriptor, F_SETLEASE, F_WRLCK) != 0)
        return errno == EAGAIN;
    (void)::fcntl(descriptor, F_SETLEASE, F_UNLCK);
#else
    Q_UNUSED(descriptor);
#endif
    return false;
}

FolderEntry EntryThatWouldNotOpen(const QString &path, int error)
{
    switch (error) {
    case ENOENT:
        return Detail::EntryOfKind(FolderEntry::Kind::Missing);
    case ELOOP:
    case EMLINK:
        return Detail::EntryOfKind(FolderEntry::Kind::Link);
    case ENXIO:
    case EISDIR:
    case ENODEV:
        return Detail::EntryOfKind(FolderEntry::Kind::NotRegular);
    case EWOULDBLOCK:  // a lease of another process's
        return Detail::EntryOfKind(FolderEntry::Kind::OpenElsewhere);
    case EACCES:
    case EPERM:
        return Detail::EntryOfKind(FolderEntry::Kind::Forbidden, Detail::OpenErrorText(path, ErrorText(error)));
    default:
        return Detail::EntryOfKind(FolderEntry::Kind::Unreadable, Detail::OpenErrorText(path, ErrorText(error)));
    }
}

qint64 ModifiedMs(const struct stat &status)
{
#if defined(__APPLE__)
    return qint64(status.st_mtimespec.tv_sec) * 1000 + status.st_mtimespec.tv_nsec / 1000000;
#else
    return qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
#endif
}

}  // namespace

// O_NONBLOCK keeps the open of a pipe or a device from waiting; a regular
// file reads the same with it.
FolderEntry ReadEntry(const QString &path, qint64 maxBytes)
{
    Descriptor file(::open(Encoded(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.Valid())
        return EntryThatWouldNotOpen(path, errno);
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0)
        return EntryThatWouldNotOpen(path, errno);
    if (!S_ISREG(status.st_mode))
        return Detail::EntryOfKind(FolderEntry::Kind::NotRegular);
    if (HeldElsewhere(file.Get()))
        return Detail::EntryOfKind(FolderEntry::Kind::OpenElsewhere);
    return Detail::ReadRegularEntry(path, qint64(status.st_size), ModifiedMs(status), maxBytes,
                                    ChunkReader(file.Get(), path));
}

}  // namespace Platform::Native

namespace Platform {

using Native::Encoded;

bool FileExists(const QString &path)
{
    struct stat status {};
    return ::lstat(Encoded(path).constData(), &status) == 0 && !S_ISDIR(status.st_mode);
}

qint64 FileSize(const QString &path)
{
    struct stat status {};
    if (::stat(Encoded(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return -1;
    return qint64(status.st_size);
}

}  // namespace Platform

}  // namespace Catraca
