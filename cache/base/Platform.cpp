#include "cache/base/Platform.h"

#include "cache/base/Exceptions.h"
#include "cache/base/PlatformNative.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

namespace Catraca {

namespace Platform {

namespace {

QString FullPath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

[[noreturn]] void ThrowCreateError(const QString &path, Native::Error error)
{
    throw EFCreateError(
        QStringLiteral("Cannot create file \"%1\". %2").arg(FullPath(path), Native::ErrorText(error)));
}

// A name in the target's folder that no file has yet; the exclusive create
// that follows settles any race.
QString TemporaryNameBeside(const QString &target)
{
    const QFileInfo info(target);
    const QString unique = QString::number(QRandomGenerator::global()->generate64(), 16);
    return Detail::WithSeparator(info.absolutePath()) + QLatin1Char('.') + info.fileName()
        + QStringLiteral(".tmp-") + unique;
}

// A failure injected before the call reaches the system, reported the way
// the system reports its own.
bool InjectedFailure(FileOperation operation, const QString &path)
{
    if (!Detail::FaultInjected(operation, path))
        return false;
    Native::SetLastError(Native::kInjectedError);
    return true;
}

}  // namespace

namespace Detail {

QString WithSeparator(const QString &folder)
{
    const QString native = QDir::toNativeSeparators(folder);
    return native.endsWith(PathSeparator()) ? native : native + PathSeparator();
}

QString OpenErrorText(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot open file \"%1\". %2").arg(FullPath(path), reason);
}

void ThrowOpenError(const QString &path, const QString &reason)
{
    throw EFOpenError(OpenErrorText(path, reason));
}

void ThrowTooLarge(const QString &path, qint64 maxBytes)
{
    throw EFileTooLarge(OpenErrorText(path, QStringLiteral("The file is larger than %1 bytes").arg(maxBytes)));
}

FolderEntry EntryOfKind(FolderEntry::Kind kind, const QString &failure)
{
    FolderEntry entry;
    entry.kind = kind;
    entry.failure = failure;
    return entry;
}

QString TrimErrorText(QString text)
{
    while (!text.isEmpty() && (text.back().unicode() <= 0x20 || text.back() == QLatin1Char('.')))
        text.chop(1);
    return text;
}

}  // namespace Detail

QChar PathSeparator()
{
    return QDir::separator();
}

QByteArray ReadWholeFile(const QString &path, qint64 maxBytes)
{
    if (Detail::FaultInjected(FileOperation::Open, path))
        Detail::ThrowOpenError(path, Native::ErrorText(Native::kInjectedError));
    return Native::ReadAll(path, maxBytes);
}

void WriteFileDurably(const QString &path, const QByteArray &bytes)
{
    const QString target = FullPath(path);
    const QString temporary = TemporaryNameBeside(target);
    bool created = false;
    Native::Error error = Native::WriteNewFile(temporary, bytes, target, created);
    if (error == 0)
        error = Detail::FaultInjected(FileOperation::Rename, temporary) ? Native::kInjectedError
                                                                         : Native::ReplaceFile(temporary, target);
    if (error != 0) {
        // Only a file this call made may be removed: the exclusive create
        // fails when the name was already taken.
        if (created)
            DeleteFileOrLink(temporary);
        ThrowCreateError(target, error);
    }
    const QString folder = QFileInfo(target).absolutePath();
    error = Detail::FaultInjected(FileOperation::Flush, folder) ? Native::kInjectedError : Native::SyncFolder(folder);
    if (error != 0)
        ThrowCreateError(target, error);
}

void OverwriteFileInPlace(const QString &path, const QByteArray &bytes)
{
    const QString target = FullPath(path);
    if (const Native::Error error = Native::OverwriteStart(target, bytes))
        ThrowCreateError(target, error);
}

void AppendDurably(const QString &path, const QByteArray &bytes)
{
    const QString target = FullPath(path);
    if (const Native::Error error = Native::AppendAndFlush(target, bytes))
        ThrowCreateError(target, error);
}

void TruncateFile(const QString &path, qint64 length)
{
    const QString target = FullPath(path);
    const Native::Error error = Detail::FaultInjected(FileOperation::Write, target) ? Native::kInjectedError
                                                                                     : Native::CutTo(target, length);
    if (error != 0)
        ThrowCreateError(target, error);
}

bool RenameNoReplace(const QString &from, const QString &to)
{
    if (InjectedFailure(FileOperation::Rename, from))
        return false;
    return Native::RenameNoReplace(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to));
}

bool DeleteFileOrLink(const QString &path)
{
    if (InjectedFailure(FileOperation::Delete, path))
        return false;
    return Native::DeleteFileOrLink(QDir::toNativeSeparators(path));
}

namespace {

// Beside the target of a move across file systems, while the move is under
// way: the source's path, so that a run stopped half-way can end the move.
QString MoveNoteOf(const QString &target)
{
    return target + QStringLiteral(".source");
}

QByteArray PathAsBytes(const QString &path)
{
    return QByteArray(reinterpret_cast<const char *>(path.utf16()), path.size() * qsizetype(sizeof(char16_t)));
}

QString PathFromBytes(const QByteArray &bytes)
{
    return QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / qsizetype(sizeof(char16_t)));
}

// Writes a new file durably under a name that must be free: its bytes are
// on disk before the name appears.
bool WriteNewFileDurably(const QString &target, const QByteArray &bytes, qint64 modifiedMs = -1)
{
    const QString temporary = TemporaryNameBeside(target);
    bool created = false;
    Native::Error error = Native::WriteNewFile(temporary, bytes, target, created);
    if (error == 0 && modifiedMs >= 0)
        error = Native::SetModified(temporary, modifiedMs);
    if (error == 0 && !Native::RenameNoReplace(temporary, target))
        error = Native::LastError();
    if (error == 0)
        error = Native::SyncFolder(QFileInfo(target).absolutePath());
    if (error != 0 && created)
        Native::DeleteFileOrLink(temporary);
    return error == 0;
}

// The note goes first and the source last, so that a stop at any point
// leaves either the source alone or a whole target that the note ties to it.
bool CopyThenDeleteSource(const QString &source, const QString &target, const QByteArray &content,
                          qint64 modifiedMs)
{
    const QString note = MoveNoteOf(target);
    if (!WriteNewFileDurably(note, PathAsBytes(source)))
        return false;
    if (!WriteNewFileDurably(target, content, modifiedMs)) {
        Native::DeleteFileOrLink(note);
        return false;
    }
    if (!Native::DeleteFileOrLink(source)) {
        // Both would be taken: the copy goes, the source waits.
        Native::DeleteFileOrLink(target);
        Native::DeleteFileOrLink(note);
        return false;
    }
    Native::DeleteFileOrLink(note);
    return true;
}

}  // namespace

bool MoveNoReplace(const QString &from, const QString &to, const QByteArray &content, qint64 modifiedMs)
{
    if (InjectedFailure(FileOperation::Rename, from))
        return false;
    const QString source = QDir::toNativeSeparators(from);
    const QString target = QDir::toNativeSeparators(to);
    if (Native::RenameNoReplace(source, target))
        return true;
    if (!Native::IsCrossDevice(Native::LastError()))
        return false;
    return CopyThenDeleteSource(source, target, content, modifiedMs);
}

void FinishInterruptedMove(const QString &to)
{
    const QString target = QDir::toNativeSeparators(to);
    const QString note = MoveNoteOf(target);
    if (!FileExists(note))
        return;
    const QString source = PathFromBytes(Native::ReadAll(note, 64 * 1024));
    if (FileExists(target)) {
        const QByteArray copied = Native::ReadAll(target, -1);
        const FolderEntry original = Native::ReadEntry(source, copied.size());
        const bool sameFile = original.kind == FolderEntry::Kind::Read && original.content == copied;
        if (sameFile && !Native::DeleteFileOrLink(source))
            Detail::ThrowOpenError(source, Native::ErrorText(Native::LastError()));
    }
    Native::DeleteFileOrLink(note);
}

FolderEntry ReadFolderEntry(const QString &path, qint64 maxBytes)
{
    const QString native = QDir::toNativeSeparators(path);
    if (Detail::FaultInjected(FileOperation::Open, native))
        return Detail::EntryOfKind(FolderEntry::Kind::Unreadable,
                                   Detail::OpenErrorText(native, Native::ErrorText(Native::kInjectedError)));
    return Native::ReadEntry(native, maxBytes);
}

QStringList FilesWithSuffix(const QString &folder, const QString &suffix)
{
    QStringList names = Native::FilesWithSuffix(Detail::WithSeparator(folder), suffix);
    std::sort(names.begin(), names.end(), [](const QString &left, const QString &right) {
        const int order = left.compare(right, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : left < right;
    });
    return names;
}

QString SystemErrorText(int errorCode)
{
    return Native::ErrorText(Native::Error(errorCode));
}

}  // namespace Platform

}  // namespace Catraca
