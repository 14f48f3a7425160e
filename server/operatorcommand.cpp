#include "operatorcommand.h"

#include <framework/core/commandline.h>

#include <termios.h>
#include <unistd.h>

namespace server {
namespace {

// One line of `in`, without its line end; typed at a terminal, not echoed.
QString readPassword(std::FILE *in, std::FILE *err)
{
    const int fd = fileno(in);
    termios saved{};
    const bool terminal = isatty(fd) && tcgetattr(fd, &saved) == 0;
    if (terminal) {
        std::fputs("Senha: ", err);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(fd, TCSANOW, &quiet);
    }
    QByteArray line;
    for (int c = std::fgetc(in); c != EOF && c != '\n'; c = std::fgetc(in))
        line.append(char(c));
    if (terminal) {
        tcsetattr(fd, TCSANOW, &saved);
        std::fputc('\n', err);
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

QStringList listed(const fw::ConfigSource &config, const char *name)
{
    return config.value(QLatin1String(name)).split(u',', Qt::SkipEmptyParts);
}

} // namespace

int runOperatorCommand(const Operators &operators, const QStringList &words, const fw::ConfigSource &config,
                       std::FILE *in, std::FILE *out, std::FILE *err)
{
    const QString command = words.value(0);
    const QString code = words.value(1);
    const bool needsCode = command == QLatin1String("add") || command == QLatin1String("passwd")
        || command == QLatin1String("disable");
    if (!needsCode && command != QLatin1String("list")) {
        fw::printLine(err, QStringLiteral("acc00420-server: use operator add CODIGO --name=NOME --branches=0001 --rights=consultar,lancar,"
                                  " operator passwd CODIGO, operator disable CODIGO ou operator list"));
        return 2;
    }
    if (needsCode && code.isEmpty()) {
        fw::printLine(err, QStringLiteral("acc00420-server: informe o código do operador: operator %1 CODIGO").arg(command));
        return 2;
    }
    try {
        if (command == QLatin1String("add")) {
            operators.add({code, config.value(QStringLiteral("name")), true, listed(config, "branches"), listed(config, "rights")},
                          readPassword(in, err));
            fw::printLine(out, QStringLiteral("operador %1 incluído").arg(code));
        } else if (command == QLatin1String("passwd")) {
            operators.setPassword(code, readPassword(in, err));
            fw::printLine(out, QStringLiteral("senha do operador %1 trocada; as sessões abertas dele foram encerradas").arg(code));
        } else if (command == QLatin1String("disable")) {
            operators.disable(code);
            fw::printLine(out, QStringLiteral("operador %1 desativado; as sessões abertas dele foram encerradas").arg(code));
        } else {
            for (const OperatorRecord &r : operators.list())
                fw::printLine(out, QStringLiteral("%1\t%2\t%3\tfiliais=%4\tpermissoes=%5")
                               .arg(r.code, r.name, r.active ? QStringLiteral("ativo") : QStringLiteral("inativo"),
                                    r.branches.join(u','), r.rights.join(u',')));
        }
        return 0;
    } catch (const OperatorError &e) {
        fw::printLine(err, QStringLiteral("acc00420-server: %1; nada foi alterado").arg(QString::fromUtf8(e.what())));
        return 1;
    }
}

} // namespace server
