#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace Catraca {

// How far the collector got with the work file, kept on disk beside it, so
// that after a crash or a failed save the work file is resumed at its first
// command that data.cds does not hold yet: none is lost and none applied
// twice.
//
// Before each save of data.cds, a record names the work file, the range of
// its commands [first, end) that the save brings to data.cds, and digests of
// data.cds as it is then and as the save is about to make it. One save may
// carry one command or a whole slice of them: the digests tell whether all of
// the range reached data.cds or none of it. Records go in turn to two slot files, each rewritten in place with
// a check of its own, so a write torn by a crash or a power cut spoils at most
// the slot being written and the other still holds the state before it.
//
// Small command files are applied in batches instead: each is claimed, put
// into the table and its work file dropped, and the batch reaches data.cds in
// one save. Until then the record carries the batch's commands themselves,
// so a stop before that save applies them from the record.
class IntakeProgress {
public:
    // A command of a batch, applied to the table but perhaps not to data.cds.
    struct BatchedCommand {
        QString barcode;
        QString event;
        QString source;  // the command file's name, for the journal

        bool operator==(const BatchedCommand &) const = default;
    };

    // The record names no work file: a batch's save, or a batch whose last
    // work file may still be there.
    static inline const QByteArray kNoWorkFile = QByteArrayLiteral("-");

    // Where the resume starts, and whether the record could tell.
    struct Resume {
        int next = 0;
        // The record cannot tell whether commands [next, uncertainEnd) reached
        // data.cds (data.cds no longer has a content the record knows of).
        bool nextUncertain = false;
        int uncertainEnd = 0;
        // The record cannot tell anything: it is gone, spoiled in both
        // slots, or about another work file.
        bool allUncertain = false;
        // The work file's commands are among a batch's: it only has to go.
        bool inBatch = false;
    };

    // What a stopped run's batch left to do.
    struct BatchResume {
        std::vector<BatchedCommand> commands;  // empty when data.cds has them
        bool uncertain = false;  // data.cds has a content the record does not know
    };

    // progressFile names the record; its two slots are that name followed by
    // ".a" and ".b".
    explicit IntakeProgress(QString progressFile);

    // Identity of a work file: its content and its modification time, so
    // that a later command file with the same content is another file.
    static QByteArray IdentityOf(const QByteArray &content, qint64 modifiedMs);
    // The digest of data.cds as the record keeps it; a missing file has one
    // of its own.
    static QByteArray CacheDigest(const QString &cacheFile);
    static QByteArray DigestOf(const QByteArray &cacheContent);

    QString SlotFile(int slot) const;

    // Reads both slots and decides where the work file resumes.
    Resume ResumeAt(const QByteArray &workFileIdentity, const QString &cacheFile);
    // Reads both slots and tells which commands of a recorded batch data.cds
    // may lack.
    BatchResume BatchAt(const QString &cacheFile);

    // Durably records that the commands [first, end) are about to change
    // data.cds from the content with digest `before` to the one with digest
    // `after`. Goes to the slot that does not hold the newest valid record.
    // An empty range (first == end) records that every command before end is
    // in data.cds whatever it holds next, for a work file left half done
    // while the gate may rewrite data.cds.
    void Record(const QByteArray &workFileIdentity, int first, int end, const QByteArray &before,
                const QByteArray &after);

    // What one slot holds.
    struct Entry {
        quint64 sequence = 0;  // the newer of two valid slots has the higher one
        QByteArray workFile;
        int first = -1;
        int end = -1;
        QByteArray before;
        QByteArray after;
        // A batch: the work file of its last command file, which may still
        // be there, and its commands, which the save from `before` to
        // `after` brings to data.cds.
        QByteArray batchWorkFile = kNoWorkFile;
        std::vector<BatchedCommand> batch;
    };
    // Durably records `entry`, its sequence number set here.
    void Record(Entry entry);
    // The newest valid record, read once.
    const std::optional<Entry> &Newest();

    // Forgets the work file once it is gone; a leftover slot is harmless,
    // since it names a work file that no longer exists.
    void Clear();

private:
    void ReadSlots();

    QString progressFile_;
    bool slotsRead_ = false;
    std::optional<Entry> newest_;
    int newestSlot_ = -1;  // -1: no valid slot
};

}  // namespace Catraca
