#pragma once

#include "appserver.h"

#include <framework/core/commandline.h>
#include <framework/core/configsource.h>

namespace server {

// Where a packaged server keeps its settings: an ini file, section [server], with the command
// line's own keys.
inline constexpr char DefaultConfigFile[] = ACC00420_CONFIG_DIR "/server.conf";

// Every option acc00420-server takes, its commands' included.
QList<fw::CommandOption> serverCommandOptions();

// An option of another command than the one given (--to without backup starts no server):
// std::invalid_argument naming it.
void checkOptionsBelongTo(const fw::CommandLine &commandLine, const QString &command);

// The settings: the command line over the environment (ACC00420_SERVER_...) over the ini file
// (--config=, ACC00420_SERVER_CONFIG, else ../etc/acc00420/server.conf from the program when the
// tree was installed under a prefix of its own, else DefaultConfigFile).
fw::ConfigSource serverConfig(const fw::CommandLine &commandLine, const QProcessEnvironment &environment);

// The ledger's URL. A PostgreSQL password comes from database-password (the ini file, readable
// by the service's user alone) when the URL has none; else libpq looks in ~/.pgpass.
QString databaseUrl(const fw::ConfigSource &config);

// How the server listens, every number checked against its range; std::invalid_argument saying
// which setting is wrong, std::runtime_error for a certificate that can't be read. Off loopback
// without TLS only with insecure-plaintext.
AppServer::Options listenOptions(const fw::ConfigSource &config);

} // namespace server
