// The options dialog as a user meets it: FilterGetOptions shows dialog 101 from the module's
// resources, and a second thread plays the user with window messages (clicks, typing, the
// close box) while the host's thread waits in the modal loop.
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "check.h"
#include "test_host.h"

namespace wintest {
namespace {

constexpr int kId16Bit = 1000, kId32Bit = 1001, kIdLabel = 1006, kIdScale = 1007, kIdDither = 1008;
constexpr DWORD kAppearTimeoutMs = 15000, kCloseTimeoutMs = 5000;

using User = std::function<void(HWND)>;

// --- what the user does and sees ---

void click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void type(HWND dialog, int id, const char* text) {
  HWND edit = GetDlgItem(dialog, id);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  for (const char* c = text; *c; ++c) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(*c), 1);
}

std::string text_of(HWND dialog, int id) {
  char text[64] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// The state the dialog shows: width, dither (checked, enabled) and the scale text.
void expect_shown(HWND dialog, int width, bool dither_checked, bool dither_enabled, const char* scale) {
  WT_CHECK_EQ(checked(dialog, kId16Bit), width == 16);
  WT_CHECK_EQ(checked(dialog, kId32Bit), width == 32);
  WT_CHECK_EQ(checked(dialog, kIdDither), dither_checked);
  WT_CHECK_EQ(enabled(dialog, kIdDither), dither_enabled);
  WT_CHECK_EQ(text_of(dialog, kIdScale), scale);
}

// --- running the modal dialog with a user on another thread ---

HWND wait_for_dialog() {
  for (DWORD waited = 0; waited < kAppearTimeoutMs; waited += 20) {
    HWND dialog = FindWindowA("#32770", "MPEG Input Options");
    if (dialog != nullptr && IsWindowVisible(dialog)) return dialog;
    Sleep(20);
  }
  return nullptr;
}

bool wait_until_gone(HWND dialog) {
  for (DWORD waited = 0; waited < kCloseTimeoutMs; waited += 20) {
    if (!IsWindow(dialog)) return true;
    Sleep(20);
  }
  return false;
}

DWORD WINAPI play_user(LPVOID parameter) {
  const User& user = *static_cast<const User*>(parameter);
  HWND dialog = wait_for_dialog();
  if (!WT_CHECK(dialog != nullptr)) return 1;
  user(dialog);
  if (!WT_CHECK(wait_until_gone(dialog))) {
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);  // do not leave the host hanging
    wait_until_gone(dialog);
  }
  return 0;
}

uint32_t run_dialog(uint32_t current_word, const User& user) {
  HANDLE thread = CreateThread(nullptr, 0, play_user, const_cast<User*>(&user), 0, nullptr);
  const uint32_t result = module().FilterGetOptions(nullptr, module().module, 0, 0, 0, current_word);
  WT_CHECK_EQ(WaitForSingleObject(thread, kAppearTimeoutMs + 2 * kCloseTimeoutMs), WAIT_OBJECT_0);
  CloseHandle(thread);
  return result;
}

// --- the cases ---

// Positions in dialog units as the dialog manager turns them into pixels: origin and size are
// each mapped with the base units and rounded on their own, so the right edge is
// MulDiv(x) + MulDiv(width), not MulDiv(x + width).
RECT expected_place(HWND dialog, int x, int y, int width, int height) {
  RECT units = {0, 0, 4, 8};  // one base unit each way
  MapDialogRect(dialog, &units);
  const int left = MulDiv(x, units.right, 4), top = MulDiv(y, units.bottom, 8);
  return {left, top, left + MulDiv(width, units.right, 4), top + MulDiv(height, units.bottom, 8)};
}

// The controls of dialog 101 where its template puts them, in the dialog's own base units.
void check_layout(HWND dialog) {
  const RECT size = expected_place(dialog, 0, 0, 160, 86);
  RECT client;
  GetClientRect(dialog, &client);
  WT_CHECK_EQ(client.right, size.right);
  WT_CHECK_EQ(client.bottom, size.bottom);
  struct Place {
    int id, x, y, width, height;
  };
  const Place places[] = {{kIdLabel, 10, 4, 65, 8},  {kId32Bit, 10, 15, 33, 10}, {kId16Bit, 10, 26, 35, 10},
                          {kIdDither, 48, 26, 35, 10}, {kIdScale, 10, 54, 33, 12}, {IDOK, 120, 51, 36, 14},
                          {IDCANCEL, 120, 68, 36, 14}};
  for (const Place& place : places) {
    const RECT want = expected_place(dialog, place.x, place.y, place.width, place.height);
    RECT got;
    GetWindowRect(GetDlgItem(dialog, place.id), &got);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
    const bool same = WT_CHECK_EQ(got.left, want.left) & WT_CHECK_EQ(got.top, want.top) &
                      WT_CHECK_EQ(got.right, want.right) & WT_CHECK_EQ(got.bottom, want.bottom);
    if (!same) std::printf("    (control %d)\n", place.id);
  }
}

// Dialog 101 as the resource describes it: caption, texts, and positions in dialog units.
void check_template(HWND dialog) {
  char caption[64] = "";
  GetWindowTextA(dialog, caption, sizeof caption);
  WT_CHECK_EQ(std::string(caption), "MPEG Input Options");
  WT_CHECK_EQ(text_of(dialog, kIdLabel), "Read MPEG As");
  WT_CHECK_EQ(text_of(dialog, kId32Bit), "32-bit");
  WT_CHECK_EQ(text_of(dialog, kId16Bit), "16-bit");
  WT_CHECK_EQ(text_of(dialog, kIdDither), "Dither");
  WT_CHECK_EQ(text_of(dialog, IDOK), "OK");
  WT_CHECK_EQ(text_of(dialog, IDCANCEL), "Cancel");
  check_layout(dialog);
}

// Skips a name or ordinal field of a dialog template.
const WORD* skip_name(const WORD* p) {
  if (*p == 0xFFFF) return p + 2;
  while (*p != 0) ++p;
  return p + 1;
}

INT_PTR CALLBACK no_procedure(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The layout check must hold for any font, whose base units rarely divide the positions
// evenly: dialog 101's own template, with its font's point size changed, built without the
// module's dialog procedure.
void layout_at_other_font_sizes() {
  HRSRC found = FindResourceA(module().module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (!WT_CHECK(found != nullptr)) return;
  const DWORD bytes = SizeofResource(module().module, found);
  const void* resource = LockResource(LoadResource(module().module, found));
  if (!WT_CHECK(resource != nullptr && bytes > sizeof(DLGTEMPLATE))) return;
  if (!WT_CHECK(bytes < 65536)) return;
  std::vector<WORD> copy(bytes / 2 + 1);  // DLGTEMPLATE wants WORD alignment
  std::memcpy(copy.data(), resource, bytes);
  const auto* header = reinterpret_cast<const DLGTEMPLATE*>(copy.data());
  if (!WT_CHECK((header->style & DS_SETFONT) != 0)) return;
  const WORD* p = reinterpret_cast<const WORD*>(header + 1);
  p = skip_name(skip_name(p));  // menu, class
  while (*p != 0) ++p;          // title
  WORD* point_size = copy.data() + (p + 1 - copy.data());

  RECT base_units[3] = {};
  const WORD sizes[] = {*point_size, 11, 13};
  for (int i = 0; i < 3; ++i) {
    *point_size = sizes[i];
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<DLGTEMPLATE*>(copy.data()),
                                             nullptr, no_procedure, 0);
    if (!WT_CHECK(dialog != nullptr)) continue;
    base_units[i] = {0, 0, 4, 8};
    MapDialogRect(dialog, &base_units[i]);
    std::printf("    %d points: base units %ld x %ld\n", sizes[i], base_units[i].right, base_units[i].bottom);
    check_layout(dialog);
    DestroyWindow(dialog);
  }
  WT_CHECK(base_units[1].right != base_units[0].right || base_units[1].bottom != base_units[0].bottom);
}

void choose_32_bit_and_a_gain() {
  store_option_text(nullptr);
  const uint32_t word = run_dialog(0, [](HWND dialog) {
    check_template(dialog);
    expect_shown(dialog, 16, false, true, "0");  // nothing stored: 0 dB, 16-bit
    click(dialog, kId32Bit);
    expect_shown(dialog, 32, false, false, "0");  // dither is for 16 bits only
    type(dialog, kIdScale, "-6");
    WT_CHECK_EQ(text_of(dialog, kIdScale), "-6");
    click(dialog, IDOK);
  });
  WT_CHECK_EQ(word, 0x200000u | 19400u);
  WT_CHECK_EQ(stored_option_text(), "2116552");
  WT_CHECK_EQ(stored_option_word(), 2116552u);
}

void cancel_stores_nothing() {
  store_option_text("2116552");
  const uint32_t word = run_dialog(0, [](HWND dialog) {
    expect_shown(dialog, 32, false, false, "-6");  // the stored word
    click(dialog, kId16Bit);
    expect_shown(dialog, 16, false, true, "-6");
    click(dialog, kIdDither);
    type(dialog, kIdScale, "12");
    expect_shown(dialog, 16, true, true, "12");
    click(dialog, IDCANCEL);
  });
  WT_CHECK_EQ(word, 0u);
  WT_CHECK_EQ(stored_option_text(), "2116552");
}

void disabled_dither_still_counts() {
  store_option_text("2116552");
  const uint32_t word = run_dialog(0x1104E20, [](HWND dialog) {  // the host's word wins
    expect_shown(dialog, 16, true, true, "0");
    click(dialog, kId32Bit);
    expect_shown(dialog, 32, true, false, "0");
    type(dialog, kIdScale, "loud");  // not a number: refused, the field shows the range
    click(dialog, IDOK);
    WT_CHECK_EQ(text_of(dialog, kIdScale), "-199 to 200");
    type(dialog, kIdScale, "0");
    click(dialog, IDOK);
  });
  WT_CHECK_EQ(word, 0x1000000u | 0x200000u | 20000u);
  WT_CHECK_EQ(stored_option_word(), 0x1000000u | 0x200000u | 20000u);
}

void close_box_cancels() {
  store_option_text("1069176");  // +6 dB, 16-bit
  const uint32_t word = run_dialog(0, [](HWND dialog) {
    expect_shown(dialog, 16, false, true, "6");
    type(dialog, kIdScale, "-300");
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  WT_CHECK_EQ(word, 0u);
  WT_CHECK_EQ(stored_option_text(), "1069176");
  store_option_text(nullptr);
}

void gain_beyond_a_double_is_refused() {
  store_option_text(nullptr);
  for (const char* text : {"1e400", "-1e400"}) {
    const uint32_t word = run_dialog(0, [text](HWND dialog) {
      type(dialog, kIdScale, text);
      click(dialog, IDOK);
      WT_CHECK_EQ(text_of(dialog, kIdScale), "-199 to 200");
      click(dialog, IDCANCEL);
    });
    WT_CHECK_EQ(word, 0u);
  }
  store_option_text(nullptr);
}

}  // namespace

void run_dialog_cases() {
  run_case("options dialog: 32-bit, a typed gain, OK", choose_32_bit_and_a_gain);
  run_case("options dialog: Cancel stores nothing", cancel_stores_nothing);
  run_case("options dialog: a checked but disabled Dither still sets its bit", disabled_dither_still_counts);
  run_case("options dialog: the close box cancels", close_box_cancels);
  run_case("options dialog: a gain beyond a double is refused with the range", gain_beyond_a_double_is_refused);
  run_case("options dialog: layout in the base units of other fonts", layout_at_other_font_sizes);
}

}  // namespace wintest
