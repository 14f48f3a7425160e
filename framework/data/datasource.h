#pragma once

#include <framework/data/recordset.h>
#include <framework/data/dataexport.h>

#include <QObject>
#include <QPointer>

#include <functional>

namespace fw {

// Ties data-aware controls and a screen's state-change handler to a record set.
class FW_DATA_EXPORT DataSource : public QObject
{
    Q_OBJECT
public:
    explicit DataSource(QObject *parent = nullptr);
    ~DataSource() override;

    RecordSet *dataSet() const { return m_dataSet; }
    void setDataSet(RecordSet *dataSet);
    // The record set's state; inactive when there is none.
    DataSetState state() const;

    // Runs on every state change of the record set, before the stateChanged signal.
    std::function<void(DataSource &)> onStateChange;

signals:
    void stateChanged();
    void dataSetChanged();

private:
    friend class RecordSet;
    void notifyStateChange();

    QPointer<RecordSet> m_dataSet;
};

} // namespace fw
