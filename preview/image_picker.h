// The image picker both viewer windows carry: previous and next buttons and
// an owner-drawn drop-down list of every listed image with its bit-depth
// icon. The window that carries it wires the buttons and the list.
#pragma once

#include <memory>
#include <string>

#include "base/handles.h"
#include "forms/controls.h"
#include "forms/picture.h"

class ImagePicker {
 public:
  // Lays the three components out inside `strip`.
  explicit ImagePicker(forms::Window* strip);

  std::unique_ptr<forms::SpeedButton> spbUp;
  std::unique_ptr<forms::SpeedButton> spbDown;
  std::unique_ptr<forms::ComboBox> cmbPreview;

  // Gives the buttons and the list the carrying window's handlers.
  void Connect(forms::NotifyHandler up, forms::NotifyHandler down, forms::NotifyHandler change);

  void cmbPreviewMeasureItem(int index, int& height);
  void cmbPreviewDrawItem(forms::DrawItemArgs& item);
  // The first item whose image's name equals that of the list's current
  // item, letter case ignored; -1 when the list has no current item.
  int IndexOfCurrentText() const;

  // Where the viewers step from image `index` among those listed: the
  // previous and next buttons, and the keys Space (next) and B (previous);
  // past either end the step wraps around. -1 for a key that is no step.
  static int Previous(int index);
  static int Next(int index);
  static int StepByKey(char key, int index);

 private:
  mv::unique_himagelist glyphs_;
};
