// Resource identifiers.
#pragma once

#define IDI_QUILLMOOR 128        // the application icon
#define IDS_LOCAL_VERSION 1016   // the local version text

#define IDD_MAIN_DIALOG 129      // the start dialog inside the start window
#define IDD_GAME_DIALOG 238      // the game window
#define IDD_START_WINDOW 262     // the translucent start window
#define IDR_TRAY_MENU 239
#define IDR_MAIN_MENU 240

#define IDC_BROWSER_PLACE 1001
#define IDC_BUTTON_1006 1006
#define IDC_BUTTON_1007 1007
#define IDC_BUTTON_1008 1008
#define IDC_BUTTON_1009 1009
#define IDC_BUTTON_1010 1010
#define IDC_BUTTON_1011 1011
#define IDC_BUTTON_1012 1012

#define ID_TRAY_REFRESH 32786
#define ID_TRAY_TOGGLE 32787
#define ID_TRAY_CLEAR_CACHE 32788
#define ID_TRAY_EXIT 32789
#define ID_MAIN_REFRESH 32781
#define ID_MAIN_TOGGLE 32782
#define ID_MAIN_CLEAR_CACHE 32783
#define ID_MAIN_RESET_WINDOW 32784
#define ID_MAIN_EXIT 32785
