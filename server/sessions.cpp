#include "sessions.h"

#include "outcomes.h"
#include "rowcursor.h"

#include <framework/data/protocol.h>
#include <framework/data/sessioncontract.h>

#include <QCborArray>
#include <QCborMap>
#include <QCryptographicHash>

#include <sodium.h>

namespace server {
namespace {

constexpr int TokenBytes = 32;

const QString Invalid = QStringLiteral("Operador ou senha inválidos.");
const QString Ended = QStringLiteral("Sessão encerrada; entre de novo.");

QString tokenHash(const QString &token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

// Where the caller is; a caller inside the server process has no address.
QString peerText(const Caller &caller)
{
    return caller.peer.isNull() ? QStringLiteral("local") : caller.peer.toString();
}

QString newToken()
{
    QByteArray bytes(TokenBytes, Qt::Uninitialized);
    randombytes_buf(bytes.data(), size_t(bytes.size()));
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

// A session as the database holds it, with its operator as it is now.
struct Sessions::Held
{
    QString operatorCode, branch, terminal, name;
    QStringList rights;
    QVariant along; // the value asked along, if any
};

Sessions::Sessions(const Storage &storage, const Passwords &passwords, Options options)
    : m_storage(storage)
    , m_passwords(passwords)
    , m_options(std::move(options))
{
}

Sessions::Sessions(const Storage &storage, const Passwords &passwords)
    : Sessions(storage, passwords, Options{})
{
}

void Sessions::publish(Dispatcher &d) const
{
    const QHash<QString, Outcome (Sessions::*)(const QCborArray &, Caller &) const> handlers = {
        {"entrar", &Sessions::entrar}, {"retomar", &Sessions::retomar}, {"sair", &Sessions::sair}};
    for (const fw::MethodSpec &method : fw::sessionMethods()) {
        const auto handler = handlers.value(method.name);
        Q_ASSERT(handler);
        d.add(QLatin1String(fw::SessionObjectName), method,
              [this, handler](const QCborArray &args, Caller &caller) { return (this->*handler)(args, caller); });
    }
}

std::optional<Sessions::Held> Sessions::held(const QSqlDatabase &db, const QString &hash,
                                             const std::optional<AskedAlong> &along) const
{
    // Asked before every request: a cursor, whose statement is kept prepared for the next.
    QVariantList values = along ? along->values : QVariantList();
    values << hash << m_options.now() - m_options.idleMs;
    RowCursor q(db, QStringLiteral(
        "SELECT S.CDOPERADOR, S.CDFILIAL, S.DSTERMINAL, O.NMOPERADOR, O.DSPERMISSOES%1 FROM SESSAO S"
        " JOIN OPERADOR O ON O.CDOPERADOR = S.CDOPERADOR"
        " JOIN OPERFILIAL F ON F.CDOPERADOR = S.CDOPERADOR AND F.CDFILIAL = S.CDFILIAL"
        " WHERE S.DSHASH = ? AND S.DTFIM IS NULL AND S.DTULTUSO > ? AND O.IDATIVO = 'S'")
                    .arg(along ? QStringLiteral(", (%1)").arg(along->sql) : QString()),
                values, "ler a sessão");
    if (!q.next())
        return std::nullopt;
    const auto text = [&](int column) { return q.isNull(column) ? QString() : QString::fromUtf8(q.text(column)); };
    Held held{text(0), text(1), text(2), text(3), text(4).split(u',', Qt::SkipEmptyParts), {}}; // read in order
    if (along && !q.isNull(5))
        held.along = q.integer(5);
    return held;
}

// The payload of a sign-in or a resume.
QByteArray Sessions::granted(const Caller &caller, const QString &name, const QString &token) const
{
    QCborArray rights;
    for (const QString &r : std::as_const(caller.rights))
        rights.append(r);
    return fw::encodeEnvelope(true, {}, QCborMap{
        {QStringLiteral("token"), token},
        {QStringLiteral("nome"), name},
        {QStringLiteral("permissoes"), rights},
        {QStringLiteral("expira"), fw::dateTimeToCbor(QDateTime::fromMSecsSinceEpoch(m_options.now() + m_options.idleMs))},
    });
}

// One more failure in a row for the code; the one that reaches the limit locks it. A lockout
// that has run out starts the count again.
void Sessions::failed(const QSqlDatabase &db, const QString &code) const
{
    Transaction transaction(m_storage, db);
    QSqlQuery q = run(db, QStringLiteral(
        "INSERT INTO TENTATIVA (CDOPERADOR, NRFALHAS, DTBLOQUEIO) VALUES (?, 1, NULL)"
        " ON CONFLICT (CDOPERADOR) DO UPDATE SET DTBLOQUEIO = NULL,"
        " NRFALHAS = CASE WHEN TENTATIVA.DTBLOQUEIO IS NULL THEN TENTATIVA.NRFALHAS + 1 ELSE 1 END"
        " RETURNING NRFALHAS"), {code}, "contar a tentativa");
    const int failures = q.next() ? q.value(0).toInt() : 0;
    q.finish();
    if (failures >= m_options.failuresBeforeLockout)
        run(db, QStringLiteral("UPDATE TENTATIVA SET DTBLOQUEIO = ? WHERE CDOPERADOR = ?"),
            {m_options.now() + m_options.lockoutMs, code}, "bloquear o operador");
    transaction.commit();
}

Outcome Sessions::entrar(const QCborArray &args, Caller &caller) const
{
    return enveloped([&] {
        const QString code = args[0].toString(), password = args[1].toString();
        const QString branch = args[2].toString(), terminal = args[3].toString();
        caller.signOut();
        const QSqlDatabase db = m_storage.connection();
        QSqlQuery locked = run(db, QStringLiteral("SELECT DTBLOQUEIO FROM TENTATIVA WHERE CDOPERADOR = ? AND DTBLOQUEIO > ?"),
                               {code, m_options.now()}, "ler as tentativas");
        if (locked.next()) {
            // Said to the minute it has surely ended.
            const QDateTime until = QDateTime::fromMSecsSinceEpoch(locked.value(0).toLongLong() + 59999);
            throw Refusal{QStringLiteral("Acesso bloqueado por excesso de tentativas. Tente de novo depois das %1.")
                              .arg(until.toString(QStringLiteral("HH:mm")))};
        }
        locked.finish();
        QSqlQuery known = run(db, QStringLiteral(
            "SELECT NMOPERADOR, DSSENHA, IDATIVO, DSPERMISSOES,"
            " CASE WHEN EXISTS (SELECT 1 FROM OPERFILIAL F WHERE F.CDOPERADOR = O.CDOPERADOR AND F.CDFILIAL = ?) THEN 1 ELSE 0 END"
            " FROM OPERADOR O WHERE CDOPERADOR = ?"), {branch, code}, "ler o operador");
        const bool exists = known.next();
        const QString name = exists ? known.value(0).toString() : QString();
        const QByteArray hash = exists ? known.value(1).toString().toLatin1() : QByteArray();
        const bool active = exists && known.value(2).toString() == QLatin1String("S");
        const QStringList rights = exists ? known.value(3).toString().split(u',', Qt::SkipEmptyParts) : QStringList();
        const bool atBranch = exists && known.value(4).toInt() == 1;
        known.finish();
        bool matches = false;
        try {
            matches = m_passwords.verify(hash, password);
        } catch (const PasswordsBusy &) {
            throw Refusal{QStringLiteral("O servidor está atendendo muitas entradas ao mesmo tempo; tente de novo em instantes.")};
        }
        // Unknown, wrong and inactive read the same: nobody learns which codes exist.
        if (!exists || !matches || !active) {
            failed(db, code);
            throw Refusal{Invalid};
        }
        run(db, QStringLiteral("DELETE FROM TENTATIVA WHERE CDOPERADOR = ?"), {code}, "zerar as tentativas");
        if (!atBranch)
            throw Refusal{QStringLiteral("O operador %1 não trabalha na filial %2.").arg(code, branch)};
        if (Passwords::needsRehash(hash)) {
            try {
                run(db, QStringLiteral("UPDATE OPERADOR SET DSSENHA = ? WHERE CDOPERADOR = ?"),
                    {QString::fromLatin1(m_passwords.hash(password)), code}, "gravar a senha");
            } catch (const PasswordsBusy &) {
                // Rehashed at a later sign-in.
            }
        }
        const QString token = newToken();
        const qint64 now = m_options.now();
        run(db, QStringLiteral("INSERT INTO SESSAO (DSHASH, CDOPERADOR, CDFILIAL, DSTERMINAL, DSENDERECO, DTINICIO, DTULTUSO)"
                               " VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {tokenHash(token), code, branch, terminal, peerText(caller), now, now}, "abrir a sessão");
        caller.tokenHash = tokenHash(token);
        caller.operatorCode = code;
        caller.branch = branch;
        caller.terminal = terminal;
        caller.rights = rights;
        caller.lastTouched = now;
        return granted(caller, name, token);
    });
}

Outcome Sessions::retomar(const QCborArray &args, Caller &caller) const
{
    return enveloped([&] {
        const QString token = args[0].toString();
        caller.signOut();
        const QSqlDatabase db = m_storage.connection();
        const auto session = held(db, tokenHash(token));
        if (!session)
            throw Refusal{Ended};
        const qint64 now = m_options.now();
        run(db, QStringLiteral("UPDATE SESSAO SET DTULTUSO = ?, DSENDERECO = ? WHERE DSHASH = ?"),
            {now, peerText(caller), tokenHash(token)}, "retomar a sessão");
        caller.tokenHash = tokenHash(token);
        caller.operatorCode = session->operatorCode;
        caller.branch = session->branch;
        caller.terminal = session->terminal;
        caller.rights = session->rights;
        caller.lastTouched = now;
        return granted(caller, session->name, token);
    });
}

Outcome Sessions::sair(const QCborArray &, Caller &caller) const
{
    return enveloped([&] {
        if (caller.signedIn())
            run(m_storage.connection(), QStringLiteral("UPDATE SESSAO SET DTFIM = ? WHERE DSHASH = ? AND DTFIM IS NULL"),
                {m_options.now(), caller.tokenHash}, "encerrar a sessão");
        caller.signOut();
        return fw::encodeEnvelope(true, {}, QCborValue());
    });
}

std::optional<Outcome> Sessions::admit(Caller &caller, const std::optional<AskedAlong> &along, QVariant *answer) const
{
    if (!caller.signedIn())
        return Outcome::error(QLatin1String(fw::UnauthenticatedCode), QStringLiteral("Entre com operador e senha."));
    const QSqlDatabase db = m_storage.connection();
    const auto session = held(db, caller.tokenHash, along);
    if (!session) {
        caller.signOut();
        return Outcome::error(QLatin1String(fw::UnauthenticatedCode), Ended);
    }
    caller.rights = session->rights;
    if (answer)
        *answer = session->along;
    const qint64 now = m_options.now();
    if (now - caller.lastTouched >= m_options.touchEveryMs) {
        run(db, QStringLiteral("UPDATE SESSAO SET DTULTUSO = ? WHERE DSHASH = ?"), {now, caller.tokenHash}, "usar a sessão");
        caller.lastTouched = now;
    }
    return std::nullopt;
}

} // namespace server
