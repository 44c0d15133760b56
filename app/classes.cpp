#include "app/classes.h"

#include "lib/vlcommbox.h"
#include "lib/vllpt.h"

void RegisterPinscopeClasses(fw::ClassRegistry& classes) {
  fw::RegisterStandardClasses(classes);

  classes.Declare<TvlBaseIO, fw::TComponent>("TvlBaseIO")
      .Boolean("Active", &TvlBaseIO::SetActive)
      .Reference<TvlCustomLogFile>("Log", &TvlBaseIO::SetLog)
      .Event("OnFatalError", &TvlBaseIO::OnFatalError);

  classes.Register<TvlLPT, TvlBaseIO>("TvlLPT")
      .Enum("LptPort", &TvlLPT::SetLptPort,
            {{"lpLPT1", lpLPT1}, {"lpLPT2", lpLPT2}, {"lpLPT3", lpLPT3}, {"lpLPT4", lpLPT4}, {"lpLPTxx", lpLPTxx}})
      .Integer("LptPortNo", &TvlLPT::SetLptPortNo)
      .Integer("LptIOBase", &TvlLPT::SetLptIOBase)
      .Boolean("DirectMode", &TvlLPT::SetDirectMode);

  // The box's style is fixed and its entries come from the bound component.
  classes.Register<TvlDeviceBox, fw::TCustomComboBox>("TvlDeviceBox")
      .Unpublish("Style")
      .Unpublish("Items.Strings")
      .Unpublish("ItemIndex")
      .Reference<TvlBaseIO>("Pelorn", &TvlDeviceBox::SetPelorn)
      .Boolean("ResetOnChanged", &TvlDeviceBox::SetResetOnChanged);
}
