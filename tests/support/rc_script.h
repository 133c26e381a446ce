// The resource scripts as written (resources/dialog.rc, resources/strings.rc and the headers
// they include), read by the tests so that the compiled resources and the texts the program
// shows are checked against their source rather than against a copy of it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform_types.h"

namespace vktest {

// One CONTROL statement of a dialog.
struct RcControl {
    std::string text;       // UTF-8; empty when the text is an ordinal
    int textOrdinal = -1;   // the resource shown (a picture's bitmap), or -1
    long id = 0;
    std::string className;  // lower case: "button", "edit", "static" or a class name as written
    DWORD style = 0;        // as windres stores it: WS_CHILD | WS_VISIBLE, then the script's terms
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
};

// A DIALOGEX resource.
struct RcDialog {
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string caption;  // UTF-8
    int pointSize = 0, weight = 0, italic = 0, charset = 0;
    std::string typeface;  // UTF-8
    std::vector<RcControl> controls;
};

// The dialog `name` (such as "IDD_MAIN") of resources/dialog.rc. Fails the calling test, and
// gives an empty dialog, when the script cannot be read.
RcDialog ReadRcDialog(const std::string& name);

// The string table of resources/strings.rc: id -> text in UTF-8, escapes resolved.
const std::map<UINT, std::string>& RcStrings();

// The value of `#define name` in `header` (a path below the source tree, such as
// "resources/resource.h"); fails the calling test when there is none.
long RcDefine(const std::string& header, const std::string& name);

}  // namespace vktest
