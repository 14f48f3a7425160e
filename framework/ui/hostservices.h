#pragma once

#include <framework/ui/uiexport.h>

#include <QMdiArea>
#include <QPointer>
#include <QWidget>

namespace fw {

// What the host hands to the modules it loads: its main window (busy indicator, dialogs) and
// the area where screens open as child windows. Both may be absent (tests, a module used
// alone): screens then open as windows of their own.
struct HostServices
{
    QPointer<QWidget> mainWindow;
    QPointer<QMdiArea> mdiArea;
};

FW_UI_EXPORT HostServices &hostServices();

// Every screen module exports this entry with C linkage: the host calls it to open the
// module's screen.
using ModuleEntry = void (*)();
inline constexpr char ModuleEntryName[] = "IniProc";

} // namespace fw
