#pragma once

#include <framework/data/database.h>
#include <framework/data/recordset.h>
#include <framework/data/dataexport.h>

#include <QHash>
#include <QSqlDatabase>

namespace fw {

// A read-only query over the shared database whose rows land in a record set, so lists and
// data-aware controls show them like any other data. It may carry one SQL text per database
// kind; parameters are named in the text (":P_NAME") and always bound, never spliced in.
class FW_DATA_EXPORT TADOIBQuery : public RecordSet
{
    Q_OBJECT
public:
    struct Param
    {
        QString name;
        QVariant value;
        void setAsString(const QString &text) { value = text; }
        QString asString() const { return value.toString(); }
    };

    explicit TADOIBQuery(QObject *parent = nullptr);

    // The text for every database kind, or for one kind only.
    void setSql(const QString &sql);
    void setSql(DatabaseUrl::Kind kind, const QString &sql);
    QString sql(DatabaseUrl::Kind kind) const;
    // Runs on this connection instead of the shared database module's.
    void setConnectionName(const QString &name) { m_connectionName = name; }

    QStringList paramNames() const;
    // Throws DataSetError for a name the text does not use.
    Param &ParamByName(const QString &name);

    // Runs the query and loads its rows (nothing when already open). Declared fields take the
    // columns of the same name; with none declared, every column becomes a field. Throws
    // DatabaseError with the database's message when the query fails.
    void Open();
    void Close() { close(); }
    bool IsEmpty() const { return isEmpty(); }
    Field &FieldByName(const QString &name) const { return fieldByName(name); }

private:
    QSqlDatabase connection() const;
    void parseParams();

    QString m_sql;
    QHash<DatabaseUrl::Kind, QString> m_sqlByKind;
    QList<Param> m_params;
    QString m_connectionName;
};

} // namespace fw
