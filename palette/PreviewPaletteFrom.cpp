#include "palette/PreviewPaletteFrom.h"

#include "app/MainForm.h"

TfrmPrePalette* frmPrePalette = nullptr;

TfrmPrePalette::TfrmPrePalette() {
  frmPrePalette = this;
  forms::FormParams p;
  p.caption = "frmPrePalette";
  p.border = forms::BorderStyle::Single;
  p.maximize_box = false;
  p.left = 263;
  p.top = 104;
  p.client_width = 399;
  p.client_height = 457;
  p.owner = frmMain ? frmMain->Handle() : nullptr;
  CreateForm(p);
  SetKeyPreview(true);
  pnlTop = std::make_unique<forms::Panel>(this, 0, 0, 399, 28);
  Panel1 = std::make_unique<forms::Panel>(pnlTop.get(), 0, 0, 233, 28);
  cmbPreview = std::make_unique<forms::ComboBox>(Panel1.get(), 50, 1, 184, 300, 20);
  OnShow = [this] { FormShow(); };
  FormCreate();
}

TfrmPrePalette::~TfrmPrePalette() {
  if (frmPrePalette == this) frmPrePalette = nullptr;
}

void TfrmPrePalette::FormCreate() { bmpPalette = std::make_unique<forms::Bitmap>(); }

void TfrmPrePalette::FormShow() { ShowPalette(ImageIndex); }

void TfrmPrePalette::ShowPalette(int index) {
  if (!frmMain || index < 0 || index >= static_cast<int>(frmMain->BeforeImages.size())) return;
  ImageIndex = index;
  cmbPreview->SetItemIndex(index);
  SetCaption(MakeCaption());
}

std::string TfrmPrePalette::MakeCaption() {
  const tag_BeforeImage* e = frmMain->BeforeImages[static_cast<size_t>(ImageIndex)];
  return e->FileName + " " + std::to_string(e->BitCount) + "bit";
}
