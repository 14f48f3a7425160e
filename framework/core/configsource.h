#pragma once

#include <framework/core/coreexport.h>

#include <QHash>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <limits>

namespace fw {

// One setting read from, in this order of precedence: the command line ("--name=value"), the
// environment (PREFIX_NAME, upper case, '-' as '_') and an ini file (key "name" in the
// section given). The ini file is the one named by "--config=path" or PREFIX_CONFIG, else the
// default path given when it is there; std::invalid_argument when a file named or there can't
// be read.
class FW_CORE_EXPORT ConfigSource
{
public:
    ConfigSource(QStringList arguments, QProcessEnvironment environment, QString envPrefix,
                 QString iniSection, QString defaultIniPath = {});

    QString value(const QString &name, const QString &fallback = {}) const;
    // The value as a port number; fallback when absent, std::invalid_argument when malformed.
    quint16 port(const QString &name, quint16 fallback) const;
    // The value as a whole number from 1 to max; fallback when absent, std::invalid_argument when
    // malformed or out of that range.
    int positiveNumber(const QString &name, int fallback, int max = std::numeric_limits<int>::max()) const;
    // The value as yes or no (true/false, sim/não, 1/0, on/off); fallback when absent,
    // std::invalid_argument when it is neither.
    bool flag(const QString &name, bool fallback = false) const;

    QString iniPath() const { return m_iniPath; }

private:
    QString fromArguments(const QString &name) const;
    void readIni();

    QStringList m_arguments;
    QProcessEnvironment m_environment;
    QString m_envPrefix;
    QString m_iniSection;
    QString m_iniPath;
    QHash<QString, QString> m_ini;
};

// The first of the places (relative to the program's folder, or absolute) that is there; else
// the last. The build tree, an installed tree and a system install keep a program's files in
// different places.
FW_CORE_EXPORT QString firstPresent(const QStringList &places);

} // namespace fw
