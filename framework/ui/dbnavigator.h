#pragma once

#include <framework/data/datasource.h>
#include <framework/ui/uiexport.h>

#include <QPointer>
#include <QWidget>

class QToolButton;

namespace fw {

// First, prior, next and last record buttons over a data source, enabled while its record set
// is browsing a record they can move to.
class FW_UI_EXPORT TDBNavigator : public QWidget
{
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget *parent = nullptr);
    void setDataSource(DataSource *source);

private:
    void refresh();
    QToolButton *button(const char *name, const QString &text, const QString &hint, void (RecordSet::*step)());

    QPointer<DataSource> m_source;
    QList<QMetaObject::Connection> m_connections;
    QToolButton *m_first, *m_prior, *m_next, *m_last;
};

} // namespace fw
