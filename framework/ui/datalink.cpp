#include "datalink.h"

namespace fw {

DataLink::DataLink(QObject *owner, std::function<void()> refresh)
    : QObject(owner)
    , m_refresh(std::move(refresh))
{
}

void DataLink::setDataSource(DataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source)
        connect(m_source, &DataSource::dataSetChanged, this, &DataLink::rewire);
    rewire();
}

void DataLink::setDataField(const QString &name)
{
    m_fieldName = name;
    m_refresh();
}

void DataLink::rewire()
{
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    if (RecordSet *set = dataSet()) {
        auto refresh = [this] { m_refresh(); };
        m_connections = {
            connect(set, &RecordSet::reset, this, refresh),
            connect(set, &RecordSet::currentChanged, this, refresh),
            connect(set, &RecordSet::rowChanged, this, refresh),
            connect(set, &RecordSet::stateChanged, this, refresh),
        };
    }
    m_refresh();
}

Field *DataLink::field() const
{
    RecordSet *set = dataSet();
    if (!set || !set->active() || m_fieldName.isEmpty())
        return nullptr;
    return set->findField(m_fieldName);
}

bool DataLink::hasRecord() const
{
    RecordSet *set = dataSet();
    return set && set->active() && !set->isEmpty();
}

bool DataLink::editing() const
{
    RecordSet *set = dataSet();
    return set && (set->state() == DataSetState::Edit || set->state() == DataSetState::Insert);
}

} // namespace fw
