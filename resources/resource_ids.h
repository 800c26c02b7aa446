// Resource and control identifiers shared by the controller's code and its
// resource script.
#pragma once

#define IDD_SETTINGS 202
#define IDD_PASSWORD 228
#define IDR_TRAY_MENU 204
#define IDI_LOCKED 201
#define IDI_UNLOCKED 202

#define IDC_SITE_LIST 201
#define IDC_REMOVE_HOST 202
#define IDC_REMOVE_ALL 203
#define IDC_BLOCK_POPUPS 206
#define IDC_ADD_HOST 207
#define IDC_HOST_NAME 208
#define IDC_PASSWORD 209
#define IDC_CONFIRM 210
#define IDC_ERROR_URL 211
#define IDC_USE_ERROR_URL 212
#define IDC_PROHIBIT_UNINSTALL 213
#define IDC_REVERSE 214
#define IDC_HOST_MATCHING 215
#define IDC_EXPORT 3
#define IDC_IMPORT 4
#define IDC_PROMPT_PASSWORD 201

#define ID_LOCK 32768
#define ID_SETTINGS 32769
#define ID_EXIT 32770
#define ID_RELOAD 32774
