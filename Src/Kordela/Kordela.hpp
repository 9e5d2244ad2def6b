// The add-on's shell: the one palette, its observer and the palette's auto-open state.
#pragma once

#include "ACAPI.hpp"

#include <cstdint>

class MainPalette;
class MainObserver;

extern MainPalette* mainPalette;    // null when no palette exists
extern MainObserver* mainObserver;  // the observer made with the palette; it disposes itself with it
extern int32_t firstRun;            // 1: never opened, 2: left open, 0: do not open by itself

GSErrCode CommandHandler(const API_MenuParams* menuParams);
GSErrCode APIEventHandler(API_NotifyEventID notifID, int32_t param);
void OpenClosePalette();
