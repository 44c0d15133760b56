#include "framework/graphics.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <utility>

#include "framework/exception.h"

namespace fw {

COLORREF ColorToRGB(TColor color) {
  if (color < 0) return win::GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color);
}

std::optional<TColor> ColorFromName(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, TColor>, 23> kNames{{
      {"clBlack", clBlack},         {"clMaroon", clMaroon},
      {"clGreen", clGreen},         {"clOlive", clOlive},
      {"clNavy", clNavy},           {"clPurple", clPurple},
      {"clTeal", clTeal},           {"clGray", clGray},
      {"clSilver", clSilver},       {"clRed", clRed},
      {"clLime", clLime},           {"clYellow", clYellow},
      {"clBlue", clBlue},           {"clFuchsia", clFuchsia},
      {"clAqua", clAqua},           {"clWhite", clWhite},
      {"clWindow", clWindow},       {"clWindowText", clWindowText},
      {"clHighlight", clHighlight}, {"clHighlightText", clHighlightText},
      {"clBtnFace", clBtnFace},     {"clGrayText", clGrayText},
      {"clBtnText", clBtnText},
  }};
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  for (const auto& [known, color] : kNames) {
    if (std::ranges::equal(known, name, [&](char a, char b) { return lower(a) == lower(b); })) return color;
  }
  return std::nullopt;
}

int SaturatedInt(std::int64_t value) {
  constexpr std::int64_t kLimit = std::numeric_limits<int>::max();
  return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

int ScaleSaturated(std::int64_t number, int numerator, int denominator) {
  // Two ints' sum times an int stays within 64 bits: |number| <= 2^32 and |numerator| <= 2^31.
  constexpr std::int64_t kTwoInts = std::int64_t{1} << 32;
  number = std::clamp(number, -kTwoInts, kTwoInts);
  if (denominator == 0) return SaturatedInt(number);
  std::int64_t product = number * numerator;
  std::int64_t divisor = denominator;
  if (divisor < 0) {
    product = -product;
    divisor = -divisor;
  }
  return SaturatedInt((product >= 0 ? product + divisor / 2 : product - divisor / 2) / divisor);
}

int ScreenPixelsPerInch() {
  HDC screen = win::GetDC(nullptr);
  if (!screen) return 96;
  const int dpi = win::GetDeviceCaps(screen, LOGPIXELSY);
  win::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void TFont::Changed() {
  handle_.reset();
  if (OnChange.Assigned()) OnChange(this);
}

void TFont::SetName(std::string name) {
  if (name == name_) return;
  name_ = std::move(name);
  Changed();
}

void TFont::SetHeight(int height) {
  if (height == height_) return;
  height_ = height;
  Changed();
}

int TFont::Size() const { return -ScaleSaturated(height_, 72, pixels_per_inch_); }

void TFont::SetSize(int points) { SetHeight(-ScaleSaturated(points, pixels_per_inch_, 72)); }

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TFont::SetCharset(DWORD charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed();
}

void TFont::SetStyle(TFontStyles style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TFont::Assign(const TFont& other) {
  if (&other == this) return;
  name_ = other.name_;
  height_ = other.height_;
  pixels_per_inch_ = other.pixels_per_inch_;
  color_ = other.color_;
  charset_ = other.charset_;
  style_ = other.style_;
  Changed();
}

namespace {

std::shared_ptr<platform::UniqueGdiObject> MakeFont(const std::string& name, int height, DWORD charset,
                                                   TFontStyles style) {
  HFONT font = win::CreateFontA(height, 0, 0, 0, (style & fsBold) ? FW_BOLD : FW_NORMAL, (style & fsItalic) != 0,
                                (style & fsUnderline) != 0, (style & fsStrikeOut) != 0, charset, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, name.c_str());
  if (!font) throw EOSError(win::GetLastError(), "Error creating font '" + name + "'");
  return std::make_shared<platform::UniqueGdiObject>(font);
}

}  // namespace

HFONT TFont::Handle() {
  if (!handle_) handle_ = MakeFont(name_, height_, charset_, style_);
  return static_cast<HFONT>(handle_->get());
}

HFONT TFont::Handle(TFontCache& cache) {
  if (!handle_) handle_ = cache.Get(*this);
  return static_cast<HFONT>(handle_->get());
}

std::shared_ptr<platform::UniqueGdiObject> TFontCache::Get(const TFont& font) {
  Key key{font.name_, font.height_, font.charset_, font.style_};
  if (auto found = fonts_.find(key); found != fonts_.end()) {
    if (auto shared = found->second.lock()) return shared;
  }
  auto made = MakeFont(font.name_, font.height_, font.charset_, font.style_);
  std::erase_if(fonts_, [](const auto& entry) { return entry.second.expired(); });
  fonts_.insert_or_assign(std::move(key), made);
  return made;
}

void TBrush::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  own_.reset();
  handle_ = nullptr;
}

HBRUSH TBrush::Handle() {
  if (handle_) return handle_;
  if (color_ < 0) {
    handle_ = win::GetSysColorBrush(color_ & 0xFF);
  } else {
    handle_ = win::CreateSolidBrush(ColorToRGB(color_));
    if (!handle_) throw EOSError(win::GetLastError(), "Error creating a brush");
    own_.reset(handle_);
  }
  return handle_;
}

}  // namespace fw
