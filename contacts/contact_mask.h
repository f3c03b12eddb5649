#pragma once

#include <cstdint>

// One bit per contact pad: right-hand pads in the low byte, left-hand pads in the high byte.
using ContactMask = uint16_t;

struct PadLabel {
  ContactMask bit;
  const char* label;
};

// Every pad with its label, in the order a group's labels are printed.
inline constexpr PadLabel kPadLabels[] = {
    {0x2000, "LP_"},  {0x1000, "LR_"},  {0x0800, "LM_"}, {0x0400, "LI_"}, {0x0200, "LT_"}, {0x0100, "LPm_"},
    {0x0020, "RPm_"}, {0x0010, "RT_"},  {0x0008, "RI_"}, {0x0004, "RM_"}, {0x0002, "RR_"}, {0x0001, "RP_"},
};
