#pragma once

#include <QString>
#include <QStringList>

namespace Catraca {

class ProgramFolderFixture;
class TClientDataSet;

// Rows of the release cache as "code|event" texts, for short comparisons.
namespace CacheRows {

// Writes the fixture's data.cds as the program writes it, with these
// "code|event" rows in this order.
void Write(const ProgramFolderFixture &folder, const QStringList &rows);

// What a row's text holds: the tab's code and event, or the row's ID before
// them ("id|code|event") where a test follows the numbering of the rows.
enum Columns { kCodeEvent, kWithIds };

// The rows of an open table from the first on, as the views show them: a
// pending insert or edit is in its place. Empty for a closed table. The
// current row and the table's state stay as they are.
QStringList Of(const TClientDataSet &table, Columns columns = kCodeEvent);

// The rows of a cache file, loaded into a fresh release cache as at start-up.
QStringList InFile(const QString &path, Columns columns = kCodeEvent);

}  // namespace CacheRows

}  // namespace Catraca
