#include "accountservice.h"

#include <framework/data/protocol.h>

namespace acc00420 {

using fw::dateTimeToCbor;

AccountService::AccountService(fw::TNetConnection &connection)
    : m_connection(connection)
{
}

fw::CborItem AccountService::getMovCliente(QString &cdConsumidor, QString &tCdConsumidor,
                                           const QString &cdCliente, const QDateTime &dtInicio)
{
    return call(QStringLiteral("getMovCliente"),
                             {cdConsumidor, tCdConsumidor, cdCliente, dateTimeToCbor(dtInicio)});
}

fw::CborItem AccountService::getMovCliente(QString &cdConsumidor, QString &tCdConsumidor, const QString &cdCliente,
                                           const QDateTime &dtInicio, const fw::TNetConnection::ReplyParts &parts)
{
    return call(QStringLiteral("getMovCliente"), {cdConsumidor, tCdConsumidor, cdCliente, dateTimeToCbor(dtInicio)}, parts);
}

fw::CborItem AccountService::setAtualizaCons(const QString &cdFilial, const QString &cdCliente,
                                             const QString &cdConsumidor, const QDateTime &dtInicio,
                                             const QString &cdOperador)
{
    return call(QStringLiteral("setAtualizaCons"),
                             {cdFilial, cdCliente, cdConsumidor, dateTimeToCbor(dtInicio), cdOperador});
}

fw::CborItem AccountService::getConsumidor(const QString &cdCliente, const QString &cdConsumidor,
                                           const QString &tCdConsumidor, const QString &cdFilial)
{
    return call(QStringLiteral("getConsumidor"),
                             {cdCliente, cdConsumidor, tCdConsumidor, cdFilial});
}

fw::CborItem AccountService::SetMovCliente(const QCborMap &delta)
{
    return call(QStringLiteral("SetMovCliente"), {delta});
}

fw::CborItem AccountService::getPrxMovClie(const QString &cdCliente)
{
    return call(QStringLiteral("getPrxMovClie"), {cdCliente});
}

fw::CborItem AccountService::setCancelamento(const QString &idTipMovCli, const QString &cdOperador,
                                             const QDateTime &moment, const QString &texto,
                                             const QString &cdCliente, const QString &nrSeqMovCli)
{
    return call(QStringLiteral("setCancelamento"),
                             {idTipMovCli, cdOperador, dateTimeToCbor(moment), texto, cdCliente,
                              nrSeqMovCli});
}

fw::CborItem AccountService::setCancelaVenda(const QString &texto, const QString &cdFilial,
                                             const QString &cdCaixa, const QString &nrSeqVenda)
{
    return call(QStringLiteral("setCancelaVenda"),
                             {texto, cdFilial, cdCaixa, nrSeqVenda});
}

fw::CborItem AccountService::setCancelaReceb(const QString &cdFilial, const QString &cdCaixa,
                                             const QString &nrSeqVenda)
{
    return call(QStringLiteral("setCancelaReceb"), {cdFilial, cdCaixa, nrSeqVenda});
}

fw::CborItem AccountService::verificaHistorico(const QString &cdCliente)
{
    return call(QStringLiteral("verificaHistorico"), {cdCliente});
}

fw::CborItem AccountService::getMovClienteDesde(const QString &cdConsumidor, const QString &tCdConsumidor,
                                                const QString &cdCliente, const QDateTime &dtInicio, quint64 versao)
{
    return call(QStringLiteral("getMovClienteDesde"),
                {cdConsumidor, tCdConsumidor, cdCliente, dateTimeToCbor(dtInicio), qint64(versao)});
}

fw::CborItem AccountService::acompanhar(const QString &cdCliente)
{
    return call(QStringLiteral("acompanhar"), {cdCliente});
}

fw::CborItem AccountService::deixar(const QString &cdCliente)
{
    return call(QStringLiteral("deixar"), {cdCliente});
}

fw::CborItem AccountService::call(const QString &method, const QCborArray &args,
                                  const fw::TNetConnection::ReplyParts &parts)
{
    if (const auto why = fw::checkArguments(accountMethod(method), args))
        throw fw::ServerCallError(QStringLiteral("O servidor de aplicação recusaria o pedido: %1.").arg(*why),
                                  QStringLiteral("%1: bad-arguments").arg(method));
    return parts ? m_connection.call(method, args, parts) : m_connection.call(method, args);
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
