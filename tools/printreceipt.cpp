// acc00420-receipt: writes the receipt of one movement as a PDF, without a window, through the
// account screen's own receipt report (for scripts and tests).
//
//   acc00420-receipt --database=PATH|postgresql://... --client=CDCLIENTE --movement=NRSEQMOVCLI
//                    --output=FILE.pdf
//
// The receipt heads with the branch the movement was made at.

#include <framework/core/abort.h>
#include <framework/data/checkresultserv.h>
#include <framework/core/checks.h>
#include "ledger.h"
#include "ledgerfile.h"
#include <framework/core/logincontext.h>
#include <framework/data/protocol.h>
#include <framework/report/reportdefinition.h>
#include "screen.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "acc00420-receipt: %s\n", message.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // no window is shown
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Grava o recibo de um lançamento em PDF."));
    parser.addHelpOption();
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Banco compartilhado."), QStringLiteral("url"));
    const QCommandLineOption client(QStringLiteral("client"), QStringLiteral("Código do cliente."), QStringLiteral("code"));
    const QCommandLineOption movement(QStringLiteral("movement"), QStringLiteral("Número do lançamento."), QStringLiteral("number"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("Arquivo PDF a gravar."), QStringLiteral("file"));
    parser.addOptions({database, client, movement, output});
    parser.process(app);
    for (const QCommandLineOption &required : {database, client, movement, output}) {
        if (parser.value(required).isEmpty())
            return fail(QStringLiteral("informe --%1 (veja --help)").arg(required.names().first()));
    }
    if (const auto missing = missingLedger(parser.value(database)))
        return fail(*missing);
    try {
        fw::LoginContext context;
        context.database = parser.value(database);
        fw::setLoginContext(context);
        // The movement as the server gives the statement, read in this process.
        server::Storage storage(parser.value(database));
        const server::Ledger ledger(storage);
        const QString code = fw::Ajusta(parser.value(client), 21);
        const server::Outcome statement = ledger.getMovCliente(
            {QString(), QStringLiteral("T"), code, fw::dateTimeToCbor(QDateTime(QDate(1900, 1, 1), QTime(0, 0)))});
        if (!statement.errorCode.isEmpty())
            return fail(statement.errorMessage);
        acc00420::TfrmPagClie screen;
        screen.cdsMovCliente->loadFromPacket(
            fw::CheckResultServ(fw::CborItem(statement.result, 0, statement.result.size()), true, 0).bytes());
        const QString number = fw::Ajusta(parser.value(movement), 10);
        if (!screen.cdsMovCliente->locate(QStringLiteral("NRSEQMOVCLI"), number))
            return fail(QStringLiteral("lançamento %1 do cliente %2 não encontrado").arg(number, code));
        const int pages = screen.printReceiptToPdf(parser.value(output));
        std::printf("%s: %d página(s)\n", parser.value(output).toLocal8Bit().constData(), pages);
        return 0;
    } catch (const fw::Abort &) {
        return 1; // the reason was already written
    } catch (const std::exception &failure) {
        return fail(QString::fromUtf8(failure.what()));
    }
}
