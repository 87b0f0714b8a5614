#pragma once

#include "cache/table/ClientDataSet.h"

#include <QList>
#include <QString>

namespace Catraca {

class TField;

// A view's tie to a table through a data source. The table calls these as it
// changes; a view overrides the ones it cares about.
class TDataLink {
public:
    virtual ~TDataLink();

    void SetDataSource(TDataSource *source);
    TDataSource *DataSource() const { return source_; }
    TClientDataSet *DataSet() const;

    virtual void ActiveChanged() {}            // opened or closed
    virtual void DataSetChanged() {}           // rows added, removed, reloaded or posted
    virtual void DataSetScrolled() {}          // the current row moved
    virtual void RecordChanged(TField *) {}    // a value of the pending row was assigned
    virtual void EditingChanged() {}           // state moved between browse, edit and insert
    virtual void UpdateData() {}               // store pending text into the row now

private:
    friend class TDataSource;
    TDataSource *source_ = nullptr;
};

// Binds views to a table. With AutoEdit on, a view that starts typing puts
// the table into edit state through Edit().
class TDataSource {
public:
    explicit TDataSource(QString name = {});
    ~TDataSource();
    TDataSource(const TDataSource &) = delete;
    TDataSource &operator=(const TDataSource &) = delete;

    const QString &Name() const { return name_; }
    void SetDataSet(TClientDataSet *dataSet);
    TClientDataSet *DataSet() const { return dataSet_; }
    bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool autoEdit) { autoEdit_ = autoEdit; }
    TDataSetState State() const;

    // Puts the table into edit state when AutoEdit allows; true when the table
    // is in dsEdit or dsInsert afterwards.
    bool Edit();

    void AddLink(TDataLink *link);
    void RemoveLink(TDataLink *link);

    // Called by the table.
    void NotifyActiveChanged();
    void NotifyDataSetChanged();
    void NotifyDataSetScrolled();
    void NotifyRecordChanged(TField *field);
    void NotifyEditingChanged();
    void NotifyUpdateData();

private:
    QString name_;
    TClientDataSet *dataSet_ = nullptr;
    bool autoEdit_ = true;
    QList<TDataLink *> links_;
};

}  // namespace Catraca
