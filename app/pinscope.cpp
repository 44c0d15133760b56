// Pinscope: the pin panel of a PC's parallel port. No command line, no settings.
#include <windows.h>

#include <exception>

#include "app/Unit1.h"
#include "framework/application.h"
#include "framework/report.h"
#include "framework/startup_stamps.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  PINSCOPE_STAMP_STARTUP(kMainEntered);
  fw::TApplication Application;
  try {
    Application.Initialize();
    Application.CreateForm<TForm1>();  // the first form made: the main window
    Application.Run();
  } catch (const std::exception& error) {
    // Only a window that cannot be built gets here: say why, then end.
    fw::ReportException(error);
    return 1;
  }
  return 0;
}
