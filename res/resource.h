// Resource identifiers, shared by the resource script and the code. The
// numbers stand here only. Each dialog names its own controls: the same
// number is "exit" in the start dialog and "minimise" in the game window.
// No Windows header.
#pragma once

#define IDI_QUILLMOOR 128        // the application icon
#define IDS_LOCAL_VERSION 1016   // the local version text

#define IDD_MAIN_DIALOG 129      // the start dialog inside the start window
#define IDD_GAME_DIALOG 238      // the game window
#define IDD_START_WINDOW 262     // the translucent start window
#define IDD_UPDATE_PROGRESS 263  // the update's progress, while a new build downloads
#define IDR_TRAY_MENU 239
#define IDR_MAIN_MENU 240

// The start dialog's controls.
#define IDC_BROWSER_PLACE 1001   // the placeholder that becomes the start page's host
#define IDC_START_GO_ON 1006     // on to the game (hidden)
#define IDC_START_MINIMISE 1007  // minimises the start window (hidden)
#define IDC_START_EXIT 1008      // ends the process

// The game window's title-bar buttons.
#define IDC_GAME_CLOSE 1006      // the exit question
#define IDC_GAME_RESTORE 1007    // back to the initial size; shown while filling the work area
#define IDC_GAME_MINIMISE 1008
#define IDC_GAME_HIDE 1009       // hides the window to the tray
#define IDC_GAME_MENU 1010       // the main menu
#define IDC_GAME_EMBLEM 1011     // the emblem at the left; the main menu too
#define IDC_GAME_WORK_AREA 1012  // fills the work area; shown otherwise

// The update progress window's controls.
#define IDC_UPDATE_BAR 1020      // the progress bar
#define IDC_UPDATE_TEXT 1021     // "正在更新…" and the percentage

#define ID_TRAY_REFRESH 32786
#define ID_TRAY_TOGGLE 32787
#define ID_TRAY_CLEAR_CACHE 32788
#define ID_TRAY_EXIT 32789
#define ID_MAIN_REFRESH 32781
#define ID_MAIN_TOGGLE 32782
#define ID_MAIN_CLEAR_CACHE 32783
#define ID_MAIN_RESET_WINDOW 32784
#define ID_MAIN_EXIT 32785

#ifndef RC_INVOKED

// The start dialog's buttons by name.
enum class StartDialogButton : int {
    kGoOn = IDC_START_GO_ON,
    kMinimise = IDC_START_MINIMISE,
    kExit = IDC_START_EXIT,
    // Links the dialog's button table gives pictures to, though its template
    // holds no such controls: they are never attached.
    kPageLink = 1009,
    kPageLinkWithAdapter = 1010,
    kSecondPageLink = 1012,
    kThirdPageLink = 1013,
};

// The game window's title-bar buttons by name.
enum class GameWindowButton : int {
    kClose = IDC_GAME_CLOSE,
    kRestore = IDC_GAME_RESTORE,
    kMinimise = IDC_GAME_MINIMISE,
    kHide = IDC_GAME_HIDE,
    kMenu = IDC_GAME_MENU,
    kEmblem = IDC_GAME_EMBLEM,
    kWorkArea = IDC_GAME_WORK_AREA,
};

// The control number of a named button.
constexpr int ControlId(StartDialogButton button) { return static_cast<int>(button); }
constexpr int ControlId(GameWindowButton button) { return static_cast<int>(button); }

#endif  // RC_INVOKED
