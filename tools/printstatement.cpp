// acc00420-statement: writes a client's (or a consumer's) statement of a period as a PDF or as
// CSV for a spreadsheet, without a window, with the content the screen prints.
//
//   acc00420-statement --database=PATH|postgresql://... --client=CODE [--consumer=CODE]
//                      --from=DD/MM/YYYY --to=DD/MM/YYYY --format=pdf|csv --output=FILE

#include "ledgerfile.h"
#include "statementcsv.h"
#include "statementreader.h"
#include "statementreport.h"
#include "storage.h"

#include <framework/core/checks.h>
#include <framework/core/commandline.h>
#include <framework/core/largebuffers.h>

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "acc00420-statement: %s\n", message.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    fw::keepLargeBuffersForReuse();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // no window is shown
    QGuiApplication app(argc, argv);
    app.setApplicationVersion(QStringLiteral(ACC00420_VERSION));
    fw::CommandLine parser(QStringLiteral("--database=URL --client=CÓDIGO --from=DATA --to=DATA --format=pdf|csv --output=ARQUIVO"),
                           QStringLiteral("Grava o extrato de um período da conta em PDF ou CSV."),
                           {{"database", "Banco do razão.", "URL"},
                            {"client", "Código do cliente.", "CÓDIGO"},
                            {"consumer", "Só este consumidor.", "CÓDIGO"},
                            {"from", "Primeiro dia (DD/MM/AAAA).", "DATA"},
                            {"to", "Último dia (DD/MM/AAAA).", "DATA"},
                            {"format", "pdf ou csv.", "FORMATO"},
                            {"output", "Arquivo a gravar.", "ARQUIVO"}});
    if (const auto exit = parser.parse(app.arguments(), {"database", "client", "from", "to", "format", "output"}))
        return *exit;
    const QString database = QStringLiteral("database"), client = QStringLiteral("client"),
                  consumer = QStringLiteral("consumer"), from = QStringLiteral("from"), to = QStringLiteral("to"),
                  format = QStringLiteral("format"), output = QStringLiteral("output");
    const QDate first = QDate::fromString(parser.value(from), QStringLiteral("dd/MM/yyyy"));
    const QDate last = QDate::fromString(parser.value(to), QStringLiteral("dd/MM/yyyy"));
    for (const auto &[date, option] : {std::pair{first, from}, std::pair{last, to}}) {
        if (!date.isValid())
            return fail(QStringLiteral("--%1: \"%2\" não é uma data DD/MM/AAAA").arg(option, parser.value(option)));
    }
    if (first > last)
        return fail(QStringLiteral("--from (%1) vem depois de --to (%2)").arg(parser.value(from), parser.value(to)));
    const QString kind = parser.value(format).toLower();
    if (kind != QLatin1String("pdf") && kind != QLatin1String("csv"))
        return fail(QStringLiteral("--format: \"%1\" não é pdf nem csv").arg(parser.value(format)));
    if (const auto missing = missingLedger(parser.value(database)))
        return fail(*missing);
    try {
        server::Storage storage(parser.value(database));
        const QSqlDatabase db = storage.connection();
        const QString code = fw::Ajusta(parser.value(client), 21);
        const QString consumerCode = parser.value(consumer).isEmpty() ? QString() : fw::Ajusta(parser.value(consumer), 21);
        const auto holder = server::readStatementHolder(db, code, consumerCode);
        if (!holder)
            return fail(consumerCode.isEmpty() ? QStringLiteral("cliente %1 não cadastrado").arg(code)
                                               : QStringLiteral("consumidor %1 do cliente %2 não cadastrado").arg(consumerCode, code));
        const acc00420::Statement statement =
            acc00420::buildStatement(server::readAccountMovements(db, code, consumerCode), first, last);
        if (kind == QLatin1String("csv")) {
            QSaveFile file(parser.value(output));
            if (!file.open(QIODevice::WriteOnly) || file.write(acc00420::statementCsv(statement)) < 0 || !file.commit())
                return fail(QStringLiteral("não foi possível gravar %1: %2").arg(parser.value(output), file.errorString()));
            std::printf("%s: %lld lançamento(s)\n", parser.value(output).toLocal8Bit().constData(),
                        qlonglong(statement.lines.size()));
            return 0;
        }
        const acc00420::StatementPrint print{*holder, server::servingBranches(db, code), first, last, true,
                                             QStringLiteral("acc00420-statement"), QDateTime::currentDateTime()};
        const int pages = acc00420::printStatementToPdf(parser.value(output), print, statement);
        std::printf("%s: %d página(s)\n", parser.value(output).toLocal8Bit().constData(), pages);
        return 0;
    } catch (const std::exception &failure) {
        return fail(QString::fromUtf8(failure.what()));
    }
}
