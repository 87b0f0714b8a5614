#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace Catraca {

class ProgramFolderFixture;
class TXML;

// Builds command files (data packets) the way the tab-management system
// writes them, and drops them into the folder XML of a test's program folder.
namespace CommandFiles {

struct Column {
    QString name;
    QString fieldType = QStringLiteral("string");  // string, string.uni, i4, ...
    int width = 20;                                // WIDTH; 0 leaves it out
    QString subtype = {};                          // SUBTYPE; empty leaves it out
};

struct Row {
    QStringList values;  // one per column; a null QString leaves the column blank
    int rowState = -1;   // RowState of a change-log row; -1 writes none
};

enum class Encoding { Ansi, Utf8 };

// An XML data packet: the engine's header line, two blanks, then the packet
// without any other white space. Ansi writes no encoding and every character
// outside ASCII as a character reference; Utf8 declares UTF-8.
QByteArray XmlPacket(const QList<Column> &columns, const QList<Row> &rows,
                     Encoding encoding = Encoding::Ansi, const QString &paramsAttributes = {});

using Command = std::pair<QString, QString>;  // ID_COMANDA, EVENTO

// A packet with the columns ID_COMANDA and EVENTO, one row per command.
QByteArray Commands(const QList<Command> &commands);

// The same as a binary packet; ID_COMANDA as an integer column when asked.
QByteArray BinaryCommands(const QList<Command> &commands, bool integerId);

// The folder XML inside the fixture's program folder, ending without separator.
QString CommandFolder(const ProgramFolderFixture &folder);
// Writes XML/<name>, creating the folder XML when needed; returns the path.
QString Drop(const ProgramFolderFixture &folder, const QString &name, const QByteArray &bytes);
// Names of every entry left in XML (files and folders), sorted.
QStringList EntriesLeft(const ProgramFolderFixture &folder);

// The reader's work file in the program folder.
QString WorkFilePath(const ProgramFolderFixture &folder);

// Gives the reader the settings the collector gives it.
void ConfigureLikeTheCollector(TXML &reader);

// Every record of the reader's list as "barcode|event".
QStringList RecordsOf(const TXML &reader);

}  // namespace CommandFiles

}  // namespace Catraca
