#pragma once

// Velotune's audio library: opens internet radio streams (MP3, AAC, AC3 over
// HTTP, HTTPS and SHOUTcast), plays them on an output device, and offers the
// header and metadata tags, positions, spectrum data, equalizer effects and
// WAV, MP3 and Ogg Vorbis recording of each stream. This is the only header
// the program includes.
//
// Threads: every function may be called from any thread and none throws.
// Each stream runs threads of its own (network, decode) and all streams share
// one output callback; none of them calls back into the program.
//
// Handles: 32-bit, 0 means none, never reused while the process runs, so a
// stale handle fails instead of touching a newer stream. A failed call
// returns 0 / false (position calls: (uint64_t)-1), sets the calling thread's
// error code (BASS_ErrorGetCode) and changes nothing; a successful call sets
// it to BASS_OK.

#include <cstdint>

// Called with the raw stream data as it arrives; the program passes none.
using DownloadProc = void(const void *buffer, uint32_t length, void *user);
// Called with encoded data; the program passes none (the encoder writes a file).
using EncodeProc = void(uint32_t encoder, uint32_t channel, const void *buffer, uint32_t length,
                        void *user);

struct DeviceInfo {
    const char *name;   // what the user sees, e.g. "Default" or the device's own name
    const char *driver; // the backend that drives it ("null", SDL's driver name)
    uint32_t flags;     // BASS_DEVICE_*
};

// Parameters of a BASS_FX_DX8_PARAMEQ effect.
struct ParamEq {
    float centre;    // centre frequency, Hz (80..16000, below half the sample rate)
    float bandwidth; // semitones (1..36)
    float gain;      // dB (-15..+15)
};

// BASS_SetConfig options.
inline constexpr uint32_t BASS_CONFIG_NET_PLAYLIST = 21; // 1: resolve PLS/M3U/ASX playlists

// Stream creation flags.
inline constexpr uint32_t BASS_STREAM_STATUS = 0x800000; // keep the HTTP header block as a tag

// Channel attributes.
inline constexpr uint32_t BASS_ATTRIB_VOL = 2; // 0.0 (silent) .. 1.0 (full)

// Tag types of BASS_ChannelGetTags.
inline constexpr uint32_t BASS_TAG_HTTP = 3; // header lines, zero-terminated each, "" last
inline constexpr uint32_t BASS_TAG_META = 5; // last ICY metadata text as received

// Position modes.
inline constexpr uint32_t BASS_POS_BYTE = 0;            // bytes of output-format audio played
inline constexpr uint32_t BASS_POS_DECODE = 0x10000000; // bytes of output-format audio decoded
inline constexpr uint32_t BASS_FILEPOS_CURRENT = 0;     // audio bytes the decoder has read
inline constexpr uint32_t BASS_FILEPOS_END = 2; // audio bytes received, or the announced length

// BASS_ChannelGetData lengths.
inline constexpr uint32_t BASS_DATA_FFT1024 = 0x80000002; // 512 float magnitudes

// Effect types.
inline constexpr uint32_t BASS_FX_DX8_PARAMEQ = 7; // peaking equalizer band, ParamEq

// Encoder flags: exactly one of them.
inline constexpr uint32_t BASS_ENCODE_PCM = 64; // a 16-bit PCM WAV file
// an MP3 file: LAME (FFmpeg's libmp3lame), 192 kbps CBR
inline constexpr uint32_t BASS_ENCODE_MP3 = 0x100000;
// an Ogg Vorbis file: FFmpeg's libvorbis, quality 5
inline constexpr uint32_t BASS_ENCODE_OGG = 0x200000;

// Encoder states (BASS_Encode_IsActive).
inline constexpr uint32_t BASS_ACTIVE_STOPPED = 0;
inline constexpr uint32_t BASS_ACTIVE_PLAYING = 1;

// Counts of BASS_Encode_GetCount.
// bytes of the channel's output-format audio taken in
inline constexpr uint32_t BASS_ENCODE_COUNT_IN = 0;
// bytes written to the file so far
inline constexpr uint32_t BASS_ENCODE_COUNT_OUT = 1;

// DeviceInfo flags.
inline constexpr uint32_t BASS_DEVICE_ENABLED = 1; // can be initialised
inline constexpr uint32_t BASS_DEVICE_DEFAULT = 2; // the system's default output
inline constexpr uint32_t BASS_DEVICE_INIT = 4;    // initialised by this process

// Device numbers: 0 is "No sound" (a clock-driven null output), 1 the
// system's default output, 2 and up the output devices the system lists.
inline constexpr int BASS_DEVICE_DEFAULT_OUTPUT = -1; // BASS_Init: the default device

// Error codes (BASS_ErrorGetCode).
enum : int {
    BASS_OK = 0,
    BASS_ERROR_HANDLE = 1,    // zero, unknown or stale handle
    BASS_ERROR_INIT = 2,      // no device initialised
    BASS_ERROR_ALREADY = 3,   // already initialised / already in that state
    BASS_ERROR_DEVICE = 4,    // no such device
    BASS_ERROR_DRIVER = 5,    // the device could not be opened
    BASS_ERROR_ILLPARAM = 6,  // an argument is invalid
    BASS_ERROR_ILLTYPE = 7,   // unknown tag type, effect type, attribute, option or mode
    BASS_ERROR_NOTAVAIL = 8,  // the requested data is not available (e.g. no such tag)
    BASS_ERROR_URL = 9,       // the address is not a supported URL
    BASS_ERROR_CONNECT = 10,  // connection refused, unknown host, TLS failure
    BASS_ERROR_HTTP = 11,     // the server answered with an error status or a redirect loop
    BASS_ERROR_TIMEOUT = 12,  // the server did not answer or sent no audio in time
    BASS_ERROR_FORMAT = 13,   // the data is not audio of the chosen format
    BASS_ERROR_PLAYLIST = 14, // a playlist with no entry that opens, or nested too deep
    BASS_ERROR_CREATE = 15,   // a file could not be created
    BASS_ERROR_MEMORY = 16,   // out of memory
    BASS_ERROR_UNKNOWN = 99,
};

// Initialises output `device` (-1: the default) and makes it current. When
// no real device opens, the default falls back to "No sound". A second call
// for an initialised device fails with BASS_ERROR_ALREADY and changes
// nothing. The library mixes float stereo at 44100 Hz whatever `freq` says
// (the device converts); `flags`, `window` and `clsid` are not used.
bool BASS_Init(int device, uint32_t freq, uint32_t flags, void *window, const void *clsid);

// Sets a library-wide option: BASS_CONFIG_NET_PLAYLIST 0 (playlists are
// not read) or 1 or 2 (a PLS, M3U or ASX answer opens its first entry that
// opens); it applies to the streams opened afterwards.
bool BASS_SetConfig(uint32_t option, uint32_t value);

// Opens an internet stream by address: MP3/MP2 (and AAC when the server says
// so) for BASS_StreamCreateURL, AAC for the AAC call, AC3/E-AC3 for the AC3
// call. Blocks until the stream is connected and its first audio is decoded,
// or fails within a bounded time (5 s to the answer's head, 5 s more to the
// first audio, 10 s in all with playlists). `offset` must be 0. `flags`:
// BASS_STREAM_STATUS keeps the header block as the BASS_TAG_HTTP tag. `proc`
// (may be null) is called on the network thread with each piece of the body
// as it arrives, then with (nullptr, 0) when the body ends. The new channel
// is stopped, at volume 1.0, on the current device (BASS_ERROR_INIT when
// that device is not initialised).
uint32_t BASS_StreamCreateURL(const char *url, uint32_t offset, uint32_t flags, DownloadProc *proc,
                              void *user);
uint32_t BASS_AAC_StreamCreateURL(const char *url, uint32_t offset, uint32_t flags,
                                  DownloadProc *proc, void *user);
uint32_t BASS_AC3_StreamCreateURL(const char *url, uint32_t offset, uint32_t flags,
                                  DownloadProc *proc, void *user);

// Releases a stream at once: its threads end, its connection closes, its
// effects go and its encoders close their files; returns promptly even while
// the server stalls.
bool BASS_StreamFree(uint32_t stream);

// Starts or resumes playing. `restart` true, or a Stop before, drops the
// audio decoded ahead, so playing goes on from the newest audio.
bool BASS_ChannelPlay(uint32_t channel, bool restart);
// Stops playing (a fade of at most 10 ms); the position holds. Returns
// once the channel is silent.
bool BASS_ChannelStop(uint32_t channel);
// Holds playing (a fade of at most 10 ms); returns once the channel is
// silent, and the position holds until BASS_ChannelPlay resumes it where it
// was. BASS_ERROR_ALREADY when the channel is not playing.
bool BASS_ChannelPause(uint32_t channel);

// Sets an attribute (BASS_ATTRIB_VOL, 0.0..1.0, applied without clicks: a
// full step glides over 10 ms). Values outside 0..1 are clamped; NaN is
// BASS_ERROR_ILLPARAM.
bool BASS_ChannelSetAttribute(uint32_t channel, uint32_t attrib, float value);

// The channel's tags of `tags` type, 8-bit text as received; null when there
// are none. Valid until the next call of the same kind on that channel from
// the same thread, or until the channel is freed.
const char *BASS_ChannelGetTags(uint32_t channel, uint32_t tags);

// Bytes of output-format audio the channel has played (BASS_POS_BYTE), or
// decoded so far, played and buffered (BASS_POS_DECODE).
uint64_t BASS_ChannelGetPosition(uint32_t channel, uint32_t mode);
// A byte position of the channel's output format in seconds; 0.0 when the
// call fails.
double BASS_ChannelBytes2Seconds(uint32_t channel, uint64_t pos);
// BASS_FILEPOS_END: the audio bytes received so far (metadata excluded), or
// the length the server announced. BASS_FILEPOS_CURRENT: the audio bytes the
// decoder has read; over BASS_POS_DECODE's duration it gives the bitrate.
uint64_t BASS_StreamGetFilePosition(uint32_t stream, uint32_t mode);

// With BASS_DATA_FFT1024: writes 512 floats, the Hann-windowed FFT magnitudes
// of the last 1024 samples played (mixed to mono), bin 0 first; a full-scale
// sine centred on a bin reads about 1.0. Returns the bytes of sample data used.
uint32_t BASS_ChannelGetData(uint32_t channel, void *buffer, uint32_t length);

// Adds an effect of `type` (BASS_FX_DX8_PARAMEQ) to the channel; effects run
// in priority order, higher first. Returns the effect's handle. The effect
// starts flat (centre 80 Hz, bandwidth 12, gain 0) and goes with the channel.
uint32_t BASS_ChannelSetFX(uint32_t channel, uint32_t type, int priority);
// Sets an effect's parameters (a ParamEq); values out of range are clamped.
bool BASS_FXSetParameters(uint32_t fx, const void *params);

// Starts writing what the channel plays to `file`, the path exactly as
// given, in the format of the one format flag in `flags`: BASS_ENCODE_PCM (a
// 16-bit WAV file at the channel's rate and channel count), BASS_ENCODE_MP3
// or BASS_ENCODE_OGG; none or more than one is BASS_ERROR_ILLTYPE. The file
// is encoded and written on a thread of its own and is readable at any
// moment up to about the last second (WAV: the header's sizes kept up to
// date; MP3: each frame written as it comes; Ogg: each page). Stop, the
// channel's free and a normal process exit finish and close it. A write
// error (disk full) stops that encoder; playing goes on. A file that cannot
// be created fails at once (BASS_ERROR_CREATE) and leaves nothing; a file
// another channel's encoder writes is BASS_ERROR_ALREADY; an encoder FFmpeg
// lacks is BASS_ERROR_NOTAVAIL. A second start with the same path returns
// the encoder already writing it. Returns the encoder's handle.
uint32_t BASS_Encode_Start(uint32_t channel, const char *file, uint32_t flags, EncodeProc *proc,
                           void *user);
// Stops every encoder of the channel and closes their files.
bool BASS_Encode_Stop(uint32_t channel);
// encoder handle, or channel handle (then: any of its encoders is writing).
// BASS_ACTIVE_PLAYING while the encoder writes: from its start until it is
// stopped, its channel is freed or a write error stopped it. A channel with
// no encoder writing is BASS_ACTIVE_STOPPED; a handle that is neither is
// BASS_ACTIVE_STOPPED with BASS_ERROR_HANDLE.
uint32_t BASS_Encode_IsActive(uint32_t handle);
// encoder handle, or channel handle (then: its newest encoder); (uint64_t)-1
// on failure.
// BASS_ENCODE_COUNT_IN over BASS_ChannelBytes2Seconds gives the recording's
// length; BASS_ENCODE_COUNT_OUT is the file's size. A channel with no
// encoder is BASS_ERROR_NOTAVAIL; another count is BASS_ERROR_ILLTYPE. An
// encoder stopped by a write error keeps its counts until Stop.
uint64_t BASS_Encode_GetCount(uint32_t handle, uint32_t count);

// The share of one core the library's threads (network, decode, output)
// used over about the last second (0.003 = 0.3 %): since the latest call at
// least a second ago, or since the library started.
float BASS_GetCPU();

// Describes device 0 ("No sound"), 1 ("Default"), 2, ...; false past the
// last. Asking for device 1 looks again for the devices plugged in. The
// texts stay valid while the process runs.
bool BASS_GetDeviceInfo(uint32_t device, DeviceInfo *info);
// Makes `device` current for the streams opened later; when it is
// initialised, every channel moves to it and goes on playing there. A device
// that is not initialised becomes current all the same, and streams cannot
// be opened until BASS_Init initialises it.
bool BASS_SetDevice(uint32_t device);

// The calling thread's last error code; BASS_OK after a call that succeeded.
int BASS_ErrorGetCode();
