#pragma once

// FFmpeg's libraries, opened with dlopen when a movie first needs them. Linked to the program,
// they and the hundred libraries they pull in (encoders, TLS, Blu-ray...) would be loaded at
// every start, while most movies never decode a video or an MP3 sound and the window is opened
// far more often than a video is written. FFmpeg's headers still give the types and macros;
// every call goes through the table below, and the link line names none of the libraries, so
// the linker refuses any direct call left.
//
// Only the files that talk to FFmpeg include this header.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <string>

namespace swf::ffmpeg {

enum class Library { AvUtil, AvCodec, AvFormat, SwScale, SwResample };

// Every function the program calls, with its library. Decoding needs the first two libraries
// only; writing video files the other three as well.
#define REELWICK_FFMPEG_DECODING(X)                                                                \
    X(AvUtil, av_audio_fifo_alloc)                                                                 \
    X(AvUtil, av_audio_fifo_free)                                                                  \
    X(AvUtil, av_audio_fifo_read)                                                                  \
    X(AvUtil, av_audio_fifo_size)                                                                  \
    X(AvUtil, av_audio_fifo_write)                                                                 \
    X(AvUtil, av_channel_layout_copy)                                                              \
    X(AvUtil, av_channel_layout_default)                                                           \
    X(AvUtil, av_channel_layout_uninit)                                                            \
    X(AvUtil, av_d2q)                                                                              \
    X(AvUtil, av_dict_free)                                                                        \
    X(AvUtil, av_dict_set)                                                                         \
    X(AvUtil, av_frame_alloc)                                                                      \
    X(AvUtil, av_frame_free)                                                                       \
    X(AvUtil, av_frame_get_buffer)                                                                 \
    X(AvUtil, av_frame_make_writable)                                                              \
    X(AvUtil, av_frame_unref)                                                                      \
    X(AvUtil, av_freep)                                                                            \
    X(AvUtil, av_get_packed_sample_fmt)                                                            \
    X(AvUtil, av_log_get_level)                                                                    \
    X(AvUtil, av_log_set_level)                                                                    \
    X(AvUtil, av_pix_fmt_desc_get)                                                                 \
    X(AvUtil, av_sample_fmt_is_planar)                                                             \
    X(AvUtil, av_samples_alloc_array_and_samples)                                                  \
    X(AvUtil, av_samples_set_silence)                                                              \
    X(AvUtil, av_strerror)                                                                         \
    X(AvCodec, av_packet_alloc)                                                                    \
    X(AvCodec, av_packet_free)                                                                     \
    X(AvCodec, av_packet_rescale_ts)                                                               \
    X(AvCodec, av_parser_close)                                                                    \
    X(AvCodec, av_parser_init)                                                                     \
    X(AvCodec, av_parser_parse2)                                                                   \
    X(AvCodec, avcodec_alloc_context3)                                                             \
    X(AvCodec, avcodec_find_decoder)                                                               \
    X(AvCodec, avcodec_find_encoder_by_name)                                                       \
    X(AvCodec, avcodec_flush_buffers)                                                              \
    X(AvCodec, avcodec_free_context)                                                               \
    X(AvCodec, avcodec_open2)                                                                      \
    X(AvCodec, avcodec_parameters_from_context)                                                    \
    X(AvCodec, avcodec_receive_frame)                                                              \
    X(AvCodec, avcodec_receive_packet)                                                             \
    X(AvCodec, avcodec_send_frame)                                                                 \
    X(AvCodec, avcodec_send_packet)

#define REELWICK_FFMPEG_ENCODING(X)                                                                \
    X(AvFormat, av_interleaved_write_frame)                                                        \
    X(AvFormat, av_write_trailer)                                                                  \
    X(AvFormat, avformat_alloc_output_context2)                                                    \
    X(AvFormat, avformat_free_context)                                                             \
    X(AvFormat, avformat_new_stream)                                                               \
    X(AvFormat, avformat_write_header)                                                             \
    X(AvFormat, avio_closep)                                                                       \
    X(AvFormat, avio_open)                                                                         \
    X(SwScale, sws_freeContext)                                                                    \
    X(SwScale, sws_getCachedContext)                                                               \
    X(SwScale, sws_scale)                                                                          \
    X(SwResample, swr_alloc_set_opts2)                                                             \
    X(SwResample, swr_convert)                                                                     \
    X(SwResample, swr_free)                                                                        \
    X(SwResample, swr_get_out_samples)                                                             \
    X(SwResample, swr_init)

// Called as `av->avcodec_open2(...)`, with FFmpeg's own names and types.
struct Api {
#define REELWICK_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
    REELWICK_FFMPEG_DECODING(REELWICK_FFMPEG_POINTER)
    REELWICK_FFMPEG_ENCODING(REELWICK_FFMPEG_POINTER)
#undef REELWICK_FFMPEG_POINTER
};

// libavutil and libavcodec's functions, loaded on the first call from any thread and kept for
// the rest of the run. Null when a library or a function is missing: one line on standard
// error has then said which, once per run.
const Api* decoding();
// The same with libavformat, libswscale and libswresample's functions filled in too.
const Api* encoding();
// Why one of the two above returned null (the library or function missing, as printed); ask
// only after one did.
const std::string& loadError();

// dlopen is given the sonames of the versions the program was built against
// ("libavcodec.so.59"). This makes it open `file` for `library` instead; for tests, before
// anything has loaded FFmpeg.
void setSonameForTesting(Library library, std::string file);

} // namespace swf::ffmpeg
