#include "configsource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace fw {

ConfigSource::ConfigSource(QStringList arguments, QProcessEnvironment environment,
                           QString envPrefix, QString iniSection, QString defaultIniPath)
    : m_arguments(std::move(arguments))
    , m_environment(std::move(environment))
    , m_envPrefix(std::move(envPrefix))
    , m_iniSection(std::move(iniSection))
{
    m_iniPath = fromArguments(QStringLiteral("config"));
    if (m_iniPath.isEmpty())
        m_iniPath = m_environment.value(m_envPrefix + QStringLiteral("_CONFIG"));
    const bool named = !m_iniPath.isEmpty();
    if (!named)
        m_iniPath = std::move(defaultIniPath);
    if (!m_iniPath.isEmpty() && (named || QFileInfo::exists(m_iniPath)))
        readIni();
}

// "key=value" lines under "[section]" headers, '#' and ';' lines comments. A value is the rest
// of its line as it stands (commas, semicolons and backslashes are a password's own), one pair
// of double quotes around it taken off.
void ConfigSource::readIni()
{
    QFile file(m_iniPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw std::invalid_argument(QStringLiteral("o arquivo de configuração %1 não pôde ser lido: %2")
                                        .arg(m_iniPath, file.errorString())
                                        .toStdString());
    QString section;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || section != m_iniSection)
            continue;
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        m_ini.insert(line.left(equals).trimmed(), value);
    }
}

QString ConfigSource::fromArguments(const QString &name) const
{
    const QString prefix = QStringLiteral("--") + name + u'=';
    // The last occurrence wins, as a user who repeats an option expects.
    for (auto it = m_arguments.crbegin(); it != m_arguments.crend(); ++it) {
        if (it->startsWith(prefix))
            return it->mid(prefix.size());
    }
    return {};
}

QString ConfigSource::value(const QString &name, const QString &fallback) const
{
    if (QString v = fromArguments(name); !v.isEmpty())
        return v;
    QString envName = m_envPrefix + u'_' + name.toUpper();
    envName.replace(u'-', u'_');
    if (QString v = m_environment.value(envName); !v.isEmpty())
        return v;
    if (QString v = m_ini.value(name); !v.isEmpty())
        return v;
    return fallback;
}

quint16 ConfigSource::port(const QString &name, quint16 fallback) const
{
    const QString text = value(name);
    if (text.isEmpty())
        return fallback;
    bool ok = false;
    const uint number = text.toUInt(&ok);
    if (!ok || number == 0 || number > 65535)
        throw std::invalid_argument(
            QStringLiteral("porta inválida em %1: \"%2\"").arg(name, text).toStdString());
    return quint16(number);
}

int ConfigSource::positiveNumber(const QString &name, int fallback, int max) const
{
    const QString text = value(name);
    if (text.isEmpty())
        return fallback;
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number <= 0 || number > max)
        throw std::invalid_argument(
            QStringLiteral("valor inválido para %1: \"%2\" (use de 1 a %3)").arg(name, text).arg(max).toStdString());
    return number;
}

bool ConfigSource::flag(const QString &name, bool fallback) const
{
    const QString text = value(name).toLower();
    if (text.isEmpty())
        return fallback;
    static const QStringList yes{"true", "sim", "yes", "1", "on"}, no{"false", "não", "nao", "no", "0", "off"};
    if (yes.contains(text))
        return true;
    if (no.contains(text))
        return false;
    throw std::invalid_argument(
        QStringLiteral("valor inválido para %1: \"%2\" (use true ou false)").arg(name, value(name)).toStdString());
}

QString firstPresent(const QStringList &places)
{
    const QDir programs(QCoreApplication::applicationDirPath());
    for (const QString &place : places) {
        if (QFileInfo::exists(programs.filePath(place)))
            return programs.filePath(place);
    }
    return programs.filePath(places.last());
}

} // namespace fw
