#include "adoibquery.h"

#include <framework/data/dbgeral.h>

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace fw {
namespace {

FieldType typeOfColumn(const QSqlField &column)
{
    switch (column.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return FieldType::Float;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return FieldType::Integer;
    case QMetaType::Bool:
        return FieldType::Boolean;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return FieldType::DateTime;
    default:
        return FieldType::String;
    }
}

Value toValue(FieldType type, const QVariant &v)
{
    if (v.isNull())
        return {};
    switch (type) {
    case FieldType::String: return v.toString();
    case FieldType::Float: return v.toDouble();
    case FieldType::DateTime: {
        const QDateTime moment = v.metaType().id() == QMetaType::QString
            ? QDateTime::fromString(v.toString(), Qt::ISODateWithMs)
            : v.toDateTime();
        return moment.isValid() ? Value(moment.toMSecsSinceEpoch()) : Value();
    }
    case FieldType::Integer:
    case FieldType::Boolean: return v.toLongLong();
    }
    return {};
}

} // namespace

TADOIBQuery::TADOIBQuery(QObject *parent)
    : RecordSet(parent)
{
}

void TADOIBQuery::setSql(const QString &sql)
{
    m_sql = sql;
    m_sqlByKind.clear();
    parseParams();
}

void TADOIBQuery::setSql(DatabaseUrl::Kind kind, const QString &sql)
{
    m_sqlByKind.insert(kind, sql);
    parseParams();
}

QString TADOIBQuery::sql(DatabaseUrl::Kind kind) const
{
    return m_sqlByKind.value(kind, m_sql);
}

void TADOIBQuery::parseParams()
{
    static const QRegularExpression name(QStringLiteral(R"((?<![:\w]):([A-Za-z_]\w*))"));
    QList<Param> params;
    QStringList texts = m_sqlByKind.values();
    texts.prepend(m_sql);
    for (const QString &text : std::as_const(texts)) {
        // Quoted literals may hold a colon; only what stands outside them is a parameter.
        QString outside = text;
        static const QRegularExpression literal(QStringLiteral("'[^']*'"));
        outside.replace(literal, QStringLiteral("''"));
        for (const auto &match : name.globalMatch(outside)) {
            const QString n = match.captured(1);
            const bool known = std::any_of(params.cbegin(), params.cend(),
                                           [&](const Param &p) { return p.name == n; });
            if (!known) {
                const auto old = std::find_if(m_params.cbegin(), m_params.cend(),
                                              [&](const Param &p) { return p.name == n; });
                params.append(old != m_params.cend() ? *old : Param{n, QVariant()});
            }
        }
    }
    m_params = params;
}

QStringList TADOIBQuery::paramNames() const
{
    QStringList names;
    for (const Param &p : m_params)
        names.append(p.name);
    return names;
}

TADOIBQuery::Param &TADOIBQuery::ParamByName(const QString &name)
{
    for (Param &p : m_params) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    }
    throw DataSetError(QStringLiteral("%1: parâmetro %2 não existe").arg(objectName(), name).toStdString());
}

QSqlDatabase TADOIBQuery::connection() const
{
    if (m_connectionName.isEmpty())
        return dtmDBGeral().database();
    return QSqlDatabase::database(m_connectionName, false);
}

void TADOIBQuery::Open()
{
    if (active())
        return;
    const QSqlDatabase db = connection();
    const auto kind = db.driverName() == QLatin1String("QPSQL") ? DatabaseUrl::Kind::PostgreSQL
                                                                 : DatabaseUrl::Kind::SQLite;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql(kind)))
        throw DatabaseError(QStringLiteral("%1: consulta inválida: %2").arg(objectName(), query.lastError().text()).toStdString());
    for (const Param &p : std::as_const(m_params))
        query.bindValue(u':' + p.name, p.value.isNull() ? QVariant(QString()) : p.value);
    if (!query.exec())
        throw DatabaseError(QStringLiteral("%1: a consulta falhou: %2").arg(objectName(), query.lastError().text()).toStdString());

    const QSqlRecord record = query.record();
    if (fieldCount() == 0) {
        for (int i = 0; i < record.count(); ++i)
            addField({record.fieldName(i), typeOfColumn(record.field(i))});
    }
    std::vector<int> columnOf(size_t(fieldCount()), -1);
    for (int f = 0; f < fieldCount(); ++f) {
        if (field(f).calculated())
            continue;
        columnOf[size_t(f)] = record.indexOf(field(f).fieldName());
        if (columnOf[size_t(f)] < 0)
            throw DatabaseError(QStringLiteral("%1: a consulta não traz o campo %2").arg(objectName(), field(f).fieldName()).toStdString());
    }
    std::vector<ColumnStore> columns;
    for (int f = 0; f < fieldCount(); ++f)
        columns.emplace_back(field(f).dataType());
    quint32 rows = 0;
    while (query.next()) {
        for (int f = 0; f < fieldCount(); ++f) {
            const int c = columnOf[size_t(f)];
            columns[size_t(f)].append(c < 0 ? Value() : toValue(field(f).dataType(), query.value(c)));
        }
        ++rows;
    }
    openRows(std::move(columns), rows);
}

} // namespace fw
