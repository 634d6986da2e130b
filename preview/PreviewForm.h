// The preview window: one image at its natural size, scrolling over it,
// with the image picker in a strip that shows near the top edge.
#pragma once

#include <memory>
#include <string>

#include "forms/bitmap.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/global_instance.h"
#include "forms/picture.h"
#include "forms/timer.h"
#include "preview/image_picker.h"

struct tag_BeforeImage;

class TfrmPreview : public forms::Form {
  // First member: set before anything else of the window is built.
  forms::GlobalInstance<TfrmPreview> instance_;

 public:
  TfrmPreview();
  ~TfrmPreview() override;

  std::unique_ptr<forms::Image> imgPreview;
  std::unique_ptr<forms::Panel> pnlTop;
  std::unique_ptr<ImagePicker> picker;
  forms::SpeedButton* spbUp = nullptr;
  forms::SpeedButton* spbDown = nullptr;
  forms::ComboBox* cmbPreview = nullptr;
  forms::Timer tmrScrollEnabled;

  int ImageIndex = 0;
  std::shared_ptr<forms::Bitmap> bmpPreview;

  // Handlers.
  void FormCreate();
  void FormShow();
  void FormResize() {}
  void tmrScrollEnabledTimer();
  void WMPaint();
  void WMEraseBkgnd(HDC dc);
  void FormKeyPress(char& key);
  void FormKeyDown(WORD& key, forms::ShiftState shift);
  void FormMouseMove(forms::ShiftState shift, int x, int y);
  void imgPreviewMouseMove(forms::ShiftState shift, int x, int y);
  void imgPreviewDblClick();
  void cmbPreviewChange();
  void spbUpClick();
  void spbDownClick();

  void ShowImage(int index);
  std::wstring MakeCaption();
  // Lets go of the image on show and of what was rendered of it: done when
  // the window hides, and before any record goes, whether it shows or not.
  void DropImage();
  bool HoldsImage() const { return shown_ != nullptr; }

  // The window's scrolling, as the scroll bars show it.
  int HorzPosition() const { return hpos_; }
  int VertPosition() const { return vpos_; }
  bool AutoScroll() const { return auto_scroll_; }
  int HorzLineStep() const;
  int VertLineStep() const;

  POINT ContentOrigin() const override { return POINT{-hpos_, -vpos_}; }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  enum class Direction { Up, Down, Left, Right };
  void ScrollOneLine(Direction d);
  void ScrollTo(int h, int v);
  void SetAutoScroll(bool on);
  void UpdateScrollBars();
  void OnScrollMessage(int bar, WORD code);
  void StepImage(int index);
  void SwitchFromPicker(int index);
  void UsePalettes(HPALETTE palette);

  // The image on show; set by ShowImage (also while hidden: the palette
  // viewer switches this window), dropped by DropImage.
  const tag_BeforeImage* shown_ = nullptr;
  int hpos_ = 0, vpos_ = 0;
  bool auto_scroll_ = true;
  bool h_bar_ = false, v_bar_ = false;
  bool updating_bars_ = false;
};

extern TfrmPreview* frmPreview;
