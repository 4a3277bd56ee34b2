// The platform services on Windows: each call is the Windows API call it is named after.
#include "platform/platform.h"

#include <windows.h>

#include <cstdarg>

namespace mpegin::platform {

static_assert(kMemMovable == GMEM_MOVEABLE && kMemZeroInit == GMEM_ZEROINIT && kMemDdeShare == GMEM_DDESHARE,
              "memory flags carry the Windows values");
static_assert(kFileError == HFILE_ERROR && kOpenRead == OF_READ && kOpenWrite == OF_WRITE &&
                  kOpenReadWrite == OF_READWRITE,
              "file constants carry the Windows values");
static_assert(kWmClose == WM_CLOSE && kWmInitDialog == WM_INITDIALOG && kWmCommand == WM_COMMAND &&
                  kBnClicked == BN_CLICKED && kEnChange == EN_CHANGE,
              "messages carry the Windows values");
static_assert(kUnchecked == BST_UNCHECKED && kChecked == BST_CHECKED && kIdOk == IDOK && kIdCancel == IDCANCEL,
              "dialog constants carry the Windows values");
static_assert(sizeof(DialogResult) == sizeof(INT_PTR) && sizeof(WParam) == sizeof(WPARAM) &&
                  sizeof(LParam) == sizeof(LPARAM),
              "message parameters have the Windows widths");

namespace {
HWND window(WindowHandle handle) { return static_cast<HWND>(handle); }
}  // namespace

// --- Movable global memory blocks ---

MemoryHandle global_alloc(uint32_t flags, std::size_t bytes) { return GlobalAlloc(flags, bytes); }

void* global_lock(MemoryHandle block) { return block != nullptr ? GlobalLock(block) : nullptr; }

void global_unlock(MemoryHandle block) {
  if (block != nullptr) GlobalUnlock(block);
}

void global_free(MemoryHandle block) {
  if (block != nullptr) GlobalFree(block);
}

// --- Legacy file calls ---

FileHandle legacy_open(const char* path, int mode) { return _lopen(path, mode); }

FileHandle legacy_create(const char* path, int attributes) { return _lcreat(path, attributes); }

int32_t legacy_write(FileHandle file, const void* bytes, uint32_t count) {
  return static_cast<int32_t>(_lwrite(file, static_cast<LPCCH>(bytes), count));
}

int32_t legacy_close(FileHandle file) { return _lclose(file); }

bool legacy_is_disk_file(FileHandle file) {
  if (file == kFileError) return false;
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(file));
  BY_HANDLE_FILE_INFORMATION information{};
  return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &information) != FALSE &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool delete_file(const char* path) { return DeleteFileA(path) != FALSE; }

// --- Private profile file ---

uint32_t profile_get_int(const char* section, const char* key, int32_t default_value, const char* file_name) {
  return GetPrivateProfileIntA(section, key, default_value, file_name);
}

bool profile_write_string(const char* section, const char* key, const char* value, const char* file_name) {
  return WritePrivateProfileStringA(section, key, value, file_name) != FALSE;
}

void set_last_error(uint32_t code) { SetLastError(code); }

// --- Time and modules ---

uint32_t tick_count() { return GetTickCount(); }

Procedure procedure_by_ordinal(ModuleHandle module, uint32_t ordinal) {
  if (module == nullptr) return nullptr;
  FARPROC found = GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal));
  return reinterpret_cast<Procedure>(found);
}

// --- Dialogs and windows ---

DialogResult dialog_box_param(ModuleHandle module, int template_id, WindowHandle parent, DialogProc procedure,
                              LParam init_param) {
  return DialogBoxParamA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(template_id), window(parent),
                         reinterpret_cast<DLGPROC>(procedure), init_param);
}

bool end_dialog(WindowHandle dialog, DialogResult result) { return EndDialog(window(dialog), result) != FALSE; }

bool check_dlg_button(WindowHandle dialog, int id, uint32_t check) {
  return CheckDlgButton(window(dialog), id, check) != FALSE;
}

uint32_t is_dlg_button_checked(WindowHandle dialog, int id) { return IsDlgButtonChecked(window(dialog), id); }

uint32_t get_dlg_item_text(WindowHandle dialog, int id, char* text, int max_count) {
  return GetDlgItemTextA(window(dialog), id, text, max_count);
}

bool set_dlg_item_text(WindowHandle dialog, int id, const char* text) {
  return SetDlgItemTextA(window(dialog), id, text) != FALSE;
}

WindowHandle get_dlg_item(WindowHandle dialog, int id) { return GetDlgItem(window(dialog), id); }

bool enable_window(WindowHandle handle, bool enable) {
  return EnableWindow(window(handle), enable ? TRUE : FALSE) != FALSE;
}

bool post_message(WindowHandle handle, uint32_t message, WParam wparam, LParam lparam) {
  return PostMessageA(window(handle), message, wparam, lparam) != FALSE;
}

int format_text(char* buffer, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int written = wvsprintfA(buffer, format, arguments);
  va_end(arguments);
  return written;
}

}  // namespace mpegin::platform
