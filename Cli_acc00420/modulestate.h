#pragma once

#include <framework/ui/frmpadrao.h>

#include <QDateTime>
#include <QPointer>
#include <QString>

// The module's variables, exported under these plain names. The screen reference is guarded:
// it reads null once the screen is gone; boStCriado says whether a screen exists.
extern "C" {
extern QPointer<fw::TfrmPadrao> frmPagClie;
extern bool boStCriado;
extern bool boInsert;
extern QString stNrSequMovi;
extern QDateTime dtDataMovto;
extern QString stTCDCONSUMIDOR;
extern QString stCDCONSUMIDOR;
}
