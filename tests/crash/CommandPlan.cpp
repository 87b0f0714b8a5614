#include "CommandPlan.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QThread>

#include <cstdio>

namespace Catraca {

QString Comparison::Describe() const
{
    return QStringLiteral("expected %1, applied once %2, lost %3, applied twice %4, unknown rows %5")
        .arg(expected)
        .arg(applied)
        .arg(lost)
        .arg(duplicated)
        .arg(unknown);
}

namespace CommandPlan {

namespace {

// Nine digits and a dash fill the column's 10 bytes; the rest is cut off.
QString Barcode(int number)
{
    return QStringLiteral("%1-LONG").arg(number, 9, 10, QLatin1Char('0'));
}

QString StoredBarcode(const QString &barcode)
{
    return barcode.left(10);
}

QString EventFor(int number)
{
    return number % 3 == 0 ? QStringLiteral("C") : QStringLiteral("L");
}

QString FileName(int number)
{
    return QStringLiteral("cmd-%1.xml").arg(number, 9, 10, QLatin1Char('0'));
}

void WriteAll(QFile &file, const QByteArray &bytes)
{
    if (file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

void DropWellBehaved(const QString &commandFolder, const QString &name, const QByteArray &bytes)
{
    const QString partial = commandFolder + QStringLiteral("/.") + name + QStringLiteral(".part");
    QFile file(partial);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(partial));
        std::exit(1);
    }
    WriteAll(file, bytes);
    file.close();
    if (!QFile::rename(partial, commandFolder + QLatin1Char('/') + name)) {
        std::fprintf(stderr, "cannot rename %s\n", qPrintable(partial));
        std::exit(1);
    }
}

// Opened once under its final name and filled in two to five pieces with
// pauses between them, as a writer that knows nothing of the reader would.
void DropCarelessly(const QString &commandFolder, const QString &name, const QByteArray &bytes,
                    QRandomGenerator &random)
{
    QFile file(commandFolder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    const int pieces = 2 + int(random.bounded(4));
    qsizetype written = 0;
    for (int piece = 1; piece <= pieces; ++piece) {
        const qsizetype end = piece == pieces ? bytes.size() : bytes.size() * piece / pieces;
        WriteAll(file, bytes.mid(written, end - written));
        written = end;
        if (piece < pieces)
            QThread::usleep(200 + random.bounded(3000));
    }
    file.close();
}

QString RowEscaped(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    escaped.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    return escaped;
}

}  // namespace

QList<CommandFile> Burst(QRandomGenerator &random, int first)
{
    QList<CommandFile> files;
    const int fileCount = 10 + int(random.bounded(21));
    int number = first;
    for (int index = 0; index < fileCount; ++index) {
        CommandFile file;
        file.name = FileName(number + 1);
        const int commands = 1 + int(random.bounded(3));
        for (int command = 0; command < commands; ++command) {
            ++number;
            file.commands.append({Barcode(number), EventFor(number)});
        }
        files.append(file);
    }
    return files;
}

QList<CommandFile> LargeFiles(QRandomGenerator &random, int first)
{
    QList<CommandFile> files;
    const int fileCount = 2 + int(random.bounded(2));
    int number = first;
    for (int index = 0; index < fileCount; ++index) {
        CommandFile file;
        file.name = FileName(number + 1);
        const int commands = 1500 + int(random.bounded(2501));
        for (int command = 0; command < commands; ++command) {
            ++number;
            file.commands.append({Barcode(number), EventFor(number)});
        }
        files.append(file);
    }
    return files;
}

QList<CommandFile> Sequence(int count, int first)
{
    QList<CommandFile> files;
    for (int number = first; number < first + count; ++number)
        files.append({FileName(number), {{Barcode(number), EventFor(number)}}});
    return files;
}

int CountCommands(const QList<CommandFile> &files)
{
    int count = 0;
    for (const CommandFile &file : files)
        count += int(file.commands.size());
    return count;
}

// The engine's XML form, as the tab-management system writes it.
QByteArray Packet(const QList<Command> &commands)
{
    QByteArray text = "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                      "<FIELD attrname=\"ID_COMANDA\" fieldtype=\"string\" WIDTH=\"20\"/>"
                      "<FIELD attrname=\"EVENTO\" fieldtype=\"string\" WIDTH=\"1\"/>"
                      "</FIELDS><PARAMS/></METADATA><ROWDATA>";
    for (const Command &command : commands)
        text += QStringLiteral("<ROW ID_COMANDA=\"%1\" EVENTO=\"%2\"/>")
                    .arg(RowEscaped(command.barcode), RowEscaped(command.event))
                    .toUtf8();
    text += "</ROWDATA></DATAPACKET>";
    return text;
}

void Drop(const QString &commandFolder, const CommandFile &file, WriteStyle style, QRandomGenerator &random)
{
    const QByteArray bytes = Packet(file.commands);
    if (style == WriteStyle::WellBehaved)
        DropWellBehaved(commandFolder, file.name, bytes);
    else
        DropCarelessly(commandFolder, file.name, bytes, random);
}

void DropAll(const QString &commandFolder, const QList<CommandFile> &files, WriteStyle style)
{
    QRandomGenerator random(1);
    for (const CommandFile &file : files)
        Drop(commandFolder, file, style, random);
}

Comparison Compare(const QList<CommandFile> &files, const QStringList &rows)
{
    QHash<QString, int> seen;
    for (const QString &row : rows)
        ++seen[row];
    Comparison comparison;
    for (const CommandFile &file : files) {
        for (const Command &command : file.commands) {
            ++comparison.expected;
            const QString row = StoredBarcode(command.barcode) + QLatin1Char('|') + command.event;
            const int count = seen.take(row);
            if (count == 0)
                ++comparison.lost;
            else
                ++comparison.applied;
            if (count > 1)
                comparison.duplicated += count - 1;
        }
    }
    for (const int count : std::as_const(seen))
        comparison.unknown += count;
    return comparison;
}

}  // namespace CommandPlan

}  // namespace Catraca
