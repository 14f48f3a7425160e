#pragma once

#include "accountevents.h"
#include "dispatcher.h"
#include "ledger.h"
#include "passwords.h"
#include "sessions.h"

// The ledger behind its sign-in, published as the server program publishes them.
struct PublishedLedger
{
    server::Passwords passwords;
    server::Sessions sessions;
    server::Ledger ledger;
    server::AccountEvents events;
    server::Dispatcher dispatcher;

    explicit PublishedLedger(const server::Storage &storage, server::Sessions::Options options = {},
                             server::Ledger::Chain chain = server::Ledger::Chain::Kept)
        : sessions(storage, passwords, std::move(options))
        , ledger(storage, chain)
        , events(storage)
    {
        sessions.publish(dispatcher);
        ledger.publish(dispatcher, sessions, events.handlers());
    }
};
