#include "statementcsv.h"

#include <QDateTime>

namespace acc00420 {
namespace {

QString amount(qint64 cents)
{
    const qint64 whole = cents < 0 ? -cents : cents;
    return QStringLiteral("%1%2,%3").arg(cents < 0 ? QStringLiteral("-") : QString()).arg(whole / 100)
        .arg(whole % 100, 2, 10, QLatin1Char('0'));
}

QString field(QString text)
{
    // A leading =, +, - or @ makes a formula of a cell; a quote first makes it text.
    if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()))
        text.prepend(u'\'');
    if (text.contains(u';') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r'))
        text = u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return text;
}

} // namespace

QString movementTypeName(QStringView type)
{
    if (type == u"C")
        return QStringLiteral("Crédito");
    if (type == u"D")
        return QStringLiteral("Débito");
    if (type == u"A")
        return QStringLiteral("Déb-Ajuste");
    if (type == u"X")
        return QStringLiteral("Cancelado");
    return type.toString();
}

QByteArray statementCsv(const Statement &statement)
{
    QString csv = QStringLiteral("Data;Lançamento;Tipo;Consumidor;Histórico;Valor empresa;Valor pessoal;"
                                 "Saldo empresa;Saldo pessoal\r\n");
    for (const StatementLine &line : statement.lines) {
        const StatementMovement &m = line.movement;
        csv += QStringList{QDateTime::fromMSecsSinceEpoch(m.moment).toString(QStringLiteral("dd/MM/yyyy")), field(m.number),
                           movementTypeName(m.type), field(m.consumer), field(m.history), amount(m.company),
                           amount(m.personal), amount(line.balance.company), amount(line.balance.personal)}
                   .join(u';')
            + QStringLiteral("\r\n");
    }
    return "\xEF\xBB\xBF" + csv.toUtf8();
}

} // namespace acc00420
