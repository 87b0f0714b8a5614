#pragma once

#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/table/PrefixIndex.h"
#include "cache/table/RowStore.h"
#include "cache/packet/Packet.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVarLengthArray>
#include <QVariant>
#include <memory>
#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace Catraca {

class TDataSource;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

enum TDataPacketFormat { dfBinary, dfXML, dfXMLUTF8 };

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = int;  // a set of TLocateOption bits

// An in-memory table with ordered rows, one current row, pending edits and
// inserts, a prefix search, and load and save of data packets.
class TClientDataSet {
public:
    explicit TClientDataSet(QString name = {});
    ~TClientDataSet();
    TClientDataSet(const TClientDataSet &) = delete;
    TClientDataSet &operator=(const TClientDataSet &) = delete;

    const QString &Name() const { return name_; }

    // Declares a column object; declared columns are kept open or closed and
    // are bound by name to the packet's columns at every open.
    template <class FieldClass, class... Args>
    FieldClass *DeclareField(QString fieldName, Args &&...args)
    {
        auto field = std::make_unique<FieldClass>(this, std::move(fieldName), std::forward<Args>(args)...);
        FieldClass *raw = field.get();
        AddDeclaredField(std::move(field));
        return raw;
    }

    // The packet the next Open builds its rows from (design-time content).
    void SetHeldPacket(const QByteArray &packet);
    bool HasHeldPacket() const;

    void Open();
    void Close();
    bool Active() const { return state_ != dsInactive; }
    TDataSetState State() const { return state_; }
    bool Modified() const { return modified_; }

    void LoadFromFile(const QString &fileName);
    // Closes the table and opens it on an already decoded packet.
    void LoadFromPacket(Packet packet);
    void SaveToFile(const QString &fileName, TDataPacketFormat format = dfBinary);
    // The packet of the whole table, after the browse-mode step.
    QByteArray SaveToBytes(TDataPacketFormat format = dfBinary);
    Packet SaveToPacket();

    void First();
    void Next();
    void Prior();
    void Last();
    int MoveBy(int distance);  // returns the number of rows actually moved
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    bool IsEmpty() const;

    bool Locate(const QString &keyFields, const QVariant &keyValues, TLocateOptions options);

    void Edit();
    void Insert();
    void Post();
    void Cancel();
    void Delete();
    void CheckBrowseMode();

    // Views hear of no change until the matching EnableControls, which then
    // tells them the table changed: for many changes in a row, which would
    // otherwise make every view catch up after each one. Data-aware edits
    // are still asked for their text before a post.
    void DisableControls() { ++controlsDisabled_; }
    void EnableControls();

    TField *FieldByName(const QString &fieldName) const;
    TField *FindField(const QString &fieldName) const;  // nullptr when unknown
    int FieldCount() const;
    TField *Fields(int index) const;

    int RecordCount() const;  // stored rows, a pending new row not included
    int RecNo() const;        // 1-based position of the current row; 0 when none

    // The next number the table gives an auto-increment column.
    std::optional<qint32> AutoIncValue() const { return autoIncValue_; }

    // What views show: the stored rows with a pending new row in its place.
    int ViewRowCount() const;
    int ViewCurrentRow() const;  // 0-based, -1 when no row is current
    QString ViewText(int viewRow, const TField *field) const;

    // Used by TDataSource to attach and detach itself.
    void AttachDataSource(TDataSource *source);
    void DetachDataSource(TDataSource *source);

    // Used by TField.
    QString CellText(int columnIndex) const;
    bool CellIsNull(int columnIndex) const;
    void AssignCellText(TField *field, const QString &text);
    // The current row's cell (the pending row's in dsEdit and dsInsert);
    // nullptr when no row is current or the column is unknown.
    const Cell *ActiveCell(int columnIndex) const;

private:
    // One search condition of Locate, prepared once before the rows are scanned.
    struct SearchKey {
        int column = -1;
        TFieldType type = ftUnknown;
        bool blank = false;       // the key value is null: matches blank cells
        bool prefix = false;      // compare only the first literal's length
        bool caseless = false;    // 8-bit literal the same in every case (digits, signs)
        QVarLengthArray<char, 32> bytes;  // 8-bit string columns: the literal, upper-cased when ignoring case
        QString text;                     // other columns: the literal as text
    };

    void AddDeclaredField(std::unique_ptr<TField> field);

    EDatabaseError TableError(const QString &text) const;
    [[noreturn]] void RaiseClosed() const;
    void CheckActive() const;

    // Open
    Packet DecodeHeldPacket() const;
    void BindDeclaredFields(const Packet &packet);
    void MakePacketFields(const Packet &packet);
    void TakeRows(Packet &packet);
    Packet ShapePacket() const;  // columns and table attributes, no rows
    Packet SnapshotPacket() const;
    Packet TakeSnapshotPacket();
    void DropRows();

    // Rows and the pending row
    void StartPending(bool copyCurrent);
    void AbandonPending();
    void NumberNewRow();
    void CheckRequiredColumns() const;
    void StorePendingRow();
    void ReplaceStoredRow();
    void InsertStoredRow(int position);
    void RemoveStoredRow(int position);
    void SetState(TDataSetState state);
    void MoveTo(int row, bool bof, bool eof);

    // Locate
    const std::vector<TField *> &KeyFieldsOf(const QString &keyFields);
    SearchKey MakeSearchKey(const TField *field, const QVariant &value, bool last, TLocateOptions options) const;
    int FindRow(std::span<const SearchKey> keys, bool ignoreCase);
    int FindAnsiPrefix(const SearchKey &key, bool ignoreCase);
    int FindAnsiPrefixIndexed(const SearchKey &key, bool ignoreCase);
    int ScanAnsiPrefix(const SearchKey &key, bool ignoreCase) const;
    bool Matches(const SearchKey &key, int row, bool ignoreCase) const;

    // Views
    template <class Call>
    void NotifySources(Call call) const;
    void NotifyActiveChanged() const;
    void NotifyDataSetChanged() const;
    void NotifyScrolled() const;
    void NotifyEditingChanged() const;
    void NotifyUpdateData() const;

    QString name_;
    TDataSetState state_ = dsInactive;
    bool modified_ = false;
    bool bof_ = false;
    bool eof_ = false;

    std::vector<std::unique_ptr<TField>> declaredFields_;
    std::vector<std::unique_ptr<TField>> packetFields_;  // made at open, dropped at close

    // What the next Open reads: the bytes last loaded, or the rows of the
    // last close, or nothing at all.
    std::variant<std::monostate, QByteArray, Packet> heldPacket_;

    // The open table. Cells are kept column by column so that a search runs
    // over one contiguous array.
    QList<PacketColumn> columns_;
    RowStore rows_;
    int current_ = -1;
    std::optional<qint32> autoIncValue_;
    QList<PacketAttribute> tableAttributes_;

    // The pending row of dsEdit and dsInsert; a new row goes before the row
    // current at Insert.
    std::vector<Cell> pending_;

    QList<TDataSource *> dataSources_;
    int controlsDisabled_ = 0;

    QString lastKeyFields_;
    std::vector<TField *> lastKeyFieldList_;

    // The first 8-bit string column searched on its own (the barcode's),
    // indexed at that search and kept up to date from then on: the collector
    // looks up every barcode there before it adds or changes its row, and a
    // scan grew with the table.
    PrefixIndex searchIndex_;
};

}  // namespace Catraca
