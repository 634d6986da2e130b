#include "preview/PreviewForm.h"

#include "app/MainForm.h"

TfrmPreview* frmPreview = nullptr;

TfrmPreview::TfrmPreview() {
  frmPreview = this;
  forms::FormParams p;
  p.caption = "frmPreview";
  p.border = forms::BorderStyle::Sizeable;
  p.client_width = 329;
  p.client_height = 285;
  p.owner = frmMain ? frmMain->Handle() : nullptr;
  p.extra_style = WS_HSCROLL | WS_VSCROLL;
  CreateForm(p);
  auto menu = std::make_unique<forms::MainMenu>();
  menu->AddBarItem("操作(&C)");
  SetMenu(std::move(menu));
  pnlTop = std::make_unique<forms::Panel>(this, 0, 0, 233, 28);
  cmbPreview = std::make_unique<forms::ComboBox>(pnlTop.get(), 50, 1, 184, 300, 20);
  tmrScrollEnabled.SetInterval(100);
  OnShow = [this] { FormShow(); };
  FormCreate();
}

TfrmPreview::~TfrmPreview() {
  if (frmPreview == this) frmPreview = nullptr;
}

void TfrmPreview::FormCreate() { bmpPreview = std::make_unique<forms::Bitmap>(); }

void TfrmPreview::FormShow() { ShowImage(ImageIndex); }

void TfrmPreview::ShowImage(int index) {
  if (!frmMain || index < 0 || index >= static_cast<int>(frmMain->BeforeImages.size())) return;
  ImageIndex = index;
  cmbPreview->SetItemIndex(index);
  SetCaption(MakeCaption());
}

std::string TfrmPreview::MakeCaption() {
  const tag_BeforeImage* e = frmMain->BeforeImages[static_cast<size_t>(ImageIndex)];
  return e->FileName + " " + std::to_string(e->Width) + "x" + std::to_string(e->Height) + " " +
         std::to_string(e->BitCount) + "bit";
}
