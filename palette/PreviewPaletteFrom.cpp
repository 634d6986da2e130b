#include "palette/PreviewPaletteFrom.h"

#include "app/MainForm.h"
#include "base/handles.h"
#include "palette/palette_grid.h"
#include "preview/PreviewForm.h"

TfrmPrePalette* frmPrePalette = nullptr;

namespace {
constexpr char kNoPalette[] = "パレット情報はありません";

int ScreenBitsPerPixel() {
  HDC screen = ::GetDC(nullptr);
  const int bits = ::GetDeviceCaps(screen, BITSPIXEL);
  ::ReleaseDC(nullptr, screen);
  return bits;
}
}  // namespace

TfrmPrePalette::TfrmPrePalette() : instance_(frmPrePalette, this) {
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
  picker = std::make_unique<ImagePicker>(Panel1.get());
  spbUp = picker->spbUp.get();
  spbDown = picker->spbDown.get();
  cmbPreview = picker->cmbPreview.get();
  picker->Connect([this] { spbUpClick(); }, [this] { spbDownClick(); }, [this] { cmbPreviewChange(); });

  const forms::FontSpec mode_font = forms::DefaultFont().Bold().WithHeight(13);
  spbDec = std::make_unique<forms::SpeedButton>(pnlTop.get(), 260, 0, 53, 27);
  spbDec->SetCaption("１０進数", mode_font);
  spbDec->SetGroupIndex(1);
  spbHex = std::make_unique<forms::SpeedButton>(pnlTop.get(), 317, 0, 57, 27);
  spbHex->SetCaption("１６進数", mode_font);
  spbHex->SetGroupIndex(1);
  spbDec->SetDown(true);

  pnlView = std::make_unique<forms::Panel>(this, 0, 28, 399, 29, forms::Panel::Bevel::Lowered);
  const forms::FontSpec big = forms::DefaultFont().Bold().WithHeight(27);
  const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
  forms::Window* view = pnlView.get();
  lblNumber = std::make_unique<forms::Label>(view, 27, 0, "No.", big, text);
  lblNo = std::make_unique<forms::Label>(view, 67, 0, "999", big, text);
  lblRed = std::make_unique<forms::Label>(view, 120, 0, "Ｒ：", big, text);
  lblR = std::make_unique<forms::Label>(view, 155, 0, "999", big, text);
  lblGreen = std::make_unique<forms::Label>(view, 208, 0, "Ｇ：", big, text);
  lblG = std::make_unique<forms::Label>(view, 243, 0, "999", big, text);
  lblBlue = std::make_unique<forms::Label>(view, 296, 0, "Ｂ：", big, text);
  lblB = std::make_unique<forms::Label>(view, 331, 0, "999", big, text);

  imgPalette = std::make_unique<forms::Image>(this);
  imgPalette->SetBounds(0, 58, mv::grid::kExtent, mv::grid::kExtent);
  imgPalette->OnMouseMove = [this](forms::ShiftState s, int x, int y) { imgPaletteMouseMove(s, x, y); };
  lblNoPalette = std::make_unique<forms::Label>(this, 4, 192, kNoPalette, forms::DefaultFont().Bold().WithHeight(35),
                                                RGB(255, 255, 255));
  lblNoPalette->SetAutoSize(false);
  lblNoPalette->SetBounds(4, 192, 390, 35);
  lblNoPalette->SetVisible(false);

  tmrRefresh.SetInterval(1000);
  tmrRefresh.OnTimer = [this] { tmrRefreshTimer(); };
  tmrRefresh.SetEnabled(true);
  OnShow = [this] { FormShow(); };
  OnHide = [this] { DropImage(); };
  OnKeyPress = [this](char& c) { FormKeyPress(c); };
  FormCreate();
}

TfrmPrePalette::~TfrmPrePalette() = default;

void TfrmPrePalette::FormCreate() {
  // The grid is drawn at 24 bits, so its white gaps and black outlines are
  // exact whatever the image's table holds, and every cell shows its
  // entry's exact colour.
  bmpPalette = std::make_shared<forms::Bitmap>();
  bmpPalette->Reshape(imgPalette->Width(), imgPalette->Height(), forms::PixelFormat::pf24bit);
  HDC dc = bmpPalette->CanvasHandle();
  RECT all{0, 0, bmpPalette->Width(), bmpPalette->Height()};
  ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

void TfrmPrePalette::FormShow() { ShowPalette(ImageIndex); }

void TfrmPrePalette::DropImage() { grid_palette_ = nullptr; }

std::wstring TfrmPrePalette::MakeCaption() {
  const tag_BeforeImage* e = frmMain->BeforeImages[static_cast<size_t>(ImageIndex)];
  return e->WideName + L" " + std::to_wstring(e->BitCount) + L"bit";
}

void TfrmPrePalette::ShowPalette(int index) {
  if (!frmMain || index < 0 || index >= static_cast<int>(frmMain->BeforeImages.size())) return;
  const tag_BeforeImage* entry = frmMain->BeforeImages[static_cast<size_t>(index)];
  if (!entry) return;
  ImageIndex = index;
  SetIcon(frmMain->imglstBits->Icon(entry->DepthIcon));
  cmbPreview->SetItemIndex(index);
  SetCaption(MakeCaption());

  // The image's colour table and palette, as its record holds them.
  const int bits = entry->BitCount;
  table_ = entry->Colors;
  grid_palette_ = bits <= 8 ? entry->LogicalPalette() : nullptr;
  if (grid_palette_ && frmPreview) {
    HDC dc = ::GetDC(frmPreview->Handle());
    ::SetSystemPaletteUse(dc, SYSPAL_STATIC);
    { mv::PaletteGuard use(dc, grid_palette_, FALSE); }
    ::ReleaseDC(frmPreview->Handle(), dc);
  }
  DrawPalette(index);
  imgPalette->SetPicture(bmpPalette);
  imgPalette->Invalidate();
  for (auto* l : {lblNo.get(), lblR.get(), lblG.get(), lblB.get()}) l->SetCaption("");
}

void TfrmPrePalette::DrawPalette(int index) {
  const int bits = frmMain->BeforeImages[static_cast<size_t>(index)]->BitCount;
  HDC dc = bmpPalette->CanvasHandle();
  RECT all{0, 0, bmpPalette->Width(), bmpPalette->Height()};
  if (bits == 8 || bits == 1 || bits == 4) {
    // 1 and 4 bits: their 2 or 16 colours as the first cells; the rest of
    // the grid stays background.
    shown_colors_ = 1 << bits;
    lblNoPalette->SetVisible(false);
    DrawColorGrid();
  } else {
    shown_colors_ = 0;
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    lblNoPalette->SetVisible(true);
  }
  ::GdiFlush();
}

void TfrmPrePalette::DrawColorGrid() {
  HDC dc = bmpPalette->CanvasHandle();
  RECT all{0, 0, bmpPalette->Width(), bmpPalette->Height()};
  ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  mv::SelectGuard pen(dc, ::GetStockObject(BLACK_PEN));
  for (int i = 0; i < shown_colors_; ++i) {
    const RGBQUAD& c = table_[static_cast<size_t>(i)];
    mv::unique_hbrush brush(::CreateSolidBrush(RGB(c.rgbRed, c.rgbGreen, c.rgbBlue)));
    mv::SelectGuard b(dc, brush.get());
    const mv::grid::Cell cell = mv::grid::CellBounds(i);
    ::Rectangle(dc, cell.left, cell.top, cell.right, cell.bottom);
  }
}

void TfrmPrePalette::imgPaletteMouseMove(forms::ShiftState, int x, int y) {
  const tag_BeforeImage* entry = frmMain->BeforeImages[static_cast<size_t>(ImageIndex)];
  if (entry->BitCount > 8) return;
  const int index = mv::grid::HitTest(x, y);
  if (index < 0) return;
  // Over a 1- or 4-bit image only the cells that stand for an entry answer.
  if ((entry->BitCount == 1 || entry->BitCount == 4) && index >= shown_colors_) return;
  ShowIndex(index);
  ShowColor(imgPalette->PicturePixel(x, y));
}

void TfrmPrePalette::ShowIndex(int index) {
  lblNo->SetBounds(mv::grid::IndexLabelLeft(index), lblNo->Top(), lblNo->Width(), lblNo->Height());
  lblNo->SetCaption(std::to_string(index));
}

void TfrmPrePalette::ShowColor(COLORREF color) {
  using mv::grid::Channel;
  const int values[3] = {GetRValue(color), GetGValue(color), GetBValue(color)};
  forms::Label* labels[3] = {lblR.get(), lblG.get(), lblB.get()};
  const Channel channels[3] = {Channel::Red, Channel::Green, Channel::Blue};
  const bool decimal = spbDec->Down();
  for (int i = 0; i < 3; ++i) {
    const int left = decimal ? mv::grid::DecimalLabelLeft(channels[i], values[i]) : mv::grid::HexLabelLeft(channels[i]);
    labels[i]->SetBounds(left, labels[i]->Top(), labels[i]->Width(), labels[i]->Height());
    labels[i]->SetCaption(decimal ? std::to_string(values[i]) : mv::grid::HexPair(values[i]));
  }
}

void TfrmPrePalette::tmrRefreshTimer() {
  if (!Showing()) return;
  const int screen = ScreenBitsPerPixel();
  const tag_BeforeImage* entry = ImageIndex >= 0 && ImageIndex < static_cast<int>(frmMain->BeforeImages.size())
                                     ? frmMain->BeforeImages[static_cast<size_t>(ImageIndex)]
                                     : nullptr;
  if (screen <= 8 && entry && entry->BitCount <= 8) {
    ::InvalidateRect(Handle(), nullptr, FALSE);
    ++refreshes_;
  }
}

LRESULT TfrmPrePalette::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (LRESULT r = 0; RepaintOnPaletteMessage(msg, wp, r)) return r;
  switch (msg) {
    case WM_PAINT:
      // The grid's cells through the image's own palette: on a display of
      // 8 bits or fewer each cell then shows its entry's colour.
      PaintThroughPalette(Showing() ? grid_palette_ : nullptr);
      return 0;
  }
  return Form::WndProc(msg, wp, lp);
}

void TfrmPrePalette::SwitchBoth(int i) {
  frmPreview->ShowImage(i);
  ShowPalette(i);
  ::InvalidateRect(frmPreview->Handle(), nullptr, FALSE);
  ::UpdateWindow(frmPreview->Handle());
}

void TfrmPrePalette::FormKeyPress(char& key) {
  const int i = ImagePicker::StepByKey(key, ImageIndex);
  if (i < 0) return;
  SwitchBoth(i);
  ::InvalidateRect(Handle(), nullptr, FALSE);
  ::UpdateWindow(Handle());
  // The character goes on to the focused control as usual.
}

void TfrmPrePalette::spbUpClick() { SwitchBoth(ImagePicker::Previous(ImageIndex)); }

void TfrmPrePalette::spbDownClick() { SwitchBoth(ImagePicker::Next(ImageIndex)); }

void TfrmPrePalette::cmbPreviewChange() {
  frmPreview->ShowImage(picker->IndexOfCurrentText());
  ShowPalette(picker->IndexOfCurrentText());
}
