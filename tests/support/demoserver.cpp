#include "demoserver.h"

#include <framework/data/dbgeral.h>
#include "demodata.h"
#include "schema.h"

DemoServer::DemoServer()
{
    m_storage = std::make_unique<server::Storage>(file());
    server::migrate(m_storage->connection(), m_storage->kind());
    server::createDemoData(*m_storage, QDate::currentDate());
    m_ledger = std::make_unique<server::Ledger>(*m_storage);
    m_ledger->publish(m_dispatcher);
    m_appServer = std::make_unique<server::AppServer>(m_dispatcher, server::AppServer::Options{});
    m_listening = m_appServer->listen(nullptr);
    fw::dtmDBGeral().open(file());
}

DemoServer::~DemoServer()
{
    fw::dtmDBGeral().close();
    m_appServer.reset();
}
