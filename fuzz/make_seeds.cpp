// Writes the seed corpora: packets this program writes itself (the release
// cache, command files in every form the reader takes, random tables), and
// hand-made broken ones. Run once; its output is kept in fuzz/corpus.
#include "cache/table/ClientDataSet.h"
#include "cache/table/Field.h"
#include "cache/packet/PacketCodec.h"
#include "cache/ReleaseCache.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/PacketSamples.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>

using namespace Catraca;

namespace {

QString corpusRoot;

void Write(const QString &target, const QString &name, const QByteArray &bytes)
{
    const QString folder = corpusRoot + QLatin1Char('/') + target;
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qUtf8Printable(file.fileName()));
}

QByteArray CacheWithRows()
{
    ReleaseCache cache;
    TClientDataSet &table = cache.Table();
    const char *const rows[][2] = {{"AB123", "C"}, {"0000000042", "L"}, {"caf\xc3\xa9", "C"}};
    for (const auto &row : rows) {
        table.Insert();
        table.FieldByName(QStringLiteral("COD_BARRA"))->SetAsString(QString::fromUtf8(row[0]));
        table.FieldByName(QStringLiteral("EVENTO"))->SetAsString(QString::fromLatin1(row[1]));
        table.Post();
    }
    return table.SaveToBytes(dfBinary);
}

QByteArray Truncated(const QByteArray &bytes, qsizetype size)
{
    return bytes.left(size);
}

// A binary command file whose one string column claims a huge length.
QByteArray HugeLengthPrefix()
{
    PacketSamples::BinaryBuilder builder;
    builder.Header(1, 1)
        .Name("ID_COMANDA").U16(0x49).U16(0).U16(0)  // string, variable, 4-byte prefix
        .U16(0)
        .Records()
        .U8(0).U8(0).U32(0xFFFFFFF0u).Raw("AB");
    return builder.Bytes();
}

void BinarySeeds()
{
    const QList<CommandFiles::Command> commands = {{"AB123", "L"}, {"0000000042", "C"}, {"ab1", "L"}};
    Write("binary", "release-cache-empty.cds", ReleaseCache::DesignTimePacket());
    const QByteArray cache = CacheWithRows();
    Write("binary", "release-cache-rows.cds", cache);
    Write("binary", "commands-string-id.cds", CommandFiles::BinaryCommands(commands, false));
    Write("binary", "commands-integer-id.cds", CommandFiles::BinaryCommands(commands, true));
    QRandomGenerator random(20261209);
    for (int index = 0; index < 4; ++index)
        Write("binary", QStringLiteral("random-%1.cds").arg(index),
              PacketCodec::EncodeBinary(PacketSamples::RandomPacket(random)));
    Write("binary", "broken-truncated-header.cds", Truncated(cache, 17));
    Write("binary", "broken-truncated-row.cds", Truncated(cache, cache.size() - 3));
    Write("binary", "broken-huge-length.cds", HugeLengthPrefix());
}

void XmlSeeds()
{
    using namespace CommandFiles;
    const QList<Column> columns = {{QStringLiteral("ID_COMANDA")}, {QStringLiteral("EVENTO"), QStringLiteral("string"), 1}};
    const QList<Row> rows = {{{QStringLiteral("AB123"), QStringLiteral("L")}}, {{QStringLiteral("Ç\r\n"), QStringLiteral("C")}}};
    Write("xml", "commands-ansi.xml", XmlPacket(columns, rows, Encoding::Ansi));
    Write("xml", "commands-utf8.xml", XmlPacket(columns, rows, Encoding::Utf8));
    const QList<Row> logged = {{{QStringLiteral("A1"), QStringLiteral("C")}, 4},
                               {{QStringLiteral("A1"), QStringLiteral("C")}, 1},
                               {{QString(), QStringLiteral("L")}, 8}};
    Write("xml", "commands-change-log.xml",
          XmlPacket(columns, logged, Encoding::Ansi, QStringLiteral("CHANGE_LOG=\"1 0 4 2 1 8\"")));
    const QList<Column> integerId = {{QStringLiteral("id_comanda"), QStringLiteral("i4"), 0}, {QStringLiteral("evento")}};
    Write("xml", "commands-integer-id.xml", XmlPacket(integerId, {{{QStringLiteral("42"), QStringLiteral("L")}}}));
    QRandomGenerator random(7);
    for (int index = 0; index < 4; ++index) {
        const Packet packet = PacketSamples::RandomPacket(random);
        Write("xml", QStringLiteral("random-%1.xml").arg(index), PacketCodec::EncodeXml(packet, index % 2 == 1));
    }
    Write("xml", "release-cache.xml", PacketCodec::EncodeXml(PacketCodec::Decode(CacheWithRows()), false));
    // Windows-1252 bytes with no encoding declared.
    Write("xml", "ansi-bytes.xml",
          QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                     "<FIELD attrname=\"ID_COMANDA\" fieldtype=\"string\" WIDTH=\"10\"/>"
                     "<FIELD attrname=\"EVENTO\" fieldtype=\"string\" WIDTH=\"1\"/></FIELDS><PARAMS/></METADATA>"
                     "<ROWDATA><ROW ID_COMANDA=\"caf\xe9\x80\" EVENTO=\"L\"/></ROWDATA></DATAPACKET>"));
    Write("xml", "broken-unclosed.xml",
          QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                     "<FIELD attrname=\"ID_COMANDA\" fieldtype=\"string\" WIDTH=\"10\"/></FIELDS><PARAMS/></METADATA>"
                     "<ROWDATA><ROW ID_COMANDA=\"A"));
    Write("xml", "broken-types.xml",
          QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                     "<FIELD attrname=\"D\" fieldtype=\"date\"/><FIELD attrname=\"T\" fieldtype=\"dateTime\"/>"
                     "<FIELD attrname=\"B\" fieldtype=\"bin.hex\" SUBTYPE=\"Binary\"/>"
                     "<FIELD attrname=\"N\" fieldtype=\"fixed\" WIDTH=\"99\" DECIMALS=\"-4\"/></FIELDS>"
                     "<PARAMS CHANGE_LOG=\"1 0\" AUTOINCVALUE=\"x\"/></METADATA>"
                     "<ROWDATA><ROW D=\"20241399\" T=\"2024\" B=\"@@@\" N=\"1,5e999\"/></ROWDATA></DATAPACKET>"));
    Write("xml", "broken-entities.xml",
          QByteArray("<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                     "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"X\" fieldtype=\"string\" "
                     "WIDTH=\"5\"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW X=\"&b;&#0;&#xD800;\"/></ROWDATA>"
                     "</DATAPACKET>"));
}

void CommandSeeds()
{
    const QDir xml(corpusRoot + QStringLiteral("/xml"));
    for (const QString &name : {QStringLiteral("commands-ansi.xml"), QStringLiteral("commands-utf8.xml"),
                                QStringLiteral("commands-change-log.xml"), QStringLiteral("commands-integer-id.xml"),
                                QStringLiteral("ansi-bytes.xml"), QStringLiteral("broken-unclosed.xml")}) {
        QFile file(xml.filePath(name));
        file.open(QIODevice::ReadOnly);
        Write("command", name, file.readAll());
    }
    const QList<CommandFiles::Command> commands = {{"AB123", "L"}, {"ABCDEFGHIJKLM", "LIBERADO"}, {"", "C"}};
    Write("command", "commands-binary.cds", CommandFiles::BinaryCommands(commands, false));
    Write("command", "empty.xml", QByteArray());
    Write("command", "no-evento.xml",
          CommandFiles::XmlPacket({{QStringLiteral("ID_COMANDA")}}, {{{QStringLiteral("X")}}}));
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
        return 2;
    }
    corpusRoot = QString::fromLocal8Bit(argv[1]);
    BinarySeeds();
    XmlSeeds();
    CommandSeeds();
    return 0;
}
