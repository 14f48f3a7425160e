// acc00420-receipt: writes the receipt of one movement as a PDF, without a window, through the
// account screen's own receipt report (for scripts and tests).
//
//   acc00420-receipt --database=PATH|postgresql://... --client=CDCLIENTE --movement=NRSEQMOVCLI
//                    --output=FILE.pdf
//
// The receipt heads with the branch the movement was made at.

#include "ledgerfile.h"
#include "receiptreport.h"
#include "statementreader.h"
#include "storage.h"

#include <framework/core/checks.h>
#include <framework/core/commandline.h>
#include <framework/core/largebuffers.h>
#include <framework/core/logincontext.h>
#include <framework/report/reportdefinition.h>

#include <QGuiApplication>

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
    fw::keepLargeBuffersForReuse();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // no window is shown
    QGuiApplication app(argc, argv);
    app.setApplicationVersion(QStringLiteral(ACC00420_VERSION));
    fw::CommandLine parser(QStringLiteral("--database=URL --client=CÓDIGO --movement=NÚMERO --output=ARQUIVO.pdf"),
                           QStringLiteral("Grava o recibo de um lançamento em PDF."),
                           {{"database", "Banco do razão.", "URL"},
                            {"client", "Código do cliente.", "CÓDIGO"},
                            {"movement", "Número do lançamento.", "NÚMERO"},
                            {"output", "Arquivo PDF a gravar.", "ARQUIVO"}});
    if (const auto exit = parser.parse(app.arguments(), {"database", "client", "movement", "output"}))
        return *exit;
    const QString database = QStringLiteral("database"), client = QStringLiteral("client"),
                  movement = QStringLiteral("movement"), output = QStringLiteral("output");
    if (const auto missing = missingLedger(parser.value(database)))
        return fail(*missing);
    try {
        // The report's own query reads the movement's branch, client, consumer and operator.
        fw::LoginContext context;
        context.database = parser.value(database);
        fw::setLoginContext(context);
        server::Storage storage(parser.value(database));
        const QString code = fw::Ajusta(parser.value(client), 21);
        const QString number = fw::Ajusta(parser.value(movement), 10);
        const auto found = server::readMovement(storage.connection(), code, number);
        if (!found)
            return fail(QStringLiteral("lançamento %1 do cliente %2 não encontrado").arg(number, code));
        const int pages = acc00420::printReceiptToPdf(parser.value(output), {code, number, found->personal / 100.0});
        std::printf("%s: %d página(s)\n", parser.value(output).toLocal8Bit().constData(), pages);
        return 0;
    } catch (const std::exception &failure) {
        return fail(QString::fromUtf8(failure.what()));
    }
}
