#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

class ProgramFolderFixture;
class TClientDataSet;

// Rows of the release cache as "code/event" texts, for short comparisons.
namespace CacheRows {

using Row = std::pair<QString, QString>;  // COD_BARRA, EVENTO

// Writes the fixture's data.cds as the program writes it, rows in this order.
void Write(const ProgramFolderFixture &folder, const QList<Row> &rows);

// The rows of an open table from the first on; empty for a closed table.
// Moves the table's current row.
QStringList Of(TClientDataSet &table);

// The rows of a cache file, loaded into a fresh release cache.
QStringList InFile(const QString &path);

}  // namespace CacheRows
