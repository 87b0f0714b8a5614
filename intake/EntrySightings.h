#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace Catraca {

// What the reader remembers of the command folder's entries from pass to
// pass: when each was last seen to change, so a file still being written by
// anyone is recognised by its age, and which entries were reported already,
// so an entry left where it is gets one log line, not one a second.
class EntrySightings {
public:
    // A packet that does not parse yet is given this long after its last
    // change to be finished: a writer may pause mid-file for seconds.
    static constexpr qint64 kSettleMs = 10000;

    // Whether the entry changed, by its size or its time, within kSettleMs.
    // The first sighting of an entry trusts its modification time unless it
    // lies in the future (a share with another clock); later ones trust what
    // this program saw change.
    bool ChangedLately(const QString &name, qint64 size, qint64 modifiedMs);
    // True the first time an entry is reported with this text.
    bool FirstReport(const QString &name, const QString &text);
    void Forget(const QString &name);
    // Drops every entry no longer listed, so a later one of the same name is
    // seen afresh.
    void KeepOnly(const QStringList &listed);

private:
    struct Sighting {
        qint64 size = -1;
        qint64 modifiedMs = 0;
        qint64 changedAtMs = 0;
    };
    QHash<QString, Sighting> sightings_;
    QHash<QString, QString> reported_;
};

}  // namespace Catraca
