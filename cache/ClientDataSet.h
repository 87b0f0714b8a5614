#pragma once

#include "cache/Field.h"
#include "cache/Packet.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <memory>
#include <variant>
#include <vector>

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

    void Open();
    void Close();
    bool Active() const { return state_ != dsInactive; }
    TDataSetState State() const { return state_; }
    bool Modified() const { return modified_; }

    void LoadFromFile(const QString &fileName);
    void SaveToFile(const QString &fileName, TDataPacketFormat format = dfBinary);
    // The packet of the whole table, after the browse-mode step.
    QByteArray SaveToBytes(TDataPacketFormat format = dfBinary);

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

    TField *FieldByName(const QString &fieldName) const;
    TField *FindField(const QString &fieldName) const;  // nullptr when unknown
    int FieldCount() const;
    TField *Fields(int index) const;

    int RecordCount() const;  // stored rows, a pending new row not included
    int RecNo() const;        // 1-based position of the current row; 0 when none

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

private:
    void AddDeclaredField(std::unique_ptr<TField> field);
    // ... implementation members follow

    QString name_;
    TDataSetState state_ = dsInactive;
    bool modified_ = false;
    bool bof_ = false;
    bool eof_ = false;
};
