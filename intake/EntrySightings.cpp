#include "intake/EntrySightings.h"

#include <QDateTime>

namespace Catraca {

bool EntrySightings::ChangedLately(const QString &name, qint64 size, qint64 modifiedMs)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    auto found = sightings_.find(name);
    if (found == sightings_.end()) {
        const qint64 changedAt = modifiedMs <= now ? modifiedMs : now;
        found = sightings_.insert(name, Sighting{size, modifiedMs, changedAt});
    } else if (found->size != size || found->modifiedMs != modifiedMs) {
        *found = Sighting{size, modifiedMs, now};
    }
    return now - found->changedAtMs < kSettleMs;
}

bool EntrySightings::FirstReport(const QString &name, const QString &text)
{
    auto found = reported_.find(name);
    if (found != reported_.end() && *found == text)
        return false;
    reported_.insert(name, text);
    return true;
}

void EntrySightings::Forget(const QString &name)
{
    sightings_.remove(name);
    reported_.remove(name);
}

void EntrySightings::KeepOnly(const QStringList &listed)
{
    const QSet<QString> names(listed.cbegin(), listed.cend());
    sightings_.removeIf([&](const auto &entry) { return !names.contains(entry.key()); });
    reported_.removeIf([&](const auto &entry) { return !names.contains(entry.key()); });
}

}  // namespace Catraca
