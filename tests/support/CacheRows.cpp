#include "tests/support/CacheRows.h"

#include "cache/table/ClientDataSet.h"
#include "cache/table/Field.h"
#include "cache/ReleaseCache.h"
#include "tests/support/TestSupport.h"

#include <QList>

namespace Catraca {

namespace CacheRows {

void Write(const ProgramFolderFixture &folder, const QStringList &rows)
{
    ReleaseCache seed;
    TClientDataSet &table = seed.Table();
    // Insert places a row before the current one, so the last row goes in first.
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        table.Insert();
        table.FieldByName(QStringLiteral("COD_BARRA"))->SetAsString(row->section(QLatin1Char('|'), 0, 0));
        table.FieldByName(QStringLiteral("EVENTO"))->SetAsString(row->section(QLatin1Char('|'), 1));
        table.Post();
    }
    table.SaveToFile(folder.file(QStringLiteral("data.cds")), dfBinary);
}

QStringList Of(const TClientDataSet &table, Columns columns)
{
    QStringList rows;
    if (!table.Active())
        return rows;
    QList<const TField *> fields;
    if (columns == kWithIds)
        fields << table.FieldByName(QStringLiteral("ID"));
    fields << table.FieldByName(QStringLiteral("COD_BARRA")) << table.FieldByName(QStringLiteral("EVENTO"));
    for (int row = 0; row < table.ViewRowCount(); ++row) {
        QStringList cells;
        for (const TField *field : fields)
            cells << table.ViewText(row, field);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

QStringList InFile(const QString &path, Columns columns)
{
    ReleaseCache probe;
    probe.Table().LoadFromFile(path);
    return Of(probe.Table(), columns);
}

}  // namespace CacheRows

}  // namespace Catraca
