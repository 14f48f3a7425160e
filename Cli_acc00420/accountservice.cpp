#include "accountservice.h"

#include "protocol.h"

namespace acc00420 {

using fw::dateTimeToCbor;

AccountService::AccountService(fw::TNetConnection &connection)
    : m_connection(connection)
{
}

fw::CborItem AccountService::getMovCliente(QString &cdConsumidor, QString &tCdConsumidor,
                                           const QString &cdCliente, const QDateTime &dtInicio)
{
    return m_connection.call(QStringLiteral("getMovCliente"),
                             {cdConsumidor, tCdConsumidor, cdCliente, dateTimeToCbor(dtInicio)});
}

fw::CborItem AccountService::setAtualizaCons(const QString &cdFilial, const QString &cdCliente,
                                             const QString &cdConsumidor, const QDateTime &dtInicio,
                                             const QString &cdOperador)
{
    return m_connection.call(QStringLiteral("setAtualizaCons"),
                             {cdFilial, cdCliente, cdConsumidor, dateTimeToCbor(dtInicio), cdOperador});
}

fw::CborItem AccountService::getConsumidor(const QString &cdCliente, const QString &cdConsumidor,
                                           const QString &tCdConsumidor, const QString &cdFilial)
{
    return m_connection.call(QStringLiteral("getConsumidor"),
                             {cdCliente, cdConsumidor, tCdConsumidor, cdFilial});
}

fw::CborItem AccountService::SetMovCliente(const QCborMap &delta)
{
    return m_connection.call(QStringLiteral("SetMovCliente"), {delta});
}

fw::CborItem AccountService::getPrxMovClie(const QString &cdCliente)
{
    return m_connection.call(QStringLiteral("getPrxMovClie"), {cdCliente});
}

fw::CborItem AccountService::setCancelamento(const QString &idTipMovCli, const QString &cdOperador,
                                             const QDateTime &moment, const QString &texto,
                                             const QString &cdCliente, const QString &nrSeqMovCli)
{
    return m_connection.call(QStringLiteral("setCancelamento"),
                             {idTipMovCli, cdOperador, dateTimeToCbor(moment), texto, cdCliente,
                              nrSeqMovCli});
}

fw::CborItem AccountService::setCancelaVenda(const QString &texto, const QString &cdFilial,
                                             const QString &cdCaixa, const QString &nrSeqVenda)
{
    return m_connection.call(QStringLiteral("setCancelaVenda"),
                             {texto, cdFilial, cdCaixa, nrSeqVenda});
}

fw::CborItem AccountService::setCancelaReceb(const QString &cdFilial, const QString &cdCaixa,
                                             const QString &nrSeqVenda)
{
    return m_connection.call(QStringLiteral("setCancelaReceb"), {cdFilial, cdCaixa, nrSeqVenda});
}

QString movementNumberText(const fw::CborItem &result)
{
    const QCborValue value = result.toValue();
    if (value.isInteger())
        return QString::number(value.toInteger());
    if (value.isString())
        return value.toString();
    return {};
}

} // namespace acc00420
