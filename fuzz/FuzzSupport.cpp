#include "FuzzSupport.h"

#include "cache/base/AnsiText.h"
#include "cache/table/ClientDataSet.h"
#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/packet/PacketCodec.h"
#include "cache/ReleaseCache.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace Catraca {

namespace FuzzSupport {

namespace {

void ReadEveryCell(TClientDataSet &table)
{
    table.First();
    if (table.IsEmpty())
        return;
    int visited = 0;
    while (!table.Eof()) {
        for (int column = 0; column < table.FieldCount(); ++column)
            (void)table.Fields(column)->AsString();
        table.Next();
        if (++visited > table.RecordCount())
            Fail("the cursor visited more rows than the table holds");
    }
}

// Writing may refuse a value the form cannot hold; what it does write must
// read back, and a second trip must change nothing.
void CheckRoundTrip(const Packet &packet, bool binary, bool utf8)
{
    QByteArray first;
    try {
        first = binary ? PacketCodec::EncodeBinary(packet) : PacketCodec::EncodeXml(packet, utf8);
    } catch (const EDBClient &) {
        return;
    }
    Packet reread;
    try {
        reread = PacketCodec::Decode(first);
    } catch (const EDatabaseError &error) {
        Fail("a packet we wrote does not read back", error.Message());
    }
    QByteArray second;
    try {
        second = binary ? PacketCodec::EncodeBinary(reread) : PacketCodec::EncodeXml(reread, utf8);
    } catch (const EDatabaseError &error) {
        Fail("a packet read back from our own output cannot be written again", error.Message());
    }
    if (first != second) {
        qsizetype at = 0;
        while (at < first.size() && at < second.size() && first[at] == second[at])
            ++at;
        const qsizetype from = std::max<qsizetype>(at - 16, 0);
        Fail("a packet changed on its second trip through the codec",
             QStringLiteral("(%1, first difference at byte %2: %3 | %4)")
                 .arg(binary ? QStringLiteral("binary") : utf8 ? QStringLiteral("XML UTF-8") : QStringLiteral("XML"))
                 .arg(at)
                 .arg(QString::fromLatin1(first.mid(from, 48).toPercentEncoding()),
                      QString::fromLatin1(second.mid(from, 48).toPercentEncoding())));
    }
}

// The packet as a table keeps it: 8-bit string values cut to their column's
// width, without trailing blanks.
Packet AsStored(Packet packet)
{
    for (qsizetype column = 0; column < packet.columns.size(); ++column) {
        const PacketColumn &description = packet.columns[column];
        if (description.kind != ColumnKind::AnsiString || description.isArray)
            continue;
        for (PacketRow &row : packet.rows) {
            if (auto *bytes = std::get_if<QByteArray>(&row.cells[std::size_t(column)]))
                AnsiText::FitToWidth(*bytes, description.size);
        }
    }
    return packet;
}

// A table writes its binary form straight from its columns; that must be the
// very bytes of the packet it was loaded from, as the table stores its values.
void CheckTableWritesItsPacket(TClientDataSet &table, const Packet &packet)
{
    QByteArray fromPacket;
    try {
        fromPacket = PacketCodec::EncodeBinary(AsStored(packet));
    } catch (const EDBClient &) {
        return;
    }
    QByteArray fromTable;
    try {
        fromTable = table.SaveToBytes(dfBinary);
    } catch (const EDatabaseError &error) {
        Fail("a table cannot write the packet it was loaded from", error.Message());
    }
    if (fromTable != fromPacket)
        Fail("a table writes other bytes than the packet it was loaded from");
}

void LoadIntoReleaseCache(const Packet &packet)
{
    ReleaseCache cache;
    try {
        cache.Table().LoadFromPacket(packet);
    } catch (const EDatabaseError &) {
        return;
    }
    ReadEveryCell(cache.Table());
}

}  // namespace

QByteArray Bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

bool DecodeRefusingCleanly(const QByteArray &bytes, Packet &packet)
{
    try {
        packet = PacketCodec::Decode(bytes);
        return true;
    } catch (const EDatabaseError &) {
        return false;
    }
}

void Exercise(const Packet &packet)
{
    TClientDataSet table;
    try {
        table.LoadFromPacket(packet);
    } catch (const EDatabaseError &) {
        return;
    }
    ReadEveryCell(table);
    CheckTableWritesItsPacket(table, packet);
    CheckRoundTrip(packet, true, false);
    CheckRoundTrip(packet, false, false);
    CheckRoundTrip(packet, false, true);
    LoadIntoReleaseCache(packet);
}

void Fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "FUZZ FAILURE: %s %s\n", what, qUtf8Printable(detail));
    std::abort();
}

}  // namespace FuzzSupport

}  // namespace Catraca
