#pragma once

// The files the bring-up loads onto the board, relative to the working folder.
constexpr const char* LOWLEVEL_APPLET = "tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin";
constexpr const char* BOOT_LOADER = "tcl_lib/at91sam9x25-ek/VarroBoot.bin";
