#pragma once

#include "accountservice.h"
#include "appserver.h"
#include "ledger.h"

#include <framework/data/netconnection.h>

// The ledger published by a real server on loopback, and the screen's proxy connected to it.
struct LedgerOnLoopback
{
    server::Dispatcher dispatcher;
    server::Ledger ledger;
    server::AppServer appServer;
    fw::TNetConnection connection;
    acc00420::AccountService service{connection};

    LedgerOnLoopback(server::Storage &storage, server::AppServer::Options options = {})
        : ledger(storage)
        , appServer(dispatcher, options)
    {
        ledger.publish(dispatcher);
        if (!appServer.listen(nullptr))
            qFatal("the server can't listen on loopback");
        connection.setServerName(server::Ledger::ObjectName);
        connection.setPort(appServer.port());
    }
};

