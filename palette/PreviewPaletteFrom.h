// The palette viewer: the colour table of one image as a 16 × 16 grid, and
// the index and colour of the cell under the mouse.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "forms/bitmap.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/global_instance.h"
#include "forms/label.h"
#include "forms/picture.h"
#include "forms/timer.h"
#include "preview/image_picker.h"

class TfrmPrePalette : public forms::Form {
  // First member: set before anything else of the window is built.
  forms::GlobalInstance<TfrmPrePalette> instance_;

 public:
  TfrmPrePalette();
  ~TfrmPrePalette() override;

  std::unique_ptr<forms::Panel> pnlTop;
  std::unique_ptr<forms::Panel> Panel1;
  std::unique_ptr<ImagePicker> picker;
  forms::SpeedButton* spbUp = nullptr;
  forms::SpeedButton* spbDown = nullptr;
  forms::ComboBox* cmbPreview = nullptr;
  std::unique_ptr<forms::SpeedButton> spbDec, spbHex;
  std::unique_ptr<forms::Panel> pnlView;
  std::unique_ptr<forms::Label> lblNumber, lblNo, lblRed, lblR, lblGreen, lblG, lblBlue, lblB;
  std::unique_ptr<forms::Image> imgPalette;
  std::unique_ptr<forms::Label> lblNoPalette;
  forms::Timer tmrRefresh;

  int ImageIndex = 0;
  std::shared_ptr<forms::Bitmap> bmpPalette;

  // Handlers.
  void FormCreate();
  void FormShow();
  void imgPaletteMouseMove(forms::ShiftState shift, int x, int y);
  void tmrRefreshTimer();
  void FormKeyPress(char& key);
  void spbUpClick();
  void spbDownClick();
  void cmbPreviewChange();

  void ShowPalette(int index);
  void DrawPalette(int index);
  void DrawColorGrid();
  std::wstring MakeCaption();
  void ShowIndex(int index);
  void ShowColor(COLORREF color);
  // Lets go of the shown image's palette: done when the window hides, and
  // before any record goes, whether it shows or not.
  void DropImage();

  // Times the 1000 ms refresh has invalidated the window.
  int RefreshCount() const { return refreshes_; }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void SwitchBoth(int index);
  std::array<RGBQUAD, 256> table_{};
  int shown_colors_ = 0;
  int refreshes_ = 0;
  // The palette of the image whose table the grid shows, borrowed from its
  // record; null when it has none or after DropImage.
  HPALETTE grid_palette_ = nullptr;
};

extern TfrmPrePalette* frmPrePalette;
