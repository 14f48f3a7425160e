#include "backupcommand.h"

#include <framework/core/commandline.h>
#include <framework/data/database.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <optional>

namespace server {
namespace {

// Pages copied per step: a megabyte at SQLite's default page size.
constexpr int PagesPerStep = 256;
// How long the copy goes on finding the file locked before it gives up: as long as the
// servers' own writers wait for each other.
constexpr int BusyPatienceMs = 10000;

// A connection of SQLite's own API, closed when it goes.
struct Connection
{
    sqlite3 *db = nullptr;
    ~Connection() { sqlite3_close_v2(db); }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(db)); }
    bool exec(const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
};

// What the copy's integrity check says of it: "ok", or the first problems it found.
QString integrity(sqlite3 *db)
{
    sqlite3_stmt *check = nullptr;
    QStringList found;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check(10)", -1, &check, nullptr) == SQLITE_OK) {
        while (sqlite3_step(check) == SQLITE_ROW)
            found << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)));
    }
    sqlite3_finalize(check);
    return found.isEmpty() ? QString::fromUtf8(sqlite3_errmsg(db)) : found.join(QLatin1String("; "));
}

// Copies the SQLite file `source` into the empty file `part` and checks the copy; the reason
// when it fails.
std::optional<QString> backUp(const QString &source, const QString &part, int *pages)
{
    Connection from, to;
    if (sqlite3_open_v2(QFile::encodeName(source).constData(), &from.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return QStringLiteral("não foi possível abrir o banco %1: %2").arg(source, from.error());
    sqlite3_busy_timeout(from.db, BusyPatienceMs);
    // One read snapshot for the whole copy. On the servers' write-ahead log a reader never holds
    // up a writer, and steps inside one snapshot are not started over by the writers' commits,
    // as steps each reading on their own would be: on a busy ledger those never reach the end.
    if (!from.exec("BEGIN; SELECT COUNT(*) FROM sqlite_schema"))
        return QStringLiteral("não foi possível ler o banco %1: %2").arg(source, from.error());
    if (sqlite3_open_v2(QFile::encodeName(part).constData(), &to.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return QStringLiteral("não foi possível gravar a cópia: %1").arg(to.error());
    sqlite3_backup *backup = sqlite3_backup_init(to.db, "main", from.db, "main");
    if (!backup)
        return QStringLiteral("não foi possível começar a cópia: %1").arg(to.error());
    int step = SQLITE_OK;
    QDeadlineTimer patience(BusyPatienceMs);
    while ((step = sqlite3_backup_step(backup, PagesPerStep)) != SQLITE_DONE) {
        if (step == SQLITE_OK)
            patience.setRemainingTime(BusyPatienceMs);
        else if ((step == SQLITE_BUSY || step == SQLITE_LOCKED) && !patience.hasExpired())
            sqlite3_sleep(50);
        else
            break;
    }
    *pages = sqlite3_backup_pagecount(backup);
    sqlite3_backup_finish(backup);
    if (step != SQLITE_DONE)
        return QStringLiteral("a cópia parou no meio: %1").arg(QString::fromUtf8(sqlite3_errstr(step)));
    from.exec("COMMIT"); // the writers' log may be emptied again while the copy is checked
    // One file that stands alone, without a log beside it; a server that opens it again puts
    // its log back.
    if (!to.exec("PRAGMA journal_mode=DELETE"))
        return QStringLiteral("não foi possível fechar a cópia: %1").arg(to.error());
    const QString verdict = integrity(to.db);
    if (verdict != QLatin1String("ok"))
        return QStringLiteral("a cópia não passou na verificação de integridade (%1)").arg(verdict);
    return std::nullopt;
}

} // namespace

int runBackupCommand(const QString &database, const QString &target, std::FILE *out, std::FILE *err)
{
    auto refuse = [err](const QString &why) {
        fw::printLine(err, QStringLiteral("acc00420-server: ") + why);
        return 1;
    };
    fw::DatabaseUrl url;
    try {
        url = fw::DatabaseUrl::parse(database);
    } catch (const fw::DatabaseError &e) {
        return refuse(QString::fromUtf8(e.what()));
    }
    if (url.kind == fw::DatabaseUrl::Kind::PostgreSQL)
        return refuse(QStringLiteral("para PostgreSQL, use pg_dump: veja a seção Backups de docs/operations.md"));
    if (target.isEmpty())
        return refuse(QStringLiteral("informe onde gravar a cópia: backup --to=ARQUIVO"));
    const QFileInfo source(url.path), copy(target);
    if (!source.isFile())
        return refuse(QStringLiteral("o banco %1 não existe; confira --database").arg(url.path));
    if (copy.exists() && copy.canonicalFilePath() == source.canonicalFilePath())
        return refuse(QStringLiteral("a cópia não pode ser gravada sobre o próprio banco %1; escolha outro nome").arg(target));
    if (copy.exists())
        return refuse(QStringLiteral("o arquivo %1 já existe; escolha outro nome").arg(target));

    // Written under a name of its own beside the target, which it takes only whole and checked.
    QTemporaryFile part(target + QStringLiteral(".parcial-XXXXXX"));
    if (!part.open())
        return refuse(QStringLiteral("não foi possível criar a cópia ao lado de %1 (%2); confira a pasta e suas permissões")
                          .arg(target, part.errorString()));
    part.close(); // SQLite writes it through a handle of its own; closing ours later would drop its locks
    int pages = 0;
    if (const std::optional<QString> failure = backUp(url.path, part.fileName(), &pages))
        return refuse(QStringLiteral("%1; %2 não foi criado").arg(*failure, target));
    if (!part.rename(target))
        return refuse(QStringLiteral("não foi possível dar à cópia o nome %1 (%2); nada foi gravado com esse nome")
                          .arg(target, part.errorString()));
    part.setAutoRemove(false);
    fw::printLine(out, QStringLiteral("cópia íntegra de %1 gravada em %2: %3 páginas, %4")
                   .arg(url.path, target)
                   .arg(pages)
                   .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).formattedDataSize(QFileInfo(target).size())));
    return 0;
}

} // namespace server
