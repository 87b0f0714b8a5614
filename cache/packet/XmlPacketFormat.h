#pragma once

#include "cache/packet/Packet.h"

#include <QByteArray>
#include <QString>

namespace Catraca {

// What the XML reader and writer of packets agree on: type names, the
// attributes they keep for themselves, the memo subtypes.
namespace XmlPacket::Format {

// Column attribute that keeps the description (FIELDS, PARAMS) of a nested
// table as XML text, so that it is written back as it was read.
inline const QByteArray kNestedMetadata = "nested.metadata";
inline const QString kRowState = QStringLiteral("RowState");

struct FieldType {
    const char *name;
    ColumnKind kind;
    int size;             // 0: from WIDTH
    const char *subtype;  // the variant of the kind that this type name stands for
};

constexpr FieldType kFieldTypes[] = {
    {"string", ColumnKind::AnsiString, 0, ""},      {"string.uni", ColumnKind::WideString, 0, ""},
    {"i1", ColumnKind::SignedInt, 1, ""},           {"i2", ColumnKind::SignedInt, 2, ""},
    {"i4", ColumnKind::SignedInt, 4, ""},           {"i8", ColumnKind::SignedInt, 8, ""},
    {"ui1", ColumnKind::UnsignedInt, 1, ""},        {"ui2", ColumnKind::UnsignedInt, 2, ""},
    {"ui4", ColumnKind::UnsignedInt, 4, ""},        {"ui8", ColumnKind::UnsignedInt, 8, ""},
    {"r8", ColumnKind::Float, 8, ""},               {"boolean", ColumnKind::Boolean, 2, ""},
    {"fixed", ColumnKind::Bcd, 0, ""},              {"fixedFMT", ColumnKind::Bcd, 0, "FMTBcd"},
    {"date", ColumnKind::Date, 4, ""},              {"time", ColumnKind::Time, 4, ""},
    {"dateTime", ColumnKind::Timestamp, 8, ""},     {"SQLdateTime", ColumnKind::Timestamp, 8, "SQLdateTime"},
    {"bin.hex", ColumnKind::Blob, 0, ""},           {"nested", ColumnKind::Nested, 0, ""},
};

// The type name for a column: a variant's own name where its subtype marks one.
inline const FieldType *VariantTypeOf(const PacketColumn &column)
{
    for (const FieldType &type : kFieldTypes) {
        if (type.kind == column.kind && *type.subtype != '\0'
            && column.subtype.compare(QLatin1String(type.subtype), Qt::CaseInsensitive) == 0)
            return &type;
    }
    return nullptr;
}

inline bool IsPlainTextMemo(const PacketColumn &column)
{
    return column.subtype.compare(QLatin1String("Text"), Qt::CaseInsensitive) == 0;
}

inline bool IsWideTextMemo(const PacketColumn &column)
{
    return column.subtype.compare(QLatin1String("WideText"), Qt::CaseInsensitive) == 0;
}

}  // namespace XmlPacket::Format

}  // namespace Catraca
