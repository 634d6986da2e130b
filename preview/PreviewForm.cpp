#include "preview/PreviewForm.h"

#include <algorithm>
#include <cstdlib>

#include "app/MainForm.h"
#include "base/handles.h"
#include "forms/application.h"
#include "palette/PreviewPaletteFrom.h"
#include "preview/preview_geometry.h"

TfrmPreview* frmPreview = nullptr;

TfrmPreview::TfrmPreview() : instance_(frmPreview, this) {
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

  imgPreview = std::make_unique<forms::Image>(this);
  imgPreview->SetBounds(0, 28, 329, 257);
  imgPreview->OnMouseMove = [this](forms::ShiftState s, int x, int y) { imgPreviewMouseMove(s, x, y); };
  imgPreview->OnDblClick = [this] { imgPreviewDblClick(); };
  pnlTop = std::make_unique<forms::Panel>(this, 0, 0, 233, 28);
  picker = std::make_unique<ImagePicker>(pnlTop.get());
  spbUp = picker->spbUp.get();
  spbDown = picker->spbDown.get();
  cmbPreview = picker->cmbPreview.get();
  picker->Connect([this] { spbUpClick(); }, [this] { spbDownClick(); }, [this] { cmbPreviewChange(); });

  tmrScrollEnabled.SetInterval(100);
  tmrScrollEnabled.OnTimer = [this] { tmrScrollEnabledTimer(); };
  OnShow = [this] { FormShow(); };
  // The picture is drawn by the shown image's surface, which renders into
  // bmpPreview only what the paint shows, if it cannot be drawn as stored.
  imgPreview->PaintOverride = [this](HDC dc, const RECT& r) {
    if (shown_) shown_->Surface->Paint(dc, r.left, r.top, *bmpPreview);
  };
  OnHide = [this] { DropImage(); };
  OnResize = [this] { FormResize(); };
  OnKeyPress = [this](char& c) { FormKeyPress(c); };
  OnKeyDown = [this](WORD& k, forms::ShiftState s) { FormKeyDown(k, s); };
  OnMouseMove = [this](forms::ShiftState s, int x, int y) { FormMouseMove(s, x, y); };
  ::ShowScrollBar(Handle(), SB_BOTH, FALSE);
  FormCreate();
}

TfrmPreview::~TfrmPreview() = default;

void TfrmPreview::FormCreate() { bmpPreview = std::make_shared<forms::Bitmap>(); }

void TfrmPreview::FormShow() {
  ShowImage(ImageIndex);
  SetPosition(mv::CentredOrigin(::GetSystemMetrics(SM_CXSCREEN), Width()),
              mv::CentredOrigin(::GetSystemMetrics(SM_CYSCREEN), Height()));
  if (frmPrePalette && frmPrePalette->Showing()) frmPrePalette->ShowPalette(ImageIndex);
}

std::wstring TfrmPreview::MakeCaption() {
  const tag_BeforeImage* e = frmMain->BeforeImages[static_cast<size_t>(ImageIndex)];
  return e->WideName + L" " + std::to_wstring(e->Width) + L"x" + std::to_wstring(e->Height) + L" " +
         std::to_wstring(e->BitCount) + L"bit";
}

void TfrmPreview::UsePalettes(HPALETTE palette) {
  // Only a display with a palette acts on these; elsewhere the picture's
  // own colours show as they are.
  ::SetSystemPaletteUse(bmpPreview->CanvasHandle(), SYSPAL_NOSTATIC);
  HDC dc = ::GetDC(Handle());
  ::SetSystemPaletteUse(dc, SYSPAL_STATIC);
  {
    mv::PaletteGuard use(dc, palette, FALSE);
    if (palette) ::RealizePalette(dc);
  }
  ::ReleaseDC(Handle(), dc);
}

void TfrmPreview::ShowImage(int index) {
  if (!frmMain || index < 0 || index >= static_cast<int>(frmMain->BeforeImages.size())) return;
  const tag_BeforeImage* entry = frmMain->BeforeImages[static_cast<size_t>(index)];
  if (!entry) return;
  const ImageSurface& surface = *entry->Surface;
  bmpPreview->Clear();  // what the last image rendered goes with it
  shown_ = entry;

  tmrScrollEnabled.SetEnabled(false);
  pnlTop->SetVisible(false);
  ScrollTo(0, 0);
  SetAutoScroll(false);
  if (State() != forms::WindowState::Maximized) {
    const mv::ClientFit fit = mv::FitClientToImage(surface.Width(), surface.Height(), ::GetSystemMetrics(SM_CXVSCROLL),
                                                   ::GetSystemMetrics(SM_CYHSCROLL));
    SetClientSize(fit.width, fit.height);
  }
  tmrScrollEnabled.SetEnabled(true);

  ImageIndex = index;
  cmbPreview->SetItemIndex(index);
  SetIcon(frmMain->imglstBits->Icon(entry->DepthIcon));
  SetCaption(MakeCaption());
  UsePalettes(entry->LogicalPalette());
  imgPreview->SetBounds(0, 0, surface.Width(), surface.Height());
  Invalidate(true);
}

void TfrmPreview::DropImage() {
  shown_ = nullptr;
  bmpPreview->Clear();
}

// ---- scrolling --------------------------------------------------------------

int TfrmPreview::HorzLineStep() const { return mv::LineStep(ClientSize().cx); }
int TfrmPreview::VertLineStep() const { return mv::LineStep(ClientSize().cy); }

void TfrmPreview::SetAutoScroll(bool on) {
  auto_scroll_ = on;
  if (!on) {
    h_bar_ = v_bar_ = false;
    updating_bars_ = true;
    ::ShowScrollBar(Handle(), SB_BOTH, FALSE);
    updating_bars_ = false;
  } else {
    UpdateScrollBars();
  }
}

void TfrmPreview::UpdateScrollBars() {
  if (!auto_scroll_ || updating_bars_) return;
  updating_bars_ = true;
  const int img_w = imgPreview->Width(), img_h = imgPreview->Height();
  // The client area with no bar, then as the bars the image needs take room.
  SIZE c = ClientSize();
  int full_w = c.cx + (v_bar_ ? ::GetSystemMetrics(SM_CXVSCROLL) : 0);
  int full_h = c.cy + (h_bar_ ? ::GetSystemMetrics(SM_CYHSCROLL) : 0);
  bool need_h = img_w > full_w, need_v = img_h > full_h;
  if (need_h && !need_v) need_v = img_h > full_h - ::GetSystemMetrics(SM_CYHSCROLL);
  if (need_v && !need_h) need_h = img_w > full_w - ::GetSystemMetrics(SM_CXVSCROLL);
  if (need_h != h_bar_ || need_v != v_bar_) {
    h_bar_ = need_h;
    v_bar_ = need_v;
    ::ShowScrollBar(Handle(), SB_HORZ, need_h);
    ::ShowScrollBar(Handle(), SB_VERT, need_v);
  }
  c = ClientSize();
  auto set = [&](int bar, int extent, int visible, bool shown, int pos) {
    SCROLLINFO si{sizeof(si), SIF_RANGE | SIF_PAGE | SIF_POS};
    si.nMin = 0;
    si.nMax = shown ? extent - 1 : 0;
    si.nPage = shown ? static_cast<UINT>(visible) : 0;
    si.nPos = pos;
    ::SetScrollInfo(Handle(), bar, &si, TRUE);
  };
  const int max_h = h_bar_ ? std::max(0, img_w - static_cast<int>(c.cx)) : 0;
  const int max_v = v_bar_ ? std::max(0, img_h - static_cast<int>(c.cy)) : 0;
  const int h = std::clamp(hpos_, 0, max_h), v = std::clamp(vpos_, 0, max_v);
  set(SB_HORZ, img_w, c.cx, h_bar_, h);
  set(SB_VERT, img_h, c.cy, v_bar_, v);
  updating_bars_ = false;
  ScrollTo(h, v);
}

void TfrmPreview::ScrollTo(int h, int v) {
  const int dx = h - hpos_, dy = v - vpos_;
  if (dx == 0 && dy == 0) return;
  hpos_ = h;
  vpos_ = v;
  // Child windows scroll with the contents.
  RECT r = pnlTop->Bounds();
  ::SetWindowPos(pnlTop->Handle(), nullptr, r.left - dx, r.top - dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (auto_scroll_) {
    ::SetScrollPos(Handle(), SB_HORZ, hpos_, TRUE);
    ::SetScrollPos(Handle(), SB_VERT, vpos_, TRUE);
  }
  Invalidate(true);
  Update();
}

void TfrmPreview::ScrollOneLine(Direction d) {
  if (!auto_scroll_) return;  // the bars are held: nothing can move
  const SIZE c = ClientSize();
  const int img_w = h_bar_ ? imgPreview->Width() : 0, img_h = v_bar_ ? imgPreview->Height() : 0;
  switch (d) {
    case Direction::Up:
      ScrollTo(hpos_, mv::ScrollLineBack(vpos_, mv::LineStep(c.cy)));
      break;
    case Direction::Down:
      ScrollTo(hpos_, mv::ScrollLineForward(vpos_, mv::LineStep(c.cy), img_h, c.cy));
      break;
    case Direction::Left:
      ScrollTo(mv::ScrollLineBack(hpos_, mv::LineStep(c.cx)), vpos_);
      break;
    case Direction::Right:
      ScrollTo(mv::ScrollLineForward(hpos_, mv::LineStep(c.cx), img_w, c.cx), vpos_);
      break;
  }
}

void TfrmPreview::OnScrollMessage(int bar, WORD code) {
  const SIZE c = ClientSize();
  const bool horz = bar == SB_HORZ;
  const int visible = horz ? c.cx : c.cy;
  const int extent = horz ? (h_bar_ ? imgPreview->Width() : 0) : (v_bar_ ? imgPreview->Height() : 0);
  const int max = std::max(0, extent - visible);
  int pos = horz ? hpos_ : vpos_;
  SCROLLINFO si{sizeof(si), SIF_TRACKPOS};
  switch (code) {
    case SB_LINEUP: pos -= mv::LineStep(visible); break;
    case SB_LINEDOWN: pos += mv::LineStep(visible); break;
    case SB_PAGEUP: pos -= mv::PageStep(visible); break;
    case SB_PAGEDOWN: pos += mv::PageStep(visible); break;
    case SB_TOP: pos = 0; break;
    case SB_BOTTOM: pos = max; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      ::GetScrollInfo(Handle(), bar, &si);
      pos = si.nTrackPos;
      break;
    default: return;
  }
  pos = std::clamp(pos, 0, max);
  if (horz) ScrollTo(pos, vpos_); else ScrollTo(hpos_, pos);
}

void TfrmPreview::tmrScrollEnabledTimer() {
  SetAutoScroll(true);
  tmrScrollEnabled.SetEnabled(false);
}

// ---- painting ---------------------------------------------------------------

void TfrmPreview::WMPaint() {
  HPALETTE pal = shown_ ? shown_->LogicalPalette() : nullptr;
  if (pal) ::SetSystemPaletteUse(bmpPreview->CanvasHandle(), SYSPAL_NOSTATIC);
  PaintThroughPalette(pal);
}

void TfrmPreview::WMEraseBkgnd(HDC dc) {
  const SIZE c = ClientSize();
  HBRUSH black = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
  const int dx = c.cx - imgPreview->Width(), dy = c.cy - imgPreview->Height();
  if (dx > 0) {
    RECT r{imgPreview->Width(), 0, c.cx, c.cy};
    ::FillRect(dc, &r, black);
  }
  if (dy > 0) {
    RECT r{0, imgPreview->Height(), c.cx, c.cy};
    ::FillRect(dc, &r, black);
  }
}

LRESULT TfrmPreview::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (LRESULT r = 0; RepaintOnPaletteMessage(msg, wp, r)) return r;
  switch (msg) {
    case WM_PAINT:
      WMPaint();
      return 0;
    case WM_ERASEBKGND:
      WMEraseBkgnd(reinterpret_cast<HDC>(wp));
      return 1;  // the area under the image is never erased
    case WM_HSCROLL:
      OnScrollMessage(SB_HORZ, LOWORD(wp));
      return 0;
    case WM_VSCROLL:
      OnScrollMessage(SB_VERT, LOWORD(wp));
      return 0;
    case WM_SIZE: {
      LRESULT r = Form::WndProc(msg, wp, lp);
      UpdateScrollBars();  // the bars adapt to the user's resizing
      return r;
    }
  }
  return Form::WndProc(msg, wp, lp);
}

// ---- navigation -------------------------------------------------------------

void TfrmPreview::StepImage(int i) {
  ShowImage(i);
  if (frmPrePalette && frmPrePalette->Showing()) {
    frmPrePalette->ShowPalette(i);
    ::InvalidateRect(frmPrePalette->Handle(), nullptr, FALSE);
    ::UpdateWindow(frmPrePalette->Handle());
  }
  ::InvalidateRect(Handle(), nullptr, FALSE);
  ::UpdateWindow(Handle());
}

void TfrmPreview::FormKeyPress(char& key) {
  if (const int step = ImagePicker::StepByKey(key, ImageIndex); step >= 0) {
    StepImage(step);
    return;
  }
  switch (key) {
    case 'U': case 'u': case 'R': case 'r': ScrollOneLine(Direction::Up); break;
    case 'J': case 'j': case 'F': case 'f': ScrollOneLine(Direction::Down); break;
    case 'H': case 'h': case 'D': case 'd': ScrollOneLine(Direction::Left); break;
    case 'K': case 'k': case 'G': case 'g': ScrollOneLine(Direction::Right); break;
    default: break;
  }
}

void TfrmPreview::FormKeyDown(WORD& key, forms::ShiftState) {
  switch (key) {
    case VK_UP: ScrollOneLine(Direction::Up); break;
    case VK_DOWN: ScrollOneLine(Direction::Down); break;
    case VK_LEFT: ScrollOneLine(Direction::Left); break;
    case VK_RIGHT: ScrollOneLine(Direction::Right); break;
    case VK_RETURN:
      if (State() == forms::WindowState::Maximized) SetState(forms::WindowState::Normal);
      else if (State() == forms::WindowState::Normal) SetState(forms::WindowState::Maximized);
      break;
    default: break;
  }
}

void TfrmPreview::FormMouseMove(forms::ShiftState, int, int y) {
  if (mv::StripShows(y)) {
    pnlTop->SetBounds(0, 0, 233, mv::kStripHeight);
    pnlTop->SetVisible(true);
  } else {
    pnlTop->SetVisible(false);
  }
}

void TfrmPreview::imgPreviewMouseMove(forms::ShiftState s, int x, int y) { FormMouseMove(s, x, y - vpos_); }

void TfrmPreview::imgPreviewDblClick() {
  frmPrePalette->ImageIndex = cmbPreview->ItemIndex();
  frmPrePalette->Hide();
  frmPrePalette->Show();
  forms::Application::Instance().ProcessMessages();
}

// ---- picker -----------------------------------------------------------------

void TfrmPreview::cmbPreviewChange() { ShowImage(picker->IndexOfCurrentText()); }

void TfrmPreview::SwitchFromPicker(int i) {
  ShowImage(i);
  if (frmPrePalette && frmPrePalette->Showing()) frmPrePalette->ShowPalette(i);
  ::InvalidateRect(Handle(), nullptr, FALSE);
  ::UpdateWindow(Handle());
}

void TfrmPreview::spbUpClick() { SwitchFromPicker(ImagePicker::Previous(ImageIndex)); }

void TfrmPreview::spbDownClick() { SwitchFromPicker(ImagePicker::Next(ImageIndex)); }
