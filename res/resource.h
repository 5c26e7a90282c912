/* Resource and control identifiers of the installer. */
#ifndef DA12_RESOURCE_H
#define DA12_RESOURCE_H

/* Dialogs */
#define IDD_MAIN 101

/* Bitmaps */
#define IDB_PICTURE 112

/* Controls of the main dialog */
#define IDC_INSTALL_PACK1 1000
#define IDC_INSTALL_PACK2 1001
#define IDC_INSTALL_STATUS1 1011
#define IDC_INSTALL_FRAME 1012
#define IDC_INSTALL_STATUS2 1014
#define IDC_INSTALL_BAR 1022
#define IDC_PICTURE 1025
#define IDC_VIEW_HELP 1029
#define IDC_VIEW_CREDITS 1030
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
