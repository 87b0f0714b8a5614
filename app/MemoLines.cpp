#include "app/MemoLines.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace Catraca {

namespace MemoLines {

// Every line ends in a line break, so the memo has one block more than lines:
// the empty one the next line goes into.
void KeepNewestLines(QPlainTextEdit *memo)
{
    memo->setMaximumBlockCount(kKeptLines + 1);
}

void Add(QPlainTextEdit *memo, const QString &line)
{
    QTextCursor cursor(memo->document());
    cursor.movePosition(QTextCursor::End);
    // Text the operator typed without a final line break stays its own line.
    if (!cursor.block().text().isEmpty())
        cursor.insertBlock();
    cursor.insertText(line);
    cursor.insertBlock();
    memo->setTextCursor(cursor);
    memo->ensureCursorVisible();
}

QStringList Lines(const QPlainTextEdit *memo)
{
    QStringList lines = memo->toPlainText().split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

}  // namespace MemoLines

void MemoLogLines::Add(const QString &line)
{
    if (memo_)
        MemoLines::Add(memo_, line);
}

}  // namespace Catraca
