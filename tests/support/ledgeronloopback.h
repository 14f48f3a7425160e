#pragma once

#include "accountservice.h"
#include "appserver.h"
#include "publishedledger.h"
#include "testoperator.h"
#include "testtls.h"

#include <framework/data/netconnection.h>

// The ledger published by a real server on loopback over TLS, and the screen's proxy connected
// to it trusting the tests' authority, signed in as operator 0007 with every right.
struct LedgerOnLoopback
{
    PublishedLedger published;
    server::AppServer appServer;
    fw::TNetConnection connection;
    acc00420::AccountService service{connection};

    LedgerOnLoopback(server::Storage &storage, server::AppServer::Options options = {})
        : published(storage)
        , appServer(published.dispatcher, withTls(options))
    {
        if (!appServer.listen(nullptr))
            qFatal("the server can't listen on loopback");
        grantTestOperator(storage);
        connection.setServerName(server::Ledger::ObjectName);
        connection.setPort(appServer.port());
        connection.setTls(true, testAuthority());
        signInOnOpen(connection);
    }

    static server::AppServer::Options withTls(server::AppServer::Options options)
    {
        options.tls = testServerTls();
        return options;
    }
};
