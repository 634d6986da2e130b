// The preview window: one image at its natural size, scrolling over it.
#pragma once

#include <memory>
#include <string>

#include "forms/bitmap.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/timer.h"

class TfrmPreview : public forms::Form {
 public:
  TfrmPreview();
  ~TfrmPreview() override;

  std::unique_ptr<forms::Panel> pnlTop;
  std::unique_ptr<forms::ComboBox> cmbPreview;
  forms::Timer tmrScrollEnabled;

  int ImageIndex = 0;
  std::unique_ptr<forms::Bitmap> bmpPreview;

  void FormCreate();
  void FormShow();
  void ShowImage(int index);
  std::string MakeCaption();
};

extern TfrmPreview* frmPreview;
