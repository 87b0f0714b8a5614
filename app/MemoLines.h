#pragma once

#include "intake/LogLines.h"

#include <QString>
#include <QStringList>

class QPlainTextEdit;

namespace Catraca {

// A memo's text as a list of lines, each ended by a line break, so that
// adding an empty line adds a visible line too.
namespace MemoLines {

// A memo keeps its newest lines only: the gate journal keeps every line on
// disk, and a memo that only grew would take the memory of a program that
// runs for weeks.
constexpr int kKeptLines = 10000;

// Makes the memo drop its oldest lines past kKeptLines (and keep no undo
// history, which would grow as well).
void KeepNewestLines(QPlainTextEdit *memo);

// Appends one line at the end of the memo and scrolls it into view.
void Add(QPlainTextEdit *memo, const QString &line);

// The memo's lines; a last line without a line break counts as a line.
QStringList Lines(const QPlainTextEdit *memo);

}  // namespace MemoLines

// Hands a memo to the collector as the place for its log lines.
class MemoLogLines : public LogLines {
public:
    explicit MemoLogLines(QPlainTextEdit *memo = nullptr) : memo_(memo) {}
    void SetMemo(QPlainTextEdit *memo) { memo_ = memo; }
    void Add(const QString &line) override;

private:
    QPlainTextEdit *memo_;
};

}  // namespace Catraca
