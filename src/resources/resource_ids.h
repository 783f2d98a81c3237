// Numeric ids of everything the program takes from VidRes.dll.
//
// Shared by windres and the C++ sources, so only plain #defines: no <windows.h>, no casts,
// no enums. The numbers are fixed; the library may be replaced by another one that keeps them.
//
// Control ids belong to one dialog each. The same number means different controls in different
// dialogs (1019 is a hot-key button on one page and a region button on another), so every
// control is named after its dialog.

#ifndef VIDORRA_RESOURCE_IDS_H
#define VIDORRA_RESOURCE_IDS_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// ---- Strings -------------------------------------------------------------------------------

#define IDS_OLE_INIT_FAILED 100
#define IDS_ABOUT_MENU_ITEM 101 // empty: no About item in the system menu

// Labels of the key-capture dialog, one per binding.
#define IDS_CAPTURE_LABEL_PAUSE 109
#define IDS_CAPTURE_LABEL_START 110
#define IDS_CAPTURE_LABEL_SINGLESHOT 111
#define IDS_CAPTURE_LABEL_LOCKPAN 128

// Pieces of hot-key descriptions; joined without separators of the program's own.
#define IDS_KEY_PREFIX_SHIFT 112
#define IDS_KEY_PREFIX_CTRL 113
#define IDS_KEY_PREFIX_ALT 114
#define IDS_KEY_NONE 115
#define IDS_HOTKEY_TAKEN 116 // follows "<description>\n"

#define IDS_AVI_SETUP_FAILED 117   // %s: the stage, such as "(Open AVI)"
#define IDS_TOO_MANY_DROPPED 119   // no arguments
#define IDS_RECORDING_SUMMARY 120  // %d frame positions, %d dropped frames
#define IDS_SOUND_WRITE_FAILED 121 // %d: AVI error number

// Button captions: start/stop and pause, by record state.
#define IDS_RECORD_BUTTON_STOP 123  // recording or paused
#define IDS_RECORD_BUTTON_START 124 // idle
#define IDS_PAUSE_BUTTON_PAUSE 125  // recording
#define IDS_PAUSE_BUTTON_RESUME 126 // paused
#define IDS_PAUSE_BUTTON_IDLE 127   // idle: starts a paused recording

#define IDS_CONFIRM_UNINSTALL 129 // Yes/No
#define IDS_COMPRESSOR_AUTO 134
#define IDS_COMPRESSOR_NONE 135
#define IDS_CONFIRM_DEFAULTS 136 // Yes/No

#define IDS_TAB_REGION 141
#define IDS_TAB_HOTKEYS 142
#define IDS_TAB_VIDEO 143
#define IDS_TAB_SOUND 144

#define IDS_PRODUCT_NAME 148

#define IDS_VIDEO_WRITE_FAILED 150  // %d: AVI error number
#define IDS_NO_FREE_FILE_NAME 151   // %s: the file name that has no free number left
#define IDS_BAD_FILE_NAME 152       // %s: a name too long or with a number too large to count on
#define IDS_BAD_FRAME_RATE 153      // no arguments
#define IDS_BAD_REGION_SIZE 154     // %d width, %d height
#define IDS_SETTINGS_NOT_SAVED 156  // %s: the names of the settings that could not be saved
#define IDS_RECORDING_NO_SOUND 155  // as 120, for a recording whose sound input would not start
#define IDS_RECORDING_SOUND_CUT 157 // as 120, for a recording whose sound stopped part-way
// As 150, 121 and 119, for a recording that ended before its first frame: no file is kept.
#define IDS_VIDEO_WRITE_FAILED_NO_FILE 180 // %d: AVI error number
#define IDS_SOUND_WRITE_FAILED_NO_FILE 181 // %d: AVI error number
#define IDS_TOO_MANY_DROPPED_NO_FILE 182   // no arguments
#define IDS_BAD_SWITCH 183                 // %s the switch, %s its value
#define IDS_OFFER_REPAIR 184               // Yes/No; %s the movie file
#define IDS_REPAIR_FAILED 185              // %s the movie file
#define IDS_MOVIE_FULL 186                 // %d frames: the movie holds all an AVI file can

// Messages of the dialog data exchange.
#define IDS_DDX_INTEGER 160
#define IDS_DDX_NUMBER 161
#define IDS_DDX_INTEGER_RANGE 162 // %d lowest, %d highest
#define IDS_DDX_NUMBER_RANGE 163  // %s lowest, %s highest (already formatted)
#define IDS_DDX_TEXT_TOO_LONG 164 // %d characters
#define IDS_DDX_FILE_NAME 165

// ---- Dialog templates ----------------------------------------------------------------------

#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_PAGE_HOTKEYS 109
#define IDD_PAGE_REGION 110
#define IDD_PAGE_VIDEO 111
#define IDD_PAGE_SOUND 112
#define IDD_HOTKEY_CAPTURE 129
#define IDD_INSTALL_DESTINATION 136

// ---- Icon and cursor -----------------------------------------------------------------------

#define IDI_MAIN 128
// The crosshair is a named resource: LoadCursor(library, IDR_CROSSHAIR_NAME).
#define IDR_CROSSHAIR_NAME "CROSSCUR"

// ---- Commands ------------------------------------------------------------------------------

#define IDM_ABOUTBOX 16 // system-menu item; the platform keeps the low four bits to itself
#define ID_HELP 57670   // 0xE146, the help command of the main dialog and the About box

// ---- About box (100) -----------------------------------------------------------------------

#define IDC_ABOUT_VERSION 1066 // its text is a format: three %d (major, minor, third)

// ---- Main dialog (102) ---------------------------------------------------------------------

#define IDC_MAIN_RECORD 1000
#define IDC_MAIN_PAUSE 1001
#define IDC_MAIN_PLAY 1002
#define IDC_MAIN_DEFAULTS 1003
#define IDC_MAIN_TABS 1065
#define IDC_MAIN_STATUS 1075

// ---- Hot-key page (109) --------------------------------------------------------------------

#define IDC_HOTKEYS_PAN_SHIFT 1012
#define IDC_HOTKEYS_PAN_CTRL 1013
#define IDC_HOTKEYS_PAN_ALT 1014
#define IDC_HOTKEYS_START 1015
#define IDC_HOTKEYS_PAUSE 1016
#define IDC_HOTKEYS_LOCKPAN 1017
#define IDC_HOTKEYS_PAN_LOCKED 1018
#define IDC_HOTKEYS_SINGLESHOT 1019

// ---- Region page (110) ---------------------------------------------------------------------

#define IDC_REGION_SELECT 1019
#define IDC_REGION_SELECT_WINDOW 1020
#define IDC_REGION_LEFT 1023
#define IDC_REGION_TOP 1024
#define IDC_REGION_WIDTH 1025
#define IDC_REGION_HEIGHT 1026
// What the main window does when a recording starts; the chosen id is stored as is.
#define IDC_REGION_WND_KEEP 1047
#define IDC_REGION_WND_MINIMIZE 1048
#define IDC_REGION_WND_MINIMIZE_HIDE 1049
#define IDC_REGION_WND_HIDE 1050
#define IDC_REGION_FLASH 1076

// ---- Video page (111) ----------------------------------------------------------------------

#define IDC_VIDEO_FILE_NAME 1020
#define IDC_VIDEO_FRAME_RATE 1021
#define IDC_VIDEO_INCREMENT 1022
#define IDC_VIDEO_PLAYBACK_RATE 1023
#define IDC_VIDEO_SOUND 1024
#define IDC_VIDEO_KEY_FRAMES 1025
#define IDC_VIDEO_QUALITY 1026
#define IDC_VIDEO_BROWSE 1027
#define IDC_VIDEO_COMPRESSOR 1058
#define IDC_VIDEO_CLICKS 1089
#define IDC_VIDEO_KEYS 1090

// ---- Sound page (112) ----------------------------------------------------------------------

#define IDC_SOUND_8BIT 1069
#define IDC_SOUND_16BIT 1070
#define IDC_SOUND_11025 1071
#define IDC_SOUND_22050 1072
#define IDC_SOUND_44100 1073
#define IDC_SOUND_8000 1074

// ---- Key-capture dialog (129) --------------------------------------------------------------

#define IDC_CAPTURE_HOTKEY 1016
#define IDC_CAPTURE_LABEL 1017

// ---- Install destination dialog (136) ------------------------------------------------------

// The old-style file dialog writes its current directory into stc1 (1088). Making the
// destination field that very control lets the directory list fill it in as the user browses.
#define IDC_INSTALL_DESTINATION 1088

#endif
