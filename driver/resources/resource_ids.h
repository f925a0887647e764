// Ids of the driver's resources, read by the resource script and by the code alike, so
// plain macros. No Windows types: the OEM tool's native build reads the layout ids.
#pragma once

// The control panel's layouts (dialog templates); the OEM block chooses one.
#define IDD_PANEL_PICTURE 1000  // picture and sizes
#define IDD_PANEL_ROW 1100      // one row of sizes
#define IDD_PANEL_FULL 1200     // picture, sizes, "Reset" and "Exit"

// Controls of the layouts; a layout has those it shows.
#define IDC_PANEL_EXIT 1003
#define IDC_PANEL_PICTURE 1004
#define IDC_PANEL_SIZE_GROUP 1005
#define IDC_PANEL_SIZE_128 1006
#define IDC_PANEL_SIZE_256 1007
#define IDC_PANEL_SIZE_512 1008
#define IDC_PANEL_SIZE_1024 1009
#define IDC_PANEL_SIZE_2048 1010
#define IDC_PANEL_RESET 1013
#define IDC_PANEL_SIZE_192 1020
#define IDC_PANEL_SIZE_80 1021

// The picture of each layout.
#define IDB_PANEL_ROW 100
#define IDB_PANEL_PICTURE 101
#define IDB_PANEL_FULL 104

// A layout's text and background colours are the strings at its template id plus these.
#define IDS_PANEL_TEXT_COLOUR_OFFSET 96
#define IDS_PANEL_BACKGROUND_COLOUR_OFFSET 97

// Tray icons by driver state: stopped, ready, running, running after a restart.
#define IDI_TRAY_STOPPED 300
#define IDI_TRAY_READY 301
#define IDI_TRAY_RUNNING 302
#define IDI_TRAY_RESYNC 304

// Units in the tray's texts.
#define IDS_TRAY_SAMPLES 1104
#define IDS_TRAY_HERTZ 1110
