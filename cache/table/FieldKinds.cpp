#include "cache/table/FieldKinds.h"

namespace Catraca {

namespace {

bool HasSubtype(const PacketColumn &column, const char *subtype)
{
    return column.subtype.compare(QLatin1String(subtype), Qt::CaseInsensitive) == 0;
}

TFieldType SignedIntegerType(const PacketColumn &column)
{
    switch (column.size) {
    case 1: return ftShortint;
    case 2: return ftSmallint;
    case 8: return ftLargeint;
    default: return FieldKinds::IsAutoIncrement(column) ? ftAutoInc : ftInteger;
    }
}

TFieldType UnsignedIntegerType(const PacketColumn &column)
{
    switch (column.size) {
    case 1: return ftByte;
    case 2: return ftWord;
    case 8: return ftLargeint;
    default: return ftLongWord;
    }
}

TFieldType BlobType(const PacketColumn &column)
{
    if (HasSubtype(column, "Text"))
        return ftMemo;
    if (HasSubtype(column, "WideText"))
        return ftWideMemo;
    if (HasSubtype(column, "Graphics"))
        return ftGraphic;
    if (HasSubtype(column, "Formatted"))
        return ftFmtMemo;
    return ftBlob;
}

// A field of the class Base whose type differs from the class's usual one,
// such as a fixed-width string, which the platform keeps in TStringField.
template <class Base>
class RetypedField : public Base {
public:
    RetypedField(TClientDataSet *table, QString name, TFieldType type, int size)
        : Base(table, std::move(name), type, size) {}
};

// The field's size: characters for Unicode strings (the packet gives bytes,
// two per character), digits after the point for decimals, else the
// packet's size.
int FieldSizeOf(const PacketColumn &column)
{
    switch (column.kind) {
    case ColumnKind::WideString: return column.size / 2;
    case ColumnKind::Bcd: return column.decimals;
    default: return column.size;
    }
}

template <class FieldClass>
std::unique_ptr<TField> Make(TClientDataSet *table, const PacketColumn &column)
{
    return std::make_unique<FieldClass>(table, column.name, FieldSizeOf(column));
}

template <class Base>
std::unique_ptr<TField> MakeRetyped(TClientDataSet *table, const PacketColumn &column, TFieldType type)
{
    return std::make_unique<RetypedField<Base>>(table, column.name, type, FieldSizeOf(column));
}

std::unique_ptr<TField> MakeOfType(TClientDataSet *table, const PacketColumn &column, TFieldType type)
{
    switch (type) {
    case ftString: return Make<TStringField>(table, column);
    case ftFixedChar: return MakeRetyped<TStringField>(table, column, type);
    case ftWideString: return Make<TWideStringField>(table, column);
    case ftShortint: return Make<TShortintField>(table, column);
    case ftSmallint: return Make<TSmallintField>(table, column);
    case ftInteger: return Make<TIntegerField>(table, column);
    case ftAutoInc: return Make<TAutoIncField>(table, column);
    case ftLargeint: return Make<TLargeintField>(table, column);
    case ftByte: return Make<TByteField>(table, column);
    case ftWord: return Make<TWordField>(table, column);
    case ftLongWord: return Make<TLongWordField>(table, column);
    case ftBoolean: return Make<TBooleanField>(table, column);
    case ftFloat: return Make<TFloatField>(table, column);
    case ftCurrency: return Make<TCurrencyField>(table, column);
    case ftBCD: return Make<TBCDField>(table, column);
    case ftFMTBcd: return Make<TFMTBCDField>(table, column);
    case ftDate: return Make<TDateField>(table, column);
    case ftTime: return Make<TTimeField>(table, column);
    case ftDateTime: return Make<TDateTimeField>(table, column);
    case ftTimeStamp: return Make<TSQLTimeStampField>(table, column);
    case ftMemo: return Make<TMemoField>(table, column);
    case ftWideMemo: return Make<TWideMemoField>(table, column);
    case ftGraphic: return Make<TGraphicField>(table, column);
    case ftDataSet: return Make<TDataSetField>(table, column);
    case ftArray: return Make<TArrayField>(table, column);
    default: return MakeRetyped<TBlobField>(table, column, type);
    }
}

}  // namespace

namespace FieldKinds {

bool IsAutoIncrement(const PacketColumn &column)
{
    return column.kind == ColumnKind::SignedInt && column.size == 4 && HasSubtype(column, "Autoinc");
}

TFieldType TypeOfColumn(const PacketColumn &column)
{
    if (column.isArray)
        return ftArray;
    switch (column.kind) {
    case ColumnKind::SignedInt: return SignedIntegerType(column);
    case ColumnKind::UnsignedInt: return UnsignedIntegerType(column);
    case ColumnKind::Boolean: return ftBoolean;
    case ColumnKind::Float: return HasSubtype(column, "Money") ? ftCurrency : ftFloat;
    case ColumnKind::Bcd: return HasSubtype(column, "FMTBcd") ? ftFMTBcd : ftBCD;
    case ColumnKind::Date: return ftDate;
    case ColumnKind::Time: return ftTime;
    case ColumnKind::Timestamp: return HasSubtype(column, "SQLdateTime") ? ftTimeStamp : ftDateTime;
    case ColumnKind::AnsiString: return HasSubtype(column, "FixedChar") ? ftFixedChar : ftString;
    case ColumnKind::WideString: return ftWideString;
    case ColumnKind::Blob: return BlobType(column);
    case ColumnKind::Nested: return ftDataSet;
    }
    return ftUnknown;
}

std::unique_ptr<TField> MakeField(TClientDataSet *table, const PacketColumn &column)
{
    std::unique_ptr<TField> field = MakeOfType(table, column, TypeOfColumn(column));
    field->SetReadOnly(column.readOnly);
    return field;
}

}  // namespace FieldKinds

}  // namespace Catraca
