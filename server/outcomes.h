#pragma once

#include "dispatcher.h"

#include <framework/data/database.h>
#include <framework/data/datapacket.h>

#include <QString>

namespace server {

// A refusal the operator can act on: it travels as a failed envelope with this message.
struct Refusal
{
    QString message;
};

// A failed envelope with the operator's message.
Outcome refused(const QString &message);

// A database failure: its own text (the driver's, the SQL's) goes to the server's log; the
// returned words tell the client what to do.
QString databaseFailure(const fw::DatabaseError &e);

// Runs a method body that returns its envelope, turning a refusal or a database failure into
// a failed envelope.
template<typename Body>
Outcome enveloped(Body body)
{
    try {
        return Outcome::ok(body());
    } catch (const Refusal &r) {
        return refused(r.message);
    } catch (const fw::DatabaseError &e) {
        return refused(QStringLiteral("Falha no banco de dados do servidor: %1.").arg(databaseFailure(e)));
    } catch (const fw::PacketError &e) {
        return refused(QString::fromUtf8(e.what()));
    }
}

} // namespace server
