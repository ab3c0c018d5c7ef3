#pragma once

// Identifiers shared by the resources (menus, toolbars, dialogs, strings) and the code that
// binds handlers to them. Menus, toolbars, accelerators and the context menu all route by these
// numbers, and the menu-state update keys on them, so one number always means one command.
//
// Menu texts in the comments are the English keys looked up in DB_ML.ini, exactly as the
// menus carry them (blanks before the shortcut hint included).

namespace res {

// ---- Frame resources ---------------------------------------------------------------------

// Main frame: menu without a table, accelerator table, icon, start toolbar and title string.
inline constexpr int IDR_MAINFRAME = 128;
// Table windows: the shared child menu with a table open, and the record toolbar.
inline constexpr int IDR_TESSORTYPE = 129;

// The same numbers under the name of the one resource each use means.
inline constexpr int IDM_MAIN_MENU = IDR_MAINFRAME;        // menu "File(&F)", "Help(&H)"
inline constexpr int IDM_TABLE_MENU = IDR_TESSORTYPE;      // menu "File(&F)" ... "Help(&H)"
inline constexpr int IDR_ACCELERATORS = IDR_MAINFRAME;     // accelerators, serve every frame
inline constexpr int IDI_MAINFRAME = IDR_MAINFRAME;        // application icon
inline constexpr int IDR_START_TOOLBAR = IDR_MAINFRAME;    // shown while no table is open
inline constexpr int IDR_RECORD_TOOLBAR = IDR_TESSORTYPE;  // shown while a table is open
inline constexpr int IDS_MAIN_TITLE = IDR_MAINFRAME;       // main window title "Tessor"

// Window identifier that both toolbars carry (the first toolbar slot of a frame).
inline constexpr int AFX_IDW_TOOLBAR = 59392;

// ---- Status bar panes (main frame, left to right) ----------------------------------------

inline constexpr int ID_SEPARATOR = 0;            // message pane
inline constexpr int ID_INDICATOR_BLANK = 61216;  // eleven blanks wide, text "           "
inline constexpr int ID_INDICATOR_CAPS = 59137;   // Caps Lock indicator
inline constexpr int ID_INDICATOR_NUM = 59138;    // Num Lock indicator
inline constexpr int ID_INDICATOR_SCRL = 59139;   // Scroll Lock indicator

// ---- File menu ---------------------------------------------------------------------------

inline constexpr int ID_FILE_NEW = 57600;           // "New(&N)...   Ctrl+N", wizard; both toolbars
inline constexpr int ID_FILE_OPEN = 57601;          // "Open(&O)...  Ctrl+O"; both toolbars
inline constexpr int ID_FILE_CLOSE = 57602;         // Close: closes the table window
inline constexpr int ID_FILE_SAVE = 57603;          // Save: does nothing (Ctrl+S hint only)
inline constexpr int ID_FILE_SAVE_AS = 57604;       // Save As: copy of the database file
inline constexpr int ID_FILE_SET_PASSWORD = 32785;  // "Set Password(&P)"
inline constexpr int ID_APP_EXIT = 57665;           // Exit

// ---- Edit menu (table menu; Cut, Copy, Paste also on the record toolbar) -----------------

inline constexpr int ID_EDIT_COPY = 57634;   // "Copy(&C)   Ctrl+C"; context menu "Copy"
inline constexpr int ID_EDIT_CUT = 57635;    // "Cut(&T)      Ctrl+X"; context menu "Cut"
inline constexpr int ID_EDIT_FIND = 57636;   // "Find(&F)...  Ctrl+F"
inline constexpr int ID_EDIT_PASTE = 57637;  // "Paste(&P)    Ctrl+V"; context menu "Paste"
inline constexpr int ID_EDIT_UNDO = 57643;   // Undo: Ctrl+Z and Alt+Backspace only

// ---- Field menu (table menu) -------------------------------------------------------------

inline constexpr int ID_FIELD_MODIFY = 32773;          // "Modify Field(&M)..."
inline constexpr int ID_FIELD_DESCEND = 32781;         // "Descend(&D)"; context "Descent Sort"
inline constexpr int ID_FIELD_ASCEND = 32782;          // "Ascend(&A)"; context "Ascent Sort"
inline constexpr int ID_FIELD_ADD_PRINT_INFO = 32784;  // "Add Print Info Fields(&P)"

// ---- Record menu (table menu) ------------------------------------------------------------

inline constexpr int ID_RECORD_ADD = 32771;     // "Add Record(&A)"; context menu "Add Record"
inline constexpr int ID_RECORD_DELETE = 32772;  // "Delete Record(&D)"; context "Delete Record"

// ---- Grid context menu only --------------------------------------------------------------

// Below the usual command range and equal to dialog numbers (101 is also the preview form);
// harmless, since commands and dialog templates are never looked up in the same table.
inline constexpr int ID_FIELD_DELETE = 101;       // "Delete Field"
inline constexpr int ID_FIELD_PRIMARY_KEY = 102;  // "Primary Key"

// ---- Window and Help menus, pane keys ----------------------------------------------------

inline constexpr int ID_APP_ABOUT = 57664;  // "About Tessor(&A)..."; both toolbars
inline constexpr int ID_HELP = 57670;       // "Tessor Help(&H)..."
inline constexpr int ID_NEXT_PANE = 57680;  // F6
inline constexpr int ID_PREV_PANE = 57681;  // Shift+F6

// ---- Standard dialog buttons and results -------------------------------------------------

inline constexpr int IDOK = 1;              // "OK"
inline constexpr int IDCANCEL = 2;          // "Cancel"; "Close" in the find dialog
inline constexpr int ID_WIZFINISH = 12325;  // result of a wizard left through Finish

// ---- About box ---------------------------------------------------------------------------

inline constexpr int IDD_ABOUTBOX = 100;  // dialog "About Tessor"
inline constexpr int IDC_VERSION = 1033;  // version text beside "Tessor Version"

// ---- Opening a database ------------------------------------------------------------------

inline constexpr int IDD_SELECT_TABLE = 130;  // dialog "Select Table"
inline constexpr int IDC_TABLE_LIST = 1006;   // sorted list of the user tables
inline constexpr int IDD_DB_PASSWORD = 144;   // dialog "Database Password"
inline constexpr int IDC_PASSWORD = 1037;     // masked edit "Password"

// ---- Record view -------------------------------------------------------------------------

inline constexpr int IDD_RECORDSET_VIEW = 141;  // form holding only the grid
inline constexpr int IDC_DATAGRID = 1034;       // the record grid

// ---- Find dialog -------------------------------------------------------------------------

inline constexpr int IDD_SEARCH = 140;           // modeless dialog "Search"
inline constexpr int IDC_FIND_NEXT = 1023;       // button "Find Next"
inline constexpr int IDC_FIND_TEXT = 1024;       // edit "Find what"
inline constexpr int IDC_MATCH_WHOLE = 1025;     // check box "Match whole field"
inline constexpr int IDC_MATCH_CASE = 1026;      // check box "Match case", hidden
inline constexpr int IDC_DIRECTION_UP = 1027;    // radio "Up", first of the group
inline constexpr int IDC_DIRECTION_DOWN = 1028;  // radio "Down"
inline constexpr int IDC_FIND_FIELD = 1029;      // drop-down list "Field"
inline constexpr int IDC_REPLACE = 1030;         // button "Replace", hidden
inline constexpr int IDC_REPLACE_ALL = 1031;     // button "Replace All", hidden
inline constexpr int IDC_REPLACE_TEXT = 1032;    // edit "Replace with", hidden

// ---- Field edit dialog -------------------------------------------------------------------

inline constexpr int IDD_FIELD_EDIT = 136;     // dialog "Field Edit"
inline constexpr int IDC_FIELD_LIST = 1019;    // list "Field": the columns after applying
inline constexpr int IDC_FIELD_NEW = 1020;     // button "New"
inline constexpr int IDC_FIELD_DELETE = 1021;  // button "Delete"
inline constexpr int IDC_FIELD_RENAME = 1022;  // button "Rename", never shown

// ---- Field name dialog -------------------------------------------------------------------

inline constexpr int IDD_NAME = 135;        // dialog "Name" (titled "New" or "Rename")
inline constexpr int IDC_NAME_EDIT = 1018;  // filtered edit "Field Name"

// ---- Database password dialog ------------------------------------------------------------

inline constexpr int IDD_SET_PASSWORD = 143;       // dialog "Password"
inline constexpr int IDC_NEW_PASSWORD = 1036;      // edit "New Password:"
inline constexpr int IDC_CONFIRM_PASSWORD = 1037;  // edit "Confirm Password:"; same number
                                                   // as IDC_PASSWORD, another dialog
inline constexpr int IDC_OLD_PASSWORD = 1038;      // edit "Old Password:"

// ---- New database wizard -----------------------------------------------------------------

inline constexpr int IDD_NEW_PAGE = 104;            // step 1 "New File: Step 1/4"
inline constexpr int IDC_DB_PATH = 1007;            // edit "New Database File Path"
inline constexpr int IDC_DB_PATH_BROWSE = 1008;     // button "Browse"
inline constexpr int IDD_TABLE_PAGE = 131;          // step 2 "New File: Step 2/4"
inline constexpr int IDC_TABLE_NAME = 1009;         // edit "New Table Name"
inline constexpr int IDD_METHOD_PAGE = 132;         // step 3 "New File: Step 3/4"
inline constexpr int IDC_METHOD_TEMPLATE = 1010;    // radio "Auto Create Based on Existed
                                                    // Template", first of the group
inline constexpr int IDC_METHOD_MANUAL = 1011;      // radio "Manual Create"
inline constexpr int IDD_TEMPLATE_PAGE = 133;       // step 4 "New File: Step 4/4", template
inline constexpr int IDC_TEMPLATE_PATH = 1012;      // edit "Template Path"
inline constexpr int IDC_TEMPLATE_BROWSE = 1013;    // button "Browse"
inline constexpr int IDD_FIELD_PAGE = 134;          // step 4 "New File: Step 4/4", by hand
inline constexpr int IDC_PAGE_FIELD_LIST = 1014;    // list "Field", unsorted
inline constexpr int IDC_PAGE_FIELD_NEW = 1015;     // button "New"
inline constexpr int IDC_PAGE_FIELD_DELETE = 1016;  // button "Delete"
inline constexpr int IDC_PAGE_FIELD_RENAME = 1017;  // button "Rename"

// ---- Image preview pane ------------------------------------------------------------------

inline constexpr int IDD_IMAGE_PREVIEW = 101;        // form "Image Preview"
inline constexpr int IDC_PREVIEW_FRAME = 1000;       // sunken picture frame
inline constexpr int IDC_PREVIEW_FOLDER = 1001;      // edit "File Folder"
inline constexpr int IDC_PREVIEW_FIELD = 1002;       // drop-down list: column giving the file name
inline constexpr int IDC_PREVIEW_EXT = 1003;         // edit "File Extend"
inline constexpr int IDC_PREVIEW_BROWSE = 1004;      // button "Browse"
inline constexpr int IDC_PREVIEW_EXT_CHOICE = 1005;  // drop-down list of extensions
inline constexpr int IDC_PREVIEW_FILE_NAME = 1035;   // read-only edit "File Name"

}  // namespace res
