#include "FloorIo.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Catraca {

namespace FloorIo {
namespace {

[[noreturn]] void Fail(const char *what, const QString &path)
{
    throw std::runtime_error(std::string(what) + " " + path.toStdString());
}

}  // namespace

#ifdef _WIN32

void WriteFlushRename(const QString &target, const QByteArray &bytes)
{
    const QString temporary = target + QStringLiteral(".tmp");
    const std::wstring temporaryName = temporary.toStdWString();
    HANDLE file = CreateFileW(temporaryName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("cannot create", temporary);
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.constData(), static_cast<DWORD>(bytes.size()), &written,
                              nullptr)
                    && written == static_cast<DWORD>(bytes.size()) && FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok)
        Fail("cannot write", temporary);
    if (!MoveFileExW(temporaryName.c_str(), target.toStdWString().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Fail("cannot rename", temporary);
}

void WriteFlushRenameFlushFolder(const QString &target, const QByteArray &bytes)
{
    WriteFlushRename(target, bytes);
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail("cannot open", path);
    return file.readAll();
}

#else

void WriteFlushRename(const QString &target, const QByteArray &bytes)
{
    const QByteArray temporary = QFile::encodeName(target + QStringLiteral(".tmp"));
    const int file = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        Fail("cannot create", target);
    const bool ok = ::write(file, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size()
                    && ::fsync(file) == 0;
    ::close(file);
    if (!ok)
        Fail("cannot write", target);
    if (::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0)
        Fail("cannot rename", target);
}

void WriteFlushRenameFlushFolder(const QString &target, const QByteArray &bytes)
{
    WriteFlushRename(target, bytes);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int directory = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        Fail("cannot open the folder of", target);
    const bool ok = ::fsync(directory) == 0;
    ::close(directory);
    if (!ok)
        Fail("cannot flush the folder of", target);
}

QByteArray ReadAll(const QString &path)
{
    const int file = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        Fail("cannot open", path);
    struct stat status {};
    QByteArray bytes;
    if (::fstat(file, &status) == 0)
        bytes.resize(static_cast<qsizetype>(status.st_size));
    const ssize_t got = ::read(file, bytes.data(), static_cast<size_t>(bytes.size()));
    ::close(file);
    if (got != bytes.size())
        Fail("cannot read", path);
    return bytes;
}

#endif

}  // namespace FloorIo

}  // namespace Catraca
