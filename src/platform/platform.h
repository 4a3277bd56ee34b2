// The system services the host module needs, behind one interface with two implementations:
// src/platform/windows (the real Windows API) and src/platform/posix (a stand-in with the same
// semantics). Names follow the Windows calls they stand for; numeric constants carry the
// Windows values so that messages and flags mean the same on both sides.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define MPEGIN_PLATFORM_CALLBACK __stdcall
#else
#define MPEGIN_PLATFORM_CALLBACK
#endif

#if defined(__GNUC__)
#define MPEGIN_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MPEGIN_PRINTF_FORMAT(fmt, args)
#endif

namespace mpegin::platform {

using MemoryHandle = void*;   // HGLOBAL
using WindowHandle = void*;   // HWND
using ModuleHandle = void*;   // HINSTANCE / HMODULE (POSIX: a dlopen handle, or null for the process)
using FileHandle = int32_t;   // HFILE
using WParam = uintptr_t;     // WPARAM
using LParam = intptr_t;      // LPARAM
using DialogResult = intptr_t;
using DialogProc = DialogResult(MPEGIN_PLATFORM_CALLBACK*)(WindowHandle, uint32_t, WParam, LParam);
using Procedure = void (*)();  // any exported procedure; cast to its real type before calling

// --- Movable global memory blocks (GlobalAlloc, GlobalLock, GlobalUnlock, GlobalFree) ---
constexpr uint32_t kMemMovable = 0x0002;    // GMEM_MOVEABLE
constexpr uint32_t kMemZeroInit = 0x0040;   // GMEM_ZEROINIT
constexpr uint32_t kMemDdeShare = 0x2000;   // GMEM_DDESHARE

MemoryHandle global_alloc(uint32_t flags, std::size_t bytes);  // null on failure
void* global_lock(MemoryHandle block);                          // null for a null or unknown handle
void global_unlock(MemoryHandle block);
void global_free(MemoryHandle block);

// --- Legacy file calls (_lopen, _lcreat, _lwrite, _lclose) and DeleteFileA ---
constexpr FileHandle kFileError = -1;  // HFILE_ERROR
constexpr int kOpenRead = 0;           // OF_READ
constexpr int kOpenWrite = 1;          // OF_WRITE
constexpr int kOpenReadWrite = 2;      // OF_READWRITE
constexpr int kAttributeNormal = 0;    // _lcreat: normal file

FileHandle legacy_open(const char* path, int mode);  // never waits for a pipe's writer
FileHandle legacy_create(const char* path, int attributes);  // creates or truncates
int32_t legacy_write(FileHandle file, const void* bytes, uint32_t count);  // bytes written or -1
int32_t legacy_close(FileHandle file);                                    // 0 or -1
// True when the open file is an ordinary file on disk: not a directory, pipe or device, which
// may block a reader or never end.
bool legacy_is_disk_file(FileHandle file);
bool delete_file(const char* path);

// --- Private profile file (GetPrivateProfileIntA, WritePrivateProfileStringA) ---
// A file name without a directory lives in the system's profile folder (Windows: the Windows
// directory; POSIX: $XDG_CONFIG_HOME, default ~/.config). Reading: the key's value read as a
// decimal number (leading digits), 0 when it does not start with one, default_value when the
// key is absent.
uint32_t profile_get_int(const char* section, const char* key, int32_t default_value, const char* file_name);
// On failure the last error says why (see set_last_error).
bool profile_write_string(const char* section, const char* key, const char* value, const char* file_name);

// --- Last error (SetLastError; POSIX: errno) ---
void set_last_error(uint32_t code);

// --- Time and modules ---
uint32_t tick_count();  // milliseconds, wraps at 2^32 (GetTickCount)
Procedure procedure_by_ordinal(ModuleHandle module, uint32_t ordinal);  // null when not found

// --- Dialogs and windows ---
constexpr uint32_t kWmClose = 0x0010;       // WM_CLOSE
constexpr uint32_t kWmInitDialog = 0x0110;  // WM_INITDIALOG
constexpr uint32_t kWmCommand = 0x0111;     // WM_COMMAND
constexpr uint32_t kBnClicked = 0;          // BN_CLICKED (high word of a command's wparam)
constexpr uint32_t kEnChange = 0x0300;      // EN_CHANGE
constexpr uint32_t kUnchecked = 0;          // BST_UNCHECKED
constexpr uint32_t kChecked = 1;            // BST_CHECKED
constexpr int kIdOk = 1;                    // IDOK
constexpr int kIdCancel = 2;                // IDCANCEL
constexpr DialogResult kDialogFailed = -1;  // DialogBoxParamA could not show the dialog

// Runs a modal dialog built from template template_id of module; returns the value passed to
// end_dialog, or kDialogFailed when the dialog cannot be shown.
DialogResult dialog_box_param(ModuleHandle module, int template_id, WindowHandle parent, DialogProc procedure,
                              LParam init_param);
bool end_dialog(WindowHandle dialog, DialogResult result);
bool check_dlg_button(WindowHandle dialog, int id, uint32_t check);
uint32_t is_dlg_button_checked(WindowHandle dialog, int id);
// Copies at most max_count - 1 characters and a NUL; returns the characters copied.
uint32_t get_dlg_item_text(WindowHandle dialog, int id, char* text, int max_count);
bool set_dlg_item_text(WindowHandle dialog, int id, const char* text);
WindowHandle get_dlg_item(WindowHandle dialog, int id);
bool enable_window(WindowHandle window, bool enable);  // true when it was disabled before
bool post_message(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);

// wsprintfA: formats into buffer, which receives at most 1024 bytes including the NUL;
// returns the characters written, without the NUL.
int format_text(char* buffer, const char* format, ...) MPEGIN_PRINTF_FORMAT(2, 3);
constexpr std::size_t kFormatTextLimit = 1024;

}  // namespace mpegin::platform
