/* The AVI tests' support for the C test program: the same commands and FFmpeg
 * readings as AviTestSupport.h, with a C face. */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Runs a shell command: its standard output into out (at most size - 1 bytes,
 * NUL-terminated; out may be null) and its exit status as the answer. */
int avitest_run(const char* command, char* out, size_t size);
int avitest_have_tool(const char* name);
int avitest_file_exists(const char* path);
/* ffprobe's description of stream sel ("v:0", "a:0") of path as key=value
 * lines; "" when there is no such stream. */
void avitest_probe_stream(const char* path, const char* sel, char* out, size_t size);
/* The value of key in such a description, "" when absent. */
void avitest_field(const char* description, const char* key, char* out, size_t size);
int avitest_stream_count(const char* path);
int avitest_decoded_video_frames(const char* path);
/* Every stream decoded, stopping at the first error: 1 when clean, else 0 with
 * FFmpeg's errors in errors. */
int avitest_decodes_cleanly(const char* path, char* errors, size_t size);
/* Decoded duration of the first sound stream, as 16-bit stereo at rate. */
double avitest_decoded_audio_seconds(const char* path, int rate);
/* Where the first picture lies on the file's time line, in seconds. */
double avitest_first_picture_seconds(const char* path);

#ifdef __cplusplus
}
#endif
