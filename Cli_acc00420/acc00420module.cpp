#include "acc00420module.h"

// Loading the module sets these up (no screen yet); unloading it frees the strings.
QPointer<fw::TfrmPadrao> frmPagClie;
bool boStCriado = false;
bool boInsert = false;
QString stNrSequMovi;
QDateTime dtDataMovto;
QString stTCDCONSUMIDOR;
QString stCDCONSUMIDOR;
