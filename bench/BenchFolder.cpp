#include "BenchFolder.h"

#include "cache/base/Platform.h"
#include "tests/support/PlatformSeams.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

namespace Catraca {

BenchFolder::BenchFolder()
{
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    Platform::SetProgramFolderForTests(Path());
}

BenchFolder::~BenchFolder() { Platform::SetProgramFolderForTests(QString()); }

QString BenchFolder::Path() const
{
    return QDir::toNativeSeparators(dir_.path()) + Platform::PathSeparator();
}

QString BenchFolder::File(const QString &name) const { return Path() + name; }

void BenchFolder::Write(const QString &name, const QByteArray &bytes) const
{
    QFile out(File(name));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + File(name).toStdString());
}

}  // namespace Catraca
