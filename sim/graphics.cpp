#include "sim/graphics.h"

#include <stdexcept>

#include "sim/format.h"
#include "sim/windows.h"

namespace sim {

using format::Dec;
using format::Handle;
using format::Hex;
using format::Str;

SimGraphics::SimGraphics(Core& core, SimWindows& windows) : core_(core), windows_(windows) {
  for (const char* name : {"CreateFontA", "CreateSolidBrush", "GetDC"}) core_.faults.Allow(name);
  windows_.Attach(this);
}

SimGraphics::~SimGraphics() { windows_.Attach(nullptr); }

HGDIOBJ SimGraphics::AddObject(Object object) {
  const ULONG_PTR key = next_object_;
  next_object_ += 0x10;
  objects_.emplace(key, std::move(object));
  return reinterpret_cast<HGDIOBJ>(key);
}

const SimGraphics::Object* SimGraphics::FindObject(HGDIOBJ handle) const {
  auto it = objects_.find(reinterpret_cast<ULONG_PTR>(handle));
  return it == objects_.end() ? nullptr : &it->second;
}

HFONT SimGraphics::CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                               DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision,
                               DWORD clip_precision, DWORD quality, DWORD pitch_and_family, LPCSTR face) {
  core_.Record("CreateFontA", {Dec(height), Dec(width), Dec(escapement), Dec(orientation), Dec(weight), Dec(italic),
                               Dec(underline), Dec(strike_out), Dec(charset), Dec(out_precision),
                               Dec(clip_precision), Dec(quality), Hex(pitch_and_family), Str(face)});
  if (core_.Failing("CreateFontA")) return nullptr;
  if (width || escapement || orientation) throw NotSimulated("CreateFontA: widths and rotated text");
  Object font{Object::Kind::kFont, false,
              Font{height, weight, italic != 0, underline != 0, strike_out != 0, charset, face ? face : ""}, 0};
  return static_cast<HFONT>(AddObject(std::move(font)));
}

HBRUSH SimGraphics::CreateSolidBrush(COLORREF color) {
  core_.Record("CreateSolidBrush", {Hex(color)});
  if (core_.Failing("CreateSolidBrush")) return nullptr;
  return static_cast<HBRUSH>(AddObject({Object::Kind::kBrush, false, {}, color}));
}

BOOL SimGraphics::DeleteObject(HGDIOBJ object) {
  core_.Record("DeleteObject", {Handle(object)});
  auto it = objects_.find(reinterpret_cast<ULONG_PTR>(object));
  if (it == objects_.end()) return FALSE;
  if (!it->second.system) objects_.erase(it);
  return TRUE;
}

int SimGraphics::GetDeviceCaps(HDC dc, int index) {
  core_.Record("GetDeviceCaps", {Handle(dc), Dec(index)});
  if (!FindDc(dc)) return 0;
  if (index == LOGPIXELSX || index == LOGPIXELSY) return dpi_;
  throw NotSimulated("GetDeviceCaps: index " + Dec(index));
}

COLORREF SimGraphics::SetTextColor(HDC dc, COLORREF color) {
  core_.Record("SetTextColor", {Handle(dc), Hex(color)});
  DeviceContext* found = FindDc(dc);
  if (!found) return CLR_INVALID;
  const COLORREF previous = found->text;
  found->text = color;
  return previous;
}

COLORREF SimGraphics::SetBkColor(HDC dc, COLORREF color) {
  core_.Record("SetBkColor", {Handle(dc), Hex(color)});
  DeviceContext* found = FindDc(dc);
  if (!found) return CLR_INVALID;
  const COLORREF previous = found->back;
  found->back = color;
  return previous;
}

const SimGraphics::Font* SimGraphics::FindFont(HGDIOBJ font) const {
  const Object* found = FindObject(font);
  return found && found->kind == Object::Kind::kFont ? &found->font : nullptr;
}

COLORREF SimGraphics::BrushColor(HGDIOBJ brush) const {
  const Object* found = FindObject(brush);
  if (!found || found->kind != Object::Kind::kBrush) {
    throw std::invalid_argument("sim: " + Handle(brush) + " is not a brush");
  }
  return found->color;
}

bool SimGraphics::IsBrush(HGDIOBJ brush) const {
  const Object* found = FindObject(brush);
  return found && found->kind == Object::Kind::kBrush;
}

std::size_t SimGraphics::LiveObjects() const {
  std::size_t count = 0;
  for (const auto& [key, object] : objects_) count += object.system ? 0 : 1;
  return count;
}

HDC SimGraphics::OpenDc(HWND window) {
  const ULONG_PTR key = next_dc_;
  next_dc_ += 0x10;
  dcs_.emplace(key, DeviceContext{window});
  return reinterpret_cast<HDC>(key);
}

bool SimGraphics::CloseDc(HWND window, HDC dc) {
  auto it = dcs_.find(reinterpret_cast<ULONG_PTR>(dc));
  if (it == dcs_.end() || it->second.window != window) return false;
  dcs_.erase(it);
  return true;
}

SimGraphics::DeviceContext* SimGraphics::FindDc(HDC dc) {
  auto it = dcs_.find(reinterpret_cast<ULONG_PTR>(dc));
  return it == dcs_.end() ? nullptr : &it->second;
}

HBRUSH SimGraphics::SystemBrush(int index, COLORREF color) {
  auto it = system_brushes_.find(index);
  if (it == system_brushes_.end()) {
    HBRUSH brush = static_cast<HBRUSH>(AddObject({Object::Kind::kBrush, true, {}, color}));
    it = system_brushes_.emplace(index, brush).first;
  }
  objects_.at(reinterpret_cast<ULONG_PTR>(it->second)).color = color;
  return it->second;
}

}  // namespace sim
