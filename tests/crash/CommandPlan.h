#pragma once

#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace Catraca {

// The command files a run writes and the table they must produce.
struct Command {
    QString barcode;  // longer than the cache column; its first 10 bytes are unique
    QString event;
};

struct CommandFile {
    QString name;  // ends in .xml
    QList<Command> commands;
};

enum class WriteStyle {
    WellBehaved,  // written under another name, then renamed into place
    Careless,     // written in place, slowly, in several chunks
};

struct Comparison {
    int expected = 0;    // commands planned
    int applied = 0;     // planned commands found exactly once
    int lost = 0;        // planned commands not found
    int duplicated = 0;  // extra copies of planned commands
    int unknown = 0;     // rows no command explains

    bool Clean() const { return lost == 0 && duplicated == 0 && unknown == 0 && applied == expected; }
    QString Describe() const;
};

namespace CommandPlan {

// Files of one to three commands each, numbered from first on.
QList<CommandFile> Burst(QRandomGenerator &random, int first);
// Two or three large files of 1,500 to 4,000 commands each, numbered from
// first on: the collector applies each in several slices.
QList<CommandFile> LargeFiles(QRandomGenerator &random, int first);
// count files of one command each, the first numbered first.
QList<CommandFile> Sequence(int count, int first);
int CountCommands(const QList<CommandFile> &files);

QByteArray Packet(const QList<Command> &commands);

// Writes one file into the folder XML.
void Drop(const QString &commandFolder, const CommandFile &file, WriteStyle style, QRandomGenerator &random);
void DropAll(const QString &commandFolder, const QList<CommandFile> &files, WriteStyle style);

// rows: data.cds as "barcode|event" lines.
Comparison Compare(const QList<CommandFile> &files, const QStringList &rows);

}  // namespace CommandPlan

}  // namespace Catraca
