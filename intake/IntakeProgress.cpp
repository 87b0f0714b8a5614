#include "intake/IntakeProgress.h"

#include "cache/Platform.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QList>

#include <optional>

namespace {

// The three lines of the progress file.
struct Entry {
    QByteArray workFile;
    int index = -1;
    QByteArray cacheDigest;
};

std::optional<Entry> Parse(const QByteArray &content)
{
    const QList<QByteArray> lines = content.split('\n');
    if (lines.size() < 3)
        return std::nullopt;
    Entry entry;
    bool ok = false;
    entry.workFile = lines.at(0);
    entry.index = lines.at(1).toInt(&ok);
    entry.cacheDigest = lines.at(2);
    if (!ok || entry.index < 0 || entry.workFile.isEmpty() || entry.cacheDigest.isEmpty())
        return std::nullopt;
    return entry;
}

}  // namespace

IntakeProgress::IntakeProgress(QString progressFile)
    : progressFile_(std::move(progressFile))
{
}

QByteArray IntakeProgress::WorkFileIdentity(const QString &workFile)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(Platform::ReadWholeFile(workFile));
    const qint64 modified = QFileInfo(workFile).lastModified().toMSecsSinceEpoch();
    return hash.result().toHex() + '-' + QByteArray::number(modified);
}

QByteArray IntakeProgress::CacheDigest(const QString &cacheFile)
{
    if (!Platform::FileExists(cacheFile))
        return QByteArrayLiteral("missing");
    return QCryptographicHash::hash(Platform::ReadWholeFile(cacheFile), QCryptographicHash::Sha256).toHex();
}

int IntakeProgress::ResumeIndex(const QByteArray &workFileIdentity, const QString &cacheFile) const
{
    if (!Platform::FileExists(progressFile_))
        return 0;
    const std::optional<Entry> entry = Parse(Platform::ReadWholeFile(progressFile_));
    if (!entry || entry->workFile != workFileIdentity)
        return 0;
    return CacheDigest(cacheFile) == entry->cacheDigest ? entry->index : entry->index + 1;
}

void IntakeProgress::Record(const QByteArray &workFileIdentity, int index, const QString &cacheFile)
{
    Platform::WriteFileDurably(progressFile_, workFileIdentity + '\n' + QByteArray::number(index) + '\n'
                                                  + CacheDigest(cacheFile) + '\n');
}

void IntakeProgress::Clear()
{
    Platform::DeleteFileOrLink(progressFile_);
}
