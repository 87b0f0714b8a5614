#include "cache/base/Platform.h"

#include "cache/base/Exceptions.h"
#include "cache/base/PlatformNative.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

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

QString FullPath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString WithSeparator(const QString &folder)
{
    const QString native = QDir::toNativeSeparators(folder);
    return native.endsWith(PathSeparator()) ? native : native + PathSeparator();
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
    return WithSeparator(info.absolutePath()) + QLatin1Char('.') + info.fileName()
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

bool FaultInjected(FileOperation operation, const QString &path)
{
    const FaultHook &hook = CurrentFaultHook();
    return hook && hook(operation, path);
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

QString TrimErrorText(QString text)
{
    while (!text.isEmpty() && (text.back().unicode() <= 0x20 || text.back() == QLatin1Char('.')))
        text.chop(1);
    return text;
}

}  // namespace Detail

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




QStringList FilesWithSuffix(const QString &folder, const QString &suffix)
{
    QStringList names = Native::FilesWithSuffix(WithSeparator(folder), suffix);
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
