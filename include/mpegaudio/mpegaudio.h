/* mpegaudio: a decoder of MPEG-1 and MPEG-2 LSF (and MPEG-2.5) audio, Layers I, II and III.
 *
 * Bytes in, samples out. A decoder reads one source (a file, a block of memory or a stream
 * that is read through a callback), decodes one frame per call into 32-bit floats (full scale
 * 1.0, interleaved) and reports what it meets as values: nothing is ever printed, there is no
 * global state, and decoders on different threads are independent.
 *
 *   mpegaudio_decoder* d = mpegaudio_new();
 *   if (mpegaudio_open_memory(d, data, size, 0) == MPEGAUDIO_OK) {
 *     mpegaudio_frame f;
 *     while (mpegaudio_decode(d, &f) == MPEGAUDIO_OK) use(f.samples, f.sample_count, f.channels);
 *   } else {
 *     fprintf(stderr, "%s\n", mpegaudio_message(d));
 *   }
 *   mpegaudio_delete(d);
 */
#ifndef MPEGAUDIO_MPEGAUDIO_H
#define MPEGAUDIO_MPEGAUDIO_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(MPEGAUDIO_SHARED_BUILD)
#define MPEGAUDIO_EXPORT __declspec(dllexport)
#elif defined(__GNUC__)
#define MPEGAUDIO_EXPORT __attribute__((visibility("default")))
#else
#define MPEGAUDIO_EXPORT
#endif

#define MPEGAUDIO_API_VERSION 1

/* Results. Negative values are refusals; the decoder's message says more. */
typedef enum mpegaudio_status {
  MPEGAUDIO_OK = 0,
  MPEGAUDIO_END = 1,                /* no further frame: the stream has ended */
  MPEGAUDIO_CANNOT_OPEN = -1,       /* the file cannot be opened or read */
  MPEGAUDIO_UNKNOWN_SAMPLE_FREQUENCY = -2, /* the first sync had the reserved frequency code */
  MPEGAUDIO_NO_AUDIO = -3,          /* no frame header could be confirmed */
  MPEGAUDIO_OUT_OF_MEMORY = -4,
  MPEGAUDIO_INVALID_ARGUMENT = -5,  /* a null pointer or an unknown flag */
  MPEGAUDIO_NOT_OPEN = -6,          /* decoding or describing a decoder with no source */
  MPEGAUDIO_ALREADY_OPEN = -7,      /* opening a decoder that has a source (close it first) */
  MPEGAUDIO_READ_ERROR = -8,        /* the source's read callback failed */
  MPEGAUDIO_NOT_SEEKABLE = -9       /* seeking a stream source, or one opened without the walk */
} mpegaudio_status;

/* Flags of the open calls. */
#define MPEGAUDIO_NO_WALK 0x1u    /* do not walk the frame headers at open (see mpegaudio_info) */
#define MPEGAUDIO_NO_GAPLESS 0x2u /* deliver whole frames, ignoring an encoder's delay/padding */

/* Reads up to `size` bytes into `buffer`; returns the count, 0 at the end of the stream, or a
 * negative value on a read error. It may return fewer bytes than asked at any time; the decoder
 * calls again. */
typedef ptrdiff_t (*mpegaudio_read_fn)(void* user, void* buffer, size_t size);

typedef struct mpegaudio_decoder mpegaudio_decoder;

/* What an open stream is, from its first frame and (for files and memory) from a walk over the
 * headers of the whole stream. */
typedef struct mpegaudio_info {
  int32_t sample_rate;     /* Hz */
  int32_t channels;        /* channels of every delivered frame: 1 or 2 */
  int32_t layer;           /* 1, 2 or 3 (of the first frame) */
  int32_t version;         /* 1 MPEG-1, 2 MPEG-2 LSF, 25 MPEG-2.5 */
  int32_t mode;            /* 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel */
  int32_t bitrate;         /* bit/s of the first frame; 0 for free format */
  int32_t variable_bitrate;/* 1 when the walk met more than one bit rate */
  int32_t exact;           /* 1 when frames and samples below are exact (walked) */
  int64_t frames;          /* audio frames; -1 when unknown (a stream source) */
  int64_t samples;         /* samples per channel that decoding delivers (after gapless
                              trimming); -1 when unknown */
  int32_t encoder_delay;   /* from an encoder tag, else 0 */
  int32_t encoder_padding;
} mpegaudio_info;

/* Bits of mpegaudio_frame.flags. */
#define MPEGAUDIO_FRAME_CONCEALED 0x1u     /* the frame was damaged and concealed in place */
#define MPEGAUDIO_FRAME_FORMAT_CHANGE 0x2u /* its layer or channel count differs from the last */

/* One decoded frame. `samples` points into the decoder and stays valid until the next
 * mpegaudio_decode or mpegaudio_close on it. */
typedef struct mpegaudio_frame {
  const float* samples;    /* sample_count x channels floats, interleaved */
  size_t sample_count;     /* samples per channel (0 for a frame trimmed away entirely) */
  int32_t channels;        /* as mpegaudio_info.channels */
  int32_t sample_rate;
  uint64_t position;       /* output sample (per channel) where these samples start */
  uint64_t byte_offset;    /* offset of the frame's header in the source */
  uint32_t flags;          /* MPEGAUDIO_FRAME_... */
} mpegaudio_frame;

MPEGAUDIO_EXPORT int mpegaudio_api_version(void);

/* A new decoder with no source; NULL when out of memory. */
MPEGAUDIO_EXPORT mpegaudio_decoder* mpegaudio_new(void);
/* Closes and frees the decoder (NULL is allowed). */
MPEGAUDIO_EXPORT void mpegaudio_delete(mpegaudio_decoder* decoder);

/* Opens a source and reads its first frame. On a refusal the decoder stays without a source
 * and mpegaudio_message says why (e.g. "Error opening file: song.mp3",
 * "Unknown sample frequency!").
 *  - file: tags at both ends and an encoder's information frame are passed over.
 *  - memory: the bytes are not copied and must stay valid until the decoder is closed.
 *  - stream: read through `read` from the current position, never seeked; memory stays
 *    bounded and samples come as soon as a frame is confirmed. The last 2048 bytes read are
 *    held back until more arrive or the stream ends: tags at its end (ID3v1, APE, appended
 *    ID3v2) are recognised in them and not decoded; a longer tag is cut only where those
 *    bytes begin. Frames and samples are unknown and there is no walk (as with
 *    MPEGAUDIO_NO_WALK). */
MPEGAUDIO_EXPORT int mpegaudio_open_file(mpegaudio_decoder* decoder, const char* path,
                                         unsigned flags);
MPEGAUDIO_EXPORT int mpegaudio_open_memory(mpegaudio_decoder* decoder, const void* data,
                                           size_t size, unsigned flags);
MPEGAUDIO_EXPORT int mpegaudio_open_stream(mpegaudio_decoder* decoder, mpegaudio_read_fn read,
                                           void* user, unsigned flags);

/* Fills `info`; MPEGAUDIO_NOT_OPEN without a source. */
MPEGAUDIO_EXPORT int mpegaudio_get_info(const mpegaudio_decoder* decoder, mpegaudio_info* info);

/* Decodes the next frame into `frame`: MPEGAUDIO_OK, or MPEGAUDIO_END once the stream has
 * ended (at the end of the source, at a last frame cut short, or where the sample rate changes:
 * mpegaudio_changed_rate then gives the new rate). Damaged frames are concealed and reported in
 * frame->flags, never skipped. A read error of a stream ends it with MPEGAUDIO_READ_ERROR. */
MPEGAUDIO_EXPORT int mpegaudio_decode(mpegaudio_decoder* decoder, mpegaudio_frame* frame);

/* The sample rate the stream changed to where decoding ended; 0 when it did not change. */
MPEGAUDIO_EXPORT int32_t mpegaudio_changed_rate(const mpegaudio_decoder* decoder);

/* The message of the last refusal or failure ("" when there was none). Valid until the next
 * call on the decoder. */
MPEGAUDIO_EXPORT const char* mpegaudio_message(const mpegaudio_decoder* decoder);
/* A fixed text for a status ("end of stream", "cannot open", ...). */
MPEGAUDIO_EXPORT const char* mpegaudio_status_text(int status);

/* Moves decoding to audio frame `frame` (0 is the first) of a file or memory source that was
 * walked at open: the next mpegaudio_decode delivers that frame with exactly the samples,
 * position and flags that decoding from the start gives it. The decoder starts a few frames
 * earlier and decodes them without delivering them (more where damaged frames precede the
 * target); a frame index kept from the walk (16 bytes per 64 frames) finds where they are.
 * Seeking past the last frame leaves the decoder at the end (MPEGAUDIO_END follows).
 * Exact for intact streams. In a damaged one, a frame concealed after a seek may differ from
 * the decode from the start where that depends on more than the frames the seek decodes: the
 * spectrum a Layer III frame is concealed with after a run of short blocks, whether a failed
 * Layer III check word counts (only once one has passed), and bytes a frame reads past its end.
 * MPEGAUDIO_NOT_SEEKABLE for a stream source or MPEGAUDIO_NO_WALK; MPEGAUDIO_READ_ERROR (the
 * stream then ends) when the source cannot be read again. */
MPEGAUDIO_EXPORT int mpegaudio_seek_frame(mpegaudio_decoder* decoder, uint64_t frame);

/* 1 when the walk found one layer, one channel count and one sample rate throughout the
 * stream (so that every frame decodes alike and parts of it can be decoded independently);
 * 0 otherwise and for a stream that was not walked. */
MPEGAUDIO_EXPORT int mpegaudio_uniform(const mpegaudio_decoder* decoder);

/* Releases the source; the decoder can be opened again. */
MPEGAUDIO_EXPORT void mpegaudio_close(mpegaudio_decoder* decoder);

#ifdef __cplusplus
}
#endif

#endif /* MPEGAUDIO_MPEGAUDIO_H */
