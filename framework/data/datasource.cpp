#include "datasource.h"

namespace fw {

DataSource::DataSource(QObject *parent)
    : QObject(parent)
{
}

DataSource::~DataSource()
{
    setDataSet(nullptr);
}

void DataSource::setDataSet(RecordSet *dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        m_dataSet->m_dataSources.removeAll(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->m_dataSources.append(this);
    emit dataSetChanged();
}

DataSetState DataSource::state() const
{
    return m_dataSet ? m_dataSet->state() : DataSetState::Inactive;
}

void DataSource::notifyStateChange()
{
    if (onStateChange)
        onStateChange(*this);
    emit stateChanged();
}

} // namespace fw
