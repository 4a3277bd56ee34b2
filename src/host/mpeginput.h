/*
 * mpeginput: the MPEG audio input module's interface towards a host audio editor.
 *
 * A host loads the module (mpeginput.dll, libmpeginput.so), fills a FilterQueryRecord with
 * RadozErezEduzad, asks FilterUnderstandsFormat about file names, and reads a file with
 *   OpenFilterInput -> FilterSetOptions(2) -> ReadFilterInput ... until 0 -> CloseFilterInput.
 * Only one input may be open at a time. Results are plain integers: 0 for failure, for a
 * capability not offered or for the end of the data. A null handle makes every call return 0
 * or do nothing. Handles are opaque; the host only stores them and passes them back.
 *
 * Plain C header; usable from C and C++.
 */
#ifndef MPEGIN_HOST_MPEGINPUT_H
#define MPEGIN_HOST_MPEGINPUT_H

#include <stdint.h>

#if defined(_WIN32) && defined(__i386__) && defined(__GNUC__)
/* The Windows standard calling convention: the callee removes the arguments. A 32-bit host may
 * call with the stack aligned to 4 bytes only: each entry point realigns it for SSE. */
#define MPEGIN_CALL __stdcall __attribute__((force_align_arg_pointer))
#define MPEGIN_EXPORT
#elif defined(_WIN32)
/* The Windows standard calling convention: the callee removes the arguments. */
#define MPEGIN_CALL __stdcall
#define MPEGIN_EXPORT
#else
#define MPEGIN_CALL
#define MPEGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handles. On Windows these are HGLOBAL (input and output), HWND and HINSTANCE; on POSIX the module handle
 * is the handle dlopen returned for the module. */
typedef void* MpegInputHandle;
typedef void* MpegOutputHandle;
typedef void* MpegWindowHandle;
typedef void* MpegModuleHandle;

/* The host's identification record. The module writes the fields below at these byte offsets
 * (numbers little-endian, texts NUL-terminated) and leaves every other byte as the host put it:
 * the bytes after each text's NUL and the 16-bit fields at 112, 122 and 130. */
enum {
  MPEGIN_QUERY_NAME = 0,            /* 24 bytes of text: "MPEG 3" */
  MPEGIN_QUERY_DESCRIPTION = 24,    /* 80 bytes of text: "MPEG (Layer 1,2,3) Decoder (GNU)" */
  MPEGIN_QUERY_WORDS = 104,         /* 14 16-bit fields, 104 .. 130 */
  MPEGIN_QUERY_CAPABILITIES = 132,  /* 32-bit: 0x905 */
  MPEGIN_QUERY_EXTENSION1 = 136,    /* 4 bytes of text: "MP3" */
  MPEGIN_QUERY_VALUE140 = 140,      /* 32-bit: 0x4000 */
  MPEGIN_QUERY_EXTENSION2 = 144,    /* 4 bytes of text: "MP2" */
  MPEGIN_QUERY_EXTENSION3 = 148,    /* 4 bytes of text: "MP1" */
  MPEGIN_QUERY_RECORD_BYTES = 152
};

typedef struct FilterQueryRecord {
  char name[24];              /* offset 0 */
  char description[80];       /* offset 24 */
  uint16_t words[14];         /* offsets 104, 106, ... 130 */
  uint32_t capabilities;      /* offset 132 */
  char extension1[4];         /* offset 136 */
  uint32_t value140;          /* offset 140 */
  char extension2[4];         /* offset 144 */
  char extension3[4];         /* offset 148 */
} FilterQueryRecord;          /* 152 bytes */

/* OptionWord: bits 0-15 scale = (dB + 200) x 100, bits 16-23 sample width (16 or 32),
 * bit 24 dither (16-bit output only). */
#define MPEGIN_OPTION_SCALE(word) ((uint32_t)(word)&0xFFFFu)
#define MPEGIN_OPTION_WIDTH(word) (((uint32_t)(word) >> 16) & 0xFFu)
#define MPEGIN_OPTION_DITHER(word) (((uint32_t)(word) >> 24) & 1u)
#define MPEGIN_OPTION_DEFAULT 0x104E20u /* 0 dB, 16-bit, no dither */

/* What OpenFilterInput and OpenFilterOutput report through their value_out argument. */
#define MPEGIN_OPEN_VALUE 0x4000

/* Builds an OptionWord from a gain in decibels, a width of 16 or 32 and a dither flag, as the
 * options dialog does: the gain is clamped to -200 .. +200 and truncated to 0.01 dB, with an
 * allowance of 1e-8 dB so that every value written with two decimals (-3.3, 0.29) keeps its
 * last digit although hundredths are not exact in binary. A NaN gain gives the scale 0. */
static inline uint32_t mpegin_option_word(double decibels, unsigned width, int dither) {
  double scale = (decibels + 200.0) * 100.0;
  uint32_t field = !(scale > 0.0) ? 0u : scale >= 40000.0 ? 40000u : (uint32_t)(scale + 1e-6);
  return field | ((uint32_t)(width & 0xFFu) << 16) | (dither ? 0x1000000u : 0u);
}

/* Ordinals of the exports (ordinal base 2, 33 slots; 14, 18, 19 and 21..29 are empty;
 * 10/11 and 12/13 share their entries). DIALOGMsgProc is looked up by its ordinal. */
enum {
  MPEGIN_ORDINAL_RadozErezEduzad = 2,
  MPEGIN_ORDINAL_OpenFilterOutput = 3,
  MPEGIN_ORDINAL_CloseFilterOutput = 4,
  MPEGIN_ORDINAL_WriteFilterOutput = 5,
  MPEGIN_ORDINAL_OpenFilterInput = 6,
  MPEGIN_ORDINAL_CloseFilterInput = 7,
  MPEGIN_ORDINAL_ReadFilterInput = 8,
  MPEGIN_ORDINAL_FilterUnderstandsFormat = 9,
  MPEGIN_ORDINAL_FilterCanWriteSpecial = 10,
  MPEGIN_ORDINAL_FilterCanReadSpecial = 11,
  MPEGIN_ORDINAL_FilterWriteSpecial = 12,
  MPEGIN_ORDINAL_FilterReadSpecial = 13,
  MPEGIN_ORDINAL_FilterOptions = 15,
  MPEGIN_ORDINAL_FilterGetFileSize = 16,
  MPEGIN_ORDINAL_FilterOptionsString = 17,
  MPEGIN_ORDINAL_DIALOGMsgProc = 20,
  MPEGIN_ORDINAL_FilterGetOptions = 30,
  MPEGIN_ORDINAL_FilterSetOptions = 31,
  MPEGIN_ORDINAL_FilterSetOptions2 = 32,
  MPEGIN_ORDINAL_GetSuggestedSampleType = 33,
  MPEGIN_ORDINAL_FilterGetActualFormat = 34
};

/* --- Identification and file recognition --- */

/* Fills the host's record; returns 1152. */
MPEGIN_EXPORT int32_t MPEGIN_CALL RadozErezEduzad(FilterQueryRecord* record);
/* 1 when the name ends in .mp3, .mp2 or .mp1 (any case) and has at least 5 characters. */
MPEGIN_EXPORT int32_t MPEGIN_CALL FilterUnderstandsFormat(const char* file_name);
/* Special data is neither offered nor accepted: all four return 0. */
MPEGIN_EXPORT int32_t MPEGIN_CALL FilterCanReadSpecial(int32_t a, int32_t b);
MPEGIN_EXPORT int32_t MPEGIN_CALL FilterCanWriteSpecial(int32_t a, int32_t b);
MPEGIN_EXPORT int32_t MPEGIN_CALL FilterReadSpecial(int32_t a, int32_t b, int32_t c, int32_t d);
MPEGIN_EXPORT int32_t MPEGIN_CALL FilterWriteSpecial(int32_t a, int32_t b, int32_t c, int32_t d);

/* --- Input --- */

/* Opens an MPEG audio file. Reports the sample rate, bits per sample (16 or 32), channels
 * (1 or 2) and 16384 through value_out. Null when the file cannot be read as MPEG audio or
 * another input is still open. */
MPEGIN_EXPORT MpegInputHandle MPEGIN_CALL OpenFilterInput(const char* file_name, int32_t* sample_rate,
                                                          int16_t* bits_per_sample, int16_t* channels,
                                                          int32_t ignored, int32_t* value_out);
/* Delivers the samples of one frame (interleaved; 32-bit floats in 16-bit units or 16-bit
 * integers) and returns their byte count: at most 9216 at 32 bits, 4608 at 16 bits.
 * 0 at the end of the stream. */
MPEGIN_EXPORT int32_t MPEGIN_CALL ReadFilterInput(MpegInputHandle handle, void* buffer, int32_t ignored);
MPEGIN_EXPORT void MPEGIN_CALL CloseFilterInput(MpegInputHandle handle);
/* Expected size in bytes of the whole decoded output at the current width. */
MPEGIN_EXPORT int32_t MPEGIN_CALL FilterGetFileSize(MpegInputHandle handle);
/* Writes the width byte of format through bits_per_sample (not for a null handle); returns 1. */
MPEGIN_EXPORT int32_t MPEGIN_CALL FilterGetActualFormat(MpegInputHandle handle, uint32_t format, int32_t ignored1,
                                                        int32_t ignored2, int16_t* bits_per_sample);
/* Writes 0, the stored width (16 unless 16 or 32) and 0; returns the stored width byte. */
MPEGIN_EXPORT int32_t MPEGIN_CALL GetSuggestedSampleType(int32_t* sample_rate, int16_t* bits_per_sample,
                                                         int16_t* channels);

/* --- What decoding met (POSIX builds only; the Windows module exports just the 21 calls) --- */

/* Filled by MpegInputStreamEvents. Positions are samples per channel from the start of the
 * output and milliseconds. The same layout on every target; later versions only append. */
typedef struct MpegStreamEvents {
  uint32_t size;                     /* set by the caller: bytes of the struct it knows */
  uint32_t concealed_frames;         /* frames that could not be decoded, concealed in place */
  uint64_t first_concealed_sample;   /* where the first concealed frame starts */
  uint64_t format_change_sample;     /* the first change of layer or channel count */
  uint64_t decoded_samples;          /* delivered so far; after a rate change, where it ended */
  uint64_t expected_samples;         /* the whole output as expected at open (FilterGetFileSize) */
  uint32_t first_concealed_ms;
  uint32_t format_change_ms;
  uint32_t decoded_ms;
  int32_t format_change_layer;       /* 1..3; 0 when the format did not change */
  int32_t format_change_channels;    /* 1 or 2 */
  int32_t changed_rate;              /* Hz the stream changed to where decoding ended; 0: none */
  int32_t sample_rate;               /* of the output */
  int32_t first_layer;               /* the first frame's layer and channel count */
  int32_t first_channels;
  uint32_t reserved;                 /* 0 */
} MpegStreamEvents;                  /* 80 bytes */

/* Fills the first `events->size` bytes (at most sizeof(MpegStreamEvents)) with what reading the
 * handle has met so far and returns the bytes filled; 0 (nothing written) for a null handle or
 * pointer, a size below 8, or a handle whose file is no longer open. */
MPEGIN_EXPORT uint32_t MPEGIN_CALL MpegInputStreamEvents(MpegInputHandle handle, MpegStreamEvents* events);

/* --- Options --- */

/* Runs the options dialog (template 101). Returns the chosen OptionWord, which is also stored
 * in the configuration, or 0 when the user cancelled or the dialog could not be shown. After a
 * chosen word the last error (GetLastError; POSIX: errno) is 0 when it was stored and says why
 * not otherwise. */
MPEGIN_EXPORT uint32_t MPEGIN_CALL FilterGetOptions(MpegWindowHandle parent_window, MpegModuleHandle module_instance,
                                                    int32_t ignored1, int32_t ignored2, int32_t ignored3,
                                                    uint32_t current_word);
/* The options dialog's procedure (ordinal 20). */
MPEGIN_EXPORT intptr_t MPEGIN_CALL DIALOGMsgProc(MpegWindowHandle window, uint32_t message, uintptr_t wparam,
                                                 intptr_t lparam);
/* The instance's OptionWord. */
MPEGIN_EXPORT uint32_t MPEGIN_CALL FilterOptions(MpegInputHandle handle);
/* Writes "<version> Layer <n>\r\n(<bitrate>)" (at most 1024 bytes) and returns the OptionWord. */
MPEGIN_EXPORT uint32_t MPEGIN_CALL FilterOptionsString(MpegInputHandle handle, char* text);
/* Apply an OptionWord; both return the previous one. The first takes rate, channels (low 16
 * bits) and width (low 16 bits) by value; the second by address and writes the width it
 * delivers (16 or 32) through bits_per_sample. */
MPEGIN_EXPORT uint32_t MPEGIN_CALL FilterSetOptions(MpegInputHandle handle, uint32_t word, int32_t sample_rate,
                                                    int32_t channels, int32_t bits_per_sample);
MPEGIN_EXPORT uint32_t MPEGIN_CALL FilterSetOptions2(MpegInputHandle handle, uint32_t word, int32_t* sample_rate,
                                                     int16_t* channels, int16_t* bits_per_sample);

/* --- Raw output: the host's bytes are written to the file unchanged --- */

/* Creates (truncates) the file; writes 16384 through value_out. Null on failure. */
MPEGIN_EXPORT MpegOutputHandle MPEGIN_CALL OpenFilterOutput(const char* file_name, int32_t ignored1, int32_t ignored2,
                                                           int32_t ignored3, int32_t format_value, int32_t* value_out,
                                                           int32_t ignored4);
/* Bytes written, -1 when the write fails, 0 for a null handle. */
MPEGIN_EXPORT int32_t MPEGIN_CALL WriteFilterOutput(MpegOutputHandle handle, const void* buffer, int32_t count);
MPEGIN_EXPORT void MPEGIN_CALL CloseFilterOutput(MpegOutputHandle handle);

/* Function pointer types for hosts that resolve the exports at run time. */
typedef int32_t(MPEGIN_CALL* RadozErezEduzadFn)(FilterQueryRecord*);
typedef int32_t(MPEGIN_CALL* FilterUnderstandsFormatFn)(const char*);
typedef MpegInputHandle(MPEGIN_CALL* OpenFilterInputFn)(const char*, int32_t*, int16_t*, int16_t*, int32_t, int32_t*);
typedef int32_t(MPEGIN_CALL* ReadFilterInputFn)(MpegInputHandle, void*, int32_t);
typedef void(MPEGIN_CALL* CloseFilterInputFn)(MpegInputHandle);
typedef int32_t(MPEGIN_CALL* FilterGetFileSizeFn)(MpegInputHandle);
typedef int32_t(MPEGIN_CALL* FilterGetActualFormatFn)(MpegInputHandle, uint32_t, int32_t, int32_t, int16_t*);
typedef int32_t(MPEGIN_CALL* GetSuggestedSampleTypeFn)(int32_t*, int16_t*, int16_t*);
typedef uint32_t(MPEGIN_CALL* FilterGetOptionsFn)(MpegWindowHandle, MpegModuleHandle, int32_t, int32_t, int32_t,
                                                  uint32_t);
typedef intptr_t(MPEGIN_CALL* DIALOGMsgProcFn)(MpegWindowHandle, uint32_t, uintptr_t, intptr_t);
typedef uint32_t(MPEGIN_CALL* FilterOptionsFn)(MpegInputHandle);
typedef uint32_t(MPEGIN_CALL* FilterOptionsStringFn)(MpegInputHandle, char*);
typedef uint32_t(MPEGIN_CALL* FilterSetOptionsFn)(MpegInputHandle, uint32_t, int32_t, int32_t, int32_t);
typedef uint32_t(MPEGIN_CALL* FilterSetOptions2Fn)(MpegInputHandle, uint32_t, int32_t*, int16_t*, int16_t*);
typedef MpegOutputHandle(MPEGIN_CALL* OpenFilterOutputFn)(const char*, int32_t, int32_t, int32_t, int32_t, int32_t*,
                                                         int32_t);
typedef int32_t(MPEGIN_CALL* WriteFilterOutputFn)(MpegOutputHandle, const void*, int32_t);
typedef void(MPEGIN_CALL* CloseFilterOutputFn)(MpegOutputHandle);
typedef int32_t(MPEGIN_CALL* FilterSpecial2Fn)(int32_t, int32_t);
typedef int32_t(MPEGIN_CALL* FilterSpecial4Fn)(int32_t, int32_t, int32_t, int32_t);
typedef uint32_t(MPEGIN_CALL* MpegInputStreamEventsFn)(MpegInputHandle, MpegStreamEvents*);

#ifdef __cplusplus
}
#endif

#endif /* MPEGIN_HOST_MPEGINPUT_H */
