#pragma once

#include <QByteArray>
#include <QString>

// How far the collector got with the work file, kept on disk beside it, so
// that after a crash or a failed save the work file is resumed at its first
// command that data.cds does not hold yet: none is lost and none applied
// twice.
//
// Before each command is applied, the file records which work file it
// belongs to, its index, and a digest of data.cds as it is at that moment;
// the record is rewritten in place and flushed, one flush per command.
// data.cds is replaced whole by every save, and every save writes the table
// the command was posted into, so: data.cds still matching the digest means
// the command never reached it; any other content means a save after the
// command succeeded and the command is in it.
class IntakeProgress {
public:
    explicit IntakeProgress(QString progressFile);

    // Identity of a work file: its content and its modification time, so
    // that a later command file with the same content is another file.
    static QByteArray WorkFileIdentity(const QString &workFile);

    // Index of the first command of that work file that data.cds lacks: 0
    // when nothing of it was recorded.
    int ResumeIndex(const QByteArray &workFileIdentity, const QString &cacheFile) const;

    // Durably records that the command at this index is about to be applied.
    void Record(const QByteArray &workFileIdentity, int index, const QString &cacheFile);

    // Forgets the work file once it is gone; a leftover record is harmless,
    // since it names a work file that no longer exists.
    void Clear();

private:
    static QByteArray CacheDigest(const QString &cacheFile, const QByteArray &recordedDigest);

    QString progressFile_;
};
