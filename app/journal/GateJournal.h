#pragma once

#include "intake/CommandJournal.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <functional>
#include <vector>

namespace Catraca {

// The journal of every gate decision and every command applied: one
// append-only CSV file per local day, "yyyy-MM-dd.csv", in a folder of its
// own. A failing disk never stops the gate: lines wait in memory, the
// failure is reported once, and the next flush tries again.
class GateJournal final : public CommandJournal {
public:
    enum class Outcome { Released, Blocked, NotRegistered, OtherEvent, CommandApplied, FileRefused };
    using Clock = std::function<QDateTime()>;
    // Told the error when the journal starts failing and an empty text when
    // it writes again; not told again while it goes on failing.
    using StateHandler = std::function<void(const QString &error)>;

    static const QString FolderName;
    static const QByteArray Header;

    // An empty clock reads the system's local time.
    explicit GateJournal(const QString &folder, Clock clock = {});

    // A gate decision: on disk when this returns, unless the journal fails.
    void Decision(Outcome outcome, const QString &barcode, const QString &event);

    void CommandApplied(const QString &file, const QString &barcode, const QString &event) override;
    void FileRefused(const QString &file) override;
    void Flush() override;

    void SetStateHandler(StateHandler handler) { stateHandler_ = std::move(handler); }
    bool Failing() const { return failing_; }
    int PendingLines() const { return int(pending_.size()); }
    QString FileFor(QDate day) const;

    static QString OutcomeText(Outcome outcome);
    static QByteArray Line(const QDateTime &when, Outcome outcome, const QString &barcode, const QString &event,
                           const QString &file);

private:
    struct PendingLine {
        QDate day;
        QByteArray bytes;
    };

    void Add(Outcome outcome, const QString &barcode, const QString &event, const QString &file);
    void WriteDay(const QString &path, const QByteArray &lines);

    QString folder_;
    Clock clock_;
    StateHandler stateHandler_;
    std::vector<PendingLine> pending_;
    // Day files whose tail has been checked since this run last wrote them
    // whole: only a file another run (or a failed write) left may be torn.
    QSet<QString> checked_;
    bool failing_ = false;
};

}  // namespace Catraca
