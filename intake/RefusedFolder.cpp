#include "intake/RefusedFolder.h"

#include "cache/base/Exceptions.h"
#include "cache/base/Platform.h"

#include <QDateTime>
#include <QDir>

namespace Catraca {

RefusedFolder::RefusedFolder(const QString &commandFolder)
    : path_(commandFolder + QStringLiteral("Recusados"))
{
}

// The moment first, so the folder lists in the order files were refused; a
// counter tells apart two refused within the same millisecond.
QString RefusedFolder::FreshPathFor(const QString &name) const
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const QString base = path_ + Platform::PathSeparator() + stamp + QLatin1Char(' ');
    QString candidate = base + name;
    for (int counter = 2; Platform::FileExists(candidate); ++counter)
        candidate = base + QString::number(counter) + QLatin1Char(' ') + name;
    return candidate;
}

QString RefusedFolder::SetAside(const QString &file, const QString &name) const
{
    if (!QDir().mkpath(path_))
        return QString();
    const QString target = FreshPathFor(name);
    return Platform::RenameNoReplace(file, target) ? target : QString();
}

QString RefusedFolder::KeepCopy(const QByteArray &content, const QString &name) const
{
    if (!QDir().mkpath(path_))
        return QString();
    const QString target = FreshPathFor(name);
    try {
        Platform::WriteFileDurably(target, content);
    } catch (const Exception &) {
        return QString();
    }
    return target;
}

}  // namespace Catraca
