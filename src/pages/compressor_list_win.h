#pragma once

// The list of video compressors on the video page: the automatic choice by colour depth
// (FOURCC 0), every installed video compressor that can be opened and describes itself, in the
// platform's order, and uncompressed frames ("DIB "). Each item keeps its FOURCC as item data.

#include "framework/window_win.h"

#include <cstdint>

// Empties the combo box, fills it and selects the first item. Stores nothing in the options.
void FillCompressorList(Window list);

// The FOURCC kept with the selected item; 0 (automatic) when nothing is selected.
[[nodiscard]] uint32_t SelectedCompressor(Window list);

// Selects the item that keeps this FOURCC; false, and the selection unchanged, when none does.
bool SelectCompressor(Window list, uint32_t fourcc);
