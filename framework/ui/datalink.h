#pragma once

#include <framework/data/datasource.h>
#include <framework/ui/uiexport.h>

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>

namespace fw {

// Binds a control to one field of a data source's record set: calls `refresh` whenever what
// the control shows may have changed (load, move, edit, state change, another record set).
class FW_UI_EXPORT DataLink : public QObject
{
    Q_OBJECT
public:
    DataLink(QObject *owner, std::function<void()> refresh);

    DataSource *dataSource() const { return m_source; }
    void setDataSource(DataSource *source);
    QString dataField() const { return m_fieldName; }
    void setDataField(const QString &name);

    RecordSet *dataSet() const { return m_source ? m_source->dataSet() : nullptr; }
    // The bound field while its record set is open, else null.
    Field *field() const;
    // Whether there is a record to show.
    bool hasRecord() const;
    bool editing() const;

private:
    void rewire();

    std::function<void()> m_refresh;
    QPointer<DataSource> m_source;
    QString m_fieldName;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace fw
