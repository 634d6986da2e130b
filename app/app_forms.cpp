#include "app/app_forms.h"

#include "app/MainForm.h"
#include "forms/application.h"
#include "palette/PreviewPaletteFrom.h"
#include "preview/PreviewForm.h"

namespace app {

void CreateForms() {
  auto& a = forms::Application::Instance();
  a.Reset();
  a.SetTitle("Morvane Ver.0.9");
  new TfrmMain();
  new TfrmPreview();
  new TfrmPrePalette();
}

void DestroyForms() {
  // The viewers first: the main window's store outlives what reads it.
  delete frmPrePalette;
  delete frmPreview;
  delete frmMain;
}

}  // namespace app
