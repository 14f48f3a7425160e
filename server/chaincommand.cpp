#include "chaincommand.h"

#include "chainverifier.h"

#include <QFile>
#include <QJsonDocument>

#include <cstdio>

namespace server {

int runChainCommand(const QSqlDatabase &db, const QString &command, const fw::ConfigSource &config)
{
    if (command == QLatin1String("digest")) {
        std::printf("%s\n", QJsonDocument(chainDigest(db)).toJson(QJsonDocument::Compact).constData());
        return 0;
    }
    std::optional<QJsonObject> digest;
    const QString digestFile = config.value(QStringLiteral("digest"));
    if (!digestFile.isEmpty()) {
        QFile file(digestFile);
        QJsonParseError error{};
        const QJsonDocument document = file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readLine(), &error)
                                                                      : QJsonDocument();
        if (!document.isObject()) {
            std::fprintf(stderr, "acc00420-server: o resumo %s não pôde ser lido (%s)\n", qPrintable(digestFile),
                         qPrintable(file.isOpen() ? error.errorString() : file.errorString()));
            return 1;
        }
        digest = document.object();
    }
    const ChainReport report = verifyChains(db, config.value(QStringLiteral("client")), digest);
    if (report.difference) {
        std::printf("%s\n", report.difference->toUtf8().constData());
        return 3;
    }
    std::printf("cadeias íntegras: %lld contas, %lld entradas\n", report.accounts, report.entries);
    return 0;
}

} // namespace server
