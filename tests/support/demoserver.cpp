#include "demoserver.h"

#include <framework/data/dbgeral.h>
#include "demodata.h"
#include "schema.h"
#include "testtls.h"

DemoServer::DemoServer(bool tls)
    : m_tls(tls)
{
    m_storage = std::make_unique<server::Storage>(file());
    server::migrate(m_storage->connection(), m_storage->kind());
    m_published = std::make_unique<PublishedLedger>(*m_storage);
    server::createDemoData(*m_storage, QDate::currentDate());
    server::AppServer::Options options;
    if (tls)
        options.tls = testServerTls();
    m_appServer = std::make_unique<server::AppServer>(m_published->dispatcher, options);
    m_published->events.startOn(*m_appServer);
    m_listening = m_appServer->listen(nullptr);
    fw::dtmDBGeral().open(file());
}

DemoServer::~DemoServer()
{
    fw::dtmDBGeral().close();
    m_appServer.reset();
}
