#pragma once

#include <framework/data/datapacket.h>
#include "fakeappserver.h"
#include "recordingdialogs.h"
#include "screen.h"
#include "statementpacket.h"

#include <QDateTime>
#include <QVariant>

#include <memory>

// The account screen shown and active, logged in at branch 0001 as operator 0007 ("ANA"),
// the clock at 07/12/2026 10:30:00, talking to a recording fake server that answers
// getMovCliente with `statement`, setAtualizaCons with true, getPrxMovClie with 0000000003 and
// getConsumidor with one consumer whose record code (Record42) differs from the typed one.
// The shared client tables must exist (createSharedClients).
class ScreenOnFakeServer
{
public:
    static inline const QDateTime Moment{QDate(2026, 12, 7), QTime(10, 30)};
    // The clock's day minus 60, the screen's start date.
    static inline const QDateTime Start{QDate(2026, 10, 8), QTime(0, 0)};
    // Consumer 42 as the edit shows it once adjusted.
    static inline const QString Typed42 = QString(19, u'0') + QStringLiteral("42");
    static inline const QString Record42 = QStringLiteral("SERVIDOR0000000000042");

    ScreenOnFakeServer();
    ~ScreenOnFakeServer();

    acc00420::TfrmPagClie &screen() { return *m_screen; }
    fw::RecordSet &set() { return *m_screen->cdsMovCliente; }

    // Client C1 and consumer 42 typed, the panel left: the statement loads; the calls made so
    // far are forgotten. False when it did not load.
    bool load(const QList<TestMovement> &movements);
    // A key pressed where the focus is (on the screen when nothing has it).
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    QString focusName() const;
    // The n-th delta sent with SetMovCliente; empty when there was none.
    fw::Delta sentDelta(int n = 0) const;
    QList<int> busyKinds() const;

    FakeAppServer server;
    RecordingDialogs dialogs;
    QList<TestMovement> statement; // what getMovCliente answers now

private:
    std::unique_ptr<acc00420::TfrmPagClie> m_screen;
};

// A value of a delta's change (new values, else old ones), date-times as moments;
// "(not sent)" for a field the delta doesn't carry.
QVariant sentValue(const fw::Delta &delta, const char *field, int change = 0);
