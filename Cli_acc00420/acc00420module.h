#pragma once

// What a host sees of the account module (libPKG_Acc00420.so): its entries and variables, all
// with C linkage under these plain names, with their real types. A host that loads the module
// at run time resolves a name and casts to the type declared here, e.g.
//   auto *screen = reinterpret_cast<decltype(&frmPagClie)>(library.resolve("frmPagClie"));

#include <framework/ui/frmpadrao.h>
#include <framework/ui/hostservices.h>

#include <QDateTime>
#include <QPointer>
#include <QString>

#include <type_traits>

extern "C" {

// Opens the client/consumer account screen as a child window of the host's MDI area (or as a
// window of its own without one); a second call shows the same screen again.
void IniProc();
// What IniProc runs: creates the screen when there is none, shows it and activates it.
void CriaPagClie();

// The screen, guarded: it reads null once the screen is gone. boStCriado, not frmPagClie, says
// whether a screen exists: true from its creation until it closes.
extern QPointer<fw::TfrmPadrao> frmPagClie;
extern bool boStCriado;
// Set each time a new movement is about to be posted; never reset.
extern bool boInsert;
// The movement number NRSEQMOVCLI the statement's cursor goes back to after a reload.
extern QString stNrSequMovi;
// DTMOVCLI of the movement last posted, deleted or cancelled.
extern QDateTime dtDataMovto;
// The statement's consumer filter, set right before each statement is asked for: the
// all-consumers flag ("T" or empty) and the consumer code.
extern QString stTCDCONSUMIDOR;
extern QString stCDCONSUMIDOR;
}

static_assert(std::is_same_v<decltype(&IniProc), fw::ModuleEntry>, "IniProc is the entry every host calls");
