#pragma once

#include "cache/packet/Packet.h"

#include <QString>
#include <utility>

namespace Catraca {

class TClientDataSet;

// Column kinds as the data-access layer names them; TypeName() gives the
// names the "Type mismatch" message uses ("String", "Integer", "AutoInc", ...).
enum TFieldType {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat,
    ftCurrency, ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes,
    ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle,
    ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT,
    ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
    ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd, ftFixedWideChar,
    ftWideMemo, ftOraTimeStamp, ftOraInterval, ftLongWord, ftShortint, ftByte,
    ftExtended, ftConnection, ftParams, ftStream, ftTimeStampOffset, ftObject,
    ftSingle
};

QString FieldTypeName(TFieldType type);

// A cell read as text by a column of the given type; a blank reads as "".
QString FieldCellText(const Cell &cell, TFieldType type);
// The cell that a text assigns to a column of the given type and width:
// EDatabaseError when the text is no value of that type. An empty text (for
// non-string types: a text of blanks) assigns a blank.
Cell FieldCellFromText(const QString &text, TFieldType type, int size);

// A column object. Declared columns are made before the table opens and live
// as long as the table; columns made from a packet live while it is open.
// Values are read and assigned as text, following the rules of the kind.
class TField {
public:
    virtual ~TField();
    TField(const TField &) = delete;
    TField &operator=(const TField &) = delete;

    const QString &FieldName() const { return fieldName_; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }  // width in bytes for string columns
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    TClientDataSet *DataSet() const { return dataSet_; }

    // Index of the packet column the field reads, or -1 while unbound.
    int ColumnIndex() const { return columnIndex_; }

    // The current row's value as text (the pending row's in dsEdit and
    // dsInsert); a blank value reads as "".
    QString AsString() const;
    // Assigns text; allowed only in dsEdit and dsInsert. Sets the modified flag.
    void SetAsString(const QString &text);
    bool IsNull() const;

    // Conversions between this column's cells and text.
    QString TextOf(const Cell &cell) const { return FieldCellText(cell, dataType_); }
    Cell CellFrom(const QString &text) const { return FieldCellFromText(text, dataType_, size_); }

protected:
    TField(TClientDataSet *dataSet, QString fieldName, TFieldType dataType, int size);

private:
    friend class TClientDataSet;
    TClientDataSet *dataSet_;
    QString fieldName_;
    TFieldType dataType_;
    int size_;
    bool readOnly_ = false;
    int columnIndex_ = -1;
};

#define CATRACA_FIELD_CLASS(Class, Base, type)                                   \
    class Class : public Base {                                                  \
    public:                                                                      \
        Class(TClientDataSet *dataSet, QString fieldName, int size = 0)          \
            : Base(dataSet, std::move(fieldName), type, size) {}                 \
    protected:                                                                   \
        Class(TClientDataSet *dataSet, QString fieldName, TFieldType t, int size) \
            : Base(dataSet, std::move(fieldName), t, size) {}                    \
    };

CATRACA_FIELD_CLASS(TStringField, TField, ftString)
CATRACA_FIELD_CLASS(TWideStringField, TStringField, ftWideString)
CATRACA_FIELD_CLASS(TIntegerField, TField, ftInteger)
CATRACA_FIELD_CLASS(TSmallintField, TIntegerField, ftSmallint)
CATRACA_FIELD_CLASS(TShortintField, TIntegerField, ftShortint)
CATRACA_FIELD_CLASS(TWordField, TIntegerField, ftWord)
CATRACA_FIELD_CLASS(TByteField, TIntegerField, ftByte)
CATRACA_FIELD_CLASS(TLongWordField, TField, ftLongWord)
CATRACA_FIELD_CLASS(TAutoIncField, TIntegerField, ftAutoInc)
CATRACA_FIELD_CLASS(TLargeintField, TField, ftLargeint)
CATRACA_FIELD_CLASS(TBooleanField, TField, ftBoolean)
CATRACA_FIELD_CLASS(TFloatField, TField, ftFloat)
CATRACA_FIELD_CLASS(TCurrencyField, TFloatField, ftCurrency)
CATRACA_FIELD_CLASS(TBCDField, TField, ftBCD)
CATRACA_FIELD_CLASS(TFMTBCDField, TField, ftFMTBcd)
CATRACA_FIELD_CLASS(TDateField, TField, ftDate)
CATRACA_FIELD_CLASS(TTimeField, TField, ftTime)
CATRACA_FIELD_CLASS(TDateTimeField, TField, ftDateTime)
CATRACA_FIELD_CLASS(TSQLTimeStampField, TField, ftTimeStamp)
CATRACA_FIELD_CLASS(TBlobField, TField, ftBlob)
CATRACA_FIELD_CLASS(TMemoField, TBlobField, ftMemo)
CATRACA_FIELD_CLASS(TWideMemoField, TBlobField, ftWideMemo)
CATRACA_FIELD_CLASS(TGraphicField, TBlobField, ftGraphic)
CATRACA_FIELD_CLASS(TBytesField, TField, ftBytes)
CATRACA_FIELD_CLASS(TVarBytesField, TBytesField, ftVarBytes)
CATRACA_FIELD_CLASS(TDataSetField, TField, ftDataSet)
CATRACA_FIELD_CLASS(TArrayField, TField, ftArray)

#undef CATRACA_FIELD_CLASS

}  // namespace Catraca
