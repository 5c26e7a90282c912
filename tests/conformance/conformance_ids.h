/* Resource ids of the conformance tests. */
#ifndef CONFORMANCE_IDS_H
#define CONFORMANCE_IDS_H

#define IDR_TEST_DATA 200

/* Dialogs */
#define IDD_PARSE 300
#define IDD_MISSING_CLASS 302
#define IDD_TAB_ORDER 303
#define IDD_PICTURE 304
#define IDD_CLIPPING 305
#define IDD_PROGRESS 306

/* Controls */
#define IDC_LABEL 1001
#define IDC_FRAME 1002
#define IDC_PUSH 1003
#define IDC_NAMED 1004
#define IDC_BAR 1005
#define IDC_FIRST 1010
#define IDC_SECOND 1011
#define IDC_HIDDEN 1012
#define IDC_DISABLED 1013
#define IDC_NOTE 1014
#define IDC_PICTURE 1020
#define IDC_BESIDE 1021

#endif
