// File names as they are shown: on a terminal, in messages, and in JSON.
#ifndef KMV_TOOLS_SHOWN_NAME_H
#define KMV_TOOLS_SHOWN_NAME_H

#include <string>
#include <string_view>

namespace kmvtool {

// The name with control characters, backslashes and bytes that are not
// UTF-8 written as escapes (\n, \t, \033, \377, \\), as `ls -b` writes
// them, so that no name can drive the terminal. Other text stays as it is.
std::string escaped_name(std::string_view name);

// A JSON string: the text as UTF-8, a replacement character (U+FFFD) for
// each byte that is not part of a UTF-8 character.
std::string json_string(std::string_view text);

// The JSON members that give a path: "path":"..." and, when the path is not
// valid UTF-8, "path_bytes":"<hex>" with its exact bytes.
std::string json_path_members(std::string_view path);

}  // namespace kmvtool

#endif
