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

// Each slot is rewritten in place and ends in a check of its own lines: any
// mix of an old and a new record, or a cut one, fails the check, and whatever
// a longer earlier record left after the check is not read. A record is at
// least kSlotSize bytes, so that the usual one keeps the slot's size.
constexpr qsizetype kSlotSize = 512;
constexpr qsizetype kMaxSlotBytes = 4 * 1024 * 1024;
constexpr int kFixedLines = 8;  // up to the count of the batch's commands

const QByteArray kMissingCache = QByteArrayLiteral("missing");

QByteArray CheckOf(const QByteArray &lines)
{
    return QByteArray::number(quint64(XXH3_64bits(lines.constData(), size_t(lines.size()))), 16);
}

QByteArray Escaped(const QString &text)
{
    return text.toUtf8().toPercentEncoding();
}

QString Unescaped(const QByteArray &text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

QByteArray CommandLine(const IntakeProgress::BatchedCommand &command)
{
    return Escaped(command.barcode) + ' ' + Escaped(command.event) + ' ' + Escaped(command.source);
}

std::optional<IntakeProgress::BatchedCommand> ParseCommand(const QByteArray &line)
{
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3)
        return std::nullopt;
    return IntakeProgress::BatchedCommand{Unescaped(parts.at(0)), Unescaped(parts.at(1)), Unescaped(parts.at(2))};
}

// A record written before records carried batches: six lines and their
// check, read as one without a batch.
std::optional<QList<QByteArray>> CheckedLinesWithoutBatch(const QList<QByteArray> &lines)
{
    constexpr int kLines = kFixedLines - 2;
    if (lines.size() <= kLines)
        return std::nullopt;
    QByteArray recorded;
    for (qsizetype line = 0; line < kLines; ++line)
        recorded += lines.at(line) + '\n';
    if (lines.at(kLines) != CheckOf(recorded))
        return std::nullopt;
    return lines.first(kLines) + QList<QByteArray>{IntakeProgress::kNoWorkFile, "0"};
}

// The lines before the check, or nothing when the check fails.
std::optional<QList<QByteArray>> CheckedLines(const QList<QByteArray> &lines)
{
    if (lines.size() <= kFixedLines)
        return CheckedLinesWithoutBatch(lines);
    bool countOk = false;
    const qsizetype commands = lines.at(kFixedLines - 1).toLongLong(&countOk);
    if (!countOk || commands < 0 || commands > lines.size() - kFixedLines - 1)
        return CheckedLinesWithoutBatch(lines);
    const qsizetype checkLine = kFixedLines + commands;
    QByteArray recorded;
    for (qsizetype line = 0; line < checkLine; ++line)
        recorded += lines.at(line) + '\n';
    if (lines.at(checkLine) != CheckOf(recorded))
        return CheckedLinesWithoutBatch(lines);
    return lines.first(checkLine);
}

std::optional<Entry> Parse(const QByteArray &content)
{
    const std::optional<QList<QByteArray>> lines = CheckedLines(content.split('\n'));
    if (!lines)
        return std::nullopt;
    Entry entry;
    bool sequenceOk = false;
    bool firstOk = false;
    bool endOk = false;
    entry.sequence = lines->at(0).toULongLong(&sequenceOk);
    entry.workFile = lines->at(1);
    entry.first = lines->at(2).toInt(&firstOk);
    entry.end = lines->at(3).toInt(&endOk);
    entry.before = lines->at(4);
    entry.after = lines->at(5);
    entry.batchWorkFile = lines->at(6);
    for (qsizetype line = kFixedLines; line < lines->size(); ++line) {
        std::optional<IntakeProgress::BatchedCommand> command = ParseCommand(lines->at(line));
        if (!command)
            return std::nullopt;
        entry.batch.push_back(std::move(*command));
    }
    if (!sequenceOk || !firstOk || !endOk || entry.first < 0 || entry.end < entry.first || entry.workFile.isEmpty()
        || entry.before.isEmpty() || entry.after.isEmpty() || entry.batchWorkFile.isEmpty())
        return std::nullopt;
    return entry;
}

QByteArray Serialized(const Entry &entry)
{
    QByteArray lines = QByteArray::number(entry.sequence) + '\n' + entry.workFile + '\n' + QByteArray::number(entry.first)
        + '\n' + QByteArray::number(entry.end) + '\n' + entry.before + '\n' + entry.after + '\n'
        + entry.batchWorkFile + '\n' + QByteArray::number(qsizetype(entry.batch.size())) + '\n';
    for (const IntakeProgress::BatchedCommand &command : entry.batch)
        lines += CommandLine(command) + '\n';
    QByteArray record = lines + CheckOf(lines) + '\n';
    if (record.size() < kSlotSize)
        record.append(kSlotSize - record.size(), '\n');
    return record;
}

std::optional<Entry> ReadSlot(const QString &slotFile, bool &present)
{
    present = Platform::FileExists(slotFile);
    if (!present)
        return std::nullopt;
    return Parse(Platform::ReadWholeFile(slotFile, kMaxSlotBytes));
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
    if (newest_ && newest_->workFile != workFileIdentity && newest_->batchWorkFile == workFileIdentity) {
        resume.inBatch = true;
        return resume;
    }
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

// A batch is applied again, for certain, only to the content it began from;
// the content its save wrote holds it already; any other content may or may
// not, and leaves it in doubt.
IntakeProgress::BatchResume IntakeProgress::BatchAt(const QString &cacheFile)
{
    ReadSlots();
    BatchResume resume;
    if (!newest_ || newest_->batch.empty())
        return resume;
    const QByteArray now = CacheDigest(cacheFile);
    if (now == newest_->after)
        return resume;
    resume.commands = newest_->batch;
    resume.uncertain = now != newest_->before;
    return resume;
}

const std::optional<Entry> &IntakeProgress::Newest()
{
    if (!slotsRead_)
        ReadSlots();
    return newest_;
}

void IntakeProgress::Record(const QByteArray &workFileIdentity, int first, int end, const QByteArray &before,
                            const QByteArray &after)
{
    Entry entry;
    entry.workFile = workFileIdentity;
    entry.first = first;
    entry.end = end;
    entry.before = before;
    entry.after = after;
    Record(std::move(entry));
}

// Flushed before the save, so a data.cds that holds the command always has
// its record on disk.
void IntakeProgress::Record(Entry entry)
{
    if (!slotsRead_)
        ReadSlots();
    entry.sequence = newest_ ? newest_->sequence + 1 : 1;
    const int slot = newestSlot_ == 0 ? 1 : 0;
    Platform::OverwriteFileInPlace(SlotFile(slot), Serialized(entry));
    newest_ = std::move(entry);
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
