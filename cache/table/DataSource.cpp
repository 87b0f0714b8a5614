#include "cache/table/DataSource.h"

#include <utility>

namespace Catraca {

// --- TDataLink ---------------------------------------------------------------

TDataLink::~TDataLink()
{
    SetDataSource(nullptr);
}

void TDataLink::SetDataSource(TDataSource *source)
{
    if (source == source_)
        return;
    if (source_)
        source_->RemoveLink(this);
    if (source)
        source->AddLink(this);
}

TClientDataSet *TDataLink::DataSet() const
{
    return source_ ? source_->DataSet() : nullptr;
}

// --- TDataSource -------------------------------------------------------------

TDataSource::TDataSource(QString name) : name_(std::move(name)) {}

TDataSource::~TDataSource()
{
    SetDataSet(nullptr);
    const QList<TDataLink *> attached = links_;
    for (TDataLink *link : attached)
        RemoveLink(link);
}

void TDataSource::SetDataSet(TClientDataSet *dataSet)
{
    if (dataSet == dataSet_)
        return;
    if (dataSet_)
        dataSet_->DetachDataSource(this);
    dataSet_ = dataSet;
    if (dataSet_)
        dataSet_->AttachDataSource(this);
    NotifyActiveChanged();
}

TDataSetState TDataSource::State() const
{
    return dataSet_ ? dataSet_->State() : dsInactive;
}

bool TDataSource::Edit()
{
    if (autoEdit_ && State() == dsBrowse)
        dataSet_->Edit();
    const TDataSetState state = State();
    return state == dsEdit || state == dsInsert;
}

void TDataSource::AddLink(TDataLink *link)
{
    if (!link || link->source_ == this)
        return;
    if (link->source_)
        link->source_->RemoveLink(link);
    link->source_ = this;
    links_.append(link);
}

void TDataSource::RemoveLink(TDataLink *link)
{
    if (!link)
        return;
    links_.removeAll(link);
    if (link->source_ == this)
        link->source_ = nullptr;
}

namespace {

// A handler may attach or detach links, so the list is copied and a link
// that left meanwhile is skipped.
template <class Call>
void ForEachLink(const QList<TDataLink *> &links, Call call)
{
    const QList<TDataLink *> snapshot = links;
    for (TDataLink *link : snapshot) {
        if (links.contains(link))
            call(link);
    }
}

}  // namespace

void TDataSource::NotifyActiveChanged()
{
    ForEachLink(links_, [](TDataLink *link) { link->ActiveChanged(); });
}

void TDataSource::NotifyDataSetChanged()
{
    ForEachLink(links_, [](TDataLink *link) { link->DataSetChanged(); });
}

void TDataSource::NotifyDataSetScrolled()
{
    ForEachLink(links_, [](TDataLink *link) { link->DataSetScrolled(); });
}

void TDataSource::NotifyRecordChanged(TField *field)
{
    ForEachLink(links_, [field](TDataLink *link) { link->RecordChanged(field); });
}

void TDataSource::NotifyEditingChanged()
{
    ForEachLink(links_, [](TDataLink *link) { link->EditingChanged(); });
}

void TDataSource::NotifyUpdateData()
{
    ForEachLink(links_, [](TDataLink *link) { link->UpdateData(); });
}

}  // namespace Catraca
