// Identifiers of the string table: messages and caption below 8, then registry paths,
// value names and other names the program passes on.
#pragma once

#define IDS_NOT_INSTALLED 0        // no version that can be updated is installed
#define IDS_UPDATE_DONE 2          // the update finished successfully
#define IDS_CAPTION 3              // caption of every message box
#define IDS_IO_ERROR 4             // installing a file failed
#define IDS_RESTART_QUESTION 5     // restart offer on exit
#define IDS_ALREADY_CURRENT 6      // question for an installation that is already current
#define IDS_PICK_FOLDER 7          // title of the folder picker
#define IDS_VERSION_QUERY 30       // version-resource path of the FileVersion text
#define IDS_APP_PATHS_KEY 46       // App Paths key of the product's executable
#define IDS_DATA_FOLDER 47         // data folder name in the documents folder
#define IDS_APP_PATHS_PARENT 48    // parent of the App Paths keys
#define IDS_SOFTWARE_KEY 12501     // "Software" under HKEY_CURRENT_USER
#define IDS_SETTINGS_KEY 12502     // the product's settings key below it
#define IDS_PROXY 12563
#define IDS_PORT 12564
#define IDS_ENABLE_ENCODE 12566
#define IDS_SEARCH_ISRC 12569
#define IDS_MEDIA_BAR 12570
#define IDS_DDCD_CONVERT 12571
#define IDS_DVD_COMPATIBLE 12573
#define IDS_TEMP_FOLDER 12574
#define IDS_COPY_BAD_SECTOR 12575
