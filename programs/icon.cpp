// Draws Pinscope's icon, the face of a 25-pin D-sub socket as a PC's parallel port shows it,
// and writes it as a Windows .ico with one 32-bit image per size. Built and run on the build
// machine, so the icon is made from this file alone, with nothing drawn by hand or fetched.
// usage: icon OUT.ico
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Point {
  double x, y;
};

struct Colour {
  double r, g, b;  // 0..1
};

// The drawing, in a unit square with y downwards. The socket's outline narrows downwards as
// the real one does, so that a plug goes in one way only.
constexpr double kShellTop = 0.15, kShellBottom = 0.85;
constexpr double kShellTopHalf = 0.49, kShellBottomHalf = 0.39;
constexpr double kShellRound = 0.10;
constexpr double kRim = 0.065;  // the metal between the outline and the insulator
constexpr Colour kMetalLight{0.86, 0.88, 0.91}, kMetalDark{0.50, 0.55, 0.60};
constexpr Colour kOutline{0.22, 0.25, 0.29};
constexpr Colour kInsulator{0.11, 0.16, 0.29};
constexpr Colour kPin{0.95, 0.72, 0.20};
constexpr Colour kPinHigh{0.36, 0.86, 0.36};  // pins that are set, as the window ticks them

// A size's picture: the real connector has 13 pins over 12; small sizes keep its shape with
// fewer pins, as a dot smaller than a pixel only blurs.
struct Size {
  int pixels;
  int top_pins;
};
constexpr Size kSizes[] = {{16, 4}, {24, 5}, {32, 7}, {48, 13}};

// A convex polygon, clockwise or not, and the distance of a point outside it (0 inside).
double DistanceOutside(const std::vector<Point>& polygon, Point p) {
  bool inside = true;
  double nearest = 1e9;
  const std::size_t n = polygon.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Point a = polygon[i], b = polygon[(i + 1) % n];
    const double ex = b.x - a.x, ey = b.y - a.y;
    const double cross = ex * (p.y - a.y) - ey * (p.x - a.x);
    if (cross < 0) inside = false;  // the polygon runs clockwise in y-down space
    const double t = std::clamp(((p.x - a.x) * ex + (p.y - a.y) * ey) / (ex * ex + ey * ey), 0.0, 1.0);
    nearest = std::min(nearest, std::hypot(p.x - (a.x + t * ex), p.y - (a.y + t * ey)));
  }
  return inside ? 0.0 : nearest;
}

// The socket's outline grown inwards by `inset`, its corners rounded by `round`: the points
// within `round` of the returned polygon.
std::vector<Point> Shell(double inset, double round) {
  const double shrink = inset + round;
  // The side edges slant; moving them inwards by `shrink` moves their ends along x by more.
  const double slant = std::hypot(kShellTopHalf - kShellBottomHalf, kShellBottom - kShellTop) /
                       (kShellBottom - kShellTop);
  const double top = kShellTop + shrink, bottom = kShellBottom - shrink;
  const double dx = (kShellTopHalf - kShellBottomHalf) / (kShellBottom - kShellTop);
  const double half_top = kShellTopHalf - shrink * slant - dx * shrink;
  const double half_bottom = kShellBottomHalf - shrink * slant + dx * shrink;
  return {{0.5 - half_top, top}, {0.5 + half_top, top}, {0.5 + half_bottom, bottom}, {0.5 - half_bottom, bottom}};
}

Colour Mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

class Picture {
 public:
  explicit Picture(const Size& size) : size_(size), outer_(Shell(0, kShellRound)), inner_(Shell(kRim, 0.05)) {
    const double pixel = 1.0 / size.pixels;
    constexpr double kRows[] = {0.39, 0.61};
    // The top row fills the insulator's width there, less a margin.
    const double half = kShellTopHalf - kRim -
                        (kShellTopHalf - kShellBottomHalf) * (kRows[0] - kShellTop) / (kShellBottom - kShellTop);
    const double pitch = 2 * (half - 0.05) / size.top_pins;
    pin_radius_ = std::max(pitch * 0.36, pixel * 0.6);
    for (int row = 0; row < 2; ++row) {
      const int count = size.top_pins - row;
      const double y = kRows[row];
      for (int i = 0; i < count; ++i) {
        const double x = 0.5 + (i - (count - 1) / 2.0) * pitch;
        // The top row's second to ninth pins are the data lines: some of them set.
        const bool high = row == 0 && i >= 1 && i <= 8 && (i % 3 != 2);
        pins_.push_back({{x, y}, high});
      }
    }
  }

  // The colour at a point, or false where the icon is transparent.
  bool At(Point p, Colour& colour) const {
    const double outside = DistanceOutside(outer_, p);
    if (outside > kShellRound) return false;
    const double outline = 1.2 / size_.pixels;  // about a pixel wide at every size
    if (outside > kShellRound - outline) {
      colour = kOutline;
      return true;
    }
    if (DistanceOutside(inner_, p) > 0.05) {
      // Brushed metal, lit from above.
      colour = Mix(kMetalLight, kMetalDark, (p.y - kShellTop) / (kShellBottom - kShellTop));
      return true;
    }
    for (const Pin& pin : pins_) {
      if (std::hypot(p.x - pin.at.x, p.y - pin.at.y) <= pin_radius_) {
        colour = pin.high ? kPinHigh : kPin;
        return true;
      }
    }
    colour = kInsulator;
    return true;
  }

 private:
  struct Pin {
    Point at;
    bool high;
  };
  Size size_;
  std::vector<Point> outer_, inner_;
  std::vector<Pin> pins_;
  double pin_radius_ = 0;
};

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// One size as an icon image: a BITMAPINFOHEADER of twice the height (colour, then mask),
// 32-bit BGRA rows bottom-up with straight alpha, and the 1-bit mask older Windows draws with.
std::vector<std::uint8_t> Image(const Size& size) {
  const Picture picture(size);
  const int n = size.pixels;
  constexpr int kSamples = 8;  // per pixel and axis: the edges are smooth at every size
  std::vector<std::uint8_t> bgra(static_cast<std::size_t>(n) * n * 4);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      Colour sum{0, 0, 0};
      int covered = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          Colour colour;
          const Point p{(x + (sx + 0.5) / kSamples) / n, (y + (sy + 0.5) / kSamples) / n};
          if (!picture.At(p, colour)) continue;
          sum = {sum.r + colour.r, sum.g + colour.g, sum.b + colour.b};
          ++covered;
        }
      }
      std::uint8_t* pixel = &bgra[(static_cast<std::size_t>(n - 1 - y) * n + x) * 4];
      if (covered) {
        pixel[0] = static_cast<std::uint8_t>(std::lround(255 * sum.b / covered));
        pixel[1] = static_cast<std::uint8_t>(std::lround(255 * sum.g / covered));
        pixel[2] = static_cast<std::uint8_t>(std::lround(255 * sum.r / covered));
        pixel[3] = static_cast<std::uint8_t>(std::lround(255.0 * covered / (kSamples * kSamples)));
      }
    }
  }
  std::vector<std::uint8_t> out;
  PutLe(out, 40, 4);
  PutLe(out, n, 4);
  PutLe(out, 2 * n, 4);
  PutLe(out, 1, 2);   // planes
  PutLe(out, 32, 2);  // bits per pixel
  for (int i = 0; i < 6; ++i) PutLe(out, 0, 4);
  out.insert(out.end(), bgra.begin(), bgra.end());
  const int mask_stride = (n + 31) / 32 * 4;
  for (int row = 0; row < n; ++row) {
    std::vector<std::uint8_t> mask(mask_stride, 0);
    for (int x = 0; x < n; ++x) {
      if (bgra[(static_cast<std::size_t>(row) * n + x) * 4 + 3] == 0) mask[x / 8] |= 0x80 >> (x % 8);
    }
    out.insert(out.end(), mask.begin(), mask.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.ico\n", argv[0]);
    return 2;
  }
  std::vector<std::vector<std::uint8_t>> images;
  for (const Size& size : kSizes) images.push_back(Image(size));

  std::vector<std::uint8_t> file;
  PutLe(file, 0, 2);  // reserved
  PutLe(file, 1, 2);  // an icon, not a cursor
  PutLe(file, static_cast<std::uint32_t>(images.size()), 2);
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    file.push_back(static_cast<std::uint8_t>(kSizes[i].pixels));
    file.push_back(static_cast<std::uint8_t>(kSizes[i].pixels));
    file.push_back(0);  // no palette
    file.push_back(0);
    PutLe(file, 1, 2);
    PutLe(file, 32, 2);
    PutLe(file, static_cast<std::uint32_t>(images[i].size()), 4);
    PutLe(file, offset, 4);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());

  // Written whole or not at all: a half-written icon would still link.
  const std::string partial = std::string(argv[1]) + ".part";
  std::ofstream out(partial, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  out.close();
  if (!out || std::rename(partial.c_str(), argv[1]) != 0) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    std::remove(partial.c_str());
    return 1;
  }
  return 0;
}
