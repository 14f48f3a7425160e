#include "schema.h"

#include "chain.h"
#include "storage.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QStringList>

namespace server {
namespace {

using Kind = fw::DatabaseUrl::Kind;

// Money is stored in whole cents (BIGINT), percentages in hundredths of a percent, moments as
// milliseconds since the epoch: exact, and the same on SQLite and PostgreSQL.
QStringList version1(Kind kind)
{
    const QString serial = kind == Kind::PostgreSQL ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                                    : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    return {
        "CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) PRIMARY KEY, NMFILIAL VARCHAR(50) NOT NULL)",
        "CREATE TABLE OPERADOR (CDOPERADOR VARCHAR(12) PRIMARY KEY, NMOPERADOR VARCHAR(40) NOT NULL)",
        "CREATE TABLE CLIENTE (CDCLIENTE VARCHAR(21) PRIMARY KEY, NRINSJURCLIE VARCHAR(20) NOT NULL,"
        " IDTPIJURCLIE CHAR(1) NOT NULL, NMFANTCLIE VARCHAR(50) NOT NULL)",
        "CREATE INDEX CLIENTE_INSCRICAO ON CLIENTE (NRINSJURCLIE)",
        "CREATE TABLE CLIENFILIAL (CDFILIAL VARCHAR(4) NOT NULL REFERENCES FILIAL,"
        " CDCLIENTE VARCHAR(21) NOT NULL REFERENCES CLIENTE, PRIMARY KEY (CDFILIAL, CDCLIENTE))",
        "CREATE TABLE CONSUMIDOR (CDCLIENTE VARCHAR(21) NOT NULL REFERENCES CLIENTE,"
        " CDCONSUMIDOR VARCHAR(21) NOT NULL, NMCONSUMIDOR VARCHAR(50) NOT NULL,"
        " VRPESUBSIDIO BIGINT, VRTETOSUBSID BIGINT, PRIMARY KEY (CDCLIENTE, CDCONSUMIDOR))",
        "CREATE TABLE CONSFILIAL (CDCLIENTE VARCHAR(21) NOT NULL, CDCONSUMIDOR VARCHAR(21) NOT NULL,"
        " CDFILIAL VARCHAR(4) NOT NULL REFERENCES FILIAL,"
        " PRIMARY KEY (CDCLIENTE, CDCONSUMIDOR, CDFILIAL),"
        " FOREIGN KEY (CDCLIENTE, CDCONSUMIDOR) REFERENCES CONSUMIDOR)",
        "CREATE TABLE VENDA (CDFILIAL VARCHAR(4) NOT NULL, CDCAIXA VARCHAR(3) NOT NULL,"
        " NRSEQVENDA VARCHAR(10) NOT NULL, DTABERCAIX BIGINT NOT NULL, DTVENDA BIGINT NOT NULL,"
        " VRTOTVENDA BIGINT NOT NULL, IDSITVENDA CHAR(1) NOT NULL, DSCANCVENDA VARCHAR(200),"
        " DTCANCVENDA BIGINT, PRIMARY KEY (CDFILIAL, CDCAIXA, NRSEQVENDA))",
        "CREATE TABLE RECEBIMENTO (CDFILIAL VARCHAR(4) NOT NULL, CDCAIXA VARCHAR(3) NOT NULL,"
        " NRSEQVENDA VARCHAR(10) NOT NULL, CDTIPORECE VARCHAR(3) NOT NULL, VRRECEBIDO BIGINT NOT NULL,"
        " IDSITRECE CHAR(1) NOT NULL, DTCANCRECE BIGINT,"
        " PRIMARY KEY (CDFILIAL, CDCAIXA, NRSEQVENDA, CDTIPORECE),"
        " FOREIGN KEY (CDFILIAL, CDCAIXA, NRSEQVENDA) REFERENCES VENDA)",
        "CREATE TABLE MOVICLIE (CDCLIENTE VARCHAR(21) NOT NULL REFERENCES CLIENTE,"
        " NRSEQMOVCLI VARCHAR(10) NOT NULL, CDFILIAL VARCHAR(4) NOT NULL,"
        " CDCONSUMIDOR VARCHAR(21), VRMOVCLI BIGINT NOT NULL, DTMOVCLI BIGINT NOT NULL,"
        " DSHISTMOV VARCHAR(80), IDTIPMOCVLI CHAR(1) NOT NULL, NRSEQVENDA VARCHAR(10),"
        " CDCAIXA VARCHAR(3), DTABERCAIX BIGINT, CDTIPORECE VARCHAR(3),"
        " VRMOVPESCONS BIGINT NOT NULL, VRSALDPECONS BIGINT NOT NULL DEFAULT 0,"
        " VRSALDOCONS BIGINT NOT NULL DEFAULT 0, DTATUMOVCLIE BIGINT, CDOPERADOR VARCHAR(12),"
        " DSATUMOVCLIE VARCHAR(200), DTRECMOVCLIE BIGINT, CDOPERRECA VARCHAR(12),"
        " TIPO CHAR(1) NOT NULL, DTMOVIMCLIE BIGINT,"
        " PRIMARY KEY (CDCLIENTE, NRSEQMOVCLI))",
        "CREATE INDEX MOVICLIE_EXTRATO ON MOVICLIE (CDCLIENTE, DTMOVCLI, NRSEQMOVCLI)",
        "CREATE TABLE NUMMOVCLIE (CDCLIENTE VARCHAR(21) PRIMARY KEY REFERENCES CLIENTE,"
        " NRULTMOV BIGINT NOT NULL)",
        "CREATE TABLE HISTMOVCLIE (NRHIST " + serial + ", CDCLIENTE VARCHAR(21) NOT NULL,"
        " NRSEQMOVCLI VARCHAR(10) NOT NULL, DSOPERACAO VARCHAR(10) NOT NULL, DTHIST BIGINT NOT NULL,"
        " CDOPERADOR VARCHAR(12), DSDADOS TEXT NOT NULL)",
        "CREATE INDEX HISTMOVCLIE_MOVIMENTO ON HISTMOVCLIE (CDCLIENTE, NRSEQMOVCLI)",
    };
}

// Changes that are not one movement's: sale and receipt cancellations, recalculations of an
// account's balances.
QStringList version2(Kind kind)
{
    const QString serial = kind == Kind::PostgreSQL ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                                    : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    return {
        "CREATE TABLE HISTCONTA (NRHIST " + serial + ", DSOBJETO VARCHAR(12) NOT NULL,"
        " DSCHAVE VARCHAR(40) NOT NULL, DSOPERACAO VARCHAR(10) NOT NULL, DTHIST BIGINT NOT NULL,"
        " CDOPERADOR VARCHAR(12), DSDADOS TEXT NOT NULL)",
        "CREATE INDEX HISTCONTA_OBJETO ON HISTCONTA (DSOBJETO, DSCHAVE)",
    };
}

// Operators sign in: their password hashes, rights and branches; the sessions they hold; the
// failed sign-ins that lock a code for a while; and the terminal each change came from.
QStringList version3(Kind)
{
    return {
        "ALTER TABLE OPERADOR ADD COLUMN DSSENHA VARCHAR(200)",
        "ALTER TABLE OPERADOR ADD COLUMN IDATIVO CHAR(1) NOT NULL DEFAULT 'S'",
        "ALTER TABLE OPERADOR ADD COLUMN DSPERMISSOES VARCHAR(100) NOT NULL DEFAULT ''",
        "CREATE TABLE OPERFILIAL (CDOPERADOR VARCHAR(12) NOT NULL REFERENCES OPERADOR,"
        " CDFILIAL VARCHAR(4) NOT NULL REFERENCES FILIAL, PRIMARY KEY (CDOPERADOR, CDFILIAL))",
        "CREATE TABLE SESSAO (DSHASH VARCHAR(64) PRIMARY KEY, CDOPERADOR VARCHAR(12) NOT NULL REFERENCES OPERADOR,"
        " CDFILIAL VARCHAR(4) NOT NULL, DSTERMINAL VARCHAR(40) NOT NULL, DSENDERECO VARCHAR(64) NOT NULL,"
        " DTINICIO BIGINT NOT NULL, DTULTUSO BIGINT NOT NULL, DTFIM BIGINT)",
        "CREATE INDEX SESSAO_OPERADOR ON SESSAO (CDOPERADOR)",
        "CREATE TABLE TENTATIVA (CDOPERADOR VARCHAR(12) PRIMARY KEY, NRFALHAS INTEGER NOT NULL, DTBLOQUEIO BIGINT)",
        "ALTER TABLE HISTMOVCLIE ADD COLUMN CDTERMINAL VARCHAR(40)",
        "ALTER TABLE HISTCONTA ADD COLUMN CDTERMINAL VARCHAR(40)",
    };
}

// Each account's changes chained by hash.
QStringList version4(Kind)
{
    return {
        "CREATE TABLE CADEIA (CDCLIENTE VARCHAR(21) NOT NULL, NRSEQ BIGINT NOT NULL, DTENTRADA BIGINT NOT NULL,"
        " CDOPERADOR VARCHAR(12), CDTERMINAL VARCHAR(40), DSOPERACAO VARCHAR(10) NOT NULL, NRSEQMOVCLI VARCHAR(10),"
        " DSDADOS TEXT NOT NULL, DSHASHANT CHAR(64) NOT NULL, DSHASH CHAR(64) NOT NULL, PRIMARY KEY (CDCLIENTE, NRSEQ))",
    };
}

// Each chain's head kept on the account's lock row, so an append reads it with the lock; the
// accounts already there are sealed as they stand (once, in the first of these two versions
// that a ledger meets).
QStringList version5(Kind)
{
    return {
        "ALTER TABLE NUMMOVCLIE ADD COLUMN NRSEQCADEIA BIGINT NOT NULL DEFAULT 0",
        "ALTER TABLE NUMMOVCLIE ADD COLUMN DSHASHCADEIA CHAR(64)",
        "UPDATE NUMMOVCLIE SET NRSEQCADEIA = (SELECT MAX(NRSEQ) FROM CADEIA C WHERE C.CDCLIENTE = NUMMOVCLIE.CDCLIENTE),"
        " DSHASHCADEIA = (SELECT DSHASH FROM CADEIA C WHERE C.CDCLIENTE = NUMMOVCLIE.CDCLIENTE ORDER BY NRSEQ DESC LIMIT 1)"
        " WHERE EXISTS (SELECT 1 FROM CADEIA C WHERE C.CDCLIENTE = NUMMOVCLIE.CDCLIENTE)",
    };
}

// Each movement carries the account version (its chain's sequence) of the change that last
// touched it, so a screen asks only for what changed since the version it shows; a deletion,
// which leaves no row to send, moves the version below which only a whole statement will do.
// On PostgreSQL every new chain head is notified at commit ("client/version"), for the servers
// that follow the accounts their screens watch.
QStringList version6(Kind kind)
{
    QStringList statements{
        "ALTER TABLE MOVICLIE ADD COLUMN NRVERSAO BIGINT NOT NULL DEFAULT 0",
        "ALTER TABLE NUMMOVCLIE ADD COLUMN NRVERSAOCOMPLETA BIGINT NOT NULL DEFAULT 0",
        "CREATE INDEX MOVICLIE_VERSAO ON MOVICLIE (CDCLIENTE, NRVERSAO)",
    };
    if (kind == Kind::PostgreSQL)
        statements << "CREATE OR REPLACE FUNCTION ACC00420_CONTA_MUDOU() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
                      " PERFORM pg_notify('acc00420_conta', NEW.CDCLIENTE || '/' || NEW.NRSEQCADEIA); RETURN NULL; END $$"
                   << "DROP TRIGGER IF EXISTS NUMMOVCLIE_MUDOU ON NUMMOVCLIE"
                   << "CREATE TRIGGER NUMMOVCLIE_MUDOU AFTER UPDATE OF NRSEQCADEIA ON NUMMOVCLIE FOR EACH ROW"
                      " WHEN (NEW.NRSEQCADEIA <> OLD.NRSEQCADEIA) EXECUTE FUNCTION ACC00420_CONTA_MUDOU()";
    return statements;
}

// On PostgreSQL an account's change is notified only while an instance follows it: the
// notification takes a lock that every notifying commit of the database waits for, and most
// accounts (the tills' postings) have no screen watching them. An instance (its host, address and port)
// marks the accounts its screens watch in CONTAACOMP and unmarks them when the last one leaves;
// it clears what it left there when it starts again.
QStringList version7(Kind kind)
{
    if (kind != Kind::PostgreSQL)
        return {};
    return {"CREATE TABLE IF NOT EXISTS CONTAACOMP (CDCLIENTE VARCHAR(21) NOT NULL, DSINSTANCIA VARCHAR(300) NOT NULL,"
            " PRIMARY KEY (CDCLIENTE, DSINSTANCIA))",
            "CREATE OR REPLACE FUNCTION ACC00420_CONTA_MUDOU() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
            " IF EXISTS (SELECT 1 FROM CONTAACOMP WHERE CDCLIENTE = NEW.CDCLIENTE) THEN"
            " PERFORM pg_notify('acc00420_conta', NEW.CDCLIENTE || '/' || NEW.NRSEQCADEIA); END IF; RETURN NULL; END $$"};
}

struct Migration
{
    QStringList (*statements)(Kind);
    void (*after)(const QSqlDatabase &);
};

const std::vector<Migration> migrations = {
    {version1, nullptr}, {version2, nullptr}, {version3, nullptr}, {version4, nullptr}, {version5, sealAccounts}, {version6, nullptr},
    {version7, nullptr}};

} // namespace

int schemaVersion(const QSqlDatabase &db)
{
    if (!db.tables().contains(QStringLiteral("schemaversao"), Qt::CaseInsensitive))
        return 0;
    QSqlQuery q = run(db, QStringLiteral("SELECT MAX(NRVERSAO) FROM SCHEMAVERSAO"), {}, "ler a versão do esquema");
    return q.next() ? q.value(0).toInt() : 0;
}

int migrate(const QSqlDatabase &db, Kind kind)
{
    if (schemaVersion(db) == 0 && !db.tables().contains(QStringLiteral("schemaversao"), Qt::CaseInsensitive))
        run(db, QStringLiteral("CREATE TABLE IF NOT EXISTS SCHEMAVERSAO (NRVERSAO INTEGER PRIMARY KEY, DTAPLIC BIGINT NOT NULL)"),
            {}, "criar a tabela de versões");
    int version = schemaVersion(db);
    while (version < int(migrations.size())) {
        Transaction transaction(db, kind);
        if (kind == Kind::PostgreSQL)
            run(db, QStringLiteral("LOCK TABLE SCHEMAVERSAO IN EXCLUSIVE MODE"), {}, "travar o esquema");
        // Another server starting at the same moment may have applied it already.
        if (schemaVersion(db) > version) {
            version = schemaVersion(db);
            continue;
        }
        const Migration &migration = migrations[size_t(version)];
        for (const QString &statement : migration.statements(kind))
            run(db, statement, {}, "criar o esquema");
        if (migration.after)
            migration.after(db);
        ++version;
        run(db, QStringLiteral("INSERT INTO SCHEMAVERSAO (NRVERSAO, DTAPLIC) VALUES (?, ?)"),
            {version, QDateTime::currentMSecsSinceEpoch()}, "registrar a versão do esquema");
        transaction.commit();
    }
    return version;
}

} // namespace server
