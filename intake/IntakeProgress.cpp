#include "intake/IntakeProgress.h"

#include "cache/base/Platform.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QList>

#include <optional>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

// Digests of data.cds are written with this prefix. A record without it was
// written by an earlier version of the program, with a SHA-256 digest; such a
// record is still honoured, so that an upgrade never skips a command.
const QByteArray FastDigestPrefix = QByteArrayLiteral("xxh3-128:");

// The record is rewritten in place for every command, so it has a fixed size
// (a shorter record would leave the end of a longer one behind) and ends in a
// check of its own lines: a record torn by a power cut reads as no record,
// and the work file is then applied again from its first command.
constexpr qsizetype RecordSize = 512;

QByteArray FastDigest(const QByteArray &bytes)
{
    const XXH128_hash_t hash = XXH3_128bits(bytes.constData(), size_t(bytes.size()));
    return QByteArray::number(quint64(hash.high64), 16).rightJustified(16, '0')
        + QByteArray::number(quint64(hash.low64), 16).rightJustified(16, '0');
}

QByteArray CheckOf(const QByteArray &lines)
{
    return QByteArray::number(quint64(XXH3_64bits(lines.constData(), size_t(lines.size()))), 16);
}

// The lines of the progress file.
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
    if (entry.cacheDigest.startsWith(FastDigestPrefix)) {
        const QByteArray recorded = lines.at(0) + '\n' + lines.at(1) + '\n' + lines.at(2) + '\n';
        if (lines.size() < 4 || lines.at(3) != CheckOf(recorded))
            return std::nullopt;
    }
    return entry;
}

QByteArray CacheContent(const QString &cacheFile, bool &missing)
{
    missing = !Platform::FileExists(cacheFile);
    return missing ? QByteArray() : Platform::ReadWholeFile(cacheFile);
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

// The digest in the form the record holds it: a record of an earlier
// version is compared with the digest that version wrote.
QByteArray IntakeProgress::CacheDigest(const QString &cacheFile, const QByteArray &recordedDigest)
{
    bool missing = false;
    const QByteArray content = CacheContent(cacheFile, missing);
    if (missing)
        return QByteArrayLiteral("missing");
    if (!recordedDigest.isEmpty() && !recordedDigest.startsWith(FastDigestPrefix) && recordedDigest != "missing")
        return QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
    return FastDigestPrefix + FastDigest(content);
}

int IntakeProgress::ResumeIndex(const QByteArray &workFileIdentity, const QString &cacheFile) const
{
    if (!Platform::FileExists(progressFile_))
        return 0;
    const std::optional<Entry> entry = Parse(Platform::ReadWholeFile(progressFile_));
    if (!entry || entry->workFile != workFileIdentity)
        return 0;
    return CacheDigest(cacheFile, entry->cacheDigest) == entry->cacheDigest ? entry->index : entry->index + 1;
}

// Flushed before the command is applied, so a data.cds that holds the
// command always has its record on disk. A record lost or torn by a power cut
// sends the work file back to its first command: each command then sets the
// value it set before, so nothing is lost and the table ends the same.
void IntakeProgress::Record(const QByteArray &workFileIdentity, int index, const QString &cacheFile)
{
    const QByteArray lines = workFileIdentity + '\n' + QByteArray::number(index) + '\n'
        + CacheDigest(cacheFile, QByteArray()) + '\n';
    QByteArray record = lines + CheckOf(lines) + '\n';
    if (record.size() < RecordSize)
        record.append(RecordSize - record.size(), '\n');
    Platform::OverwriteFileInPlace(progressFile_, record);
}

void IntakeProgress::Clear()
{
    Platform::DeleteFileOrLink(progressFile_);
}
