#pragma once

// Resource and control numbers, shared by vantu.rc and the window's code.
#define IDD_HOST_DIALOG 102
#define IDS_NETWORK_FAILED 103
#define IDI_WINDOW 128
#define IDR_IMAGE_OFFLINE 134
#define IDC_BROWSER 1000
