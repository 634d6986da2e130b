// The palette viewer: the colour table of one image as a 16 × 16 grid.
#pragma once

#include <memory>
#include <string>

#include "forms/bitmap.h"
#include "forms/controls.h"
#include "forms/form.h"

class TfrmPrePalette : public forms::Form {
 public:
  TfrmPrePalette();
  ~TfrmPrePalette() override;

  std::unique_ptr<forms::Panel> pnlTop;
  std::unique_ptr<forms::Panel> Panel1;
  std::unique_ptr<forms::ComboBox> cmbPreview;

  int ImageIndex = 0;
  std::unique_ptr<forms::Bitmap> bmpPalette;

  void FormCreate();
  void FormShow();
  void ShowPalette(int index);
  std::string MakeCaption();
};

extern TfrmPrePalette* frmPrePalette;
