#include "intake/IntakeProgress.h"

#include "cache/base/Platform.h"

#include <QCryptographicHash>
#include <QList>

#include <optional>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace Catraca {

using Entry = IntakeProgress::Entry;

namespace {

// Each slot is rewritten in place, so it has a fixed size (a shorter record
// would leave the end of a longer one behind) and ends in a check of its own
// lines: any mix of an old and a new record, or a cut one, fails the check.
constexpr qsizetype kSlotSize = 512;

const QByteArray kMissingCache = QByteArrayLiteral("missing");

QByteArray CheckOf(const QByteArray &lines)
{
    return QByteArray::number(quint64(XXH3_64bits(lines.constData(), size_t(lines.size()))), 16);
}

std::optional<Entry> Parse(const QByteArray &content)
{
    const QList<QByteArray> lines = content.split('\n');
    if (lines.size() < 7)
        return std::nullopt;
    QByteArray recorded;
    for (int line = 0; line < 6; ++line)
        recorded += lines.at(line) + '\n';
    if (lines.at(6) != CheckOf(recorded))
        return std::nullopt;
    Entry entry;
    bool sequenceOk = false;
    bool firstOk = false;
    bool endOk = false;
    entry.sequence = lines.at(0).toULongLong(&sequenceOk);
    entry.workFile = lines.at(1);
    entry.first = lines.at(2).toInt(&firstOk);
    entry.end = lines.at(3).toInt(&endOk);
    entry.before = lines.at(4);
    entry.after = lines.at(5);
    if (!sequenceOk || !firstOk || !endOk || entry.first < 0 || entry.end < entry.first || entry.workFile.isEmpty()
        || entry.before.isEmpty() || entry.after.isEmpty())
        return std::nullopt;
    return entry;
}

std::optional<Entry> ReadSlot(const QString &slotFile, bool &present)
{
    present = Platform::FileExists(slotFile);
    if (!present)
        return std::nullopt;
    return Parse(Platform::ReadWholeFile(slotFile, kSlotSize * 2));
}

}  // namespace

IntakeProgress::IntakeProgress(QString progressFile)
    : progressFile_(std::move(progressFile))
{
}

QString IntakeProgress::SlotFile(int slot) const
{
    return progressFile_ + (slot == 0 ? QStringLiteral(".a") : QStringLiteral(".b"));
}

QByteArray IntakeProgress::IdentityOf(const QByteArray &content, qint64 modifiedMs)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex() + '-'
        + QByteArray::number(modifiedMs);
}

QByteArray IntakeProgress::DigestOf(const QByteArray &cacheContent)
{
    const XXH128_hash_t hash = XXH3_128bits(cacheContent.constData(), size_t(cacheContent.size()));
    return QByteArray::number(quint64(hash.high64), 16).rightJustified(16, '0')
        + QByteArray::number(quint64(hash.low64), 16).rightJustified(16, '0');
}

QByteArray IntakeProgress::CacheDigest(const QString &cacheFile)
{
    if (!Platform::FileExists(cacheFile))
        return kMissingCache;
    return DigestOf(Platform::ReadWholeFile(cacheFile));
}

void IntakeProgress::ReadSlots()
{
    newest_.reset();
    newestSlot_ = -1;
    for (int slot = 0; slot < 2; ++slot) {
        bool present = false;
        const std::optional<Entry> entry = ReadSlot(SlotFile(slot), present);
        if (entry && (!newest_ || entry->sequence > newest_->sequence)) {
            newest_ = entry;
            newestSlot_ = slot;
        }
    }
    slotsRead_ = true;
}

// A spoiled slot was being written when the program stopped: the record it
// would have held was not complete, so the save after it never started, and
// the other slot tells the state. Only when both slots are present and
// spoiled, which no single torn write leaves, is nothing known.
IntakeProgress::Resume IntakeProgress::ResumeAt(const QByteArray &workFileIdentity, const QString &cacheFile)
{
    ReadSlots();
    Resume resume;
    // A record is written before every claim: a work file without its own
    // record has lost it, and where it stopped nobody can tell.
    if (!newest_ || newest_->workFile != workFileIdentity) {
        resume.allUncertain = true;
        return resume;
    }
    const QByteArray now = CacheDigest(cacheFile);
    resume.next = newest_->first;
    if (newest_->first == newest_->end || now == newest_->after) {
        resume.next = newest_->end;
    } else if (now != newest_->before) {
        resume.nextUncertain = true;
        resume.uncertainEnd = newest_->end;
    }
    return resume;
}

// Flushed before the save, so a data.cds that holds the command always has
// its record on disk.
void IntakeProgress::Record(const QByteArray &workFileIdentity, int first, int end, const QByteArray &before,
                            const QByteArray &after)
{
    if (!slotsRead_)
        ReadSlots();
    const quint64 sequence = newest_ ? newest_->sequence + 1 : 1;
    const int slot = newestSlot_ == 0 ? 1 : 0;
    const QByteArray lines = QByteArray::number(sequence) + '\n' + workFileIdentity + '\n' + QByteArray::number(first)
        + '\n' + QByteArray::number(end) + '\n' + before + '\n' + after + '\n';
    QByteArray record = lines + CheckOf(lines) + '\n';
    if (record.size() < kSlotSize)
        record.append(kSlotSize - record.size(), '\n');
    Platform::OverwriteFileInPlace(SlotFile(slot), record);
    newest_ = Entry{sequence, workFileIdentity, first, end, before, after};
    newestSlot_ = slot;
}

void IntakeProgress::Clear()
{
    // A slot that fails to go names a work file that is gone, and the next
    // record outnumbers it.
    Platform::DeleteFileOrLink(SlotFile(0));
    Platform::DeleteFileOrLink(SlotFile(1));
    slotsRead_ = false;
}

}  // namespace Catraca
