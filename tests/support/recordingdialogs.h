#pragma once

#include <framework/ui/operatordialogs.h>

#include <QList>
#include <QStringList>

#include <functional>

// Answers the framework's dialogs in tests: records what was shown and answers from a queue
// (No when the queue is empty), so no modal loop ever runs. A search list is answered by
// chooser when one is set, else shown.
class RecordingDialogs final : public fw::OperatorDialogs
{
public:
    struct Shown
    {
        QString text;
        fw::MsgDlgType type;
        fw::MsgDlgButtons buttons;
        QString details;
    };

    RecordingDialogs() { fw::setDialogs(this); }
    ~RecordingDialogs() override { fw::setDialogs(nullptr); }

    int messageDlg(const QString &text, fw::MsgDlgType type, fw::MsgDlgButtons buttons,
                   int) override
    {
        shown.append({text, type, buttons});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons & fw::mbNo ? fw::mrNo : fw::mrOk;
    }

    int messageDlg(const QString &text, const QString &details, fw::MsgDlgType type,
                   fw::MsgDlgButtons buttons) override
    {
        const int answer = messageDlg(text, type, buttons, 0);
        shown.last().details = details;
        return answer;
    }

    std::optional<int> chooseRow(QWidget *parent, const QString &title, fw::RecordSet &recordSet) override
    {
        return chooser ? chooser(parent, title, recordSet) : fw::OperatorDialogs::chooseRow(parent, title, recordSet);
    }

    QStringList texts() const
    {
        QStringList list;
        for (const Shown &s : shown)
            list.append(s.text);
        return list;
    }

    QList<Shown> shown;
    QList<int> answers;
    std::function<std::optional<int>(QWidget *parent, const QString &title, fw::RecordSet &recordSet)> chooser;
};
