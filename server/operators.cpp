#include "operators.h"

#include <QDateTime>
#include <QRegularExpression>

namespace server {
namespace {

constexpr int MinPasswordLength = 8;
constexpr int MaxPasswordLength = 128;

} // namespace

const QList<Right> &rights()
{
    static const QList<Right> all = {
        {"consultar", "consultar contas"},
        {"lancar", "lançar créditos e débitos"},
        {"cancelar", "cancelar lançamentos"},
        {"cancelar_venda", "cancelar vendas e recebimentos"},
        {"excluir", "excluir lançamentos"},
    };
    return all;
}

QString rightWords(const QString &name)
{
    for (const Right &r : rights()) {
        if (name == QLatin1String(r.name))
            return QString::fromUtf8(r.words);
    }
    return name;
}

QStringList rightNames()
{
    QStringList names;
    for (const Right &r : rights())
        names << QLatin1String(r.name);
    return names;
}

Operators::Operators(const Storage &storage, const Passwords &passwords)
    : m_storage(storage)
    , m_passwords(passwords)
{
}

void Operators::checkPassword(const QString &password) const
{
    if (password.size() < MinPasswordLength || password.size() > MaxPasswordLength)
        throw OperatorError(QStringLiteral("a senha deve ter de %1 a %2 caracteres").arg(MinPasswordLength).arg(MaxPasswordLength));
}

void Operators::add(const OperatorRecord &record, const QString &password) const
{
    static const QRegularExpression codeShape(QStringLiteral("^[0-9A-Za-z]{4}$"));
    if (!codeShape.match(record.code).hasMatch())
        throw OperatorError(QStringLiteral("o código do operador tem 4 letras ou algarismos; veio \"%1\"").arg(record.code));
    const QString name = record.name.trimmed();
    if (name.isEmpty() || name.size() > 40)
        throw OperatorError(QStringLiteral("informe o nome do operador (até 40 caracteres) em --name"));
    if (record.branches.isEmpty())
        throw OperatorError(QStringLiteral("informe as filiais do operador em --branches, como 0001,0002"));
    if (record.rights.isEmpty())
        throw OperatorError(QStringLiteral("informe as permissões do operador em --rights, como consultar,lancar"));
    const QStringList known = rightNames();
    for (const QString &right : record.rights) {
        if (!known.contains(right))
            throw OperatorError(QStringLiteral("permissão \"%1\" desconhecida; as permissões são %2").arg(right, known.join(u',')));
    }
    checkPassword(password);
    // Hashed before the transaction: the database is not held while it runs.
    const QByteArray hash = m_passwords.hash(password);

    const QSqlDatabase db = m_storage.connection();
    Transaction transaction(m_storage, db);
    for (const QString &branch : record.branches) {
        if (!run(db, QStringLiteral("SELECT 1 FROM FILIAL WHERE CDFILIAL = ?"), {branch}, "ler a filial").next())
            throw OperatorError(QStringLiteral("filial \"%1\" não cadastrada").arg(branch));
    }
    QSqlQuery existing = run(db, QStringLiteral("SELECT DSSENHA FROM OPERADOR WHERE CDOPERADOR = ?"), {record.code},
                             "ler o operador");
    const bool stored = existing.next();
    // An operator kept from before passwords (named in old movements) is completed, not refused.
    if (stored && !existing.isNull(0))
        throw OperatorError(QStringLiteral("o operador %1 já existe; troque a senha com \"operator passwd %1\"").arg(record.code));
    existing.finish();
    if (stored)
        run(db, QStringLiteral("UPDATE OPERADOR SET NMOPERADOR = ?, DSSENHA = ?, IDATIVO = 'S', DSPERMISSOES = ? WHERE CDOPERADOR = ?"),
            {name, QString::fromLatin1(hash), record.rights.join(u','), record.code}, "gravar o operador");
    else
        run(db, QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, DSSENHA, IDATIVO, DSPERMISSOES) VALUES (?, ?, ?, 'S', ?)"),
            {record.code, name, QString::fromLatin1(hash), record.rights.join(u',')}, "gravar o operador");
    run(db, QStringLiteral("DELETE FROM OPERFILIAL WHERE CDOPERADOR = ?"), {record.code}, "gravar as filiais do operador");
    for (const QString &branch : record.branches)
        run(db, QStringLiteral("INSERT INTO OPERFILIAL (CDOPERADOR, CDFILIAL) VALUES (?, ?)"), {record.code, branch},
            "gravar as filiais do operador");
    transaction.commit();
}

void Operators::setPassword(const QString &code, const QString &password) const
{
    checkPassword(password);
    const QByteArray hash = m_passwords.hash(password);
    const QSqlDatabase db = m_storage.connection();
    Transaction transaction(m_storage, db);
    if (run(db, QStringLiteral("UPDATE OPERADOR SET DSSENHA = ? WHERE CDOPERADOR = ?"), {QString::fromLatin1(hash), code},
            "gravar a senha").numRowsAffected() == 0)
        throw OperatorError(QStringLiteral("operador %1 não cadastrado").arg(code));
    // Whoever knew the old password is signed out.
    run(db, QStringLiteral("UPDATE SESSAO SET DTFIM = ? WHERE CDOPERADOR = ? AND DTFIM IS NULL"),
        {QDateTime::currentMSecsSinceEpoch(), code}, "encerrar as sessões");
    transaction.commit();
}

void Operators::disable(const QString &code) const
{
    const QSqlDatabase db = m_storage.connection();
    Transaction transaction(m_storage, db);
    if (run(db, QStringLiteral("UPDATE OPERADOR SET IDATIVO = 'N' WHERE CDOPERADOR = ?"), {code}, "desativar o operador")
            .numRowsAffected() == 0)
        throw OperatorError(QStringLiteral("operador %1 não cadastrado").arg(code));
    run(db, QStringLiteral("UPDATE SESSAO SET DTFIM = ? WHERE CDOPERADOR = ? AND DTFIM IS NULL"),
        {QDateTime::currentMSecsSinceEpoch(), code}, "encerrar as sessões");
    transaction.commit();
}

QList<OperatorRecord> Operators::list() const
{
    const QSqlDatabase db = m_storage.connection();
    QList<OperatorRecord> all;
    QSqlQuery q = run(db, QStringLiteral("SELECT CDOPERADOR, NMOPERADOR, IDATIVO, DSPERMISSOES FROM OPERADOR ORDER BY CDOPERADOR"),
                      {}, "ler os operadores");
    while (q.next()) {
        all.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString() == QLatin1String("S"), {},
                    q.value(3).toString().split(u',', Qt::SkipEmptyParts)});
    }
    q.finish();
    QSqlQuery b = run(db, QStringLiteral("SELECT CDOPERADOR, CDFILIAL FROM OPERFILIAL ORDER BY CDOPERADOR, CDFILIAL"), {},
                      "ler as filiais dos operadores");
    while (b.next()) {
        for (OperatorRecord &r : all) {
            if (r.code == b.value(0).toString())
                r.branches << b.value(1).toString();
        }
    }
    return all;
}

} // namespace server
