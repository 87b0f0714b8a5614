#include "tests/support/CommandFiles.h"

#include "cache/packet/Packet.h"
#include "cache/packet/PacketCodec.h"
#include "cache/base/Platform.h"
#include "intake/uTXML.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <stdexcept>

namespace Catraca {

namespace CommandFiles {

namespace {

QString EscapedAttribute(const QString &value, Encoding encoding)
{
    QString escaped;
    for (const QChar character : value) {
        const char16_t code = character.unicode();
        if (code == u'&')
            escaped += QStringLiteral("&amp;");
        else if (code == u'<')
            escaped += QStringLiteral("&lt;");
        else if (code == u'>')
            escaped += QStringLiteral("&gt;");
        else if (code == u'"')
            escaped += QStringLiteral("&quot;");
        else if (code < 0x20 || (code > 0x7E && encoding == Encoding::Ansi))
            escaped += QStringLiteral("&#%1;").arg(int(code), 3, 10, QLatin1Char('0'));
        else
            escaped += character;
    }
    return escaped;
}

QString FieldElement(const Column &column)
{
    QString element = QStringLiteral("<FIELD attrname=\"%1\" fieldtype=\"%2\"").arg(column.name, column.fieldType);
    if (column.width > 0)
        element += QStringLiteral(" WIDTH=\"%1\"").arg(column.width);
    if (!column.subtype.isEmpty())
        element += QStringLiteral(" SUBTYPE=\"%1\"").arg(column.subtype);
    return element + QStringLiteral("/>");
}

QString RowElement(const QList<Column> &columns, const Row &row, Encoding encoding)
{
    QString element = QStringLiteral("<ROW");
    if (row.rowState >= 0)
        element += QStringLiteral(" RowState=\"%1\"").arg(row.rowState);
    for (int index = 0; index < columns.size() && index < row.values.size(); ++index) {
        if (!row.values.at(index).isNull())
            element += QStringLiteral(" %1=\"%2\"").arg(columns.at(index).name, EscapedAttribute(row.values.at(index), encoding));
    }
    return element + QStringLiteral("/>");
}

}  // namespace

QByteArray XmlPacket(const QList<Column> &columns, const QList<Row> &rows, Encoding encoding,
                     const QString &paramsAttributes)
{
    QString text = encoding == Encoding::Utf8
        ? QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>")
        : QStringLiteral("<?xml version=\"1.0\" standalone=\"yes\"?>");
    text += QStringLiteral("  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
    for (const Column &column : columns)
        text += FieldElement(column);
    text += QStringLiteral("</FIELDS><PARAMS");
    if (!paramsAttributes.isEmpty())
        text += QLatin1Char(' ') + paramsAttributes;
    text += QStringLiteral("/></METADATA><ROWDATA>");
    for (const Row &row : rows)
        text += RowElement(columns, row, encoding);
    text += QStringLiteral("</ROWDATA></DATAPACKET>");
    // Ansi text holds nothing outside ASCII any more, so both forms are UTF-8 bytes.
    return text.toUtf8();
}

QByteArray Commands(const QList<Command> &commands)
{
    const QList<Column> columns{{QStringLiteral("ID_COMANDA"), QStringLiteral("string"), 20},
                                {QStringLiteral("EVENTO"), QStringLiteral("string"), 1}};
    QList<Row> rows;
    for (const Command &command : commands)
        rows.append(Row{{command.first, command.second}});
    return XmlPacket(columns, rows);
}

QByteArray BinaryCommands(const QList<Command> &commands, bool integerId)
{
    Packet packet;
    PacketColumn id;
    id.name = QStringLiteral("ID_COMANDA");
    id.kind = integerId ? ColumnKind::SignedInt : ColumnKind::AnsiString;
    id.size = integerId ? 4 : 20;
    PacketColumn event;
    event.name = QStringLiteral("EVENTO");
    event.kind = ColumnKind::AnsiString;
    event.size = 1;
    packet.columns = {id, event};
    for (const Command &command : commands) {
        PacketRow row;
        if (integerId)
            row.cells.emplace_back(qint64(command.first.toLongLong()));
        else
            row.cells.emplace_back(command.first.toLatin1());
        row.cells.emplace_back(command.second.toLatin1());
        packet.rows.push_back(std::move(row));
    }
    return PacketCodec::EncodeBinary(packet);
}

QString CommandFolder(const ProgramFolderFixture &folder)
{
    return folder.file(QStringLiteral("XML"));
}

QString Drop(const ProgramFolderFixture &folder, const QString &name, const QByteArray &bytes)
{
    if (!QDir().mkpath(CommandFolder(folder)))
        throw std::runtime_error("cannot create the command folder");
    const QString path = CommandFolder(folder) + Platform::PathSeparator() + name;
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
        throw std::runtime_error("cannot write a command file");
    // A file its writer finished a while ago: the reader gives a fresh file
    // that does not parse time to be finished.
    if (!out.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime))
        throw std::runtime_error("cannot date a command file");
    return path;
}

QStringList EntriesLeft(const ProgramFolderFixture &folder)
{
    return QDir(CommandFolder(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString WorkFilePath(const ProgramFolderFixture &folder)
{
    return folder.file(QStringLiteral("XMLQuiboIntegração"));
}

void ConfigureLikeTheCollector(TXML &reader)
{
    reader.SetNome_XML(QStringLiteral("QuiboIntegração"));
    reader.SetTipoArquivo(QString(Platform::PathSeparator()) + QStringLiteral("*.xml"));
    reader.SetrFieldName01(QStringLiteral("ID_COMANDA"));
    reader.SetrFieldName02(QStringLiteral("EVENTO"));
}

QStringList RecordsOf(const TXML &reader)
{
    QStringList records;
    for (int index = 0; index < reader.CountLista(); ++index) {
        const PGravaXML record = reader.GetItemLista(index);
        records.append(record->Field01 + QLatin1Char('|') + record->Field02);
    }
    return records;
}

}  // namespace CommandFiles

}  // namespace Catraca
