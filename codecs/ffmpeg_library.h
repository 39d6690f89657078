#pragma once
// FFmpeg's libraries, loaded the first time one of their functions is called
// rather than when the program starts: they and the libraries they pull in
// are well over a hundred shared objects, whose loading would otherwise be
// most of the start-up time of every console command, audio or not.
//
// Include this header instead of the FFmpeg headers. Every FFmpeg function the
// program calls is listed below and bound when the libraries load; a call goes
// through its pointer. A function not listed here links against nothing and
// fails the build, which is what keeps the list complete.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace codecs {

// True when the FFmpeg libraries and every function listed below could be
// loaded (they load on this call); callers check it before their first FFmpeg
// call and fail softly otherwise.
bool FfmpegAvailable();

// Every FFmpeg function the program calls.
#define QV_FFMPEG_FUNCTIONS(X) \
    X(av_audio_fifo_alloc) \
    X(av_audio_fifo_free) \
    X(av_audio_fifo_read) \
    X(av_audio_fifo_size) \
    X(av_audio_fifo_write) \
    X(av_channel_layout_compare) \
    X(av_channel_layout_copy) \
    X(av_channel_layout_default) \
    X(av_channel_layout_uninit) \
    X(av_dict_get) \
    X(av_find_best_stream) \
    X(av_frame_alloc) \
    X(av_frame_free) \
    X(av_frame_get_buffer) \
    X(av_frame_unref) \
    X(av_free) \
    X(av_freep) \
    X(av_interleaved_write_frame) \
    X(av_log_set_level) \
    X(av_malloc) \
    X(av_packet_alloc) \
    X(av_packet_free) \
    X(av_packet_rescale_ts) \
    X(av_packet_unref) \
    X(av_read_frame) \
    X(av_rescale) \
    X(av_rescale_q) \
    X(av_samples_alloc) \
    X(av_samples_set_silence) \
    X(av_strdup) \
    X(av_write_trailer) \
    X(avcodec_alloc_context3) \
    X(avcodec_find_encoder) \
    X(avcodec_flush_buffers) \
    X(avcodec_free_context) \
    X(avcodec_open2) \
    X(avcodec_parameters_from_context) \
    X(avcodec_parameters_to_context) \
    X(avcodec_receive_frame) \
    X(avcodec_receive_packet) \
    X(avcodec_send_frame) \
    X(avcodec_send_packet) \
    X(avformat_alloc_context) \
    X(avformat_alloc_output_context2) \
    X(avformat_close_input) \
    X(avformat_find_stream_info) \
    X(avformat_free_context) \
    X(avformat_new_stream) \
    X(avformat_open_input) \
    X(avformat_seek_file) \
    X(avformat_write_header) \
    X(avio_alloc_context) \
    X(avio_closep) \
    X(avio_context_free) \
    X(avio_flush) \
    X(avio_open) \
    X(swr_alloc_set_opts2) \
    X(swr_convert) \
    X(swr_free) \
    X(swr_get_out_samples) \
    X(swr_init) \
    X(swr_set_matrix)

struct FfmpegEntries {
#define QV_FFMPEG_ENTRY(fn) decltype(&::fn) fn = nullptr;
    QV_FFMPEG_FUNCTIONS(QV_FFMPEG_ENTRY)
#undef QV_FFMPEG_ENTRY
};

// The bound functions. Called while FfmpegAvailable() is false it ends the
// process with a message saying why: a call cannot go on without them.
const FfmpegEntries& Ffmpeg();

}  // namespace codecs

// Call sites use FFmpeg's own names, which these turn into calls through the
// bound entries (the loader, which binds them, sees the entries' own names).
#ifndef QV_FFMPEG_LOADER
#define QV_FFMPEG_CALL(fn) (*::codecs::Ffmpeg().fn)
#define av_audio_fifo_alloc QV_FFMPEG_CALL(av_audio_fifo_alloc)
#define av_audio_fifo_free QV_FFMPEG_CALL(av_audio_fifo_free)
#define av_audio_fifo_read QV_FFMPEG_CALL(av_audio_fifo_read)
#define av_audio_fifo_size QV_FFMPEG_CALL(av_audio_fifo_size)
#define av_audio_fifo_write QV_FFMPEG_CALL(av_audio_fifo_write)
#define av_channel_layout_compare QV_FFMPEG_CALL(av_channel_layout_compare)
#define av_channel_layout_copy QV_FFMPEG_CALL(av_channel_layout_copy)
#define av_channel_layout_default QV_FFMPEG_CALL(av_channel_layout_default)
#define av_channel_layout_uninit QV_FFMPEG_CALL(av_channel_layout_uninit)
#define av_dict_get QV_FFMPEG_CALL(av_dict_get)
#define av_find_best_stream QV_FFMPEG_CALL(av_find_best_stream)
#define av_frame_alloc QV_FFMPEG_CALL(av_frame_alloc)
#define av_frame_free QV_FFMPEG_CALL(av_frame_free)
#define av_frame_get_buffer QV_FFMPEG_CALL(av_frame_get_buffer)
#define av_frame_unref QV_FFMPEG_CALL(av_frame_unref)
#define av_free QV_FFMPEG_CALL(av_free)
#define av_freep QV_FFMPEG_CALL(av_freep)
#define av_interleaved_write_frame QV_FFMPEG_CALL(av_interleaved_write_frame)
#define av_log_set_level QV_FFMPEG_CALL(av_log_set_level)
#define av_malloc QV_FFMPEG_CALL(av_malloc)
#define av_packet_alloc QV_FFMPEG_CALL(av_packet_alloc)
#define av_packet_free QV_FFMPEG_CALL(av_packet_free)
#define av_packet_rescale_ts QV_FFMPEG_CALL(av_packet_rescale_ts)
#define av_packet_unref QV_FFMPEG_CALL(av_packet_unref)
#define av_read_frame QV_FFMPEG_CALL(av_read_frame)
#define av_rescale QV_FFMPEG_CALL(av_rescale)
#define av_rescale_q QV_FFMPEG_CALL(av_rescale_q)
#define av_samples_alloc QV_FFMPEG_CALL(av_samples_alloc)
#define av_samples_set_silence QV_FFMPEG_CALL(av_samples_set_silence)
#define av_strdup QV_FFMPEG_CALL(av_strdup)
#define av_write_trailer QV_FFMPEG_CALL(av_write_trailer)
#define avcodec_alloc_context3 QV_FFMPEG_CALL(avcodec_alloc_context3)
#define avcodec_find_encoder QV_FFMPEG_CALL(avcodec_find_encoder)
#define avcodec_flush_buffers QV_FFMPEG_CALL(avcodec_flush_buffers)
#define avcodec_free_context QV_FFMPEG_CALL(avcodec_free_context)
#define avcodec_open2 QV_FFMPEG_CALL(avcodec_open2)
#define avcodec_parameters_from_context QV_FFMPEG_CALL(avcodec_parameters_from_context)
#define avcodec_parameters_to_context QV_FFMPEG_CALL(avcodec_parameters_to_context)
#define avcodec_receive_frame QV_FFMPEG_CALL(avcodec_receive_frame)
#define avcodec_receive_packet QV_FFMPEG_CALL(avcodec_receive_packet)
#define avcodec_send_frame QV_FFMPEG_CALL(avcodec_send_frame)
#define avcodec_send_packet QV_FFMPEG_CALL(avcodec_send_packet)
#define avformat_alloc_context QV_FFMPEG_CALL(avformat_alloc_context)
#define avformat_alloc_output_context2 QV_FFMPEG_CALL(avformat_alloc_output_context2)
#define avformat_close_input QV_FFMPEG_CALL(avformat_close_input)
#define avformat_find_stream_info QV_FFMPEG_CALL(avformat_find_stream_info)
#define avformat_free_context QV_FFMPEG_CALL(avformat_free_context)
#define avformat_new_stream QV_FFMPEG_CALL(avformat_new_stream)
#define avformat_open_input QV_FFMPEG_CALL(avformat_open_input)
#define avformat_seek_file QV_FFMPEG_CALL(avformat_seek_file)
#define avformat_write_header QV_FFMPEG_CALL(avformat_write_header)
#define avio_alloc_context QV_FFMPEG_CALL(avio_alloc_context)
#define avio_closep QV_FFMPEG_CALL(avio_closep)
#define avio_context_free QV_FFMPEG_CALL(avio_context_free)
#define avio_flush QV_FFMPEG_CALL(avio_flush)
#define avio_open QV_FFMPEG_CALL(avio_open)
#define swr_alloc_set_opts2 QV_FFMPEG_CALL(swr_alloc_set_opts2)
#define swr_convert QV_FFMPEG_CALL(swr_convert)
#define swr_free QV_FFMPEG_CALL(swr_free)
#define swr_get_out_samples QV_FFMPEG_CALL(swr_get_out_samples)
#define swr_init QV_FFMPEG_CALL(swr_init)
#define swr_set_matrix QV_FFMPEG_CALL(swr_set_matrix)
#endif
