// Identifiers of the updater's resources and dialog controls, shared by vkupdate.rc and the code.
#pragma once

#define IDD_MAIN 102
#define IDI_APP 110
#define IDB_SIDE_PICTURE 111
#define IDR_WELCOME_TEXT 120
#define IDB_LOGO 121

#define IDC_PROGRESS 1004
#define IDC_WELCOME_TEXT 1008
#define IDC_LOGO_FRAME 1009

// Payload resources are RCDATA PAYLOAD_RESOURCE_BASE + payload index, the index running from 1
// to PAYLOAD_ROW_COUNT (payload/payload_table.h): 130 to 170. cmake/resources.cmake reads both.
#define PAYLOAD_RESOURCE_BASE 129
