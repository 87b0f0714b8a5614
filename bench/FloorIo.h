#pragma once

#include <QByteArray>
#include <QString>

namespace Catraca {

// The physical floors of the save and load scenarios: what the operating
// system needs at the least to put bytes durably in a file, or to read them,
// with no table, no packet and no error messages around it.
namespace FloorIo {

// One write of the bytes to `target` + ".tmp", flushed to disk, then renamed
// over `target`.
void WriteFlushRename(const QString &target, const QByteArray &bytes);

// The same, then the folder flushed too, which makes the rename itself
// survive a power cut (on Windows the rename is written through instead).
void WriteFlushRenameFlushFolder(const QString &target, const QByteArray &bytes);

// The whole file in memory.
QByteArray ReadAll(const QString &path);

}  // namespace FloorIo

}  // namespace Catraca
