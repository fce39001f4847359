#include "platform/classes/Canvas.h"

#include "platform/classes/Graphics.h"

namespace velmora {

namespace {

RECT ToRECT(const TRect& r) {
  return RECT{r.Left, r.Top, r.Right, r.Bottom};
}

}  // namespace

void RaiseLastGdiError() {
  DWORD code = GetLastError();
  // A bitmap refused by a memory account says whose limit it would pass.
  std::string text = code == ERROR_NOT_ENOUGH_QUOTA ? LastMemoryRefusal() : std::string();
  if (text.empty() && code) text = SysErrorMessage(code);
  if (text.empty()) text = "Out of system resources";
  throw EOutOfResources(text);
}

HDC TCanvas::GetHandle() {
  if (!FHandle) CreateHandle();
  if (!FHandle) throw EInvalidGraphicOperation("Canvas does not allow drawing");
  return FHandle;
}

void TCanvas::SetBrushColor(TColor color) {
  FBrushColor = color;
  FBrushStyle = TBrushStyle::bsSolid;
}

void TCanvas::SetBrushStyle(TBrushStyle style) {
  FBrushStyle = style;
}

TRect TCanvas::GetClipRect() {
  RECT r;
  if (!GetClipBox(GetHandle(), &r)) return TRect{};
  return TRect{r.left, r.top, r.right, r.bottom};
}

void TCanvas::SetClipRect(const TRect& rect) {
  RECT r = ToRECT(rect);
  ::velmora::SetClipRect(GetHandle(), &r);
}

void TCanvas::ResetClipRect() {
  ::velmora::SetClipRect(GetHandle(), nullptr);
}

void TCanvas::FillRect(const TRect& rect) {
  if (FBrushStyle == TBrushStyle::bsClear) return;
  HDC dc = GetHandle();
  Changing();
  HBRUSH brush = CreateSolidBrush(ColorToRGB(FBrushColor));
  GDICheck(brush);
  RECT r = ToRECT(rect);
  ::velmora::FillRect(dc, &r, brush);
  DeleteObject(brush);
  Changed();
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect) {
  HDC dc = GetHandle();
  HDC src = source.GetHandle();
  Changing();
  StretchBlt(dc, dest.Left, dest.Top, dest.Width(), dest.Height(), src, sourceRect.Left,
             sourceRect.Top, sourceRect.Width(), sourceRect.Height(), FCopyMode);
  Changed();
}

void TCanvas::Draw(int x, int y, TGraphic& graphic) {
  if (graphic.GetEmpty()) return;
  graphic.Draw(*this, Rect(x, y, x + graphic.GetWidth(), y + graphic.GetHeight()));
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic& graphic) {
  if (graphic.GetEmpty()) return;
  graphic.Draw(*this, rect);
}

TColor TCanvas::GetPixel(int x, int y) {
  return TColor(::velmora::GetPixel(GetHandle(), x, y));
}

void TCanvas::SetPixel(int x, int y, TColor color) {
  HDC dc = GetHandle();
  Changing();
  ::velmora::SetPixel(dc, x, y, ColorToRGB(color));
  Changed();
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

}  // namespace velmora
