#pragma once

// Resource and control numbers, shared by vantu.rc and the window's code.
#define IDD_HOST_DIALOG 102
#define IDS_NETWORK_FAILED 103
#define IDI_WINDOW 128
#define IDI_SPARE 131
#define IDR_IMAGE_OFFLINE 134
#define IDR_MENU_EXIT 135
#define IDC_BROWSER 1000
#define ID_APP_EXIT 32771
