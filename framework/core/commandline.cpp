#include "commandline.h"

#include <QCoreApplication>
#include <QFileInfo>


namespace fw {

namespace {

const QString HelpName = QStringLiteral("help");
const QString VersionName = QStringLiteral("version");

} // namespace

void printLine(std::FILE *to, const QString &text)
{
    std::fputs((text + u'\n').toLocal8Bit().constData(), to);
    std::fflush(to);
}

CommandLine::CommandLine(QString synopsis, QString description, QList<CommandOption> options)
    : m_synopsis(std::move(synopsis))
    , m_description(std::move(description))
    , m_options(std::move(options))
{
    m_options.append({HelpName, QStringLiteral("Mostra esta ajuda e sai."), {}});
    m_options.append({VersionName, QStringLiteral("Mostra a versão e sai."), {}});
    // "-port=4420" reads as "--port=4420", not as the letters -p -o -r -t.
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const CommandOption &o : std::as_const(m_options))
        m_parser.addOption(QCommandLineOption(o.name, o.description, o.valueName));
}

const CommandOption *CommandLine::option(const QString &name) const
{
    for (const CommandOption &o : m_options) {
        if (o.name == name)
            return &o;
    }
    return nullptr;
}

// The faults QCommandLineParser reports in English only, said here in the operator's words.
std::optional<QString> CommandLine::misuse(const QStringList &arguments) const
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (word == QLatin1String("--"))
            break;
        if (!word.startsWith(u'-') || word == QLatin1String("-"))
            continue;
        const QString body = word.mid(word.startsWith(QLatin1String("--")) ? 2 : 1);
        const qsizetype equals = body.indexOf(u'=');
        const QString name = body.left(equals);
        const CommandOption *known = option(name);
        if (!known)
            return QStringLiteral("opção desconhecida: --%1 (veja --help)").arg(name);
        if (known->valueName.isEmpty() && equals >= 0)
            return QStringLiteral("--%1 não recebe valor (veja --help)").arg(name);
        if (!known->valueName.isEmpty() && equals < 0) {
            if (i + 1 >= arguments.size())
                return QStringLiteral("falta o valor de --%1 (veja --help)").arg(name);
            ++i; // the value, which may itself begin with '-'
        }
    }
    return std::nullopt;
}

std::optional<int> CommandLine::parse(const QStringList &arguments, const QStringList &required)
{
    const QString program = QFileInfo(arguments.value(0, QCoreApplication::applicationName())).fileName();
    std::optional<QString> error = misuse(arguments);
    if (!error && !m_parser.parse(arguments))
        error = m_parser.errorText();
    for (qsizetype i = 0; !error && i < required.size(); ++i) {
        if (m_parser.value(required.at(i)).isEmpty() && !m_parser.isSet(HelpName) && !m_parser.isSet(VersionName))
            error = QStringLiteral("informe --%1 (veja --help)").arg(required.at(i));
    }
    if (error) {
        m_error = *error;
        printLine(stderr, QStringLiteral("%1: %2").arg(program, *error));
        return 2;
    }
    if (m_parser.isSet(HelpName)) {
        printLine(stdout, helpText().chopped(1));
        return 0;
    }
    if (m_parser.isSet(VersionName)) {
        printLine(stdout, QStringLiteral("%1 %2").arg(program, QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

QStringList CommandLine::settings() const
{
    QStringList given;
    for (const CommandOption &o : m_options) {
        if (o.name == HelpName || o.name == VersionName || !m_parser.isSet(o.name))
            continue;
        given << QStringLiteral("--%1=%2").arg(o.name, o.valueName.isEmpty() ? QStringLiteral("true") : m_parser.value(o.name));
    }
    return given;
}

QString CommandLine::helpText() const
{
    const QString program = QCoreApplication::applicationName();
    QString text = QStringLiteral("Uso: %1 %2\n\n%3\n\nOpções:\n").arg(program, m_synopsis, m_description);
    qsizetype width = 0;
    QStringList heads;
    for (const CommandOption &o : m_options) {
        heads << (o.valueName.isEmpty() ? QStringLiteral("--%1").arg(o.name) : QStringLiteral("--%1=%2").arg(o.name, o.valueName));
        width = std::max(width, heads.last().size());
    }
    for (qsizetype i = 0; i < m_options.size(); ++i)
        text += QStringLiteral("  %1  %2\n").arg(heads.at(i).leftJustified(width), m_options.at(i).description);
    return text;
}

} // namespace fw
