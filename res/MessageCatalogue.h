// The message catalogue: every text the program shows a user, looked up by its string ID.
// The built-in table is English; a translated table (same IDs) can be installed at start-up.
// Thread-safe: lookups and installation take one lock.
#pragma once

#include <map>
#include <string>

namespace tq9 {

enum StringId : int {
    IDS_MAINFRAME = 128,
    IDS_MANUAL_FILE = 129,
    IDS_ERROR_CAPTION = 130,
    IDS_CARD_CHECK_FAILED = 131,
    IDS_PROMPT_CREATE_FOLDER = 132,
    IDS_PROMPT_DELETE_FILE = 133,
    IDS_REMAINING_SPACE_ZERO = 134,
    IDS_REMAINING_SPACE = 135,
    IDS_CONVERTING_COUNT = 136,
    IDS_CONVERTING_FILENAME = 137,
    IDS_NOW_CONVERTING = 138,
    IDS_CONVERTED_FILE = 139,
    IDS_CONVERTING_FILE = 140,
    IDS_CONVERTING_CANCELED = 141,
    IDS_CONVERTING_FAILED = 142,
    IDS_CONVERTING_FINISHED = 143,
    IDS_SELECT_FOLDER = 144,
    IDS_MAKE_FOLDER_FAILED = 145,
    IDS_SELECT_DELETE_FILE = 146,
    IDS_DELETE_CONFIRM = 147,
    IDS_DELETE_FAILED = 148,
    IDS_DISPLAY_FOLDER_FAILED = 149,
    IDS_FAILED_FILES_HEADING = 150,
    IDS_JOB_CANCELED = 151,
    IDS_LIST_INIT_FAILED = 152,
    IDS_USE_FORMATTED_CARD = 153,
    IDS_ERROR_NOT_FOUND = 200,
    IDS_NOT_DIRECTORY = 201,
    IDS_INVALID_FILE_TYPE = 202,
    IDS_INCLUDING_DIRECTORY = 203,
    IDS_CANNOT_OPEN_FILE = 204,
    IDS_OTHER_ERROR = 205,
    IDS_INVALID_FILE_INCLUDED = 206,
    IDS_TOO_MANY_FILES = 207,
    IDS_CARD_FULL = 220,
    IDS_CARD_FILE_TOO_LARGE = 221,
    IDS_CARD_READ_ONLY = 222,
    IDS_CARD_WRITE_FAILED = 223,
    IDS_CARD_NAME_REFUSED = 224,
    IDS_CARD_ACCESS_DENIED = 225,
    IDS_SPACE_NEEDED = 226,
    IDS_SPACE_FREE = 227,
    IDS_EXPORT_NOT_MEDIA = 230,
    IDS_EXPORT_NO_ROOM = 231,
    IDS_EXPORT_CARD_REMOVED = 232,
    IDS_EXPORT_NAME_TOO_LONG = 233,
    IDS_EXPORT_ENDED_EARLY = 234,
    IDS_EXPORT_NOT_WRITTEN = 235,
    IDS_EXPORT_SOME_FAILED = 236,
    IDS_EXPORT_OTHERS_HANDED_OVER = 237,
    // Texts of the desktop program beyond the original table.
    IDS_NO_CARD_HINT = 300,
    IDS_DELETE_ONE_CONFIRM = 301,
    IDS_DELETE_MANY_CONFIRM = 302,
    IDS_ONE_FILE_IMPORTED = 303,
    IDS_FILES_IMPORTED = 304,
    IDS_ONE_FILE_DUPLICATED = 305,
    IDS_FILES_DUPLICATED = 306,
    IDS_MANUAL_OPEN_FAILED = 307,
    IDS_OPEN_FILE_FAILED = 308,
    // Texts of the commands that do without dragging, the selection summary and the copy progress.
    IDS_ONE_FILE_EXPORTED = 330,
    IDS_FILES_EXPORTED = 331,
    IDS_EXPORT_FAILED = 332,
    IDS_EXPORT_PLACE_FAILED = 333,
    IDS_ONE_FILE_SELECTED = 334,
    IDS_FILES_SELECTED = 335,
    IDS_ONE_FILE_DELETED = 336,
    IDS_FILES_DELETED = 337,
    IDS_TIME_LEFT = 338,
    IDS_NOW_COPYING = 339,
    IDS_COPIED_FILE = 340,
    IDS_COPYING_FILE = 341,
    IDS_COPYING_CANCELED = 342,
    IDS_COPYING_FAILED = 343,
    IDS_COPYING_FINISHED = 344,
    IDS_WAITING_FOR_FOLDER = 345,
    IDS_CONVERTING_ENDED_EARLY = 346,
    IDS_SIDECAR_FOLDER_LEFT = 347,
    IDS_SIDECAR_ENTRY_LEFT = 348,
    // Why a source was not imported, after its path.
    IDS_IMPORT_KIND_REFUSED = 450,
    IDS_IMPORT_NOT_MEDIA = 451,
    // Texts of the program's place on the desktop: notifications, the manual, eject.
    IDS_NOTIFY_SHOW_WINDOW = 500,
    IDS_NO_PROGRAM_TO_OPEN = 501,
    IDS_CARD_CAN_BE_REMOVED = 503,
    IDS_EJECT_JOB_WRITING = 504,
    IDS_EJECT_CARD_BUSY = 505,
    IDS_EJECT_REFUSED = 506,
    IDS_EJECT_NO_SERVICE = 507,
    IDS_EJECT_NOT_A_CARD = 508,
    IDS_MANUAL_TITLE = 509,
    IDS_DROP_TARGET_GAVE_UP = 630,
    IDS_DRAG_FILES_KEPT = 631,
    IDS_DROP_NOT_REACHED_XWAYLAND = 632,
    // Texts of the finishing touches: the copy onto the card, sizes, free space, what was cancelled.
    IDS_COPYING_TO_CARD = 550,
    IDS_BYTES_OF = 551,
    IDS_FREE_SPACE = 552,
    IDS_IMPORT_CANCELED = 553,
    IDS_DUPLICATION_CANCELED = 554,
    IDS_NO_CARD_FOUND = 555,
    IDS_IMPORTING_TITLE = 556,
    IDS_EXPORTING_TITLE = 557,
    IDS_DUPLICATING_TITLE = 558,
    IDS_EXPORT_READ_FAILED = 600,
    // Endings of a run that placed some files and failed others, and the texts of the last edges.
    IDS_CONVERTED_SOME = 400,
    IDS_COPIED_SOME = 401,
    IDS_CARD_FOLDER_LIMIT = 402,
    IDS_CARD_REMOVED = 403,
    IDS_PATH_TOO_LONG = 790,
    // What a cancelled run had already done.
    IDS_IMPORT_LANDED_BEFORE_CANCEL = 770,
    IDS_APP_NAME = 57344,
    IDS_READY = 57345,
};

class CMessageCatalogue {
public:
    // The text of id in the installed catalogue, falling back to the built-in one; empty when unknown.
    static std::string Get(int id);
    // The built-in English text; empty when unknown.
    static std::string Builtin(int id);
    // Replaces the texts of the IDs present in table; other IDs keep their built-in text.
    static void Install(const std::map<int, std::string>& table);
    // Back to the built-in table.
    static void Reset();
    // The window title: the first "\n"-separated field of IDS_MAINFRAME.
    static std::string WindowTitle();
};

// printf-style fill of a catalogue text with one string (for "%s" texts) or integers (for "%d").
std::string FormatText(const std::string& format, const std::string& arg);
std::string FormatText(const std::string& format, const std::string& a, const std::string& b);
std::string FormatText(const std::string& format, int a, int b);
std::string FormatText(const std::string& format, int a);
std::string FormatText(const std::string& format, int a, int b, int c);

} // namespace tq9
