#pragma once
// The head fields (everything before the method table) of the five shipped descriptors. Each
// component library adds its own method table with QVAMakeDescriptor.
#include "framework/qva_component.h"

inline constexpr ComponentInfo kShippedVENC = {
    QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_ENCODER, 2, 1,
    {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x00, 0x22}, "VENC", "Video Encoder", 1, 1, 0, {}, {}};

inline constexpr ComponentInfo kShippedCMUX = {
    QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_STREAM | QVA_TYPE_MULTIPLEXER, 1, 1,
    {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x00, 0x07}, "CMUX", "Pelkor Mux Writer", 2, 1, 16, {}, {}};

inline constexpr ComponentInfo kShippedAENC = {
    QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_AUDIO | QVA_TYPE_ENCODER, 1, 1,
    {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x00, 0x23}, "AENC", "Pelkor Audio Encoder", 1, 1, 0, {}, {}};

inline constexpr ComponentInfo kShippedVSCALER = {
    QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_SCALER, 1, 1,
    {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x02, 0x01}, "VSCALER", "Video Scaler", 1, 1, 0, {}, {}};

inline constexpr ComponentInfo kShippedMULTIVENC = {
    QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_ENCODER, 1, 1,
    {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x00, 0x72}, "MULTIVENC", "Multi Video Encoder", 1, 1, 0, {}, {}};
