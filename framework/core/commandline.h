#pragma once

#include <framework/core/coreexport.h>

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace fw {

// One line of a command's output (the line end added), written at once.
FW_CORE_EXPORT void printLine(std::FILE *to, const QString &text);

// One option of a program's command line: a value ("--port=4420" or "--port 4420") or, with no
// value name, a flag.
struct CommandOption
{
    QString name;
    QString description;
    QString valueName;
};

// A program's command line read with QCommandLineParser: its own --help and --version, and a
// clear message for an unknown option, a missing value or a value given to a flag, so a misspelt
// option never passes unnoticed.
class FW_CORE_EXPORT CommandLine
{
public:
    // The synopsis follows the program's name in the help ("[opções] comando ..."); the
    // description is the help's first paragraph.
    CommandLine(QString synopsis, QString description, QList<CommandOption> options);

    // Reads the arguments, the program's name first, the options named required among them. The
    // exit code when the program should stop here (0 after --help or --version, 2 after an
    // error, each printed), nothing to go on.
    std::optional<int> parse(const QStringList &arguments, const QStringList &required = {});

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString value(const QString &name) const { return m_parser.value(name); }
    // The words that are not options: a command and its operands.
    QStringList words() const { return m_parser.positionalArguments(); }
    // Each option given as "--name=value" (a flag as "--name=true"), as ConfigSource reads them.
    QStringList settings() const;
    QString helpText() const;
    // What the last parse refused, as it was printed.
    QString error() const { return m_error; }

private:
    std::optional<QString> misuse(const QStringList &arguments) const;
    const CommandOption *option(const QString &name) const;

    QString m_synopsis;
    QString m_description;
    QList<CommandOption> m_options;
    QCommandLineParser m_parser;
    QString m_error;
};

} // namespace fw
