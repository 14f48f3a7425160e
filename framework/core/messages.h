#pragma once

#include <framework/core/dialogs.h>
#include <framework/core/coreexport.h>

#include <QHash>
#include <QObject>
#include <QString>

#include <stdexcept>

namespace fw {

// Asking for a key the table does not hold is a programming error, never a blank message.
class FW_CORE_EXPORT UnknownMessageKey : public std::logic_error
{
public:
    using std::logic_error::logic_error;
};

// A screen's message table: lines "key|text", loaded with the screen's definition.
// The text is everything after the first bar, kept exactly (trailing blanks included).
class FW_CORE_EXPORT TMessages : public QObject
{
    Q_OBJECT
public:
    explicit TMessages(QObject *parent = nullptr);

    // Replaces the table. A line without a bar or a repeated key is refused whole.
    void loadFromText(const QString &lines);
    // Loads a file or a resource (":/..."); throws std::runtime_error when it can't be read.
    void loadFromFile(const QString &path);

    bool contains(const QString &key) const { return m_texts.contains(key); }
    QStringList keys() const { return m_texts.keys(); }

    QString Msg(const QString &key) const;
    // Shows the key's text through the dialogs service and returns the button pressed.
    int ShowMsg(const QString &key, MsgDlgType type, MsgDlgButtons buttons,
                int helpContext = 0) const;

private:
    QHash<QString, QString> m_texts;
};

} // namespace fw
