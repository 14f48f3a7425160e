#pragma once

#include "accountmethods.h"

#include <framework/data/netconnection.h>

#include <QCborMap>
#include <QDateTime>
#include <QString>

namespace acc00420 {

// The server object "Acc00420.rdmPagClie" as the screen calls it: one member per method, the
// arguments in the server's order and types. Each returns the raw result, to be opened with
// CheckResultServ (all but getPrxMovClie, whose result is the bare movement number).
class AccountService
{
public:
    static constexpr const char *ObjectName = AccountObjectName;

    explicit AccountService(fw::TNetConnection &connection);

    // The two first arguments are the screen's module strings, passed by reference; the
    // server may read them and the screen never reads them back.
    fw::CborItem getMovCliente(QString &cdConsumidor, QString &tCdConsumidor,
                               const QString &cdCliente, const QDateTime &dtInicio);
    // The same, all but the last rows arriving in parts (the envelope's payload holds the rest).
    fw::CborItem getMovCliente(QString &cdConsumidor, QString &tCdConsumidor, const QString &cdCliente,
                               const QDateTime &dtInicio, const fw::TNetConnection::ReplyParts &parts);
    fw::CborItem setAtualizaCons(const QString &cdFilial, const QString &cdCliente,
                                 const QString &cdConsumidor, const QDateTime &dtInicio,
                                 const QString &cdOperador);
    fw::CborItem getConsumidor(const QString &cdCliente, const QString &cdConsumidor,
                               const QString &tCdConsumidor, const QString &cdFilial);
    fw::CborItem SetMovCliente(const QCborMap &delta);
    fw::CborItem getPrxMovClie(const QString &cdCliente);
    fw::CborItem setCancelamento(const QString &idTipMovCli, const QString &cdOperador,
                                 const QDateTime &moment, const QString &texto,
                                 const QString &cdCliente, const QString &nrSeqMovCli);
    fw::CborItem setCancelaVenda(const QString &texto, const QString &cdFilial,
                                 const QString &cdCaixa, const QString &nrSeqVenda);
    fw::CborItem setCancelaReceb(const QString &cdFilial, const QString &cdCaixa,
                                 const QString &nrSeqVenda);
    fw::CborItem verificaHistorico(const QString &cdCliente);
    // The statement's movements changed since `versao`, or all of them when it is too old.
    fw::CborItem getMovClienteDesde(const QString &cdConsumidor, const QString &tCdConsumidor,
                                    const QString &cdCliente, const QDateTime &dtInicio, quint64 versao);
    // From acompanhar on, the connection gets an event at each change of the account.
    fw::CborItem acompanhar(const QString &cdCliente);
    fw::CborItem deixar(const QString &cdCliente);

private:
    // Sends the call once its arguments fit the contract; a misfit (a code longer than the
    // server takes) fails here as the server would refuse it, without the round trip.
    fw::CborItem call(const QString &method, const QCborArray &args, const fw::TNetConnection::ReplyParts &parts = {});

    fw::TNetConnection &m_connection;
};

// The bare result of getPrxMovClie as text: a text as it is, an integer in decimal digits.
QString movementNumberText(const fw::CborItem &result);

} // namespace acc00420
