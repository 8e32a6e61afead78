#include "demo.h"

#include "window_class.h"

namespace standin {
namespace {

constexpr int kSlideCount = 5;
constexpr DWORD kSlideMs = 3000;
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFrameMs = 30;
constexpr int kDesignHeight = 440;  // the client height the sizes below are drawn for

const COLORREF kSkyTop = RGB(22, 30, 62);
const COLORREF kSkyBottom = RGB(60, 40, 100);
const COLORREF kPanel = RGB(36, 48, 92);
const COLORREF kText = RGB(246, 246, 250);
const COLORREF kMuted = RGB(168, 178, 214);
const COLORREF kShadow = RGB(10, 12, 30);
const COLORREF kCoral = RGB(255, 128, 96);
const COLORREF kTeal = RGB(64, 206, 192);
const COLORREF kGold = RGB(255, 206, 96);

struct Fonts {
  HFONT title, heading, body, small;
};

// Program-wide show state; only the window's thread touches it.
struct Show {
  int slide;
  bool started;  // the clock runs from the moment the window is first shown
  DWORD slideStart;
  int scalePercent;
  Fonts fonts;
  int fontsHeight;  // the client height the fonts were made for
};
Show g_show;

int Scaled(int size) { return size * g_show.scalePercent / 100; }

HFONT MakeFont(int pixels, int weight) {
  return CreateFontA(-Scaled(pixels), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, "Tahoma");
}

void DeleteFonts() {
  HFONT all[] = {g_show.fonts.title, g_show.fonts.heading, g_show.fonts.body, g_show.fonts.small};
  for (HFONT font : all)
    if (font != nullptr) DeleteObject(font);
  g_show.fonts = Fonts{};
}

// Made when first drawn, not at creation: nothing that can wait runs before
// the message loop, as the launcher gives a projector only ten seconds to
// become input-idle, and Wine in an emulated machine needs most of them.
void FontsFor(int clientHeight) {
  if (g_show.fonts.title != nullptr && g_show.fontsHeight == clientHeight) return;
  DeleteFonts();
  g_show.fontsHeight = clientHeight;
  // A tiny window still gets sizes above zero: the ball's shadow divides by one.
  int percent = clientHeight > 0 ? clientHeight * 100 / kDesignHeight : 100;
  g_show.scalePercent = percent < 20 ? 20 : percent;
  g_show.fonts.title = MakeFont(44, FW_BOLD);
  g_show.fonts.heading = MakeFont(36, FW_BOLD);
  g_show.fonts.body = MakeFont(21, FW_NORMAL);
  g_show.fonts.small = MakeFont(14, FW_NORMAL);
}

// ---- drawing helpers -------------------------------------------------------

COLORREF Mix(COLORREF a, COLORREF b, int part, int whole) {
  auto channel = [&](int shift) {
    int from = (a >> shift) & 0xFF, to = (b >> shift) & 0xFF;
    return static_cast<COLORREF>(from + (to - from) * part / whole) << shift;
  };
  return channel(0) | channel(8) | channel(16);
}

void FillSolid(HDC dc, RECT r, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

void FillVerticalGradient(HDC dc, RECT r, COLORREF top, COLORREF bottom) {
  const int band = 4;
  int height = r.bottom - r.top;
  for (int y = r.top; y < r.bottom; y += band) {
    RECT strip = {r.left, y, r.right, y + band};
    FillSolid(dc, strip, Mix(top, bottom, y - r.top, height > 0 ? height : 1));
  }
}

void Shape(HDC dc, RECT r, COLORREF fill, COLORREF edge, int radius) {
  HBRUSH brush = CreateSolidBrush(fill);
  HPEN pen = CreatePen(PS_SOLID, Scaled(2) > 0 ? Scaled(2) : 1, edge);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  if (radius < 0)
    Ellipse(dc, r.left, r.top, r.right, r.bottom);
  else
    RoundRect(dc, r.left, r.top, r.right, r.bottom, radius, radius);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

void Disc(HDC dc, int cx, int cy, int radius, COLORREF color) {
  RECT r = {cx - radius, cy - radius, cx + radius, cy + radius};
  Shape(dc, r, color, color, -1);
}

// Text with a soft drop shadow, which keeps it readable on the gradient.
void Text(HDC dc, HFONT font, COLORREF color, const char* text, RECT r, UINT format) {
  HGDIOBJ old = SelectObject(dc, font);
  int offset = Scaled(2) > 0 ? Scaled(2) : 1;
  RECT shadow = {r.left + offset, r.top + offset, r.right + offset, r.bottom + offset};
  SetTextColor(dc, kShadow);
  DrawTextA(dc, text, -1, &shadow, format);
  SetTextColor(dc, color);
  DrawTextA(dc, text, -1, &r, format);
  SelectObject(dc, old);
}

// The largest bold text up to the heading's size that fits the box's width.
void TextThatFits(HDC dc, COLORREF color, const char* text, RECT box) {
  int room = box.right - box.left - Scaled(24);
  for (int pixels = 36;; pixels -= 2) {
    HFONT font = MakeFont(pixels, FW_BOLD);
    HGDIOBJ old = SelectObject(dc, font);
    RECT measured = {0, 0, 0, 0};
    DrawTextA(dc, text, -1, &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    if (measured.right <= room || pixels <= 14) {
      Text(dc, font, color, text, box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX |
                                           DT_END_ELLIPSIS);
      DeleteObject(font);
      return;
    }
    DeleteObject(font);
  }
}

RECT Band(const RECT& client, int top, int height) {
  return RECT{client.left, client.top + Scaled(top), client.right, client.top + Scaled(top + height)};
}

constexpr UINT kCentred = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;

// A value that runs 0..whole..0 over one period.
int Triangle(DWORD t, DWORD period, int whole) {
  int phase = static_cast<int>(t % period);
  int half = static_cast<int>(period / 2);
  return (phase < half ? phase : static_cast<int>(period) - phase) * whole / half;
}

// Height of a bounce, 0 on the floor and `whole` at the top of the arc.
int Bounce(DWORD t, DWORD period, int whole) {
  int phase = static_cast<int>(t % period) * 2000 / static_cast<int>(period) - 1000;  // -1000..1000
  return whole * (1000000 - phase * phase) / 1000000;
}

// ---- the slides ------------------------------------------------------------

void TitleSlide(HDC dc, const RECT& client, DWORD t) {
  Text(dc, g_show.fonts.title, kText, "Packaged presentation", Band(client, 120, 70), kCentred);
  Text(dc, g_show.fonts.body, kMuted, "One Windows program that carries its own show",
       Band(client, 190, 34), kCentred);
  const COLORREF colors[] = {kCoral, kTeal, kGold};
  int mid = (client.left + client.right) / 2;
  for (int i = 0; i < 3; ++i) {
    int lift = Bounce(t + static_cast<DWORD>(i) * 180, 900, Scaled(28));
    Disc(dc, mid + (i - 1) * Scaled(48), client.top + Scaled(310) - lift, Scaled(14), colors[i]);
  }
}

void WindowTitleSlide(HDC dc, const RECT& client, HWND window, DWORD t) {
  Text(dc, g_show.fonts.heading, kText, "Its own caption", Band(client, 70, 50), kCentred);
  Text(dc, g_show.fonts.body, kMuted, "The launcher gave this window its title:",
       Band(client, 145, 30), kCentred);
  char title[256];
  if (GetWindowTextA(window, title, sizeof title) == 0) lstrcpyA(title, "(no title)");
  RECT box = Band(client, 195, 80);
  InflateRect(&box, -Scaled(40), 0);
  Shape(dc, box, kPanel, Mix(kTeal, kGold, Triangle(t, 2000, 100), 100), Scaled(24));
  TextThatFits(dc, kGold, title, box);
  Text(dc, g_show.fonts.body, kMuted, "then centred it and brought it to the front.",
       Band(client, 300, 30), kCentred);
}

void StepsSlide(HDC dc, const RECT& client, DWORD t) {
  Text(dc, g_show.fonts.heading, kText, "How it runs", Band(client, 70, 50), kCentred);
  const char* steps[] = {"Unpack", "Title", "Show", "Play"};
  const int count = 4;
  int width = client.right - client.left;
  int boxWidth = Scaled(110), gap = (width - count * boxWidth) / (count + 1);
  int active = static_cast<int>(t / 600) % count;
  int top = client.top + Scaled(185), bottom = top + Scaled(70);
  for (int i = 0; i < count; ++i) {
    int left = client.left + gap + i * (boxWidth + gap);
    if (i + 1 < count) {
      RECT line = {left + boxWidth, (top + bottom) / 2 - Scaled(2), left + boxWidth + gap,
                   (top + bottom) / 2 + Scaled(2)};
      FillSolid(dc, line, kMuted);
    }
    RECT box = {left, top, left + boxWidth, bottom};
    bool lit = i == active;
    Shape(dc, box, lit ? kCoral : kPanel, lit ? kGold : kTeal, Scaled(18));
    Text(dc, g_show.fonts.body, kText, steps[i], box, kCentred);
  }
  Text(dc, g_show.fonts.body, kMuted, "a launcher, this projector and a MIDI player",
       Band(client, 295, 30), kCentred);
}

void BallSlide(HDC dc, const RECT& client, DWORD t) {
  Text(dc, g_show.fonts.heading, kText, "Drawn with GDI", Band(client, 70, 50), kCentred);
  int floorY = client.top + Scaled(345);
  int margin = Scaled(80);
  int travel = (client.right - client.left) - 2 * margin;
  int x = client.left + margin + Triangle(t, 4000, travel);
  int lift = Bounce(t, 1000, Scaled(160));
  int radius = Scaled(26);
  RECT floor = {client.left + Scaled(40), floorY, client.right - Scaled(40), floorY + Scaled(3)};
  FillSolid(dc, floor, kMuted);
  int shadowHalf = radius * (300 - lift * 100 / Scaled(160)) / 300;
  RECT shadow = {x - shadowHalf, floorY - Scaled(5), x + shadowHalf, floorY + Scaled(5)};
  Shape(dc, shadow, kShadow, kShadow, -1);
  Disc(dc, x, floorY - radius - lift, radius, kCoral);
  Disc(dc, x - radius / 3, floorY - radius - lift - radius / 3, radius / 4, RGB(255, 190, 170));
}

void EndSlide(HDC dc, const RECT& client, DWORD t) {
  int ring = Scaled(60) + Triangle(t, 1500, Scaled(16));
  int cx = (client.left + client.right) / 2, cy = client.top + Scaled(150);
  Shape(dc, RECT{cx - ring, cy - ring, cx + ring, cy + ring}, kPanel, kTeal, -1);
  Disc(dc, cx, cy, Scaled(30), kGold);
  Text(dc, g_show.fonts.title, kText, "Thank you", Band(client, 230, 70), kCentred);
  char line[64];
  DWORD left = t < kSlideMs ? (kSlideMs - t + 999) / 1000 : 0;
  wsprintfA(line, "This presentation closes in %lu s", left);
  Text(dc, g_show.fonts.body, kMuted, line, Band(client, 300, 30), kCentred);
}

void Footer(HDC dc, const RECT& client, HWND window, DWORD t) {
  int barHeight = Scaled(6) > 2 ? Scaled(6) : 2;
  RECT track = {client.left, client.bottom - barHeight, client.right, client.bottom};
  FillSolid(dc, track, kPanel);
  DWORD spent = g_show.slide * kSlideMs + (t < kSlideMs ? t : kSlideMs);
  RECT done = track;
  done.right = client.left + static_cast<LONG>((client.right - client.left) * spent /
                                               (kSlideCount * kSlideMs));
  FillSolid(dc, done, kTeal);

  char title[256];
  GetWindowTextA(window, title, sizeof title);
  char page[16];
  wsprintfA(page, "%d / %d", g_show.slide + 1, kSlideCount);
  RECT text = {client.left + Scaled(16), client.bottom - barHeight - Scaled(30),
               client.right - Scaled(16), client.bottom - barHeight - Scaled(4)};
  Text(dc, g_show.fonts.small, kMuted, title, text,
       DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  Text(dc, g_show.fonts.small, kMuted, page, text, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
}

DWORD SlideTime() { return g_show.started ? GetTickCount() - g_show.slideStart : 0; }

void DrawSlide(HDC dc, const RECT& client, HWND window) {
  DWORD t = SlideTime();
  FontsFor(client.bottom - client.top);
  FillVerticalGradient(dc, client, kSkyTop, kSkyBottom);
  SetBkMode(dc, TRANSPARENT);
  switch (g_show.slide) {
    case 0: TitleSlide(dc, client, t); break;
    case 1: WindowTitleSlide(dc, client, window, t); break;
    case 2: StepsSlide(dc, client, t); break;
    case 3: BallSlide(dc, client, t); break;
    default: EndSlide(dc, client, t); break;
  }
  Footer(dc, client, window, t);
}

// Drawn off-screen first, so that the animation never flickers.
void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC screen = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  DrawSlide(memory, client, window);
  BitBlt(screen, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(window, &paint);
}

// ---- the show's course -----------------------------------------------------

void GoTo(HWND window, int slide) {
  if (slide >= kSlideCount) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    return;
  }
  g_show.slide = slide < 0 ? 0 : slide;
  g_show.slideStart = GetTickCount();
  InvalidateRect(window, nullptr, FALSE);
}

void OnFrame(HWND window) {
  if (g_show.started && SlideTime() >= kSlideMs) GoTo(window, g_show.slide + 1);
  InvalidateRect(window, nullptr, FALSE);
}

void OnKey(HWND window, WPARAM key) {
  switch (key) {
    case VK_SPACE: case VK_RIGHT: case VK_NEXT: case VK_RETURN:
      GoTo(window, g_show.slide + 1);
      break;
    case VK_LEFT: case VK_PRIOR: case VK_BACK:
      GoTo(window, g_show.slide - 1);
      break;
    case VK_ESCAPE:
      PostMessageA(window, WM_CLOSE, 0, 0);
      break;
  }
}

LRESULT CALLBACK DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SHOWWINDOW:
      // The launcher starts the projector hidden; the show begins when it is seen.
      if (wParam && !g_show.started) {
        g_show.started = true;
        g_show.slideStart = GetTickCount();
        SetTimer(window, kFrameTimer, kFrameMs, nullptr);
      }
      break;
    case WM_TIMER:
      OnFrame(window);
      return 0;
    case WM_KEYDOWN:
      OnKey(window, wParam);
      return 0;
    case WM_LBUTTONDOWN:
      GoTo(window, g_show.slide + 1);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_DESTROY:
      KillTimer(window, kFrameTimer);
      DeleteFonts();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int RunDemo(HINSTANCE instance, int showCommand) {
  HWND window =
      CreateProjectorWindow(instance, DemoWindowProc, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480);
  if (window == nullptr) return 1;
  ShowWindow(window, showCommand);
  RunMessageLoop();
  return 0;
}

}  // namespace standin
