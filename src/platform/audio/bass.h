// The C interface of the audio library (version 2.0 calling conventions), shared by the
// library itself and by the music code that looks the functions up by name at run time.
//
// Where the library stops:
// Done:
//  - One output device through SDL2 audio on its own thread (device -1 or 1: the default
//    output; n > 1: SDL's device n - 1; 0: no sound, every call still working), 16-bit
//    stereo at the rate BASS_Init asks for; BASS_Start and BASS_Stop resume and pause it
//    (Stop also stops every stream); master volume 0..100; BASS_GetCPU is the mixing
//    thread's measured load.
//  - Ogg Vorbis streams (libvorbisfile) from memory, read in place, or from a file, copied
//    into memory (at most 512 MiB); any number mixed at once, each resampled linearly to the
//    output rate; BASS_SAMPLE_LOOP; play from the start or resume; length, position, bytes
//    to seconds, active state, channel info, and the peak levels of the last mixed block.
//  - Error codes per thread, as BASS_ErrorGetCode answers them.
// Partly:
//  - The 8-bit, mono and 3D flags of BASS_Init are accepted; output stays 16-bit stereo.
//    BASS_Set3DFactors accepts its factors and changes nothing.
//  - Of a stream with more than two channels the first two are heard; mono plays on both.
//  - Stream flags other than BASS_SAMPLE_LOOP are ignored.
// Left out: tracker music (BASS_MusicLoad, BASS_MusicPlay), attribute slides and syncs:
//  present so the program's lookups succeed, answering BASS_ERROR_NOTAVAIL. No recording,
//  no samples, no effects, no formats but Ogg Vorbis.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t BASS_BOOL;
typedef uint32_t BASS_DWORD;
typedef uint64_t BASS_QWORD;
typedef uint32_t HSTREAM;
typedef uint32_t HMUSIC;
typedef uint32_t HSYNC;

// Error codes answered by BASS_ErrorGetCode.
enum {
  BASS_OK = 0,
  BASS_ERROR_MEM = 1,
  BASS_ERROR_FILEOPEN = 2,
  BASS_ERROR_DRIVER = 3,
  BASS_ERROR_HANDLE = 5,
  BASS_ERROR_FORMAT = 6,
  BASS_ERROR_INIT = 8,
  BASS_ERROR_START = 9,
  BASS_ERROR_ALREADY = 14,
  BASS_ERROR_ILLPARAM = 20,
  BASS_ERROR_DEVICE = 23,
  BASS_ERROR_NOTAVAIL = 37,
  BASS_ERROR_UNKNOWN = -1
};

// Init flags (the program passes BASS_DEVICE_3D; output is always 16-bit stereo here).
enum { BASS_DEVICE_8BITS = 1, BASS_DEVICE_MONO = 2, BASS_DEVICE_3D = 4 };

// Stream flags honoured: looping at the end instead of stopping.
enum { BASS_SAMPLE_LOOP = 4 };

// Answers of BASS_ChannelIsActive.
enum { BASS_ACTIVE_STOPPED = 0, BASS_ACTIVE_PLAYING = 1 };

typedef struct {
  BASS_DWORD freq;
  BASS_DWORD chans;
  BASS_DWORD flags;
  BASS_DWORD ctype;
} BASS_CHANNELINFO;

typedef void SYNCPROC(HSYNC handle, BASS_DWORD channel, BASS_DWORD data, BASS_DWORD user);

// Device: -1 default, 0 no sound, 1 the first real device (the default output).
BASS_BOOL BASS_Init(int device, BASS_DWORD freq, BASS_DWORD flags, void* win, const void* clsid);
BASS_BOOL BASS_Start(void);
BASS_BOOL BASS_Stop(void);
void BASS_Free(void);
int BASS_ErrorGetCode(void);
float BASS_GetCPU(void);
// Master volume 0..100 of everything the library plays; (DWORD)-1 before BASS_Init.
BASS_DWORD BASS_GetVolume(void);
BASS_BOOL BASS_SetVolume(BASS_DWORD volume);
BASS_BOOL BASS_Set3DFactors(float distf, float rollf, float doppf);

// mem != 0: `file` points at `length` bytes of Ogg Vorbis (from `offset`), read in place; the
// caller keeps them alive until BASS_StreamFree. mem == 0: `file` is a path (length 0 = to end).
HSTREAM BASS_StreamCreateFile(BASS_BOOL mem, const void* file, BASS_DWORD offset, BASS_DWORD length,
                              BASS_DWORD flags);
// flush != 0 restarts from the beginning; otherwise playing resumes where it stopped.
BASS_BOOL BASS_StreamPlay(HSTREAM handle, BASS_BOOL flush, BASS_DWORD flags);
void BASS_StreamFree(HSTREAM handle);
// Length and position in bytes of the decoded 16-bit PCM in the stream's own rate and channels.
BASS_QWORD BASS_StreamGetLength(HSTREAM handle);
BASS_QWORD BASS_ChannelGetPosition(BASS_DWORD handle);
float BASS_ChannelBytes2Seconds(BASS_DWORD handle, BASS_QWORD pos);
BASS_DWORD BASS_ChannelIsActive(BASS_DWORD handle);
BASS_BOOL BASS_ChannelGetInfo(BASS_DWORD handle, BASS_CHANNELINFO* info);
// Peak levels of the last mixed block: left in the low word, right in the high word (0..32768).
BASS_DWORD BASS_ChannelGetLevel(BASS_DWORD handle);

// Present for the program's lookups; they answer BASS_ERROR_NOTAVAIL.
HMUSIC BASS_MusicLoad(BASS_BOOL mem, const void* file, BASS_DWORD offset, BASS_DWORD length, BASS_DWORD flags,
                      BASS_DWORD freq);
BASS_BOOL BASS_MusicPlay(HMUSIC handle);
BASS_BOOL BASS_ChannelSlideAttributes(BASS_DWORD handle, int freq, int volume, int pan, BASS_DWORD time);
BASS_DWORD BASS_ChannelIsSliding(BASS_DWORD handle);
HSYNC BASS_ChannelSetSync(BASS_DWORD handle, BASS_DWORD type, BASS_QWORD param, SYNCPROC* proc,
                          BASS_DWORD user);

// Test hooks, not part of the 2.0 interface.
// Called on the mixing thread with every block of mixed output (interleaved stereo).
typedef void HoardelAudioCaptureProc(const int16_t* samples, BASS_DWORD frames, void* user);
void HoardelAudio_SetCapture(HoardelAudioCaptureProc* proc, void* user);
// With $HOARDEL_AUDIO_MANUAL set when BASS_Init runs, no device is opened and output advances
// only through this call: mixes `frames` stereo frames into `out` (which may be null).
BASS_BOOL HoardelAudio_Render(int16_t* out, BASS_DWORD frames);

#ifdef __cplusplus
}
#endif
