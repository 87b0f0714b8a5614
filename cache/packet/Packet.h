#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <variant>
#include <vector>

namespace Catraca {

// The decoded content of a data packet: its column descriptions, table
// attributes and visible rows. Both packet forms (binary and XML) read into
// and write from this one model, so a table never cares which form a file had.

enum class ColumnKind {
    SignedInt,    // size 1, 2, 4 or 8 bytes
    UnsignedInt,  // size 1, 2, 4 or 8 bytes
    Boolean,
    Float,        // IEEE double
    Bcd,          // fixed-point decimal; cell holds its decimal text (QString)
    Date,         // cell: day number, 0001-01-01 is day 1
    Time,         // cell: milliseconds since midnight
    Timestamp,    // cell: double, day number * 86,400,000 + milliseconds
    AnsiString,   // cell: bytes of the 8-bit code page
    WideString,   // cell: QString
    Blob,         // cell: raw bytes (memos, graphics, binary)
    Nested,       // a nested table; kept opaque
};

// A column or table attribute the packet carries that no typed member holds.
// Kept so that a load followed by a save does not drop what we do not use.
struct PacketAttribute {
    QByteArray name;
    quint32 typeWord = 0;  // binary type word of the value
    QByteArray value;      // the value's bytes as the binary form stores them
};

struct PacketColumn {
    QString name;
    ColumnKind kind = ColumnKind::AnsiString;
    int size = 0;          // fixed-size kinds: bytes; strings: width (WIDTH)
    int decimals = 0;      // Bcd: digits after the point
    QString subtype;       // "Autoinc", "Money", "Text", "WideText", "Binary", "Graphics", "FixedChar", ...
    bool readOnly = false;
    bool required = false;
    bool hidden = false;
    bool isArray = false;
    QList<PacketAttribute> extraAttributes;
};

// One cell: blank (monostate) or a value whose meaning the column's kind gives.
//  qint64     SignedInt, UnsignedInt (up to 2^63-1), Boolean (0/1), Date, Time
//  double     Float, Timestamp
//  QByteArray AnsiString, Blob, Nested
//  QString    WideString, Bcd
using Cell = std::variant<std::monostate, qint64, double, QByteArray, QString>;

struct PacketRow {
    std::vector<Cell> cells;  // one per column, in column order
};

struct Packet {
    QList<PacketColumn> columns;
    std::vector<PacketRow> rows;               // visible rows, change log resolved
    std::optional<qint32> autoIncValue;        // AUTOINCVALUE: next number to give
    QList<PacketAttribute> tableAttributes;    // other table attributes, kept as read

    int columnIndex(const QString &name) const;  // case-insensitive; -1 when absent
};

}  // namespace Catraca
