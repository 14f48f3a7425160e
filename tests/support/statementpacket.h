#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// A movement as a test needs it; the fields it leaves out travel as null.
struct TestMovement
{
    QString number;
    QString type;
    std::optional<double> company;
    std::optional<double> personal;
    std::optional<double> personalBalance;
    std::optional<double> companyBalance;
    std::optional<double> subsidyPercent;
    std::optional<double> subsidyCeiling;
    QDateTime when = QDateTime(QDate(2026, 11, 20), QTime(10, 30));
    QString sale;
    QString till;
};

// A getMovCliente payload of these movements, with the movement record's fields.
QByteArray statementPacket(const QList<TestMovement> &movements);

// A getConsumidor payload: the client's consumers, code and name.
QByteArray consumersPacket(const QString &client, const QList<std::pair<QString, QString>> &consumers);
