#include "messages.h"

#include <QFile>

namespace fw {

TMessages::TMessages(QObject *parent)
    : QObject(parent)
{
}

void TMessages::loadFromText(const QString &lines)
{
    QHash<QString, QString> texts;
    int lineNumber = 0;
    for (QStringView line : QStringView(lines).split(u'\n')) {
        ++lineNumber;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype bar = line.indexOf(u'|');
        if (bar <= 0)
            throw std::invalid_argument(
                QStringLiteral("linha %1 da tabela de mensagens sem \"chave|texto\": %2")
                    .arg(lineNumber).arg(line.toString()).toStdString());
        const QString key = line.left(bar).toString();
        if (texts.contains(key))
            throw std::invalid_argument(
                QStringLiteral("chave de mensagem repetida: %1").arg(key).toStdString());
        texts.insert(key, line.mid(bar + 1).toString());
    }
    m_texts = std::move(texts);
}

void TMessages::loadFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("não foi possível ler a tabela de mensagens %1: %2")
                                     .arg(path, file.errorString()).toStdString());
    loadFromText(QString::fromUtf8(file.readAll()));
}

QString TMessages::Msg(const QString &key) const
{
    const auto it = m_texts.constFind(key);
    if (it == m_texts.cend())
        throw UnknownMessageKey(
            QStringLiteral("mensagem \"%1\" não existe na tabela").arg(key).toStdString());
    return *it;
}

int TMessages::ShowMsg(const QString &key, MsgDlgType type, MsgDlgButtons buttons,
                       int helpContext) const
{
    return dialogs().messageDlg(Msg(key), type, buttons, helpContext);
}

} // namespace fw
