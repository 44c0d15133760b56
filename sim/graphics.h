// gdi32 on the simulated PC: fonts and brushes as objects the program must delete again, the
// screen's resolution, and device contexts that remember what they were asked to draw with.
#pragma once

#include <map>
#include <string>

#include "platform/win32.h"
#include "sim/core.h"

namespace sim {

class SimWindows;

class SimGraphics final : public platform::Graphics {
 public:
  /// A font as CreateFontA described it.
  struct Font {
    int height;
    int weight;
    bool italic;
    bool underline;
    bool strike_out;
    DWORD charset;
    std::string face;
  };

  /// What a device context was told to draw text with.
  struct DeviceContext {
    HWND window;  // null: the screen
    COLORREF text = RGB(0, 0, 0);
    COLORREF back = RGB(255, 255, 255);
  };

  SimGraphics(Core& core, SimWindows& windows);
  ~SimGraphics() override;
  SimGraphics(const SimGraphics&) = delete;
  SimGraphics& operator=(const SimGraphics&) = delete;

  HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                    DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision, DWORD clip_precision,
                    DWORD quality, DWORD pitch_and_family, LPCSTR face) override;
  HBRUSH CreateSolidBrush(COLORREF color) override;
  /// Stock objects and system colour brushes are not deleted, and say so with TRUE.
  BOOL DeleteObject(HGDIOBJ object) override;
  /// LOGPIXELSX and LOGPIXELSY; other capabilities are not modelled.
  int GetDeviceCaps(HDC dc, int index) override;
  COLORREF SetTextColor(HDC dc, COLORREF color) override;
  COLORREF SetBkColor(HDC dc, COLORREF color) override;

  /// The screen's dots per inch (96 unless a test sets the large-font 120 or another).
  void SetScreenDpi(int dpi) { dpi_ = dpi; }

  /// The font behind a handle, or null when it is no live font.
  const Font* FindFont(HGDIOBJ font) const;
  /// The colour of a live brush. Throws std::invalid_argument for anything else.
  COLORREF BrushColor(HGDIOBJ brush) const;
  /// Fonts and brushes the program made and has not deleted yet.
  std::size_t LiveObjects() const;
  /// Device contexts handed out and not released yet.
  std::size_t OpenDcs() const { return dcs_.size(); }

  // user32's side of gdi32, for SimWindows.
  HDC OpenDc(HWND window);
  bool CloseDc(HWND window, HDC dc);
  DeviceContext* FindDc(HDC dc);
  bool IsBrush(HGDIOBJ brush) const;
  /// The brush of a system colour: made once, never deleted.
  HBRUSH SystemBrush(int index, COLORREF color);

 private:
  struct Object {
    enum class Kind { kFont, kBrush } kind;
    bool system;
    Font font;
    COLORREF color;
  };
  HGDIOBJ AddObject(Object object);
  const Object* FindObject(HGDIOBJ handle) const;

  Core& core_;
  SimWindows& windows_;
  int dpi_ = 96;
  std::map<ULONG_PTR, Object> objects_;
  std::map<int, HBRUSH> system_brushes_;
  std::map<ULONG_PTR, DeviceContext> dcs_;
  ULONG_PTR next_object_ = 0x00A00010;
  ULONG_PTR next_dc_ = 0x00D00010;
};

}  // namespace sim
