#include "app/journal/GateJournal.h"

#include "cache/base/Exceptions.h"
#include "cache/base/Platform.h"

#include <QDir>

#include <algorithm>

namespace Catraca {

const QString GateJournal::FolderName = QStringLiteral("Journal");
const QByteArray GateJournal::Header = QByteArrayLiteral("time,outcome,barcode,event,file\n");

namespace {

// RFC 4180: a field that holds a comma, a quote or a line break is quoted,
// its quotes doubled.
void AppendField(QByteArray &line, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    if (utf8.contains(',') || utf8.contains('"') || utf8.contains('\n') || utf8.contains('\r')) {
        line += '"';
        line += QByteArray(utf8).replace('"', "\"\"");
        line += '"';
    } else {
        line += utf8;
    }
}

}  // namespace

GateJournal::GateJournal(const QString &folder, Clock clock)
    : folder_(QDir::toNativeSeparators(folder)), clock_(std::move(clock))
{
    if (!folder_.endsWith(Platform::PathSeparator()))
        folder_ += Platform::PathSeparator();
    if (!clock_)
        clock_ = [] { return QDateTime::currentDateTime(); };
}

QString GateJournal::FileFor(QDate day) const
{
    return folder_ + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv");
}

QString GateJournal::OutcomeText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Released: return QStringLiteral("released");
    case Outcome::Blocked: return QStringLiteral("blocked");
    case Outcome::NotRegistered: return QStringLiteral("not registered");
    case Outcome::OtherEvent: return QStringLiteral("other event");
    case Outcome::CommandApplied: return QStringLiteral("command applied");
    case Outcome::FileRefused: return QStringLiteral("command file refused");
    }
    throw Exception(QStringLiteral("Unknown journal outcome %1").arg(int(outcome)));
}

QByteArray GateJournal::Line(const QDateTime &when, Outcome outcome, const QString &barcode, const QString &event,
                             const QString &file)
{
    QByteArray line = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    for (const QString &field : {OutcomeText(outcome), barcode, event, file}) {
        line += ',';
        AppendField(line, field);
    }
    line += '\n';
    return line;
}

void GateJournal::Add(Outcome outcome, const QString &barcode, const QString &event, const QString &file)
{
    const QDateTime now = clock_();
    pending_.push_back({now.date(), Line(now, outcome, barcode, event, file)});
}

void GateJournal::Decision(Outcome outcome, const QString &barcode, const QString &event)
{
    Add(outcome, barcode, event, QString());
    Flush();
}

void GateJournal::CommandApplied(const QString &file, const QString &barcode, const QString &event)
{
    Add(Outcome::CommandApplied, barcode, event, file);
}

void GateJournal::FileRefused(const QString &file)
{
    Add(Outcome::FileRefused, QString(), QString(), file);
}

// Lines go out oldest first, one write per day file; what fails stays pending
// for the next flush, in its order.
void GateJournal::Flush()
{
    std::size_t written = 0;
    try {
        while (written < pending_.size()) {
            const QDate day = pending_[written].day;
            QByteArray lines;
            std::size_t end = written;
            for (; end < pending_.size() && pending_[end].day == day; ++end)
                lines += pending_[end].bytes;
            WriteDay(FileFor(day), lines);
            written = end;
        }
    } catch (const Exception &error) {
        pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(written));
        if (!failing_) {
            failing_ = true;
            if (stateHandler_)
                stateHandler_(error.Message());
        }
        return;
    }
    pending_.clear();
    if (failing_) {
        failing_ = false;
        if (stateHandler_)
            stateHandler_(QString());
    }
}

// A tail without its line break is what a kill or a failed write left: it
// is cut off before anything is appended, so it never joins the next line.
void GateJournal::WriteDay(const QString &path, const QByteArray &lines)
{
    // A folder that cannot be made shows in the append's own error.
    QDir().mkpath(folder_);
    if (!checked_.contains(path) && Platform::FileSize(path) > 0) {
        const QByteArray content = Platform::ReadWholeFile(path);
        if (!content.endsWith('\n'))
            Platform::TruncateFile(path, content.lastIndexOf('\n') + 1);
    }
    checked_.insert(path);
    const qint64 sizeBefore = std::max<qint64>(Platform::FileSize(path), 0);
    try {
        Platform::AppendDurably(path, sizeBefore == 0 ? Header + lines : lines);
    } catch (const Exception &) {
        // The lines stay pending and go out again, so whatever part of them
        // reached the file is cut off now, or they would be counted twice.
        // Where even that fails, its error is the one reported, and the tail
        // is checked again before the next append.
        checked_.remove(path);
        if (Platform::FileSize(path) > sizeBefore)
            Platform::TruncateFile(path, sizeBefore);
        throw;
    }
}

}  // namespace Catraca
