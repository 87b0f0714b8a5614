#include "tests/support/TestSupport.h"

#include "cache/base/Platform.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

namespace Catraca {

ProgramFolderFixture::ProgramFolderFixture()
{
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    Platform::SetProgramFolderForTests(path());
}

ProgramFolderFixture::~ProgramFolderFixture()
{
    Platform::SetProgramFolderForTests(QString());
}

QString ProgramFolderFixture::path() const
{
    return QDir::toNativeSeparators(dir_.path()) + Platform::PathSeparator();
}

QString ProgramFolderFixture::file(const QString &name) const
{
    return path() + name;
}

void ProgramFolderFixture::write(const QString &name, const QByteArray &bytes) const
{
    QFile out(file(name));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

QByteArray ProgramFolderFixture::read(const QString &name) const
{
    QFile in(file(name));
    if (!in.open(QIODevice::ReadOnly))
        return {};
    return in.readAll();
}

}  // namespace Catraca
