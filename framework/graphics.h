// Colours, fonts and brushes as the controls keep them, and the screen's resolution that
// stored positions and font heights are scaled to.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "framework/component.h"
#include "framework/method.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace fw {

using TNotifyEvent = Method<TObject*>;

/// A colour: $00BBGGRR for a fixed one, or a system colour (its COLOR_ index with the top bit
/// set) that follows the user's scheme.
using TColor = std::int32_t;

constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index)); }

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
constexpr TColor clGrayText = SystemColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SystemColor(COLOR_BTNTEXT);

/// The colour as Windows draws it now: system colours are looked up.
COLORREF ColorToRGB(TColor color);
/// A colour by the name a layout writes (clGreen, clBtnFace), in any case.
std::optional<TColor> ColorFromName(std::string_view name);

/// (number * numerator) / denominator rounded to the nearest integer, halves away from zero,
/// for positions and sizes, which may come from a layout. `number` may be the sum of two ints
/// (an edge); a result beyond int stops at +-2147483647 where Windows' MulDiv gives -1, so
/// scaled edges keep their order and any result can be negated. A zero denominator leaves the
/// number as it is.
int ScaleSaturated(std::int64_t number, int numerator, int denominator);
/// `value` brought into +-2147483647, the range ScaleSaturated gives.
int SaturatedInt(std::int64_t value);

/// The screen's dots per inch (vertical), which stored sizes are scaled to.
int ScreenPixelsPerInch();

enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = std::uint8_t;

class TFontCache;

/// A font description and the Windows font made from it on first use. Every change lets the
/// font go and tells OnChange, so that its control hands the window the new one.
class TFont : public TPersistent {
 public:
  TFont() = default;
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name);
  /// Negative: the characters' height in pixels; positive: the cell's, as for CreateFontA.
  int Height() const { return height_; }
  void SetHeight(int height);
  /// The size in points at PixelsPerInch.
  int Size() const;
  void SetSize(int points);
  /// The resolution that Size converts at.
  int PixelsPerInch() const { return pixels_per_inch_; }
  void SetPixelsPerInch(int dpi) { pixels_per_inch_ = dpi; }
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  DWORD Charset() const { return charset_; }
  void SetCharset(DWORD charset);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);

  /// Takes another font's description (one OnChange).
  void Assign(const TFont& other);
  /// The Windows font; made through CreateFontA when first asked for. A font Windows refuses
  /// raises EOSError.
  HFONT Handle();
  /// The same, shared with every font of the same description that took it from `cache`.
  HFONT Handle(TFontCache& cache);
  bool HandleAllocated() const { return handle_ && *handle_; }

  TNotifyEvent OnChange;

 private:
  void Changed();

  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  int pixels_per_inch_ = 96;
  TColor color_ = clWindowText;
  DWORD charset_ = DEFAULT_CHARSET;
  TFontStyles style_ = 0;
  std::shared_ptr<platform::UniqueGdiObject> handle_;

  friend class TFontCache;
};

/// Windows fonts by description (name, height, charset, style), so that the controls of a form,
/// which mostly follow one font, make one Windows font between them instead of one each. A font
/// lives as long as any TFont holds it, so the cache may go first.
class TFontCache {
 public:
  std::shared_ptr<platform::UniqueGdiObject> Get(const TFont& font);

 private:
  using Key = std::tuple<std::string, int, DWORD, TFontStyles>;
  std::map<Key, std::weak_ptr<platform::UniqueGdiObject>> fonts_;
};

/// The brush a control's background is painted with: a system colour's brush, shared and
/// never deleted, or a solid brush of our own.
class TBrush {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  HBRUSH Handle();

 private:
  TColor color_ = clBtnFace;
  platform::UniqueGdiObject own_;
  HBRUSH handle_ = nullptr;
};

}  // namespace fw
