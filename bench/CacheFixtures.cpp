#include "CacheFixtures.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/PacketCodec.h"
#include "cache/ReleaseCache.h"

#include <stdexcept>

namespace Catraca {

namespace CacheFixtures {
namespace {

constexpr int kBarcodeWidth = 10;

PacketColumn StringColumn(const QString &name, int width)
{
    PacketColumn column;
    column.name = name;
    column.kind = ColumnKind::AnsiString;
    column.size = width;
    return column;
}

}  // namespace

QString Barcode(int row)
{
    return QStringLiteral("ab%1").arg(row, kBarcodeWidth - 2, 10, QLatin1Char('0'));
}

QString MissingBarcode(int rows)
{
    // Shares its first characters with every stored barcode, so each
    // comparison runs a few bytes before it fails, as a real miss does.
    return Barcode(rows * 10 + 1).toUpper();
}

Packet CachePacket(int rows)
{
    Packet packet = PacketCodec::Decode(ReleaseCache::DesignTimePacket());
    const int idColumn = packet.columnIndex(QStringLiteral("ID"));
    const int barcodeColumn = packet.columnIndex(QStringLiteral("COD_BARRA"));
    const int eventColumn = packet.columnIndex(QStringLiteral("EVENTO"));
    if (idColumn < 0 || barcodeColumn < 0 || eventColumn < 0)
        throw std::runtime_error("the design-time packet lacks a cache column");
    packet.rows.reserve(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        PacketRow packetRow;
        packetRow.cells.resize(static_cast<size_t>(packet.columns.size()));
        packetRow.cells[static_cast<size_t>(idColumn)] = qint64(row + 1);
        packetRow.cells[static_cast<size_t>(barcodeColumn)] =
            AnsiText::FromUnicode(Barcode(row), kBarcodeWidth);
        packetRow.cells[static_cast<size_t>(eventColumn)] = QByteArray("C");
        packet.rows.push_back(std::move(packetRow));
    }
    packet.autoIncValue = rows + 1;
    return packet;
}

QByteArray CacheFileBytes(int rows) { return PacketCodec::EncodeBinary(CachePacket(rows)); }

std::vector<QByteArray> StoredBarcodes(const Packet &cache)
{
    const int barcodeColumn = cache.columnIndex(QStringLiteral("COD_BARRA"));
    std::vector<QByteArray> barcodes;
    barcodes.reserve(cache.rows.size());
    for (const PacketRow &row : cache.rows)
        barcodes.push_back(std::get<QByteArray>(row.cells[static_cast<size_t>(barcodeColumn)]));
    return barcodes;
}

std::vector<Command> CommandsFor(int count, int rows, const QString &event)
{
    std::vector<Command> commands;
    commands.reserve(static_cast<size_t>(count));
    for (int index = 0; index < count; ++index) {
        const long long row = (static_cast<long long>(index) * 2 + 1) * rows / (2LL * count);
        commands.push_back({Barcode(static_cast<int>(row)), event});
    }
    return commands;
}

QByteArray CommandFileXml(const std::vector<Command> &commands)
{
    Packet packet;
    packet.columns.push_back(StringColumn(QStringLiteral("ID_COMANDA"), 20));
    packet.columns.push_back(StringColumn(QStringLiteral("EVENTO"), 1));
    packet.rows.reserve(commands.size());
    for (const Command &command : commands) {
        PacketRow row;
        row.cells.push_back(AnsiText::FromUnicode(command.barcode, 20));
        row.cells.push_back(AnsiText::FromUnicode(command.event, 1));
        packet.rows.push_back(std::move(row));
    }
    return PacketCodec::EncodeXml(packet, false);
}

}  // namespace CacheFixtures

}  // namespace Catraca
