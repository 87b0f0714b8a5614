#pragma once

#include "cache/packet/Packet.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace Catraca {

// The data every scenario works on: a release cache of N tabs, each with a
// barcode of the full column width, and command records for some of them.
namespace CacheFixtures {

// The barcode of the tab in row `row`, as the cache stores it ("ab00000042").
QString Barcode(int row);

// A barcode of the same shape that no cache of `rows` rows holds.
QString MissingBarcode(int rows);

// The release cache's packet with `rows` rows, every event "C".
Packet CachePacket(int rows);
QByteArray CacheFileBytes(int rows);  // its binary form, as data.cds holds it

// The barcodes of a cache packet, as the stored bytes of the column.
std::vector<QByteArray> StoredBarcodes(const Packet &cache);

struct Command {
    QString barcode;
    QString event;
};

// `count` commands for rows spread evenly over a cache of `rows` rows, so a
// search scans half the table on average and the cache keeps its size.
std::vector<Command> CommandsFor(int count, int rows, const QString &event);

// A command file as the tab-management system drops it: an XML packet with
// the columns ID_COMANDA and EVENTO.
QByteArray CommandFileXml(const std::vector<Command> &commands);

}  // namespace CacheFixtures

}  // namespace Catraca
