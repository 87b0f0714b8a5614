#include "tests/support/CacheRows.h"

#include "cache/table/ClientDataSet.h"
#include "cache/table/Field.h"
#include "cache/ReleaseCache.h"
#include "tests/support/TestSupport.h"

namespace CacheRows {

void Write(const ProgramFolderFixture &folder, const QList<Row> &rows)
{
    ReleaseCache seed;
    TClientDataSet &table = seed.Table();
    // Insert places a row before the current one, so the last row goes in first.
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        table.Insert();
        table.FieldByName(QStringLiteral("COD_BARRA"))->SetAsString(row->first);
        table.FieldByName(QStringLiteral("EVENTO"))->SetAsString(row->second);
        table.Post();
    }
    table.SaveToFile(folder.file(QStringLiteral("data.cds")), dfBinary);
}

QStringList Of(TClientDataSet &table)
{
    QStringList rows;
    if (!table.Active())
        return rows;
    table.First();
    while (!table.IsEmpty() && !table.Eof()) {
        rows << table.FieldByName(QStringLiteral("COD_BARRA"))->AsString() + QLatin1Char('/')
                    + table.FieldByName(QStringLiteral("EVENTO"))->AsString();
        table.Next();
    }
    return rows;
}

QStringList InFile(const QString &path)
{
    ReleaseCache probe;
    probe.Table().LoadFromFile(path);
    return Of(probe.Table());
}

}  // namespace CacheRows
