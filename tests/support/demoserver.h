#pragma once

#include "appserver.h"
#include "publishedledger.h"
#include "storage.h"

#include <QTemporaryDir>

#include <memory>

// The real application server on loopback, over TLS with the tests' server certificate
// (testtls.h), over a new demo ledger in a temporary file, which
// the shared database module opens too, as the back office runs. Its operators are the demo's
// (0007 with every right, 0012 a till's operator), with their demo passwords.
class DemoServer
{
public:
    explicit DemoServer(bool tls = true); // without: plain TCP, for a test that reads the frames
    bool tls() const { return m_tls; }
    ~DemoServer();

    bool listening() const { return m_listening; }
    quint16 port() const { return m_appServer->port(); }
    QString file() const { return m_dir.filePath(QStringLiteral("demo.db")); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<server::Storage> m_storage;
    std::unique_ptr<PublishedLedger> m_published;
    std::unique_ptr<server::AppServer> m_appServer;
    bool m_listening = false;
    bool m_tls;
};
