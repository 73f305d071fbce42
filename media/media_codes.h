#pragma once
// Major type and subtype codes of the media type records, as every library of the system
// writes them into VideoMediaType, AudioMediaType and StreamMediaType.
#include <cstdint>

// Major types (MType).
inline constexpr uint32_t QVA_MTYPE_NONE = 0;
inline constexpr uint32_t QVA_MTYPE_AUDIO = 0x20000;
inline constexpr uint32_t QVA_MTYPE_WAV = 0x20001;
inline constexpr uint32_t QVA_MTYPE_VIDEO = 0x40000;
inline constexpr uint32_t QVA_MTYPE_MUXED = 0x80000;
inline constexpr uint32_t QVA_MTYPE_MPEG = 0x80001;
inline constexpr uint32_t QVA_MTYPE_MPEG1_SYSTEMS = 0x80003;
inline constexpr uint32_t QVA_MTYPE_MPEG2_PS = 0x80005;
inline constexpr uint32_t QVA_MTYPE_MPEG2_TS = 0x80009;
inline constexpr uint32_t QVA_MTYPE_ASF = 0x80010;
inline constexpr uint32_t QVA_MTYPE_ASF_WMDATA = 0x80030;
inline constexpr uint32_t QVA_MTYPE_AVI = 0x80040;
// Four codes share the name "DIVX Stream".
inline constexpr uint32_t QVA_MTYPE_DIVX = 0x80080;
inline constexpr uint32_t QVA_MTYPE_DIVX_180 = 0x80180;
inline constexpr uint32_t QVA_MTYPE_DIVX_280 = 0x80280;
inline constexpr uint32_t QVA_MTYPE_DIVX_480 = 0x80480;
inline constexpr uint32_t QVA_MTYPE_MP4 = 0x81000;  // also QuickTime
inline constexpr uint32_t QVA_MTYPE_AVC = 0x82000;
inline constexpr uint32_t QVA_MTYPE_ORX = 0x800000;
// Pseudo types of a transcode target (also used as an audio or video subtype with the same
// meaning): write through a writer component, or render through the renderers.
inline constexpr uint32_t QVA_MTYPE_FILEOUTPUT = 0x10000000;
inline constexpr uint32_t QVA_MTYPE_PREVIEW = 0x40000000;

// Subtypes: codings, then raw pixel formats. Raw video subtypes carry 0x80000 (YUV family) or
// 0x40000 (RGB family); the Windows Media family carries 0x40.
inline constexpr uint32_t QVA_MSUBTYPE_NONE = 0;
inline constexpr uint32_t QVA_MSUBTYPE_MPV = 0x1;
inline constexpr uint32_t QVA_MSUBTYPE_MPV2 = 0x2;
inline constexpr uint32_t QVA_MSUBTYPE_MPV_PES1 = 0x8003;
inline constexpr uint32_t QVA_MSUBTYPE_MPV_PES2 = 0x8004;
inline constexpr uint32_t QVA_MSUBTYPE_MPV4 = 0x5;
inline constexpr uint32_t QVA_MSUBTYPE_H264 = 0x7;
inline constexpr uint32_t QVA_MSUBTYPE_MPA = 0x10;
inline constexpr uint32_t QVA_MSUBTYPE_MPA1 = 0x11;
inline constexpr uint32_t QVA_MSUBTYPE_MPA2 = 0x12;
inline constexpr uint32_t QVA_MSUBTYPE_MPA3 = 0x13;
inline constexpr uint32_t QVA_MSUBTYPE_MPA_PES1 = 0x14;
inline constexpr uint32_t QVA_MSUBTYPE_MPA_PES2 = 0x15;
inline constexpr uint32_t QVA_MSUBTYPE_WMV = 0x40;
inline constexpr uint32_t QVA_MSUBTYPE_WMV7 = 0x41;
inline constexpr uint32_t QVA_MSUBTYPE_WMV8 = 0x42;
inline constexpr uint32_t QVA_MSUBTYPE_WMV9 = 0x43;
inline constexpr uint32_t QVA_MSUBTYPE_WMV9AP = 0x44;
inline constexpr uint32_t QVA_MSUBTYPE_VC1 = 0x45;  // VC-1 advanced profile target
inline constexpr uint32_t QVA_MSUBTYPE_WMA = 0x100;
inline constexpr uint32_t QVA_MSUBTYPE_WMAPRO = 0x101;
inline constexpr uint32_t QVA_MSUBTYPE_AC3 = 0x200;
inline constexpr uint32_t QVA_MSUBTYPE_AC3_PES2 = 0x201;
inline constexpr uint32_t QVA_MSUBTYPE_AC3_ATSC = 0x202;
inline constexpr uint32_t QVA_MSUBTYPE_PCM = 0x400;
inline constexpr uint32_t QVA_MSUBTYPE_AAC = 0x401;
inline constexpr uint32_t QVA_MSUBTYPE_OGG = 0x402;
inline constexpr uint32_t QVA_MSUBTYPE_DTS = 0x403;
inline constexpr uint32_t QVA_MSUBTYPE_BMP = 0x10000;
inline constexpr uint32_t QVA_MSUBTYPE_TIFF = 0x10001;
// JPEG still and motion JPEG share one code.
inline constexpr uint32_t QVA_MSUBTYPE_JPEG = 0x20000;
inline constexpr uint32_t QVA_MSUBTYPE_MJPEG = 0x20000;
inline constexpr uint32_t QVA_MSUBTYPE_RGB = 0x40000;
inline constexpr uint32_t QVA_MSUBTYPE_RGB8 = 0x40001;
inline constexpr uint32_t QVA_MSUBTYPE_RGB555 = 0x40002;
inline constexpr uint32_t QVA_MSUBTYPE_RGB565 = 0x40003;
inline constexpr uint32_t QVA_MSUBTYPE_RGB888 = 0x40004;
inline constexpr uint32_t QVA_MSUBTYPE_RGBA8888 = 0x40005;
// 32-bit B, G, R, A frames, rows bottom-up (the host's frames).
inline constexpr uint32_t QVA_MSUBTYPE_BGRA = 0x40015;
inline constexpr uint32_t QVA_MSUBTYPE_YUV = 0x80000;
inline constexpr uint32_t QVA_MSUBTYPE_YUV411 = 0x80001;
inline constexpr uint32_t QVA_MSUBTYPE_YUV420 = 0x80002;
inline constexpr uint32_t QVA_MSUBTYPE_YUV422 = 0x80003;
inline constexpr uint32_t QVA_MSUBTYPE_YUV444 = 0x80004;
// Y0, Cb, Y1, Cr (YUY2).
inline constexpr uint32_t QVA_MSUBTYPE_YUV422I = 0x80011;
// 8-bit V, U, Y, A per pixel, rows bottom-up (the host's VUYA frames).
inline constexpr uint32_t QVA_MSUBTYPE_YUV444I = 0x80012;
// Planar 4:2:0 with the Cr plane before the Cb plane; both codes mean the same layout.
inline constexpr uint32_t QVA_MSUBTYPE_YV12 = 0x81001;
inline constexpr uint32_t QVA_MSUBTYPE_YV12_420 = 0x81002;
// Four 32-bit floats per pixel (Cr, Cb, Y, A), rows bottom-up.
inline constexpr uint32_t QVA_MSUBTYPE_VUYA_FLOAT = 0x81013;
// Semi-planar 4:2:0: the Y plane, then interleaved Cb, Cr.
inline constexpr uint32_t QVA_MSUBTYPE_NV12 = 0x81015;
inline constexpr uint32_t QVA_MSUBTYPE_DIVX = 0x100000;
inline constexpr uint32_t QVA_MSUBTYPE_XVID = 0x200000;
inline constexpr uint32_t QVA_MSUBTYPE_UNDEFINED = 0x80000000;

inline constexpr uint32_t QVA_MSUBTYPE_YUV_FAMILY = 0x80000;
inline constexpr uint32_t QVA_MSUBTYPE_RGB_FAMILY = 0x40000;
inline constexpr uint32_t QVA_MSUBTYPE_WM_FAMILY = 0x40;

// AudioMediaType::AudioFlags and ::ModeFlags bits.
inline constexpr uint32_t QVA_AUDIOFLAG_MIDSIDESTEREO = 0x1;
inline constexpr uint32_t QVA_AUDIOFLAG_INTENSSTEREO = 0x2;
inline constexpr uint32_t QVA_AUDIOFLAG_JNTSTEREO = 0x4;
inline constexpr uint32_t QVA_AUDIOMODE_SBR = 0x8;

// VideoMediaType::VideoFlags bit that asks an encoder for a variable bit rate.
inline constexpr uint32_t QVA_VIDEOFLAG_VBR = 0x2;
