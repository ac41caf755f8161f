// Numbers of Dashel's resources and controls, shared by the resource scripts and the code.
#pragma once

// Dialog templates.
#define IDD_PANEL 102
#define IDD_ABOUTBOX 134
#define IDD_ADJUST_METHOD 137
#define IDD_MEASURE 139
#define IDD_SAVE_NAME 140
#define IDD_SCALING 141
#define IDD_FLASH_SAVE 142
#define IDD_MEDIA_TYPE 143

// Application icon.
#define IDR_MAINFRAME 128

// String table: message texts.
#define IDS_NOT_CONNECTED 1
#define IDS_LIST_FULL 2
#define IDS_CHECK_ONLINE 3
#define IDS_MEASURE_AGAIN 4
#define IDS_EVENT_FAILED 5
#define IDS_CONNECTING_ERROR 6
#define IDS_MODIFY_OK 7
// String table: value texts of the panel.
#define IDS_ENABLE 8
#define IDS_DISABLE 9
#define IDS_ROLL 10
#define IDS_EDGE 11
#define IDS_SINGLE 12
#define IDS_DRAFT 13
#define IDS_FINE 14
#define IDS_HEAVY 15
#define IDS_LIGHT 16
#define IDS_SINGLE_TYPE 17
#define IDS_FACTOR_OUT_OF_RANGE 18

// Main panel.
#define IDC_POLL_SIZE 1000
#define IDC_DIS_DETECT 1001
#define IDC_SCALING 1002
#define IDC_FORCE 1007
#define IDC_OFFSET 1008
#define IDC_MEDIA_WEIGHT 1009
#define IDC_QUALITY 1010
#define IDC_SMOOTH 1011
#define IDC_AUTO_UNROLL 1012
#define IDC_MEDIA_TYPE 1013
#define IDC_SIZE_X 1014
#define IDC_SIZE_Y 1015
#define IDC_PORT 1021
#define IDC_LOOP_DETECT 1024
#define IDC_ABOUT 1025
#define IDC_HIDDEN 1053
#define IDC_REPLY_NOTIFY 1061

// Calibration dialogs; several ids serve more than one template.
#define IDC_EDIT_X 1028           // test, measured or percentage length; the save name
#define IDC_MEASURE_Y 1029        // measured width; a label of the method dialog
#define IDC_NAME_LIST 1030
#define IDC_ADD 1031
#define IDC_DELETE 1032
#define IDC_SAVED_SIZES 1034
#define IDC_LOAD_DATA 1035
#define IDC_USE_PERCENTAGE 1036
#define IDC_EDIT_Y 1037           // test or percentage width
#define IDC_SCROLL_X 1038
#define IDC_SCROLL_Y 1039
#define IDC_FRAME_Y 1041          // the width frame, or the "Y :" label
#define IDC_FRAME_X 1042          // the length frame, or the "X :" label
#define IDC_PERCENTAGE_FRAME 1043
#define IDC_LOAD_DATA_FRAME 1044
#define IDC_CALIBRATION 1045
#define IDC_TEST_SIZE_FRAME 1048
#define IDC_MM_X 1049
#define IDC_MM_Y 1050
#define IDC_CHANGE_MEDIA 1052
#define IDC_ROLL 1054
#define IDC_EDGE 1055

// About box.
#define IDC_MODEL 1058
#define IDC_VERSION 1059
